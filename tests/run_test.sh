#!/usr/bin/env bash
# Runs the shipped executable: its wait answered at once by strace, and for real, hung up on and
# interrupted.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require strace

for args in "" "one" "many args -h --version ''"; do
    arguments=()
    eval "arguments=($args)" # so that '' is one empty argument
    run "$program" "${arguments[@]}" >"$scratch/out"
    status=$?
    what="run with arguments [$args]"
    expect_delivered "$what" "$status"
    [ -s "$scratch/err" ] && fail "$what: wrote to stderr"
    grep -c 'nanosleep(' "$scratch/log" | grep -qx 1 || fail "$what: not exactly one wait"
    grep -q 'clock_nanosleep(CLOCK_REALTIME, 0, {tv_sec=100000, tv_nsec=0}' "$scratch/log" ||
        fail "$what: the wait is not 100000 s"
    awk '/nanosleep\(/ && !s {s=NR} /^[0-9]+ +write\(/ && !w {w=NR} END {exit !(s && w && s < w)}' \
        "$scratch/log" || fail "$what: wrote before waiting"
done

# Undelivered means status 1. Each case: where stdout goes (closed, a full device, a file that must
# stay empty or hold the whole message), what the program runs under, the fault strace puts in and
# the trace line it must show. The close of stdout is found in the last uninjected trace.
close_call=$(grep -E '^[0-9]+ +close\(' "$scratch/log" | grep -n 'close(1)' | cut -d: -f1)
run_case() {
    # shellcheck disable=SC2086 # the wrapper is a command and its options, or nothing
    run ${fault:+-e "inject=$fault"} $wrapper "$program"
}
while IFS='|' read -r what stdout wrapper fault shown; do
    case $stdout in
    closed) run_case >&- ;;
    full) run_case >/dev/full ;;
    *) run_case >"$scratch/out" ;;
    esac
    status=$?
    [ "$status" = 1 ] || fail "$what: status $status, not 1"
    if [ -n "$shown" ] && ! grep -qE "^[0-9]+ +$shown.*\(INJECTED\)" "$scratch/log"; then
        fail "$what: no [$shown] in the trace"
    fi
    if [ "$stdout" = nothing ] && [ -s "$scratch/out" ]; then
        fail "$what: wrote $(od -c "$scratch/out" | head -2)"
    fi
    if [ "$stdout" = message ] && ! cmp -s "$scratch/out" "$scratch/expected"; then
        fail "$what: message not written first"
    fi
done <<EOF
stdout closed|closed|||
stdout on a full device|full|||
line-buffered stdout on a full device|full|stdbuf -oL||
unbuffered, first write failing|nothing|stdbuf -o0|write:error=EAGAIN:when=1|write\(1,.*EAGAIN
a failed close, as NFS reports a full disk|message||close:error=EIO:when=$close_call|close\(1\).*EIO
sleep denied, as by a sandbox|nothing||clock_nanosleep:error=EPERM|clock_nanosleep\(.*EPERM
sleep interrupted|nothing||clock_nanosleep:error=EINTR|clock_nanosleep\(.*EINTR
EOF

# The real wait, started as the manual says to leave it running past a logout.
# Job control keeps SIGINT at its default in the background job.
set -m
nohup "$program" >"$scratch/out" 2>"$scratch/err" </dev/null &
pid=$!
{
    sleep 30
    kill -KILL "$pid"
} >/dev/null 2>&1 &
watchdog=$!
for _ in $(seq 200); do
    read -r call _ <"/proc/$pid/syscall" && [ "$call" = 230 ] && break # clock_nanosleep
    sleep 0.05
done
# Neither may cut the wait short: SIGWINCH is ignored by default, and the
# program must keep the SIGHUP disposition nohup gave it.
kill -WINCH "$pid"
kill -HUP "$pid"
sleep 0.2
call=none
read -r call _ <"/proc/$pid/syscall"
[ "$call" = 230 ] || fail "not waiting in one sleep after SIGWINCH and SIGHUP (system call $call)"

# Nothing the process holds while it waits may show the plain message.
while read -r range perms _ _ _ name; do
    [[ $perms == r* && $name != "[vvar]" && $name != "[vsyscall]" ]] || continue
    start=$((16#${range%-*})) end=$((16#${range#*-}))
    dd if="/proc/$pid/mem" bs=64K iflag=skip_bytes,count_bytes skip="$start" \
        count="$((end - start))" status=none
done <"/proc/$pid/maps" >"$scratch/memory"
grep -qF -e "$enciphered" "$scratch/memory" ||
    fail "memory dump does not show the enciphered message"
grep -qF -e "$plain" "$scratch/memory" && fail "the plain message is in memory during the wait"

kill -INT "$pid"
wait "$pid"
status=$?
kill -- -"$watchdog" 2>/dev/null
[ "$status" = 130 ] || fail "interrupted run: status $status, not death by SIGINT"
[ -s "$scratch/out" ] && fail "interrupted run wrote to stdout"
[ -s "$scratch/err" ] && fail "interrupted run wrote to stderr"
finish
