#!/usr/bin/env bash
# The install as the README does it, under umask 022 whatever the user's, into a stow folder linked
# into a prefix that has bin and share/man, like /usr/local, with real folders other software can
# install into.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require stow python3-debian
prefix=$scratch/local
stowed=$prefix/stow
(umask 022 && mkdir -p "$prefix/bin" "$prefix/share/man" &&
    cmake --install "$build" --config "$config" --prefix "$stowed/delayed-message" >/dev/null &&
    stow --no-folding --dir="$stowed" --target="$prefix" delayed-message) ||
    fail "install failed"
find "$prefix" -path "$stowed" -prune -o -type l -xtype d -print | grep . >&2 &&
    fail "stow linked folders"
find "$prefix" \( -type d ! -perm 755 -o ! -perm -444 \) -printf '%m %p\n' | grep . >&2 &&
    fail "installed folders not 0755 or files not readable by all"
page=$prefix/share/man/man1/delayed-message.1.gz
doc=$prefix/share/doc/delayed-message
for file in "$page" "$doc/copyright" "$doc/changelog.gz"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ -e "$prefix/share/lintian" ] &&
    fail "the lintian override, which only a .deb needs, was installed"
nm "$prefix/bin/delayed-message" 2>&1 | grep -q ' t rotate_encrypt$' ||
    fail "installed executable missing or stripped"
grep -rqF -e "$plain" "$prefix" && fail "the plain message is in the installed files"
# gzip at its best, with no name or time stored: flags, time and extra flags all fixed.
for file in "$page" "$doc/changelog.gz"; do
    [ "$(od -An -tx1 -N9 "$file" | tr -d ' ')" = 1f8b08000000000002 ] ||
        fail "${file##*/}: not gzip -9n output"
done
# lintian does not check the machine-readable copyright format; python3-debian does.
/usr/bin/python3 - "$doc/copyright" "$source/LICENSE" <<'EOF' ||
    fail "copyright file is not machine-readable Expat with LICENSE's text"
import sys
from debian.copyright import Copyright
licence = next(Copyright(open(sys.argv[1])).all_files_paragraphs()).license
text = open(sys.argv[2]).read()
sys.exit(licence.synopsis != "Expat" or licence.text != text[text.index("Permission"):].strip())
EOF

# Removal takes only stow's own links, with no build folder: a file or link of the user's in place
# of one stays, and everything does when the user may not remove. (Stow 2.3 then removes nothing,
# 2.4 the rest.)
link=$prefix/bin/delayed-message
echo "the user's own" >"$scratch/own"
while IFS='|' read -r in_place who says; do
    rm -f "$link"
    stow --no-folding --dir="$stowed" --target="$prefix" delayed-message ||
        fail "stowed again [$in_place $who]"
    case $in_place in
    file) rm "$link" && cp "$scratch/own" "$link" ;;
    link) rm "$link" && ln -s "$scratch/own" "$link" ;;
    esac
    [ -z "$who" ] || chmod -R a-w "$prefix"
    $who stow --dir="$stowed" --target="$prefix" --delete delayed-message >"$scratch/removed" 2>&1
    status=$?
    chmod -R u+w "$prefix"
    if [ -n "$says" ]; then
        if [ "$status" = 0 ] || ! grep -qF -e "$says" "$scratch/removed"; then
            fail "removal [$in_place $who]: $(cat "$scratch/removed")"
        fi
        [ -e "$prefix/share/man/man1/delayed-message.1.gz" ] ||
            fail "removal [$in_place $who] took the manual page"
    fi
    [ -z "$in_place" ] || cmp -s "$link" "$scratch/own" ||
        fail "removal took the user's own $in_place"
done <<EOF
file||
link||
|as_user +dac_read_search|Permission denied
||
EOF
rm -r "$stowed/delayed-message"
left=$(find "$prefix" ! -type d)
[ -z "$left" ] || fail "removal left $left"
finish
