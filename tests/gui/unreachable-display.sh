#!/bin/sh
# The program started against X displays that do not exist: each run ends with status 1 and
# one line on stderr saying that no display could be opened.
#   unreachable-display.sh PANELLE
set -u
program=$1
failed=0
for display in :99999 :99998.0 unix:99997; do
    err=$(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" HOME="${TMPDIR:-/tmp}" "$program" 2>&1 >/dev/null)
    status=$?
    lines=$(printf '%s\n' "$err" | wc -l)
    if [ "$status" -ne 1 ] || [ "$lines" -ne 1 ] || ! printf '%s' "$err" | grep -q 'no display could be opened'; then
        echo "DISPLAY=$display: status $status, stderr:" >&2
        printf '%s\n' "$err" >&2
        failed=1
    fi
done
exit "$failed"
