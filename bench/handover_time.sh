#!/usr/bin/env bash
# A second start on a folder where the program runs: from process start to its end, for a start
# that hands over (answered) and for one facing a stopped instance (not answered), next to the
# yardstick of a program loading the same libraries and ending at once. Min, median and max of N
# runs each and the medians' ratios to the yardstick; goal: every second start ends within 500 ms.
#
#   bash bench/handover_time.sh [BUILD_DIR] [RUNS]      (defaults: build, 21)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench_lib.sh" "$@"
pid=""
trap '[ -n "$pid" ] && { kill -CONT "$pid"; kill "$pid"; } 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cp "$build/vistrel" "$work/prog/"

"$work/prog/vistrel" >/dev/null 2>&1 &
pid=$!
until xdotool search --onlyvisible --name '^Vistrel$' >/dev/null 2>&1; do sleep 0.05; done

elapsed_ms() { # COMMAND...: milliseconds from start to end, with a fraction
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    awk -v d=$((t1 - t0)) 'BEGIN {printf "%.1f\n", d / 1e6}'
}
stats() { # FILE: min median max
    sort -n "$1" | awk '{a[NR]=$1} END {printf "%s %s %s\n", a[1], a[int((NR+1)/2)], a[NR]}'
}
series() { # FILE COMMAND...
    local file=$1; shift
    : >"$file"
    for _ in $(seq 1 "$runs"); do elapsed_ms "$@" >>"$file"; done
}

# One warm-up each, so that both read their libraries from the page cache.
elapsed_ms "$work/prog/vistrel" >/dev/null
elapsed_ms "$build/bench/linked_exit" >/dev/null
series "$work/anchor.ms" "$build/bench/linked_exit"
series "$work/answered.ms" "$work/prog/vistrel"
kill -STOP "$pid"
series "$work/stopped.ms" "$work/prog/vistrel"
kill -CONT "$pid"

read -r amin amed amax < <(stats "$work/anchor.ms")
report() { # LABEL FILE
    local min med max
    read -r min med max < <(stats "$2")
    printf '%-28s min %6s  median %6s  max %6s ms   median ratio to the yardstick %s\n' "$1" \
        "$min" "$med" "$max" "$(awk -v a="$med" -v b="$amed" 'BEGIN {printf "%.2f", a / b}')"
}
echo "second start, $runs runs each (goal: every one within 500 ms):"
report "handed over (answered)" "$work/answered.ms"
report "stopped instance (refused)" "$work/stopped.ms"
printf '%-28s min %6s  median %6s  max %6s ms\n' "yardstick (load and end)" "$amin" "$amed" "$amax"
