#!/usr/bin/env bash
# The Debian package, made as the README does (SOURCE_DATE_EPOCH unset: the changelog's date) and
# again: a second later, under other umasks, in a setgid folder and one with a default ACL, by an
# ordinary user, and dated after the time of packaging. The same date must give the same bytes.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require dpkg-dev file lintian acl
changelog_time=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Timestamp)
{ mkdir -p "$scratch/shared" "$scratch/acl" "$scratch/package0" && chmod 2777 "$scratch/shared" &&
    setfacl -d -m u:65534:rwx "$scratch/acl"; } || fail "no shared folder with a default ACL"
touch "$scratch/package0/delayed-message_1.10.0_amd64.deb" # another version's, which must go
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
    made=$(find "$scratch/$folder" -maxdepth 1 -type f) # the .deb, and nothing else
    [ -e "$scratch/$date.deb" ] || cp "$made" "$scratch/$date.deb"
    cmp -s "$scratch/$date.deb" "$made" || fail "not one .deb, or not the same, $what"
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
# Installed-Size as dpkg-gencontrol counts: files in KiB rounded up, 1 for other entries and DEBIAN.
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

# refused WHAT FOLDER SAYS: cpack said SAYS in $scratch/packed, and left no .deb in FOLDER.
refused() {
    tr -s ' \n' ' ' <"$scratch/packed" | grep -qF -e "$3" || fail "$1: $(cat "$scratch/packed")"
    find "$2" -name '*.deb' | grep -q . && fail "a .deb was left $1"
}

# A missing or failing tool, a folder whose path CPack reads as a pattern or cannot read in this
# locale, or a date it cannot give stops cpack, saying so, and leaves no .deb, not even the one
# made before. cpack looks for programs under a root without the tool.
tools=$scratch/root/usr/bin
mkdir -p "$tools" && ln -s /usr/bin/* "$tools/"
while IFS='|' read -r tool epoch says folder; do
    what="[$tool $epoch $folder]"
    bin=${tool%% *}
    rm -rf "${scratch:?}/$folder" && mkdir -p "$scratch/$folder" &&
        cp "$scratch"/package0/*.deb "$scratch/$folder/"
    rm -f "$tools/${bin:-.none}"
    if [[ $tool == *' '* ]]; then # a stand-in, failing when given that argument; never clobbering
        set -C
        printf '#!/bin/sh\ncase "$*" in *%s*) exit 1 ;; esac\nexec /usr/bin/%s "$@"\n' \
            "${tool#* }" "$bin" >"$tools/$bin"
        set +C
        chmod +x "$tools/$bin"
    fi
    SOURCE_DATE_EPOCH=$epoch PATH=$tools:/usr/sbin "$(command -v cpack)" \
        --config "$build/CPackConfig.cmake" -C "$config" -B "$scratch/$folder" \
        -D CMAKE_FIND_ROOT_PATH="$scratch/root" -D CMAKE_FIND_ROOT_PATH_MODE_PROGRAM=ONLY \
        >"$scratch/packed" 2>&1 && fail "cpack succeeded $what"
    refused "$what" "$scratch/$folder" "$says"
    [ -z "$bin" ] || ln -sf "/usr/bin/$bin" "$tools/"
done <<EOF
dpkg-shlibdeps|1700000000|apt-get install dpkg-dev|without
file|1700000000|apt-get install file|without
dpkg-deb|1700000000|could not be rebuilt with fixed modes, owners and dates|without
sed|1700000000|could not be rebuilt|without
chmod|1700000000|could not be rebuilt|without
touch|1700000000|could not be rebuilt|without
dpkg-deb --build|1700000000|could not be rebuilt|without
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

# Built sources then given a new version, not built, then a changelog date dpkg cannot read.
copy=$scratch/copy
{ mkdir "$copy" && cp -r "$source"/{CMakeLists.txt,LICENSE,man,packaging,src} "$copy" &&
    cmake -S "$copy" -B "$copy/b" >/dev/null && cmake --build "$copy/b" >/dev/null; } ||
    fail "the copy does not build"
while IFS='|' read -r change says; do
    sed -i "$change" "$copy/CMakeLists.txt" "$copy/packaging/changelog"
    (cd "$copy/b" && cpack) >"$scratch/packed" 2>&1 && fail "cpack took [$change]"
    refused "[$change]" "$copy/b" "$says"
done <<'EOF'
s/^\(project(.* VERSION\) [^ ]*/\1 9.9/;1s/^\(delayed-message\) ([^)]*)/\1 (9.9)/|build first
s/ +0000$//|packaging/changelog has no date
EOF
finish
