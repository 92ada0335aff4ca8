#!/usr/bin/env bash
# Runs a command on a private X desktop: Xvfb on a free display, the openbox window manager and
# a private D-Bus session bus. Everything started here ends with the command.
set -u
display_file=$(mktemp)
wm_log=$(mktemp)
xvfb_pid=
wm_pid=
stop_desktop() {
    [ -n "$wm_pid" ] && { kill "$wm_pid" 2>/dev/null; wait "$wm_pid" 2>/dev/null; }
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    wm_pid=
    xvfb_pid=
}
cleanup() { stop_desktop; rm -f "$display_file" "$wm_log"; }
trap cleanup EXIT

# Starts Xvfb and openbox; true once the window manager has taken the screen.
start_desktop() {
    # Xvfb picks the display itself (-displayfd), so that desktops started at the same moment by
    # parallel tests never share one; it writes the number once it accepts connections. Where
    # several people share a machine, VISTREL_TEST_DISPLAY names the one to take instead.
    : >"$display_file"
    if [ -n "${VISTREL_TEST_DISPLAY:-}" ]; then
        Xvfb ":$VISTREL_TEST_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 1 200); do
            DISPLAY=":$VISTREL_TEST_DISPLAY" xprop -root >/dev/null 2>&1 && break
            kill -0 "$xvfb_pid" 2>/dev/null || return 1
            sleep 0.05
        done
        echo "$VISTREL_TEST_DISPLAY" >"$display_file"
    else
        Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$display_file" >/dev/null 2>&1 &
        xvfb_pid=$!
    fi
    for _ in $(seq 1 200); do
        [ -s "$display_file" ] && break
        sleep 0.05
    done
    local number
    number=$(head -n 1 "$display_file")
    [ -n "$number" ] || return 1
    export DISPLAY=":${number}"
    for _ in $(seq 1 40); do
        xprop -root >/dev/null 2>&1 && break
        sleep 0.05
    done
    openbox >"$wm_log" 2>&1 &
    wm_pid=$!
    # On a busy machine the window manager can take seconds.
    for _ in $(seq 1 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
        kill -0 "$wm_pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# On a loaded machine a new desktop now and then refuses its first clients, so that the window
# manager never comes; such a desktop is replaced, up to three times. A test without a window
# manager would fail in ways that point elsewhere, so say so when it never comes.
started=
for _attempt in 1 2 3; do
    if start_desktop; then
        started=1
        break
    fi
    stop_desktop
done
if [ -z "$started" ]; then
    echo "run_with_desktop: the window manager did not start" >&2
    cat "$wm_log" >&2
    exit 1
fi
unset QT_QPA_PLATFORM
exec 3>&-
dbus-run-session -- "$@"
