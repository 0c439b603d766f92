#!/usr/bin/env bash
# Messages chosen at configure time, from the tree under test with no build type given: a value CMake reads
# as false, the built-in message, and the chosen one, built, packaged and run: byte for byte, from an
# optimized build with no debugging information. Then the values refused.
. "$(dirname "$0")/common.sh"
configure() {
    cmake -S "$source" -B "$scratch/chosen" -DCMAKE_CXX_COMPILER="$compiler" -DBUILD_TESTING=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DDELAYED_MESSAGE_TEXT="$1" >"$scratch/configured" 2>&1
}
for value in Twenty_three_characters-NOTFOUND "" "$chosen"; do
    configure "$value" || fail "[$value] refused: $(cat "$scratch/configured")"
    load_message "$scratch/chosen/enciphered_message.h"
    [ "$plain" = "$value" ] || [ -z "$value" ] || fail "configured with [$value], the build holds [$plain]"
    [ -n "$value" ] || [ "$(printf %s "$plain" | sha256sum)" = \
        "bcb49ec29bd58ecb46caba80c5e8c5ca52a68833bfaa85a433a84a2532a1c1bb  -" ] || fail "not the built-in message"
done
if cmake --build "$scratch/chosen" -v >"$scratch/built" 2>&1 && (cd "$scratch/chosen" && cpack -G DEB >/dev/null); then
    run "$scratch/chosen/delayed-message" >"$scratch/out"
    expect_delivered "chosen message" $?
    grep -qF -e "$chosen" "$scratch/chosen/delayed-message" && fail "the chosen plain message is in the executable"
    compile=$(grep -E -e '-c .*/delayed_message\.cpp"?$' "$scratch/built")
    [[ $compile =~ \ -O[23s]\  && ! $compile =~ \ -g ]] || fail "default build not optimized or has -g: $compile"
    readelf -S "$scratch/chosen/delayed-message" | grep -q '\.debug_' && fail "default build has debugging information"
else
    fail "chosen message not built or packaged: $(cat "$scratch/built")"
fi

bad=("${chosen:1}" "${chosen}x" Q "${chosen:0:15} ${chosen:16}" $'\t'"${chosen:1}" "${chosen:1}"$'\x7f' "é${chosen:2}"
    $'\x80'"${chosen:1}")
why=("is 31 bytes long" "is 33 bytes long" "is 1 byte long" "character 16 is a space (use _ instead)" "character 1 is a tab"
    "character 32 is a control character (0x7f)" "byte 1 (0xc3) is outside ASCII" "byte 1 (0x80) is outside ASCII")
for i in "${!bad[@]}"; do
    configure "${bad[i]}" && fail "configure accepted [${bad[i]}]"
    refusal=$(tr -s ' \n' ' ' <"$scratch/configured") # cmake wraps its messages
    grep -qF "DELAYED_MESSAGE_TEXT must be exactly 32 characters" <<<"$refusal" &&
        grep -qF -e "-DDELAYED_MESSAGE_TEXT= (empty) to go back to the built-in message" <<<"$refusal" ||
        fail "[${bad[i]}] refused without naming DELAYED_MESSAGE_TEXT, its rules and the way back"
    grep -qF -e "${why[i]}" <<<"$refusal" || fail "[${bad[i]}] refused without saying ${why[i]}"
done
# A refused value changes nothing; install and cpack there refuse, leaving nothing, not even the old .deb.
load_message "$scratch/chosen/enciphered_message.h"
[ "$plain" = "$chosen" ] || fail "after refusals the build holds [$plain]"
cmake --install "$scratch/chosen" --prefix "$scratch/refused" >/dev/null 2>&1 && fail "installed after a refused message"
(cd "$scratch/chosen" && cpack -G DEB) >/dev/null 2>&1 && fail "packaged after a refused message"
[ -e "$scratch/refused" ] && fail "an install after a refused message put files in place"
find "$scratch/chosen" -name '*.deb' | grep -q . && fail "a .deb is left after a refused message"
finish
