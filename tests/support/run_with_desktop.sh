#!/usr/bin/env bash
# Runs a command on a private X desktop: Xvfb on a free display, the openbox window manager and
# a private D-Bus session bus. Everything started here ends with the command.
set -u
for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
        display=":${n}"
        break
    fi
done
[ -n "${display:-}" ] || { echo "run_with_desktop: no free display" >&2; exit 1; }

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.05
done
unset QT_QPA_PLATFORM
exec 3>&-
dbus-run-session -- bash -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.05
    done
    "$@"
    rc=$?
    kill $wm 2>/dev/null
    exit $rc
' run_with_desktop "$@"
