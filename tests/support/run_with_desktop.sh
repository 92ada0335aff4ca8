#!/usr/bin/env bash
# Runs a command on a private X desktop: Xvfb on a free display, the openbox window manager and
# a private D-Bus session bus. Everything started here ends with the command.
set -u
# Xvfb picks the display itself (-displayfd), so that desktops started at the same moment by
# parallel tests never share one; it writes the number once it accepts connections.
display_file=$(mktemp)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    rm -f "$display_file"
}
trap cleanup EXIT
# On a loaded machine a new server now and then announces its display and still refuses the
# first clients; such a server is replaced, up to three times.
number=
for _attempt in 1 2 3; do
    : >"$display_file"
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 200); do
        [ -s "$display_file" ] && break
        sleep 0.05
    done
    number=$(head -n 1 "$display_file")
    if [ -n "$number" ]; then
        for _ in $(seq 1 40); do
            DISPLAY=":${number}" xprop -root >/dev/null 2>&1 && break 2
            sleep 0.05
        done
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
    number=
done
[ -n "$number" ] || { echo "run_with_desktop: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":${number}"
unset QT_QPA_PLATFORM
exec 3>&-
dbus-run-session -- bash -c '
    wm_log=$(mktemp)
    openbox >"$wm_log" 2>&1 &
    wm=$!
    # On a busy machine the window manager can take seconds; a test without it would fail in
    # ways that point elsewhere, so wait for it and say so when it does not come.
    for _ in $(seq 1 400); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.05
    done
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
        echo "run_with_desktop: the window manager did not start" >&2
        cat "$wm_log" >&2
        rm -f "$wm_log"
        exit 1
    fi
    rm -f "$wm_log"
    "$@"
    rc=$?
    kill $wm 2>/dev/null
    exit $rc
' run_with_desktop "$@"
