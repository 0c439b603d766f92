#!/usr/bin/env bash
# The documented way to see the message at once: faketime runs the clock 100000 times faster.
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh"
if ! command -v faketime >/dev/null; then
    echo "faketime is not installed (apt-get install faketime)"
    exit 77
fi
timeout 60 faketime -f '+0 x100000' "$program" >"$scratch/out"
expect_delivered "faketime example" $?
finish
