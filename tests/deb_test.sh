#!/usr/bin/env bash
# The Debian package, made by dpkg-buildpackage as the README does, each time in a fresh copy of
# the sources: what it holds and lintian's verdict; the same bytes made by an ordinary user under
# umask 077; a chosen message; the user's files left alone; and the refusals.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require build-essential debhelper lintian devscripts python3-debian
unset DELAYED_MESSAGE_TEXT
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
deb=delayed-message_${version}_$(dpkg --print-architecture).deb
# make_deb DIRECTORY COMMAND...: the package made by COMMAND in a copy of the sources under
# DIRECTORY, which the ordinary user owns when root runs the test; its output to DIRECTORY/made.
make_deb() {
    local copy=$1/delayed-message
    mkdir -p "$copy" && cp -r "$source"/{CMakeLists.txt,LICENSE,debian,man,src} "$copy" || return
    [ "$(id -u)" != 0 ] || chown -R 65534:65534 "$1"
    shift
    (cd "$copy" && "$@" dpkg-buildpackage -b -us -uc) >"${copy%/*}/made" 2>&1
}
make_deb "$scratch/root" env || fail "no package: $(tail -5 "$scratch/root/made")"
deb_made=$scratch/root/$deb
chmod 755 "$scratch"
# The user's temporary files go to its own directory.
user=(as_user -all env TMPDIR="$scratch/user")
if "${user[@]}" test -x "$scratch"; then
    (umask 077 && make_deb "$scratch/user" "${user[@]}") ||
        fail "no package made by an ordinary user under umask 077: $(tail -5 "$scratch/user/made")"
    cmp -s "$deb_made" "$scratch/user/$deb" ||
        fail "not the same bytes made by an ordinary user under umask 077"
    deb_made=$scratch/user/$deb
else
    echo "skipped the package made by an ordinary user, who cannot reach $scratch"
    user=()
fi
dpkg-deb -x "$scratch/root/$deb" "$scratch/unpacked"
# Owners, modes and dependencies are lintian's to check.
listing=$(dpkg-deb -c "$scratch/root/$deb")
[ "$(awk '!/^d/ {print $6}' <<<"$listing")" = "./usr/bin/delayed-message
./usr/share/doc/delayed-message/changelog.gz
./usr/share/doc/delayed-message/copyright
./usr/share/lintian/overrides/delayed-message
./usr/share/man/man1/delayed-message.1.gz" ] || fail "package holds: $listing"
packaged=$scratch/unpacked/usr/bin/delayed-message
nm "$packaged" | grep -q ' t rotate_encrypt$' || fail "the packaged program lacks its symbol table"
readelf -S "$packaged" | grep -q '\.debug_' && fail "the packaged program has debugging information"
grep -rqF -e "$plain" "$scratch/unpacked" && fail "the plain message is in the package"
zcat "$scratch/unpacked/usr/share/man/man1/delayed-message.1.gz" | head -1 |
    grep -qF "\"delayed-message $version\"" || fail "the manual page is not of version $version"
# Newer hardening-check also asks for arm64 branch protection, even on x86-64.
branch=
hardening-check --help 2>&1 | grep -q -e --nobranchprotection && branch=--nobranchprotection
hardening=$(hardening-check --nocfprotection $branch "$packaged" 2>&1) ||
    fail "hardening: $hardening"
# lintian does not check the machine-readable copyright format; python3-debian does.
if ! /usr/bin/python3 - "$scratch/unpacked/usr/share/doc/delayed-message/copyright" \
    "$source/LICENSE" <<'EOF'; then
import sys
from debian.copyright import Copyright
licence = next(Copyright(open(sys.argv[1])).all_files_paragraphs()).license
text = open(sys.argv[2]).read()
sys.exit(licence.synopsis != "Expat" or licence.text != text[text.index("Permission"):].strip())
EOF
    fail "copyright file is not machine-readable Expat with LICENSE's text"
fi
# From a directory the user can enter, which lintian returns to.
report=$(cd "$scratch" && "${user[@]}" lintian -I -E --pedantic "$deb_made" 2>&1 |
    grep -vx 'running with root privileges is not recommended!')
[ -z "$report" ] || fail "lintian: $report"

# A chosen message reaches the package, and making it takes none of the user's files, which
# debhelper would otherwise clean out of the tree.
kept=(build/kept.bak notes~ TAGS x.orig debian/x.rej)
mkdir -p "$scratch/chosen/delayed-message/build" "$scratch/chosen/delayed-message/debian" &&
    (cd "$scratch/chosen/delayed-message" && touch "${kept[@]}")
make_deb "$scratch/chosen" env DELAYED_MESSAGE_TEXT="$chosen" ||
    fail "no package of a chosen message: $(tail -5 "$scratch/chosen/made")"
for file in "${kept[@]}"; do
    [ -e "$scratch/chosen/delayed-message/$file" ] || fail "making the package removed $file"
done
dpkg-deb -x "$scratch/chosen/$deb" "$scratch/chosen/unpacked"
printf '%s\n' "$chosen" >"$scratch/expected"
run "$scratch/chosen/unpacked/usr/bin/delayed-message" >"$scratch/out"
expect_delivered "the packaged chosen message" $?

# Refused, saying what to do, with no package made.
# Rows: what, DELAYED_MESSAGE_TEXT's value when set (after an =), a file left at the top, and
# what the refusal says.
while IFS='|' read -r what value file says; do
    rm -rf "$scratch/refused"
    mkdir -p "$scratch/refused/delayed-message"
    [ -z "$file" ] || touch "$scratch/refused/delayed-message/$file"
    make_deb "$scratch/refused" env ${value:+"DELAYED_MESSAGE_TEXT$value"} &&
        fail "a package made $what"
    tr -s ' \n' ' ' <"$scratch/refused/made" | grep -qF -e "$says" ||
        fail "refused $what without saying [$says]: $(tail -5 "$scratch/refused/made")"
    [ -e "$scratch/refused/$deb" ] && fail "a package was left $what"
done <<'EOF'
with a message set but empty|=||or unset it (unset DELAYED_MESSAGE_TEXT)
with a message too short|=x||With dpkg-buildpackage, set the variable to a valid one
after cmake in the source||CMakeCache.txt|CMakeCache.txt lies at the top of the source directory
EOF
finish
