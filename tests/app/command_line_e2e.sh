#!/usr/bin/env bash
# The command line as a person writes it, each case in a fresh folder: --help and --version
# answer and end without a window or a file; Qt's own options with their values are Qt's, and
# only what they leave is connected. Run under run_with_desktop.sh.
#
#   command_line_e2e.sh VISTREL VISTREL_PLAYER_MODULE
set -u
vistrel_exe=$1 player_module=$2

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
run_pid=""
cleanup() {
    [ -n "$run_pid" ] && kill -KILL "$run_pid" 2>/dev/null
}
E2E_LOGS="$work/*/*.log $work/*/*.out $work/*/History.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_command_line_failure.png"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3
unset XDG_RUNTIME_DIR

fresh() { # NAME: a folder with the program and its player module; prints its path
    mkdir -p "$work/$1"
    cp "$vistrel_exe" "$player_module" "$work/$1/"
    echo "$work/$1"
}
vistrel_windows() { xdotool search --onlyvisible --name '^Vistrel$' 2>/dev/null; }

# --- --help and --version: printed, status 0, no window, nothing written.
for request in --help --version; do
    folder=$(fresh "info$request")
    timeout 10 "$folder/vistrel" "$request" >"$folder/run.out" 2>"$folder/run.log"
    rc=$?
    [ "$rc" -eq 0 ] || fail "$request: status $rc"
    case $request in
    --help) grep -q '^Usage: vistrel' "$folder/run.out" || fail "--help printed no usage" ;;
    --version) [ "$(cat "$folder/run.out")" = "Vistrel 1.0.1.114" ] ||
        fail "--version printed: $(cat "$folder/run.out")" ;;
    esac
    [ -z "$(vistrel_windows)" ] || fail "$request left a window"
    left=$(cd "$folder" && ls -A | grep -vxE 'vistrel|libvistrel_player\.so|run\.(out|log)')
    [ -z "$left" ] || fail "$request wrote: $left"
done

# --- Qt's options among the references: only the reference is connected, no message box.
folder=$(fresh options)
(cd / && exec "$folder/vistrel" -style Windows -qwindowgeometry 500x400+20+20 abc1234 -reverse \
    >"$folder/run.out" 2>"$folder/run.log") &
run_pid=$!
two_windows() { [ "$(vistrel_windows | wc -l)" -ge 2 ]; }
player_or_box() { xdotool search --onlyvisible --name '^Player$' >/dev/null || two_windows; }
wait_for 30 player_or_box || fail "neither the reference was connected nor a message shown"
two_windows && fail "a message box showed for an option"
# A stray argument after the reference would bring its box at once.
wait_for 3 two_windows && fail "a message box showed for an option after the reference"
kill -TERM "$run_pid"
wait_for 20 bash -c "! kill -0 $run_pid" || fail "did not end on SIGTERM"
run_pid=""
ids=$(grep -a '^STREAMID=' "$folder/History.ini" | tr -d '\r' | sed 's/^STREAMID=//' | xargs)
[ "$ids" = "abc1234" ] || fail "History.ini holds: $ids"
grep -q 'Windows\|500x400' "$folder/History.ini" && fail "an option's value reached the history"
echo "command_line_e2e: passed"
