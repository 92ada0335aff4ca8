#!/usr/bin/env bash
# Whole-program start-up and idle cost, on a private desktop (Xvfb + openbox):
#  - start-up: from process start to the main window shown (mapped and visible), for the program
#    and for a bare Qt Widgets dialog of the same size in the same run; medians of N runs and
#    their ratio (goal: at most 1.5);
#  - idle: CPU seconds the program uses over 60 s with both browser boxes off, then with
#    "Chrome" on (goal: under 0.05 s per minute).
#
#   bash bench/program_startup_idle.sh [BUILD_DIR] [RUNS]      (defaults: build, 7)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-7}
if [ -z "${VISTREL_ON_DESKTOP:-}" ]; then
    export VISTREL_ON_DESKTOP=1 QTWEBENGINE_DISABLE_SANDBOX=1
    exec "$root/tests/support/run_with_desktop.sh" bash "$0" "$build" "$runs"
fi
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3
work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/prog"
cp "$build/vistrel" "$work/prog/"

now_ms() { date +%s%3N; }
# shown_after EXE TITLE [ARG]: milliseconds from start to the window being visible; leaves it
# running.
shown_after() {
    local start
    start=$(now_ms)
    "$1" ${3:+"$3"} >/dev/null 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do sleep 0.005; done
    echo $(( $(now_ms) - start ))
}
stop() { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; pid=""; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# One warm-up each, so that both read their libraries from the page cache.
shown_after "$work/prog/vistrel" '^Vistrel$' >/dev/null; stop
shown_after "$build/bench/bare_dialog" '^BareDialog$' >/dev/null; stop
: >"$work/program.ms"; : >"$work/bare.ms"; : >"$work/bare_gl.ms"
for _ in $(seq 1 "$runs"); do
    shown_after "$work/prog/vistrel" '^Vistrel$' >>"$work/program.ms"; stop
    shown_after "$build/bench/bare_dialog" '^BareDialog$' >>"$work/bare.ms"; stop
    shown_after "$build/bench/bare_dialog" '^BareDialog$' --share-gl >>"$work/bare_gl.ms"; stop
done
program=$(median <"$work/program.ms")
bare=$(median <"$work/bare.ms")
echo "start-up to main window shown, median of $runs: program ${program} ms, bare dialog ${bare} ms," \
     "ratio $(awk -v a="$program" -v b="$bare" 'BEGIN {printf "%.2f", a / b}') (goal <= 1.5)"
bare_gl=$(median <"$work/bare_gl.ms")
echo "  the bare dialog with the web engine's shared OpenGL contexts: ${bare_gl} ms"

cpu_seconds() { # PID: user + system time so far
    awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$1/stat"
}
idle_minute() {
    local before after
    before=$(cpu_seconds "$pid")
    sleep 60
    after=$(cpu_seconds "$pid")
    awk -v a="$after" -v b="$before" 'BEGIN {printf "%.3f", a - b}'
}
shown_after "$work/prog/vistrel" '^Vistrel$' >/dev/null
sleep 3
echo "idle, both browser boxes off: $(idle_minute) CPU s over 60 s (goal < 0.05)"
main=$(xdotool search --onlyvisible --name '^Vistrel$' | head -n 1)
info=$(xwininfo -id "$main")
mx=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
my=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
read -r _ x y < <("$build/tools/vistrel_layout" h1015)
xdotool mousemove --sync $((mx + x)) $((my + y)) click 1
sleep 3
echo "idle, \"Chrome\" on (no browser in front): $(idle_minute) CPU s over 60 s (goal < 0.05)"
stop
