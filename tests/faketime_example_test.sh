#!/usr/bin/env bash
# The documented way to see the message at once: faketime runs the clock 100000 times faster.
. "$(dirname "$0")/common.sh"
command -v faketime >/dev/null || { echo "faketime is not installed (apt-get install faketime)"; exit 77; }
timeout 60 faketime -f '+0 x100000' "$program" >"$scratch/out"
expect_delivered "faketime example" $?
finish
