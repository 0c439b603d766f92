#!/usr/bin/env bash
# The executable's form: what it links, which names it keeps, what it carries, how it is hardened.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"

needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ "$needed" = libc.so.6 ] || fail "shared libraries needed: $needed"
readelf -d "$program" | grep -q 'FLAGS_1.*PIE' || fail "not a position-independent executable"
symbols=$(nm "$program")
grep -qE '^[0-9a-f]+ T main$' <<<"$symbols" || fail "no global main"
grep -qE '^[0-9a-f]+ t rotate_encrypt$' <<<"$symbols" || fail "no file-scope rotate_encrypt"
# Start-up code aside, main is the only function seen outside the source file.
exported=$(readelf -sW "$program" |
    awk '$4 == "FUNC" && $5 != "LOCAL" && $7 != "UND" && $8 !~ /^_(start|init|fini)$/ {print $8}' |
    sort -u)
[ "$exported" = main ] || fail "global functions: $exported"
if [[ $config != Debug && $config != RelWithDebInfo ]]; then
    readelf -S "$program" | grep -q '\.debug_' && fail "debugging information in a $config build"
fi
grep -qF -e "$plain" "$program" && fail "the plain message is in the executable"

# -fcf-protection marks every function's entry, main's too.
first=$(objdump -d --disassemble=main "$program" | grep -A1 -m1 '<main>:' |
    awk 'NR == 2 {print $NF}')
[ "$first" = endbr64 ] || fail "main does not begin with endbr64: compiled without -fcf-protection"
# Calls into libc stay in the PLT, where ltrace can see them.
relocations=$(readelf -rW "$program")
for call in sleep strdup fputs free; do
    grep -qE "JUMP_SLOT .* $call@" <<<"$relocations" || fail "$call not in the PLT"
done
finish
