#!/usr/bin/env bash
# The Debian package, made as the README does (a plain cpack, SOURCE_DATE_EPOCH unset: the
# changelog's date) and again: a second later, under other umasks, in a setgid folder and one with
# a default ACL, by an ordinary user, and dated after the time of packaging or at the limits of
# what is allowed. The same date must give the same bytes.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require dpkg-dev file lintian acl
changelog_time=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Timestamp)
# shellcheck disable=SC2015 # fails when any step does
mkdir -p "$scratch/shared" "$scratch/acl" "$scratch/package0" && chmod 2777 "$scratch/shared" &&
    setfacl -d -m u:65534:rwx "$scratch/acl" || fail "no shared folder with a default ACL"
# Another version's .deb, made there before, must go: dpkg -i *.deb is to be given one package.
touch "$scratch/package0/delayed-message_1.10.0_amd64.deb"
while read -r epoch mask folder who; do
    date=${epoch/#-/$changelog_time}
    [ -e "$scratch/$date.deb" ] && sleep 1
    if [ -n "$who" ] && ! as_user -all test -r "$build/CPackConfig.cmake"; then
        echo "skipped [$folder]: an ordinary user cannot reach $build"
        continue
    fi
    what="[$epoch $mask $folder $who]"
    (
        umask "$mask"
        [ "$epoch" = - ] || export SOURCE_DATE_EPOCH=$epoch
        $who cpack --config "$build/CPackConfig.cmake" -C "$config" -B "$scratch/$folder"
    ) >"$scratch/packed" 2>&1 || fail "cpack failed $what: $(tail -3 "$scratch/packed")"
    made=$(find "$scratch/$folder" -maxdepth 1 -type f)
    [[ $made == *.deb && $made != *$'\n'* ]] || fail "cpack made other than one .deb $what: $made"
    [ -e "$scratch/$date.deb" ] || cp "$made" "$scratch/$date.deb"
    cmp -s "$scratch/$date.deb" "$made" || fail "package differs when made again $what"
done <<EOF
- 022 package0
$changelog_time 022 package1
4102444800 002 package2
4102444800 077 shared/package3
- 077 acl/package4
- 077 package5 as_user +dac_override
189302400 022 package6
8589934591 022 package7
EOF
deb=$scratch/$changelog_time.deb
listing=$(dpkg-deb -c "$deb")
awk '$2 != "root/root"' <<<"$listing" | grep . >&2 && fail "package entries not owned by root"
# Installed-Size as dpkg-gencontrol counts: each file in KiB rounded up, each other entry 1, and 1
# for the DEBIAN folder.
size=$(awk '{size += /^-/ ? int(($3 + 1023) / 1024) : 1} END {print size + 1}' <<<"$listing")
[ "$size" = "$(dpkg-deb -f "$deb" Installed-Size)" ] || fail "Installed-Size is not dpkg's count"
contents=$(awk '{print $6}' <<<"$listing")
for file in usr/bin/delayed-message usr/share/man/man1/delayed-message.1.gz \
    usr/share/doc/delayed-message/copyright usr/share/doc/delayed-message/changelog.gz \
    usr/share/lintian/overrides/delayed-message; do
    grep -qx "./$file" <<<"$contents" || fail "package lacks $file"
done
dpkg-deb -x "$deb" "$scratch/unpacked"
grep -rqF -e "$plain" "$scratch/unpacked" && fail "the plain message is in the package"
dpkg-deb -f "$deb" Depends | grep -qE '^libc6( |,|$)' || fail "package does not depend on libc6"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "package section is not utils"
version=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)
[ "$version" = "$(dpkg-deb -f "$deb" Version)" ] ||
    fail "the changelog's latest version is not the package's"
# Nothing for lintian to report but the one declared override.
report=$(lintian -I -E --pedantic --show-overrides "$deb" 2>/dev/null | grep -v '^N: ')
[ "$report" = "O: delayed-message: unstripped-binary-or-object [usr/bin/delayed-message]" ] ||
    fail "lintian: $report"
cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$scratch/tgz" 2>&1 |
    grep -q "Only the Debian package is made here" || fail "cpack -G TGZ was not refused"

