#!/usr/bin/env bash
# What a user installs: the install tree, the manual page and the Debian package.
build=$1
. "$(dirname "$0")/common.sh"

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null || fail "install failed"
page=$scratch/prefix/share/man/man1/delayed-message.1
[ -f "$page" ] || fail "no manual page installed"
nm "$scratch/prefix/bin/delayed-message" 2>&1 | grep -q ' t rotate_encrypt$' ||
    fail "installed executable missing or stripped"
warnings=$(groff -man -ww -z "$page" 2>&1) && [ -z "$warnings" ] || fail "manual page: $warnings"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >/dev/null || fail "cpack failed"
deb=("$scratch"/package/*.deb)
contents=$(dpkg-deb -c "${deb[0]}" | awk '{print $6}')
for file in ./usr/bin/delayed-message ./usr/share/man/man1/delayed-message.1; do
    grep -qx "$file" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -f "${deb[0]}" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
finish
