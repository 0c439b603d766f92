#!/usr/bin/env bash
# The install as the README does it, under umask 022 whatever the user's, into a stow directory
# linked into a prefix that has bin and share/man, like /usr/local, with real directories other
# software can install into: the program and its manual page, nothing more.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require stow
prefix=$scratch/local
stowed=$prefix/stow
# From a build of its own: after the README's sudo install, the build directory under test holds
# root's install manifest, which an install by the user cannot write.
{ cmake -S "$source" -B "$scratch/build" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null &&
    cmake --build "$scratch/build" >/dev/null; } || fail "no build"
(umask 022 && mkdir -p "$prefix/bin" "$prefix/share/man" &&
    cmake --install "$scratch/build" --prefix "$stowed/delayed-message" >/dev/null &&
    stow --no-folding --dir="$stowed" --target="$prefix" delayed-message) ||
    fail "install failed"
find "$prefix" -path "$stowed" -prune -o -type l -xtype d -print | grep . >&2 &&
    fail "stow linked directories"
find "$prefix" \( -type d ! -perm 755 -o ! -perm -444 \) -printf '%m %p\n' | grep . >&2 &&
    fail "installed directories not 0755 or files not readable by all"
for file in bin/delayed-message share/man/man1/delayed-message.1; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
nm "$prefix/bin/delayed-message" 2>&1 | grep -q ' t rotate_encrypt$' ||
    fail "installed executable stripped"
grep -rqF -e "$plain" "$prefix" && fail "the plain message is in the installed files"
[ "$(find "$stowed" ! -type d | wc -l)" = 2 ] || fail "installed more than the program and its page"

# Removal takes only stow's own links, with no build directory: a file or link of the user's in
# place of one stays, and everything does when the user may not remove. (Stow 2.3 then removes
# nothing, 2.4 the rest.)
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
        [ -e "$prefix/share/man/man1/delayed-message.1" ] ||
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
