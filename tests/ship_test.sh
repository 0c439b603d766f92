#!/usr/bin/env bash
# What a user builds and installs: the install tree, linked in and removed
# by stow, the manual page, the Debian package, the release tarball and a
# build from it, and builds with messages of the user's own.
build=$1 source=$2 compiler=$3 config=$4
. "$(dirname "$0")/common.sh"
load_message "$build/enciphered_message.h"

# as_user CAPABILITIES COMMAND...: COMMAND as an ordinary user keeping only
# those of root's capabilities, when the tests run as root; else as is.
as_user() {
    local caps=$1
    shift
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps="$caps" --ambient-caps="$caps" "$@"
    else
        "$@"
    fi
}

# Installed as the README does, into a stow folder linked into a prefix
# that, like /usr/local, has bin and share/man already: with real folders,
# into which other software can install without writing into the package.
prefix=$scratch/local
mkdir -p "$prefix/bin" "$prefix/share/man"
cmake --install "$build" --config "$config" --prefix "$prefix/stow/delayed-message" >/dev/null &&
    stow --no-folding --dir="$prefix/stow" --target="$prefix" delayed-message || fail "install failed"
find "$prefix" -path "$prefix/stow" -prune -o -type l -xtype d -print | grep . >&2 && fail "stow linked folders"
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
# The manual page names the wait as the package does, and lists the exit
# statuses the README does.
name_line=$(zcat "$page" | sed -n '/^\.SH NAME/{n;s/^delayed-message \\- //p}')
statuses=$(zcat "$page" | sed -n '/^\.SH EXIT STATUS/,/^\.SH /{/^\.TP/{n;s/^\.B //p}}')
[ "$statuses" = "$(sed -n '/^## Exit status/,/^## /s/^- `\([0-9]*\)`.*/\1/p' "$source/README.md")" ] ||
    fail "the manual page's exit statuses, $statuses, are not the README's"

