# shellcheck shell=bash disable=SC2034 # what is set here, the tests that source it use
# Sourced by the shell tests, which all take the same arguments: scratch, failure bookkeeping, and
# the message as the program should print it, worked out here independently of the program's own
# cipher.
build=$1 source=$2 compiler=$3 config=$4 program=$5
set -u
export LC_ALL=C
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch # what tools leave there (lintian does) goes with it
unset SOURCE_DATE_EPOCH # packages dated as the README makes them
chosen=$'Q-;$#{}`"\\\'@${x}[[]]nnl*/%s&|<>~' # characters special to C++, CMake and the shell
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

finish() {
    [ "$failures" = 0 ] && echo "all checks passed"
    exit "$((failures > 0))"
}

# require PACKAGE...: stops the test in one line when a package it needs is missing.
require() {
    local package missing=
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$' ||
            missing+=" $package"
    done
    if [ -n "$missing" ]; then
        echo "FAIL: this test needs apt-get install$missing"
        exit 1
    fi
}

# load_message BUILD: sets enciphered and plain from a build's message (the source's, unless one
# was chosen), and writes the expected output.
load_message() {
    local file=$1/enciphered_message.h
    [ -f "$file" ] || file=$source/src/delayed_message.cpp
    enciphered=$(sed -n 's/^#define ENCIPHERED_MESSAGE "\(.*\)"$/\1/p' "$file" |
        sed 's/\\\(.\)/\1/g')
    if [[ ! $enciphered =~ ^[!-~]{32}$ ]]; then
        echo "FAIL: no 32-character enciphered message in $file"
        exit 1
    fi
    plain=$(printf '%s' "$enciphered" | tr '!-~' 'P-~!-O')
    printf '%s\n' "$plain" >"$scratch/expected"
}

# expect_delivered WHAT STATUS: the run ended with 0 and wrote exactly the expected bytes to
# $scratch/out.
expect_delivered() {
    [ "$2" = 0 ] || fail "$1: status $2"
    cmp -s "$scratch/out" "$scratch/expected" ||
        fail "$1: wrong output: $(od -c "$scratch/out" | head -3)"
}

# run PROGRAM ARGS...: under strace, its sleep answered at once; the trace to $scratch/log, stderr
# to $scratch/err.
run() {
    timeout 60 strace -f -o "$scratch/log" -e inject=clock_nanosleep,nanosleep:retval=0 "$@" \
        2>"$scratch/err"
}

load_message "$build"

# as_user CAPABILITIES COMMAND...: as an ordinary user keeping only those of root's capabilities,
# when root.
as_user() {
    local caps=$1
    shift
    if [ "$(id -u)" = 0 ]; then
        set -- setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps="$caps" \
            --ambient-caps="$caps" "$@"
    fi
    "$@"
}
