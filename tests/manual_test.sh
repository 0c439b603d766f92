#!/usr/bin/env bash
# The manual page as built: the changelog's version, no groff warnings, and names and commands
# whole on a line at every width man may use. A version that the build cannot take is refused.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
require groff-base
page=$build/delayed-message.1

version=$(sed -n '1s/^delayed-message (\([^)]*\)).*/\1/p' "$source/debian/changelog")
head -1 "$page" | grep -qF "\"delayed-message $version\"" || fail "the page is not of $version"
warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"
render() {
    groff -man -Tascii -P-cbou -rLL="$1"n "$page" 2>/dev/null | tr -s ' '
}
names="loginctl enable-linger|SIGINT|SIGTSTP, SIGSTOP|SIGCONT|SIGWINCH|SIGCHLD
SIGHUP|SIGPIPE|SIGXFSZ|nohup(1)|setsid -f|systemd(1)|faketime(1)|strace(1)|-p,|message.txt
clock_nanosleep(CLOCK_REALTIME, 0, ...)|/dev/null|EXIT STATUS|Ctrl-C|systemd-logind(8)|nohup's
KillUserProcesses=yes|ulimit -f 0|setsid;|libfaketime"
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

copy=$scratch/copy
mkdir "$copy" && cp -r "$source"/{CMakeLists.txt,debian,man,src} "$copy"
for version in 1.2.0-1 1.2.0~rc1 1:1.2.0; do
    sed -i "1s/(.*)/($version)/" "$copy/debian/changelog"
    cmake -S "$copy" -B "$copy/build" >"$scratch/configured" 2>&1 && fail "took version $version"
    tr -s ' \n' ' ' <"$scratch/configured" |
        grep -qF "debian/changelog must give the version as X.Y.Z" ||
        fail "version $version refused without naming the file and the form X.Y.Z"
done
finish