# Names and commands stay whole on a line at every width man may use.
render() { zcat "$page" | groff -man -Tascii -P-cbou -rLL="$1"n 2>/dev/null | tr -s ' '; }
names=$'loginctl enable-linger\nDELAYED_MESSAGE_TEXT\nSIGINT\nSIGTSTP, SIGSTOP\nSIGCONT\nSIGWINCH\nSIGCHLD\nSIGHUP
SIGPIPE\nSIGXFSZ\nnohup(1)\nsetsid -f\nsystemd(1)\nfaketime(1)\nstrace(1)\n-p,\nclock_nanosleep(CLOCK_REALTIME, 0, ...)
message.txt\n/dev/null'
split=$({ render 1000; for width in $(seq 50 120); do echo "@ $width"; render "$width"; done; } |
    awk -v names="$names" 'BEGIN {n = split(names, name, "\n")} /^@ / {width = $2; next}
        {for (i = 1; i <= n; i++) for (s = $0; p = index(s, name[i]); s = substr(s, p + 1)) count[width, i]++}
        END {for (w = 50; w <= 120; w++) for (i = 1; i <= n; i++) if (count[w, i] != count["", i]) print name[i] " at " w}')
[ -z "$split" ] || fail "the manual page splits names across lines: $(sort -u <<<"$split" | head -5)"

# Built again and again, under other umasks, in a setgid shared folder, and
# by an ordinary user: the same SOURCE_DATE_EPOCH must give the same bytes.
export SOURCE_DATE_EPOCH=1700000000
mkdir -p "$scratch/shared" && chmod 2777 "$scratch/shared"
while read -r n mask folder who; do
    [ "$n" = 1 ] && sleep 1
    (umask "$mask" && $who cpack --config "$build/CPackConfig.cmake" -C "$config" -G DEB -B "$scratch/$folder") \
        >"$scratch/packed" 2>&1 || fail "cpack failed [$mask $folder $who]: $(tail -3 "$scratch/packed")"
    cmp -s "$scratch"/package0/*.deb "$scratch/$folder"/*.deb ||
        fail "package differs when made again under umask $mask in $folder${who:+ as an ordinary user}"
done <<EOF
0 022 package0
1 022 package1
2 002 package2
3 077 shared/package3
4 077 package4 as_user +dac_override
EOF
deb=("$scratch"/package0/*.deb)
dpkg-deb -c "${deb[0]}" | awk '$2 != "root/root"' | grep . >&2 && fail "package entries not owned by root"
[ "$(dpkg-deb -f "${deb[0]}" Description | head -1)" = "$name_line" ] ||
    fail "the package's summary is not the manual page's NAME line, $name_line"
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

# Removal, as the README does it, takes only stow's own links, which need
# no build folder: a file or a link of the user's in place of one stays, and
# so does everything when the user may not remove. (Stow 2.3 refuses to
# remove anything past the user's file, 2.4 removes the rest.)
link=$prefix/bin/delayed-message
echo "the user's own" >"$scratch/own"
while IFS='|' read -r in_place who says; do
    rm -f "$link"
    stow --no-folding --dir="$prefix/stow" --target="$prefix" delayed-message || fail "stowed again [$in_place $who]"
    case $in_place in
    file) rm "$link" && cp "$scratch/own" "$link" ;;
    link) rm "$link" && ln -s "$scratch/own" "$link" ;;
    esac
    [ -n "$who" ] && chmod -R a-w "$prefix"
    $who stow --dir="$prefix/stow" --target="$prefix" --delete delayed-message >"$scratch/removed" 2>&1
    status=$?
    chmod -R u+w "$prefix"
    if [ -n "$says" ]; then
        [ "$status" != 0 ] && grep -qF -e "$says" "$scratch/removed" || fail "removal [$in_place $who]: $(cat "$scratch/removed")"
        [ -e "$prefix/share/man/man1/delayed-message.1.gz" ] || fail "removal [$in_place $who] took the manual page"
    fi
    [ -z "$in_place" ] || cmp -s "$link" "$scratch/own" || fail "removal took the user's own $in_place"
done <<EOF
file||
link||
|as_user +dac_read_search|Permission denied
||
EOF
rm -r "$prefix/stow/delayed-message" && [ -z "$(find "$prefix" ! -type d)" ] || fail "removal left $(find "$prefix" ! -type d)"

# A missing packaging tool, a build folder whose path CPack would read as a
# pattern, or a SOURCE_DATE_EPOCH that cannot date the files stops cpack,
# saying so, and leaves no .deb. A tool is hidden by having cpack look for
# programs only under a root whose usr/bin holds everything else.
mkdir -p "$scratch/root/usr/bin"
while IFS='|' read -r tool epoch says folder; do
    rm -rf "${scratch:?}/$folder" "$scratch/root/usr/bin"
    mkdir "$scratch/root/usr/bin" && ln -s /usr/bin/* "$scratch/root/usr/bin/" && rm -f "$scratch/root/usr/bin/${tool:-.none}"
    SOURCE_DATE_EPOCH=$epoch PATH=$scratch/root/usr/bin:/usr/sbin "$(command -v cpack)" --config "$build/CPackConfig.cmake" \
        -C "$config" -G DEB -B "$scratch/$folder" -D CMAKE_FIND_ROOT_PATH="$scratch/root" \
        -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY >"$scratch/packed" 2>&1 && fail "cpack succeeded [$tool $epoch $folder]"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$says" || fail "[$tool $epoch $folder]: $(cat "$scratch/packed")"
    find "$scratch/$folder" -name '*.deb' 2>/dev/null | grep -q . && fail "a .deb was written [$tool $epoch $folder]"
done <<EOF
dpkg-shlibdeps|1700000000|apt-get install dpkg-dev|without
file|1700000000|apt-get install file|without
dpkg-deb|1700000000|could not be rebuilt with fixed modes and owners|without
|1700000000|CPack reads as a pattern|out [gcc]
||SOURCE_DATE_EPOCH is []|without
|abc|SOURCE_DATE_EPOCH is [abc]|without
|1e9|SOURCE_DATE_EPOCH is [1e9]|without
|-5|SOURCE_DATE_EPOCH is [-5]|without
|12345678901234567890|SOURCE_DATE_EPOCH is [12345678901234567890]|without
|8589934592|from 0 to 8589934591|without
EOF

# The release tarball, from a clone with hostile untracked names beside its
# files and a build folder holding a chosen message, under a user's git
# environment and settings, and from a worktree reached through a symlink:
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
# expect_no_tarball BUILD WHERE WHAT-IT-SAYS: dist in BUILD fails, saying so in
# any language git speaks, and leaves no tarball there.
expect_no_tarball() {
    LANGUAGE=de LC_ALL=C.UTF-8 cmake --build "$1" --target dist >"$scratch/packed" 2>&1 && fail "dist made a tarball $2"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$3" && [ ! -e "$1/$name.tar.gz" ] ||
        fail "dist $2: $(cat "$scratch/packed")"
}
tree=$source released=$scratch/chosen
[ -e "$source/.git" ] && ! command -v git >/dev/null && fail "a git clone needs git for its tarball (apt-get install git)"
if [ "$(git -C "$source" rev-parse --show-toplevel 2>/dev/null)" = "$(realpath "$source")" ]; then
    clone=$scratch/clone
    git clone -q "$source" "$clone" && git -C "$clone" worktree add -q --detach "$scratch/work tree [1]" || fail "no clone"
    for untracked in 'Draft]1.txt' '[x' 'semi;colon' 'quote"d' 'back\slash.txt' $'tab\there' $'new\nline' \
        ' leading space' '*?'; do
        echo "$chosen" >"$clone/$untracked"
    done
    make_tarball "$clone" "$clone/build" 1.tar.gz
    git init -q "$scratch/other" && mkdir -p "$scratch/home" && printf '* text eol=crlf\n' >"$scratch/home/attributes" &&
        printf '[core]\nautocrlf = true\nattributesFile = %s\n[tar "tar.gz"]\ncommand = gzip -1cn\n' \
            "$scratch/home/attributes" >"$scratch/home/.gitconfig"
    HOME=$scratch/home GIT_DIR=$scratch/other/.git GIT_WORK_TREE=$scratch/other GIT_CONFIG_COUNT=1 \
        GIT_CONFIG_KEY_0=core.eol GIT_CONFIG_VALUE_0=crlf make_tarball "$clone" "$clone/build" 2.tar.gz
    ln -s "work tree [1]" "$scratch/link"
    make_tarball "$scratch/link" "$scratch/worktree build" worktree.tar.gz
    cmp -s "$scratch/1.tar.gz" "$scratch/2.tar.gz" || fail "the tarball differs when made again"
    cmp -s "$scratch/1.tar.gz" "$scratch/worktree.tar.gz" || fail "the tarball differs made from a worktree"
    git -C "$clone" ls-files | sed "s|^|$name/|" | diff - <(tar -tzf "$scratch/1.tar.gz" | grep -v '/$') >&2 ||
        fail "the tarball does not hold exactly the commit's files"
    tar -tvzf "$scratch/1.tar.gz" | awk '$2 != "root/root" || $1 !~ /^(-rw-r--r--|-rwxr-xr-x|drwxr-xr-x)$/' |
        grep . >&2 && fail "tarball entries not root's with modes 0644 or 0755"
    # A change not committed stops dist, which names it and makes nothing.
    echo >>"$clone/CMakeLists.txt"
    expect_no_tarball "$clone/build" "with a change not committed" "not committed: CMakeLists.txt. The tarball \
holds the commit checked out, which lacks them. Commit them (git commit) or set them aside (git stash)"
    tar -xzf "$scratch/1.tar.gz" -C "$scratch"
    tree=$scratch/$name released=$scratch/released
    cmake -S "$tree" -B "$released" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF >/dev/null &&
        cmake --build "$released" >"$scratch/built" 2>&1 || fail "the tarball does not build: $(cat "$scratch/built")"
fi

# Messages chosen at configure time, built from the tree under test with no
# build type given: a value CMake reads as false, the built-in message, and
# one full of characters special to C++, CMake and the shell, which is built
# and run. The last must come out byte for byte, from an optimized build
# with no debugging information.
configure() {
    cmake -S "$source" -B "$scratch/chosen" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF \
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
# Outside a checkout of its own, dist refuses, whatever language git speaks:
# in the unpacked tarball, and with that placed inside someone else's work tree.
if [ "$tree" = "$source" ]; then
    expect_no_tarball "$released" "outside a checkout of its own" "No tarball was made"
else
    expect_no_tarball "$released" "in an unpacked tarball" \
        "is not a git checkout. The release tarball is made from a git clone of the project, and"
    git init -q "$scratch" && expect_no_tarball "$released" "inside another work tree" "lies inside the git work tree"
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
# A refused value changes nothing: the build still holds the last good
# message, and an install from that folder refuses rather than install it.
load_message "$scratch/chosen/enciphered_message.h"
[ "$plain" = "$chosen" ] || fail "after refusals the build holds [$plain]"
cmake --install "$scratch/chosen" --prefix "$scratch/refused" >/dev/null 2>&1 && fail "installed after a refused message"
[ -e "$scratch/refused" ] && fail "an install after a refused message put files in place"
finish
