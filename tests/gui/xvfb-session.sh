#!/bin/sh
# Runs a command against a private X server with a window manager: Xvfb picks a free display
# number itself, openbox frames and stacks the windows as a desktop would, and both are
# stopped when the command ends, whatever its outcome.
#   xvfb-session.sh COMMAND [ARGUMENTS...]
set -u
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null 2>&1 || { echo "xvfb-session: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/panelle-xvfb-XXXXXX") || exit 1
xvfb_pid=
wm_pid=
stop() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# -displayfd writes the display number once the server accepts connections.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r number <"$work/display" || { cat "$work/xvfb.log" >&2; exit 1; }
DISPLAY=":$number"
export DISPLAY
unset WAYLAND_DISPLAY

HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it has named itself on the root window.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$wm_pid" 2>/dev/null; then
        echo "xvfb-session: openbox did not start" >&2
        cat "$work/openbox.log" >&2
        exit 1
    fi
    sleep 0.05
done

QT_QPA_PLATFORM=xcb "$@"
status=$?
exit "$status"
