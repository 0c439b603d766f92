# Sourced by the shell tests, which all take the same arguments: scratch, failure bookkeeping, and the
# message as the program should print it, worked out here independently of the program's own cipher.
build=$1 source=$2 compiler=$3 config=$4 program=$5
set -u
export LC_ALL=C
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch # what tools leave there (lintian does) goes with it
unset SOURCE_DATE_EPOCH # packages dated as the README makes them
chosen=$'Q-;$#{}`"\\\'@${x}[[]]nnl*/%s&|<>~' # a message full of characters special to C++, CMake and the shell
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() { [ "$failures" = 0 ] && echo "all checks passed"; exit "$((failures > 0))"; }

# load_message HEADER: sets enciphered and plain from a build's message, and writes the expected output.
load_message() {
    local literal; literal=$(sed -n 's/^#define ENCIPHERED_MESSAGE "\(.*\)"$/\1/p' "$1")
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

# run PROGRAM ARGS...: under strace, its sleep answered at once; the trace to $scratch/log, stderr to $scratch/err.
run() {
    timeout 60 strace -f -o "$scratch/log" -e inject=clock_nanosleep,nanosleep:retval=0 "$@" 2>"$scratch/err"
}

load_message "$build/enciphered_message.h"

# as_user CAPABILITIES COMMAND...: as an ordinary user keeping only those of root's capabilities, when root.
as_user() {
    local caps=$1
    shift
    [ "$(id -u)" != 0 ] || set -- setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps="$caps" --ambient-caps="$caps" "$@"
    "$@"
}
