#!/usr/bin/env bash
# The manual page as built: no groff warnings, and names and commands whole
# on a line at every width man may use.
. "$(dirname "$0")/common.sh"
page=$build/delayed-message.1.gz

warnings=$(zcat "$page" | groff -man -ww -z 2>&1) && [ -z "$warnings" ] || fail "manual page: $warnings"
render() { zcat "$page" | groff -man -Tascii -P-cbou -rLL="$1"n 2>/dev/null | tr -s ' '; }
names=$'loginctl enable-linger\nDELAYED_MESSAGE_TEXT\nSIGINT\nSIGTSTP, SIGSTOP\nSIGCONT\nSIGWINCH\nSIGCHLD\nSIGHUP
SIGPIPE\nSIGXFSZ\nnohup(1)\nsetsid -f\nsystemd(1)\nfaketime(1)\nstrace(1)\n-p,\nclock_nanosleep(CLOCK_REALTIME, 0, ...)
message.txt\n/dev/null\nEXIT STATUS\nCtrl-C\nsystemd-logind(8)\nKillUserProcesses=yes\nulimit -f 0\nsetsid;\nnohup\'s'
split=$({ render 1000; for width in $(seq 50 140); do echo "@ $width"; render "$width"; done; } |
    awk -v names="$names" 'BEGIN {n = split(names, name, "\n")} /^@ / {width = $2; next}
        {for (i = 1; i <= n; i++) for (s = $0; p = index(s, name[i]); s = substr(s, p + 1)) count[width, i]++}
        END {for (w = 50; w <= 140; w++) for (i = 1; i <= n; i++)
            if (count[w, i] != count["", i] || !count["", i]) print name[i] " at " w}')
[ -z "$split" ] || fail "the manual page lacks names or splits them across lines: $(sort -u <<<"$split" | head -5)"
finish
