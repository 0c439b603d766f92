#!/usr/bin/env bash
# The manual page as built: its version, no groff warnings, and names and commands whole on a line
# at every width man may use.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require groff
page=$build/delayed-message.1.gz

zcat "$page" | head -1 | grep -q '"delayed-message [0-9]' || fail "the manual page has no version"
warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"
render() {
    zcat "$page" | groff -man -Tascii -P-cbou -rLL="$1"n 2>/dev/null | tr -s ' '
}
names="loginctl enable-linger|DELAYED_MESSAGE_TEXT|SIGINT|SIGTSTP, SIGSTOP|SIGCONT|SIGWINCH|SIGCHLD
SIGHUP|SIGPIPE|SIGXFSZ|nohup(1)|setsid -f|systemd(1)|faketime(1)|strace(1)|-p,|message.txt
clock_nanosleep(CLOCK_REALTIME, 0, ...)|/dev/null|EXIT STATUS|Ctrl-C|systemd-logind(8)|nohup's
KillUserProcesses=yes|ulimit -f 0|setsid;|libfaketime|cmake --build|cmake --install"
names=${names//$'\n'/|}
split=$({
    render 1000
    for width in $(seq 50 140); do
        echo "@ $width"
        render "$width"
    done
} | awk -v names="$names" '
    BEGIN {n = split(names, name, "|")}
    /^@ / {
        width = $2
        next
    }
    {
        for (i = 1; i <= n; i++)
            for (s = $0; p = index(s, name[i]); s = substr(s, p + 1))
                count[width, i]++
    }
    END {
        for (w = 50; w <= 140; w++)
            for (i = 1; i <= n; i++)
                if (count[w, i] != count["", i] || !count["", i])
                    print name[i] " at " w
    }')
[ -z "$split" ] ||
    fail "the manual page lacks names or splits them across lines: $(sort -u <<<"$split" | head -5)"
finish
