#!/usr/bin/env bash
# What a user builds and installs: the install tree and its removal, the
# manual page, the Debian package, the release tarball, and builds with
# messages of the user's own made from that tarball.
build=$1 source=$2 compiler=$3 config=$4
. "$(dirname "$0")/common.sh"
load_message "$build/enciphered_message.h"

prefix=$scratch/prefix
cmake --install "$build" --config "$config" --prefix "$prefix" >/dev/null || fail "install failed"
page=$prefix/share/man/man1/delayed-message.1.gz
doc=$prefix/share/doc/delayed-message
for file in "$page" "$doc/copyright" "$doc/changelog.gz" "$prefix/share/lintian/overrides/delayed-message"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
nm "$prefix/bin/delayed-message" 2>&1 | grep -q ' t rotate_encrypt$' ||
    fail "installed executable missing or stripped"
grep -rqF -e "$plain" "$prefix" && fail "the plain message is in the installed files"
warnings=$(zcat "$page" | groff -man -ww -z 2>&1) && [ -z "$warnings" ] || fail "manual page: $warnings"
# gzip at its best, with no name or time stored: flags, time and extra flags all fixed.
for file in "$page" "$doc/changelog.gz"; do
    [ "$(od -An -tx1 -N9 "$file" | tr -d ' ')" = 1f8b08000000000002 ] ||
        fail "${file##*/}: not gzip -9n output"
done
# lintian does not check the machine-readable copyright format; Debian's own
# parser (python3-debian, for Debian's python3) does.
/usr/bin/python3 - "$doc/copyright" "$source/LICENSE" <<'EOF' || fail "copyright file is not machine-readable Expat with LICENSE's text"
import sys
from debian.copyright import Copyright
licence = next(Copyright(open(sys.argv[1])).all_files_paragraphs()).license
text = open(sys.argv[2]).read()
sys.exit(licence.synopsis != "Expat" or licence.text != text[text.index("Permission"):].strip())
EOF
# The manual page lists the exit statuses the README does.
statuses=$(zcat "$page" | sed -n '/^\.SH EXIT STATUS/,/^\.SH /{/^\.TP/{n;s/^\.B //p}}')
[ "$statuses" = "$(sed -n '/^## Exit status/,/^## /s/^- `\([0-9]*\)`.*/\1/p' "$source/README.md")" ] ||
    fail "the manual page's exit statuses, $statuses, are not the README's"

# Built four times, the second a second later, the last two under other
# umasks: the same SOURCE_DATE_EPOCH must give the same bytes.
export SOURCE_DATE_EPOCH=1700000000
masks=(022 022 002 077)
for n in "${!masks[@]}"; do
    [ "$n" = 1 ] && sleep 1
    (umask "${masks[n]}" && cpack --config "$build/CPackConfig.cmake" -C "$config" -G DEB -B "$scratch/package$n") \
        >/dev/null || fail "cpack failed"
    cmp -s "$scratch"/package0/*.deb "$scratch/package$n"/*.deb || fail "package differs when made again under umask ${masks[n]}"
done
deb=("$scratch"/package0/*.deb)
contents=$(dpkg-deb -c "${deb[0]}" | awk '{print $6}')
for file in ./usr/bin/delayed-message ./usr/share/man/man1/delayed-message.1.gz \
    ./usr/share/doc/delayed-message/copyright ./usr/share/doc/delayed-message/changelog.gz; do
    grep -qx "$file" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -x "${deb[0]}" "$scratch/unpacked"
grep -rqF -e "$plain" "$scratch/unpacked" && fail "the plain message is in the package"
dpkg-deb -f "${deb[0]}" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
[ "$(dpkg-deb -f "${deb[0]}" Section)" = utils ] || fail "package section is not utils"
version=$(dpkg-deb -f "${deb[0]}" Version)
[ "$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)" = "$version" ] ||
    fail "the changelog's latest version is not the package's"
zcat "$page" | grep -qE "^\.TH .*\"delayed-message $version\"" || fail "the manual page's version is not $version"
readme_deb=$(grep -o 'dpkg -i [^ ]*\.deb' "$source/README.md")
[ "${deb[0]##*/}" = "${readme_deb##*[ /]}" ] || fail "package is ${deb[0]##*/}, README installs [$readme_deb]"
# Nothing for lintian to report but the one declared override.
report=$(lintian -I -E --pedantic --show-overrides "${deb[0]}" 2>/dev/null | grep -v '^N: ')
[ "$report" = "O: delayed-message: unstripped-binary-or-object [usr/bin/delayed-message]" ] ||
    fail "lintian: $report"

# Uninstalling the first install takes it all away, after a package and a
# second install have rewritten the build folder's own manifest.
cmake --install "$build" --config "$config" --prefix "$scratch/second" >/dev/null || fail "second install failed"
cmake -D prefix="$prefix" -P "$build/uninstall.cmake" >/dev/null || fail "uninstall failed"
[ -z "$(find "$prefix" -type f)" ] || fail "uninstall left $(find "$prefix" -type f)"
[ "$(find "$scratch/second" -type f | wc -l)" = 5 ] || fail "uninstall took files from the second prefix"
cmake -D prefix="$scratch/second" -P "$build/uninstall.cmake" >/dev/null # leaves the build folder's records as found

# Missing packaging tools stop cpack, named, before it writes a .deb. Each is
# hidden by having cpack look for programs only under a root whose usr/bin
# holds everything else. So does a build folder whose path CPack would read
# as a pattern.
mkdir -p "$scratch/root/usr/bin"
while IFS='|' read -r tool says folder; do
    rm -rf "${scratch:?}/$folder" "$scratch/root/usr/bin"/*
    for path in /usr/bin/*; do [ "${path##*/}" = "$tool" ] || ln -s "$path" "$scratch/root/usr/bin/"; done
    cpack --config "$build/CPackConfig.cmake" -C "$config" -G DEB -B "$scratch/$folder" -D CMAKE_FIND_ROOT_PATH="$scratch/root" \
        -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY >"$scratch/packed" 2>&1 && fail "cpack succeeded [$tool $folder]"
    grep -qF "$says" "$scratch/packed" || fail "[$tool $folder]: $(cat "$scratch/packed")"
    find "$scratch/$folder" -name '*.deb' 2>/dev/null | grep -q . && fail "a .deb was written [$tool $folder]"
