# Sourced by the shell tests: a scratch folder, failure bookkeeping, and the
# message as the program should print it, worked out here independently of
# the program's own cipher.
set -u
export LC_ALL=C
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() { [ "$failures" = 0 ] && echo "all checks passed"; exit "$((failures > 0))"; }

# load_message HEADER: sets enciphered and plain from the message the build
# was configured with, and writes the expected output.
load_message() {
    local literal
    literal=$(sed -n 's/^#define ENCIPHERED_MESSAGE "\(.*\)"$/\1/p' "$1")
    enciphered=$(sed 's/\\\(.\)/\1/g' <<<"$literal")
    [[ $enciphered =~ ^[!-~]{32}$ ]] || { echo "FAIL: no 32-character enciphered message in $1"; exit 1; }
    plain=$(printf '%s' "$enciphered" | tr '!-~' 'P-~!-O')
    printf '%s\n' "$plain" >"$scratch/expected"
}

# expect_delivered WHAT STATUS: the run ended with 0 and wrote exactly the expected bytes to $scratch/out.
expect_delivered() {
    [ "$2" = 0 ] || fail "$1: status $2"
    cmp -s "$scratch/out" "$scratch/expected" || fail "$1: wrong output: $(od -c "$scratch/out" | head -3)"
}

# run PROGRAM ARGS...: under strace, its sleep answered at once; the trace
# goes to $scratch/log and stderr to $scratch/err.
run() {
    timeout 60 strace -f -o "$scratch/log" -e inject=clock_nanosleep,nanosleep:retval=0 \
        "$@" 2>"$scratch/err"
}
