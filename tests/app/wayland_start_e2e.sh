#!/usr/bin/env bash
# The program started plainly on a Wayland desktop: weston (a Wayland compositor) runs on the
# private X desktop, which plays XWayland. With both there, the program's windows are X11
# clients; with only the compositor, or where the user asks for Wayland, they are Wayland
# clients. Run under run_with_desktop.sh.
#
#   wayland_start_e2e.sh VISTREL
set -u
vistrel_exe=$1

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
weston_pid="" program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null
}
E2E_LOGS="$work/weston.log $work/program.log"

mkdir -p -m 700 "$work/runtime"
mkdir -p "$work/prog"
cp "$vistrel_exe" "$work/prog/vistrel"
XDG_RUNTIME_DIR="$work/runtime" weston --backend=x11-backend.so --use-pixman --width=1024 \
    --height=768 --no-config --idle-time=0 --socket=wayland-vistrel >"$work/weston.log" 2>&1 &
weston_pid=$!
wait_for 20 test -S "$work/runtime/wayland-vistrel" || fail "weston did not start"

# start_program [env assignments...]: starts the program as a Wayland session would, with the
# protocol traced so that a Wayland window of its own shows in its log.
start_program() {
    (cd / && exec env "$@" XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY=wayland-vistrel \
        XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME WAYLAND_DEBUG=client \
        "$work/prog/vistrel" >/dev/null 2>"$work/program.log") &
    program_pid=$!
}
stop_program() {
    kill -TERM "$program_pid"
    wait_for 20 ended "$program_pid" || fail "program did not end on SIGTERM"
    wait "$program_pid" 2>/dev/null
    program_pid=""
}
x11_window() { xdotool search --onlyvisible --name '^Vistrel$'; }
wayland_window() { grep -q 'xdg_toplevel@[0-9]*\.set_title("Vistrel")' "$work/program.log"; }

# --- A plain start, X server and compositor both there: an X11 window, no Wayland one.
start_program
wait_for 30 x11_window || fail "plain start: no X11 window"
wayland_window && fail "plain start: a Wayland window as well"
stop_program

# --- No X server: a Wayland window.
start_program -u DISPLAY
wait_for 30 wayland_window || fail "without X: no Wayland window"
stop_program

# --- The user's choice stands.
start_program QT_QPA_PLATFORM=wayland
wait_for 30 wayland_window || fail "QT_QPA_PLATFORM=wayland: no Wayland window"
x11_window && fail "QT_QPA_PLATFORM=wayland: an X11 window"
stop_program
echo "wayland start e2e: passed"