done <<EOF
dpkg-shlibdeps|apt-get install dpkg-dev|without
file|apt-get install file|without
|CPack reads as a pattern|out [gcc]
EOF

# The release tarball, from a clone with hostile untracked names beside its
# files and a build folder holding a chosen message, and from a worktree:
# exactly the commit's files, the same bytes every time. CPack's own source
# package refuses and names the target to use.
cmake --build "$build" --target package_source >"$scratch/packed" 2>&1 && fail "package_source made a tarball"
grep -qF -- "--target dist" "$scratch/packed" || fail "package_source does not name dist: $(cat "$scratch/packed")"
chosen=$'Q-;$#{}`"\\\'@${x}[[]]nnl*/%s&|<>~'
name=delayed-message-$version
make_tarball() { # SOURCE BUILD COPY: BUILD configured once, with the chosen message; dist's tarball kept as COPY
    { [ -f "$2/CMakeCache.txt" ] || cmake -S "$1" -B "$2" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF \
        -DDELAYED_MESSAGE_TEXT="$chosen" >/dev/null; } && cmake --build "$2" --target dist >"$scratch/packed" 2>&1 &&
        mv "$2/$name.tar.gz" "$scratch/$3" || fail "dist failed in $1: $(cat "$scratch/packed")"
}
tree=$source
[ -e "$source/.git" ] && ! command -v git >/dev/null && fail "a git clone needs git for its tarball (apt-get install git)"
if [ "$(git -C "$source" rev-parse --show-toplevel 2>/dev/null)" = "$(realpath "$source")" ]; then
    clone=$scratch/clone
    git clone -q "$source" "$clone" && git -C "$clone" worktree add -q --detach "$scratch/work tree [1]" || fail "no clone"
    for untracked in 'Draft]1.txt' '[x' 'semi;colon' 'quote"d' 'back\slash.txt' $'tab\there' $'new\nline' \
        ' leading space' '*?'; do
        echo "$chosen" >"$clone/$untracked"
    done
    make_tarball "$clone" "$clone/build" 1.tar.gz
    make_tarball "$clone" "$clone/build" 2.tar.gz
    make_tarball "$scratch/work tree [1]" "$scratch/worktree build" worktree.tar.gz
    cmp -s "$scratch/1.tar.gz" "$scratch/2.tar.gz" || fail "the tarball differs when made again"
    cmp -s "$scratch/1.tar.gz" "$scratch/worktree.tar.gz" || fail "the tarball differs made from a worktree"
    git -C "$clone" ls-files | sed "s|^|$name/|" | diff - <(tar -tzf "$scratch/1.tar.gz" | grep -v '/$') >&2 ||
        fail "the tarball does not hold exactly the commit's files"
    tar -tvzf "$scratch/1.tar.gz" | awk '$2 != "root/root" || $1 !~ /^(-rw-r--r--|-rwxr-xr-x|drwxr-xr-x)$/' |
        grep . >&2 && fail "tarball entries not root's with modes 0644 or 0755"
    tar -xzf "$scratch/1.tar.gz" -C "$scratch"
    tree=$scratch/$name