# A missing or failing tool, a folder whose path CPack reads as a pattern or cannot read in this
# locale, or a date it cannot give stops cpack, saying so, and leaves no .deb, not even the one
# made before. cpack looks for programs under a root without the tool; "tool argument" puts in
# its place a stand-in that fails when given that argument.
stand_in='#!/bin/sh\ncase " $* " in *" %s "*) exit 1 ;; esac\nexec /usr/bin/%s "$@"\n'
while IFS='|' read -r tool epoch says folder; do
    what="[$tool $epoch $folder]"
    tools=$scratch/root/usr/bin
    rm -rf "${scratch:?}/$folder" "$tools" && mkdir -p "$scratch/$folder" "$tools" &&
        cp "$scratch"/package0/*.deb "$scratch/$folder/" && ln -s /usr/bin/* "$tools/" &&
        rm -f "$tools/${tool%% *}"
    if [[ $tool == *' '* ]]; then
        # shellcheck disable=SC2059 # the format is the stand-in
        printf "$stand_in" "${tool#* }" "${tool%% *}" >"$tools/${tool%% *}"
        chmod +x "$tools/${tool%% *}"
    fi
    SOURCE_DATE_EPOCH=$epoch PATH=$tools:/usr/sbin "$(command -v cpack)" \
        --config "$build/CPackConfig.cmake" -C "$config" -B "$scratch/$folder" \
        -D CMAKE_FIND_ROOT_PATH="$scratch/root" -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY \
        >"$scratch/packed" 2>&1 && fail "cpack succeeded $what"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$says" ||
        fail "$what: $(cat "$scratch/packed")"
    find "$scratch/$folder" -name '*.deb' | grep -q . && fail "a .deb was left $what"
done <<EOF
dpkg-shlibdeps|1700000000|apt-get install dpkg-dev|without
file|1700000000|apt-get install file|without
dpkg-deb|1700000000|could not be rebuilt with fixed modes, owners and dates|without
sed|1700000000|could not be rebuilt with fixed modes, owners and dates|without
chmod|1700000000|could not be rebuilt with fixed modes, owners and dates|without
touch|1700000000|could not be rebuilt with fixed modes, owners and dates|without
dpkg-deb --build|1700000000|could not be rebuilt with fixed modes, owners and dates|without
|1700000000|CPack reads as a pattern|out [gcc]
|1700000000|for example LC_ALL=C.UTF-8 cpack|été
||SOURCE_DATE_EPOCH is []|without
|abc|SOURCE_DATE_EPOCH is [abc]|without
|1e9|SOURCE_DATE_EPOCH is [1e9]|without
|-5|SOURCE_DATE_EPOCH is [-5]|without
|0|from 189302400 (1976, as lintian calls older files ancient)|without
|12345678901234567890|SOURCE_DATE_EPOCH is [12345678901234567890]|without
|8589934592|to 8589934591 (the latest a tar header holds)|without
EOF

# In a copy of the sources, built: a new version committed but not built, then a changelog date
# that dpkg cannot read. cpack refuses, saying why, and leaves no .deb.
# shellcheck disable=SC2317 # called from the table below
new_version() {
    sed -i "s/^\(project(.* VERSION\) [^ ]*/\1 $1/" CMakeLists.txt &&
        sed -i "1s/(.*)/($1)/" packaging/changelog
}
copy=$scratch/copy
# shellcheck disable=SC2015 # fails when any step does
mkdir "$copy" && cp -r "$source"/{CMakeLists.txt,LICENSE,man,packaging,src} "$copy/" &&
    cmake -S "$copy" -B "$copy/build" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null &&
    cmake --build "$copy/build" >/dev/null || fail "the copy of the sources does not build"
while IFS='|' read -r change says; do
    (cd "$copy" && eval "$change") || fail "could not change the copy: $change"
    (cd "$copy/build" && cpack) >"$scratch/packed" 2>&1 && fail "cpack succeeded after $change"
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$says" ||
        fail "after $change: $(cat "$scratch/packed")"
    find "$copy/build" -name '*.deb' | grep -q . && fail "a .deb was left after $change"
done <<'EOF'
new_version 1.9.0|build first (cmake --build)
sed -i '0,/^ -- /s/>  .*/>  Mi, 09 Dez 2026 18:19:00/' packaging/changelog|changelog has no date
EOF
finish
