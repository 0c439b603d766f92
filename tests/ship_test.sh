#!/usr/bin/env bash
# What a user installs: the install tree, the manual page and the Debian package.
build=$1
. "$(dirname "$0")/common.sh"

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install failed"
page=$prefix/share/man/man1/delayed-message.1.gz
doc=$prefix/share/doc/delayed-message
for file in "$page" "$doc/copyright" "$doc/changelog.gz" "$prefix/share/lintian/overrides/delayed-message"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
nm "$prefix/bin/delayed-message" 2>&1 | grep -q ' t rotate_encrypt$' ||
    fail "installed executable missing or stripped"
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
dpkg-deb -f "${deb[0]}" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
[ "$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version)" = "$(dpkg-deb -f "${deb[0]}" Version)" ] ||
    fail "the changelog's latest version is not the package's"
# Nothing for lintian to report but the one declared override.
report=$(lintian -I -E --pedantic --show-overrides "${deb[0]}" 2>/dev/null | grep -v '^N: ')
[ "$report" = "O: delayed-message: unstripped-binary-or-object [usr/bin/delayed-message]" ] ||
    fail "lintian: $report"
finish