fi

# Messages chosen at configure time, built from the unpacked tarball (or, in
# an unpacked or vendored copy, from the source itself) with no build type
# given: a value CMake reads as false, the built-in message, and one full of
# characters special to C++, CMake and the shell, which is built and run.
# The last must come out byte for byte, from an optimized build with no
# debugging information.
configure() {
    cmake -S "$tree" -B "$scratch/chosen" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DDELAYED_MESSAGE_TEXT="$1" >"$scratch/configured" 2>&1
}
for value in Twenty_three_characters-NOTFOUND "" "$chosen"; do
    configure "$value" || fail "[$value] refused: $(cat "$scratch/configured")"
    load_message "$scratch/chosen/enciphered_message.h"
    [ "$plain" = "$value" ] || [ -z "$value" ] || fail "configured with [$value], the build holds [$plain]"
    [ -n "$value" ] || [ "$(printf %s "$plain" | sha256sum)" = \
        "bcb49ec29bd58ecb46caba80c5e8c5ca52a68833bfaa85a433a84a2532a1c1bb  -" ] || fail "not the built-in message"
done
if cmake --build "$scratch/chosen" -v >"$scratch/built" 2>&1; then
    run "$scratch/chosen/delayed-message" >"$scratch/out"
    expect_delivered "chosen message" $?
    grep -qF -e "$chosen" "$scratch/chosen/delayed-message" && fail "the chosen plain message is in the executable"
    compile=$(grep -e '-c [^ ]*/delayed_message\.cpp$' "$scratch/built")
    [[ $compile =~ \ -O[23s]\  && ! $compile =~ \ -g ]] || fail "default build not optimized or has -g: $compile"
    readelf -S "$scratch/chosen/delayed-message" | grep -q '\.debug_' && fail "default build has debugging information"
else
    fail "chosen message not built: $(cat "$scratch/built")"
fi
# Outside a checkout of its own, dist refuses: in the unpacked tarball, and
# with that placed inside someone else's git work tree.
expect_no_tarball() { # WHERE WHAT-IT-SAYS
    cmake --build "$scratch/chosen" --target dist >"$scratch/packed" 2>&1 && fail "dist made a tarball $1"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF "$2" || fail "dist $1: $(cat "$scratch/packed")"
}
if [ "$tree" = "$source" ]; then
    expect_no_tarball "outside a checkout of its own" "No tarball was made"
else
    expect_no_tarball "in an unpacked tarball" "is not a git checkout. The release tarball is made from a git clone of the project, and"
    git init -q "$scratch" && expect_no_tarball "inside another work tree" "lies inside the git work tree"
fi

bad=("${chosen:1}" "${chosen}x" Q "${chosen:0:15} ${chosen:16}" $'\t'"${chosen:1}" "${chosen:1}"$'\x7f' "é${chosen:2}"
    $'\x80'"${chosen:1}")
why=("is 31 bytes long" "is 33 bytes long" "is 1 byte long" "character 16 is a space (use _ instead)"
    "character 1 is a tab" "character 32 is a control character (0x7f)" "byte 1 (0xc3) is outside ASCII"
    "byte 1 (0x80) is outside ASCII")
for i in "${!bad[@]}"; do
    configure "${bad[i]}" && fail "configure accepted [${bad[i]}]"
    refusal=$(tr -s ' \n' ' ' <"$scratch/configured") # cmake wraps its messages
    grep -qF "DELAYED_MESSAGE_TEXT must be exactly 32 characters" <<<"$refusal" &&
        grep -qF -e "-DDELAYED_MESSAGE_TEXT= (empty) to go back to the built-in message" <<<"$refusal" ||
        fail "[${bad[i]}] refused without naming DELAYED_MESSAGE_TEXT, its rules and the way back"
    grep -qF -e "${why[i]}" <<<"$refusal" || fail "[${bad[i]}] refused without saying ${why[i]}"
done
# A refused value changes nothing: the build still holds the last good message.
load_message "$scratch/chosen/enciphered_message.h"
[ "$plain" = "$chosen" ] || fail "after refusals the build holds [$plain]"
finish
