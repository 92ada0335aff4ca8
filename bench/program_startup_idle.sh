#!/usr/bin/env bash
# Whole-program start-up and idle cost, on a private desktop (Xvfb + openbox):
#  - start-up: from process start to the main window mapped, for the program and for a bare Qt
#    Widgets dialog of the same size in the same run, interleaved, timed from the X server's
#    MapNotify by startup_bench (no polling); the median of the per-round ratios (goal: at most
#    1.5) and the memory (PSS) of both once shown (goal: at most 1.3);
#  - idle: CPU seconds the program uses over 60 s with both browser boxes off, then with
#    "Chrome" on (goal: under 0.05 s per minute). bench/capture_bench measures the states with a
#    browser in front.
#
#   bash bench/program_startup_idle.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 21)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench_lib.sh" "$@"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# A program folder of its own (its INI files go there), with the player module beside it.
cp "$build/vistrel" "$build/libvistrel_player.so" "$work/prog/"

"$build/bench/startup_bench" "$work/prog/vistrel" "$build/bench/bare_dialog" "$runs"

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
"$work/prog/vistrel" >/dev/null 2>&1 &
pid=$!
xdotool search --sync --onlyvisible --name '^Vistrel$' >/dev/null
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
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""
