#!/usr/bin/env bash
# Messages chosen at configure time, from the tree under test with no build type given and no
# GoogleTest: a value CMake reads as false, the built-in message (also compiled alone), and the
# chosen one, built and run: byte for byte, from an optimized build with no debugging
# information. Then the values refused.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require strace
configure() {
    cmake -S "$source" -B "$scratch/chosen" -DCMAKE_CXX_COMPILER="$compiler" \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        -DDELAYED_MESSAGE_TEXT="$1" >"$scratch/configured" 2>&1
}
for value in Twenty_three_characters-NOTFOUND "" "$chosen"; do
    configure "$value" || fail "[$value] refused: $(cat "$scratch/configured")"
    load_message "$scratch/chosen"
    [ "$plain" = "$value" ] || [ -z "$value" ] ||
        fail "configured with [$value], the build holds [$plain]"
    if [ -z "$value" ]; then
        [ "$(printf %s "$plain" | sha256sum)" = \
            "bcb49ec29bd58ecb46caba80c5e8c5ca52a68833bfaa85a433a84a2532a1c1bb  -" ] ||
            fail "not the built-in message"
        "$compiler" -O2 -o "$scratch/alone" "$source/src/delayed_message.cpp"
        run "$scratch/alone" >"$scratch/out"
        expect_delivered "the source compiled alone" $?
    fi
done
if cmake --build "$scratch/chosen" -v >"$scratch/built" 2>&1; then
    run "$scratch/chosen/delayed-message" >"$scratch/out"
    expect_delivered "chosen message" $?
    grep -qF -e "$chosen" "$scratch/chosen/delayed-message" &&
        fail "the chosen plain message is in the executable"
    compile=$(grep -E -e '-c .*/delayed_message\.cpp"?$' "$scratch/built")
    [[ $compile =~ \ -O[23s]\  && ! $compile =~ \ -g ]] ||
        fail "default build not optimized or has -g: $compile"
    readelf -S "$scratch/chosen/delayed-message" | grep -q '\.debug_' &&
        fail "default build has debugging information"
else
    fail "chosen message not built: $(cat "$scratch/built")"
fi
bad=("${chosen:1}" "${chosen}x" Q "${chosen:0:15} ${chosen:16}" $'\t'"${chosen:1}"
    "${chosen:1}"$'\x7f' "é${chosen:2}" $'\x80'"${chosen:1}")
why=("is 31 bytes long" "is 33 bytes long" "is 1 byte long"
    "character 16 is a space (use _ instead)" "character 1 is a tab"
    "character 32 is a control character (0x7f)"
    "byte 1 (0xc3) is outside ASCII" "byte 1 (0x80) is outside ASCII")
for i in "${!bad[@]}"; do
    configure "${bad[i]}" && fail "configure accepted [${bad[i]}]"
    refusal=$(tr -s ' \n' ' ' <"$scratch/configured") # cmake wraps its messages
    if ! grep -qF "DELAYED_MESSAGE_TEXT must be exactly 32 characters" <<<"$refusal" ||
        ! grep -qF -e "-DDELAYED_MESSAGE_TEXT= (empty) to go back" <<<"$refusal"; then
        fail "[${bad[i]}] refused without naming DELAYED_MESSAGE_TEXT, its rules and the way back"
    fi
    grep -qF -e "${why[i]}" <<<"$refusal" || fail "[${bad[i]}] refused without saying ${why[i]}"
done
# A refused value changes nothing, and until a good one is given, cmake --install refuses to
# install what was built before.
load_message "$scratch/chosen"
[ "$plain" = "$chosen" ] || fail "after refusals the build holds [$plain]"
cmake --install "$scratch/chosen" --prefix "$scratch/refused" >/dev/null 2>&1 &&
    fail "installed after a refused message"
[ -e "$scratch/refused" ] && fail "an install after a refused message put files in place"
finish
