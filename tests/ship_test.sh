#!/usr/bin/env bash
# What a user builds and installs: the install tree, the manual page, the
# Debian package, the source tarball, and a build with a message of the user's
# own made from that tarball.
build=$1 source=$2 compiler=$3
. "$(dirname "$0")/common.sh"
load_message "$build/enciphered_message.h"

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install failed"
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

# Built twice, a second apart: the same SOURCE_DATE_EPOCH must give the same bytes.
export SOURCE_DATE_EPOCH=1700000000
for n in 1 2; do
    [ "$n" = 2 ] && sleep 1
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package$n" >/dev/null || fail "cpack failed"
done
deb=("$scratch"/package1/*.deb)
cmp -s "${deb[0]}" "$scratch"/package2/*.deb || fail "package differs between two builds"
contents=$(dpkg-deb -c "${deb[0]}" | awk '{print $6}')
for file in ./usr/bin/delayed-message ./usr/share/man/man1/delayed-message.1.gz \
    ./usr/share/doc/delayed-message/copyright ./usr/share/doc/delayed-message/changelog.gz; do
    grep -qx "$file" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -x "${deb[0]}" "$scratch/unpacked"
grep -rqF -e "$plain" "$scratch/unpacked" && fail "the plain message is in the package"
dpkg-deb -f "${deb[0]}" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
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

# Missing packaging tools stop cpack, named, before it writes a .deb. Each is
# hidden by having cpack look for programs only under a root whose usr/bin
# holds everything else.
mkdir -p "$scratch/root/usr/bin"
for tool in dpkg-shlibdeps:dpkg-dev file:file; do
    rm -rf "$scratch/without" "$scratch/root/usr/bin"/*
    for path in /usr/bin/*; do [ "${path##*/}" = "${tool%:*}" ] || ln -s "$path" "$scratch/root/usr/bin/"; done
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/without" -D CMAKE_FIND_ROOT_PATH="$scratch/root" \
        -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY >"$scratch/packed" 2>&1 && fail "cpack succeeded without ${tool%:*}"
    grep -qF "apt-get install ${tool#*:}" "$scratch/packed" || fail "without ${tool%:*}: $(cat "$scratch/packed")"
    compgen -G "$scratch/without/*.deb" >/dev/null && fail "a .deb was written without ${tool%:*}"
done

# The release tarball: one .tar.gz under one folder, of exactly the tracked
# files and no build output. pack_source BUILD MESSAGE LISTING lists what it holds.
tarball=$scratch/source/delayed-message-$version.tar.gz
pack_source() {
    rm -rf "$scratch/source"
    cpack --config "$1/CPackSourceConfig.cmake" -B "$scratch/source" >/dev/null || fail "package_source failed"
    [ "$(cd "$scratch/source" && echo *.tar*)" = "${tarball##*/}" ] || fail "source packages: $(ls "$scratch/source")"
    tar -xzOf "$tarball" | grep -qaF -e "$2" && fail "a plain message is in the source tarball"
    tar -tzf "$tarball" | grep -v '/$' | sort >"$scratch/$3"
}
pack_source "$build" "$plain" packed
if tracked=$(git -C "$source" ls-files 2>/dev/null); then
    sed "s|^|delayed-message-$version/|" <<<"$tracked" | sort | diff - "$scratch/packed" >&2 ||
        fail "the source tarball does not hold exactly the tracked files"
fi
tar -xzf "$tarball" -C "$scratch"
tree=$scratch/delayed-message-$version

# A message chosen at configure time, full of characters special to C++, CMake
# and the shell, comes out byte for byte; bad values stop the configure. It is
# built from the unpacked tarball, in a build folder inside it, with no build
# type given: by default the build is optimized and has no debugging information.
chosen=$'Q-;$#{}`"\\\'@${x}[[]]nnl*/%s&|<>~'
configure() {
    cmake -S "$tree" -B "$tree/build" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DDELAYED_MESSAGE_TEXT="$1" >"$scratch/configured" 2>&1
}
if configure "$chosen" && cmake --build "$tree/build" -v >"$scratch/built" 2>&1; then
    printf '%s\n' "$chosen" >"$scratch/expected"
    run "$tree/build/delayed-message" >"$scratch/out"
    expect_delivered "chosen message" $?
    grep -qF -e "$chosen" "$tree/build/delayed-message" && fail "the chosen plain message is in the executable"
    compile=$(grep -e '-c [^ ]*/delayed_message\.cpp$' "$scratch/built")
    [[ $compile =~ \ -O[23s]\  && ! $compile =~ \ -g ]] || fail "default build not optimized or has -g: $compile"
    readelf -S "$tree/build/delayed-message" | grep -q '\.debug_' && fail "default build has debugging information"
    # Packed again, from a tree whose build folder holds the chosen message.
    pack_source "$tree/build" "$chosen" repacked
    diff "$scratch/packed" "$scratch/repacked" >&2 || fail "the tarball packs itself differently"
else
    fail "chosen message not built: $(cat "$scratch/configured" "$scratch/built")"
fi
bad=("${chosen:1}" "${chosen}x" Q "${chosen:0:15} ${chosen:16}" $'\t'"${chosen:1}" "${chosen:1}"$'\x7f' "é${chosen:2}")
why=("is 31 bytes long" "is 33 bytes long" "is 1 byte long" "is a space (use _ instead)" "is a tab"
    "is a control character (0x7f)" "outside ASCII")
for i in "${!bad[@]}"; do
    configure "${bad[i]}" && fail "configure accepted [${bad[i]}]"
    refusal=$(tr -s ' \n' ' ' <"$scratch/configured") # cmake wraps its messages
    grep -qF "DELAYED_MESSAGE_TEXT must be exactly 32 characters" <<<"$refusal" &&
        grep -qF -e "-DDELAYED_MESSAGE_TEXT= (empty) to go back to the built-in message" <<<"$refusal" ||
        fail "[${bad[i]}] refused without naming DELAYED_MESSAGE_TEXT, its rules and the way back"
    grep -qF -e "${why[i]}" <<<"$refusal" || fail "[${bad[i]}] refused without saying it ${why[i]}"
done
# A refused value changes nothing: the build still holds the last good message.
load_message "$tree/build/enciphered_message.h"
[ "$plain" = "$chosen" ] || fail "after refusals the build holds [$plain]"
finish
