#!/usr/bin/env bash
# The Debian package, made as the README does (SOURCE_DATE_EPOCH unset: the changelog's date) and
# again: a second later, under other umasks, in a setgid folder and one with a default ACL, by an
# ordinary user, and dated after the time of packaging. The same date must give the same bytes.
. "$(dirname "$0")/common.sh"
changelog_time=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Timestamp)
mkdir -p "$scratch/shared" "$scratch/acl" && chmod 2777 "$scratch/shared" &&
    setfacl -d -m u:65534:rwx "$scratch/acl" || fail "no shared folder with a default ACL"
while read -r epoch mask folder who; do
    date=${epoch/#-/$changelog_time}
    [ -e "$scratch/$date.deb" ] && sleep 1
    [ -n "$who" ] && ! as_user -all test -r "$build/CPackConfig.cmake" &&
        echo "skipped [$folder]: an ordinary user cannot reach $build" && continue
    (umask "$mask" && if [ "$epoch" != - ]; then export SOURCE_DATE_EPOCH=$epoch; fi &&
        $who cpack --config "$build/CPackConfig.cmake" -C "$config" -G DEB -B "$scratch/$folder") \
        >"$scratch/packed" 2>&1 || fail "cpack failed [$epoch $mask $folder $who]: $(tail -3 "$scratch/packed")"
    [ -e "$scratch/$date.deb" ] || cp "$scratch/$folder"/*.deb "$scratch/$date.deb"
    cmp -s "$scratch/$date.deb" "$scratch/$folder"/*.deb || fail "package differs when made again [$epoch $mask $folder $who]"
done <<EOF
- 022 package0
$changelog_time 022 package1
4102444800 002 package2
4102444800 077 shared/package3
- 077 acl/package4
- 077 package5 as_user +dac_override
EOF
deb=$scratch/$changelog_time.deb
dpkg-deb -c "$deb" | awk '$2 != "root/root"' | grep . >&2 && fail "package entries not owned by root"
# Installed-Size as dpkg-gencontrol counts: each file in KiB rounded up, each other entry 1.
[ "$(dpkg-deb -c "$deb" | awk '{size += /^-/ ? int(($3 + 1023) / 1024) : 1} END {print size}')" = \
    "$(dpkg-deb -f "$deb" Installed-Size)" ] || fail "Installed-Size is not dpkg's count"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/delayed-message ./usr/share/man/man1/delayed-message.1.gz ./usr/share/doc/delayed-message/copyright \
    ./usr/share/doc/delayed-message/changelog.gz ./usr/share/lintian/overrides/delayed-message; do
    grep -qx "$file" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -x "$deb" "$scratch/unpacked"
grep -rqF -e "$plain" "$scratch/unpacked" && fail "the plain message is in the package"
dpkg-deb -f "$deb" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "package section is not utils"
[ "$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)" ] ||
    fail "the changelog's latest version is not the package's"
# Nothing for lintian to report but the one declared override.
report=$(lintian -I -E --pedantic --show-overrides "$deb" 2>/dev/null | grep -v '^N: ')
[ "$report" = "O: delayed-message: unstripped-binary-or-object [usr/bin/delayed-message]" ] || fail "lintian: $report"

# A missing tool, a folder whose path CPack reads as a pattern, or a date it cannot give stops cpack, saying
# so, and leaves no .deb, not even the one made before. cpack looks for programs under a root without the tool.
while IFS='|' read -r tool epoch says folder; do
    rm -rf "${scratch:?}/$folder" "$scratch/root/usr/bin" && mkdir -p "$scratch/$folder" "$scratch/root/usr/bin" &&
        cp "$scratch"/package0/*.deb "$scratch/$folder/" && ln -s /usr/bin/* "$scratch/root/usr/bin/" &&
        rm -f "$scratch/root/usr/bin/${tool:-.none}"
    SOURCE_DATE_EPOCH=$epoch PATH=$scratch/root/usr/bin:/usr/sbin "$(command -v cpack)" --config "$build/CPackConfig.cmake" \
        -C "$config" -G DEB -B "$scratch/$folder" -D CMAKE_FIND_ROOT_PATH="$scratch/root" \
        -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY >"$scratch/packed" 2>&1 && fail "cpack succeeded [$tool $epoch $folder]"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$says" || fail "[$tool $epoch $folder]: $(cat "$scratch/packed")"
    find "$scratch/$folder" -name '*.deb' | grep -q . && fail "a .deb was left [$tool $epoch $folder]"
done <<EOF
dpkg-shlibdeps|1700000000|apt-get install dpkg-dev|without
file|1700000000|apt-get install file|without
dpkg-deb|1700000000|could not be rebuilt with fixed modes, owners and dates|without
|1700000000|CPack reads as a pattern|out [gcc]
||SOURCE_DATE_EPOCH is []|without
|abc|SOURCE_DATE_EPOCH is [abc]|without
|1e9|SOURCE_DATE_EPOCH is [1e9]|without
|-5|SOURCE_DATE_EPOCH is [-5]|without
|0|from 189302400 (1976, as lintian calls older files ancient)|without
|12345678901234567890|SOURCE_DATE_EPOCH is [12345678901234567890]|without
|8589934592|to 8589934591 (the latest a tar header holds)|without
EOF
finish
