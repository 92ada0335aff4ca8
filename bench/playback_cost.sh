#!/usr/bin/env bash
# What a playing channel costs, on a private desktop (Xvfb + openbox, no GPU): the program
# playing a stand-in channel in a 350x244 player, next to Debian's Chromium in --app mode on the
# same viewer address through the same stand-in proxy, with a window of the same size. Rounds
# are interleaved (program, Chromium, program, ...). Each side runs a warm-up first, then:
#  - CPU: user + system seconds of the whole process tree (the program with its engine
#    processes; Chromium with its zygotes, renderer and GPU process), from /proc/<pid>/stat of
#    every process in the tree, per minute of playing;
#  - memory at the end of the measured time (the median of three samples a second apart),
#    summed over the tree: USS (Private_Clean + Private_Dirty) and PSS (a page shared by n
#    processes counts 1/n in each, so pages shared inside the tree count once), from
#    /proc/<pid>/smaps_rollup.
# The program's player is also measured covered by another window and minimised, next to it
# visible in the same round. Prints each round, with where the CPU went, then the medians and
# the ratios program / Chromium (goal: CPU at most 1.0, USS at most 0.8).
#
#   bash bench/playback_cost.sh [BUILD_DIR] [ROUNDS] [SECONDS] [WARMUP] [WHAT] [STREAM_ID]
#   defaults: build, 3 rounds, 60 s measured, 15 s warm-up, WHAT "all" ("visible": program and
#   Chromium visible only; "program": the program's three states only), the first channel of
#   the stand-in's catalogue.
#
# The machine's load average is printed with the figures: CPU seconds are fairer than wall
# time on a shared machine, but not immune to it.
#
# Where the visible player's CPU goes (Debian 12: Qt 6.4.2's engine, Chromium 102 inside, next
# to Debian's Chromium 156; two runs of 3 interleaved rounds of 60 s, load average 2 to 11):
# the program 3.62 3.77 3.69 and 3.95 4.17 4.19 s/min, Chromium 2.27 2.35 2.53 and 2.36 2.68
# 2.51, ratio of the medians 1.57 and 1.66 (USS 0.66 both); covered 0.02-0.03 and minimised
# 0.01-0.04 s/min (0.01 and 0.00 of visible).
#  - per part, s/min: renderer 1.5 against 1.05; display compositor (the engine's viz thread in
#    the program, Chromium's GPU process) 1.5 against 1.2; the rest of the program's process
#    (GUI thread 0.46, IO thread 0.2) against Chromium's browser 0.09. The first run's gap, 1.34:
#    +0.47 renderer, +0.30 compositor, +0.58 Qt's side.
#  - wakeups a second (printed per process): renderer about 800 against 250, the program's
#    process about 410 against Chromium's GPU process 160 and browser 70. Per thread: the
#    renderer's video frame compositor thread 266 against 79 and its media thread 235 against
#    58; the compositor 206 against 130; GUI + IO threads 89 + 99 against 7 + 6.
#  - both compositor threads spend ~42% of their samples switching in the kernel and 16-17% in
#    the pixel loop (the 320x180 clip converted and scaled to 350x197): the same shape, so the
#    scaling is no cost only we pay.
#  - the program presents once per video frame (15 shared-memory puts a second, as Chromium's 15
#    writes to its window): Qt draws nothing without a new frame.
# Tried without an effect beyond the noise (about 0.3 s/min): --num-raster-threads=1 (what
# Chromium gives its renderer), QSG_RENDER_LOOP=basic (the view is a QQuickWidget, which has no
# render loop), --disable-features=UseSurfaceLayerForVideo; before: UsePreferredIntervalForVideo,
# UseVideoFrameSinkBundle, --disable-gpu-vsync. What remains is not ours to remove: the engine's
# Chromium 102 wakes its video threads about four times per 60 Hz begin frame where 156 wakes
# them once or twice (the threads and the clock are the engine's own), and the engine hands
# each composited frame to Qt's GUI thread (also the engine's browser UI thread), which copies
# and presents it, where Chromium's compositor writes to its window itself. The player's size
# is the one the user left it at, so the page cannot be sized to the clip.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench_lib.sh" "$@"
rounds=${2:-3}
seconds=${3:-60}
warmup=${4:-15}
what=${5:-all}
stream=${6:-}
width=350 height=244
# Away from the main window, which opens at the top left.
left=880 top=700

standin_pid="" side_pid="" cover_pid=""
stop() { # PID...: ends the processes this script started, and waits for them
    local pid
    for pid in "$@"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    for pid in "$@"; do
        [ -n "$pid" ] && wait "$pid" 2>/dev/null || true
    done
}
trap 'stop "$cover_pid" "$side_pid" "$standin_pid"; rm -rf "$work"' EXIT

cp "$build/vistrel" "$build/libvistrel_player.so" "$work/prog/"
"$build/tools/tevora_standin" >"$work/standin.out" 2>/dev/null &
standin_pid=$!
until grep -q '^use as proxy' "$work/standin.out" 2>/dev/null; do sleep 0.1; done
port=$(head -n 1 "$work/standin.out")
[ -n "$stream" ] || read -r _ stream _ < <(grep '^channel ' "$work/standin.out" | head -n 1)
viewer="http://www.tevora.tv/flash/viewer.swf?brand=embed?v3=1&cid=$stream"
hz=$(getconf CLK_TCK)

# tree_ticks ROOT: one line "pid ticks" for ROOT and each of its descendants.
tree_ticks() {
    # (processes of the machine end while they are read: not a failure)
    { cat /proc/[0-9]*/stat 2>/dev/null || true; } | awk -v root="$1" '
        { pid = $1; rest = $0; sub(/^.*\) /, "", rest); split(rest, f, " ")
          parent[pid] = f[2]; ticks[pid] = f[12] + f[13] }
        END { queue[1] = root; n = 1
              for (i = 1; i <= n; i++) {
                  p = queue[i]; if (!(p in ticks)) continue
                  print p, ticks[p]
                  for (c in parent) if (parent[c] == p) queue[++n] = c } }'
}
# kind PID: what a process of the tree is (an engine process by its --type, else its name).
kind() {
    local cmd type sub
    cmd=$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) || true
    type=$(sed -n 's/.*--type=\([a-z-]*\).*/\1/p' <<<"$cmd")
    sub=$(sed -n 's/.*--utility-sub-type=[a-z_]*\.mojom\.\([A-Za-z]*\).*/\1/p' <<<"$cmd")
    if [ -n "$sub" ]; then echo "$sub"
    elif [ -n "$type" ]; then echo "$type"
    else cat "/proc/$1/comm" 2>/dev/null || echo gone; fi
}
# thread_ticks PID: one line "ticks name" per thread.
thread_ticks() {
    local t
    for t in /proc/"$1"/task/*; do
        awk '{ n = $0; sub(/^[^(]*\(/, "", n); sub(/\) .*$/, "", n); gsub(/ /, "_", n)
               rest = $0; sub(/^.*\) /, "", rest); split(rest, f, " ")
               print f[12] + f[13], n }' "$t/stat" 2>/dev/null || true
    done
}
# tree_switches ROOT: one line "pid switches" for each process of the tree, the context switches
# of all its threads (each one a wakeup: what a frame clock costs beyond the work it triggers).
tree_switches() {
    local pid ticks
    tree_ticks "$1" | while read -r pid ticks; do
        cat /proc/"$pid"/task/*/status 2>/dev/null |
            awk -v p="$pid" '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print p, n + 0 }'
    done
}
# memory ROOT: "USS_MiB PSS_MiB" summed over the tree.
memory() {
    local pid ticks
    tree_ticks "$1" | while read -r pid ticks; do
        cat "/proc/$pid/smaps_rollup" 2>/dev/null || true
    done | awk '/^Pss:/ { pss += $2 } /^Private_(Clean|Dirty):/ { uss += $2 }
                END { printf "%.0f %.0f\n", uss / 1024, pss / 1024 }'
}
# measure ROOT LABEL: plays on for $seconds and prints one line for the round's results:
# "LABEL cpu_per_min uss pss" and, indented, where the CPU went and how often each kind of
# process woke up.
measure() {
    local root=$1 label=$2 before after threads_before threads_after switches_before switches_after
    before=$(tree_ticks "$root")
    threads_before=$(thread_ticks "$root")
    switches_before=$(tree_switches "$root")
    sleep "$seconds"
    after=$(tree_ticks "$root")
    threads_after=$(thread_ticks "$root")
    switches_after=$(tree_switches "$root")
    local breakdown="" pid ticks total=0 start k switches
    declare -A by_kind=() switches_by_kind=()
    while read -r pid ticks; do
        start=$(awk -v p="$pid" '$1 == p { print $2 }' <<<"$before")
        ticks=$((ticks - ${start:-0}))
        total=$((total + ticks))
        if [ "$pid" = "$root" ]; then k=main; else k=$(kind "$pid"); fi
        by_kind[$k]=$((${by_kind[$k]:-0} + ticks))
        start=$(awk -v p="$pid" '$1 == p { print $2 }' <<<"$switches_before")
        switches=$(awk -v p="$pid" '$1 == p { print $2 }' <<<"$switches_after")
        switches_by_kind[$k]=$((${switches_by_kind[$k]:-0} + ${switches:-0} - ${start:-0}))
    done <<<"$after"
    for k in "${!by_kind[@]}"; do
        breakdown+=$(awk -v t="${by_kind[$k]}" -v w="${switches_by_kind[$k]}" -v hz="$hz" \
            -v s="$seconds" -v k="$k" \
            'BEGIN { printf " %s %.2f (%.0f/s);", k, t / hz * 60 / s, w / s }')
    done
    local threads
    threads=$(awk -v hz="$hz" -v s="$seconds" '
        NR == FNR { start[$2] += $1; next } { used[$2] += $1 }
        END { for (n in used) printf "%.2f %s\n", (used[n] - start[n]) / hz * 60 / s, n }' \
        <(echo "$threads_before") <(echo "$threads_after") | sort -rn |
        awk 'NR <= 4 { printf " %s %s", $2, $1 }')
    # Three samples a second apart, the median of each: one reading can catch the tree in
    # passing (a process forking, its pages counted twice or not at all).
    local samples
    samples=$(memory "$root"; sleep 1; memory "$root"; sleep 1; memory "$root")
    uss=$(awk '{ print $1 }' <<<"$samples" | sort -n | awk 'NR == 2')
    pss=$(awk '{ print $2 }' <<<"$samples" | sort -n | awk 'NR == 2')
    awk -v r="$round" -v t="$total" -v hz="$hz" -v s="$seconds" -v l="$label" -v u="$uss" -v p="$pss" \
        'BEGIN { printf "round %d %s %.2f %s %s\n", r, l, t / hz * 60 / s, u, p }'
    echo "    per process (CPU s/min, wakeups/s):$breakdown  main's busiest threads:$threads" >&2
}

window_of() { # NAME_REGEX PID: the visible window of that name that belongs to PID
    local w
    for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$2" ] && { echo "$w"; return 0; }
    done
    return 1
}
wait_window() { # NAME_REGEX PID: waits up to 60 s for it
    local i
    for i in $(seq 1 600); do
        window_of "$1" "$2" && return 0
        sleep 0.1
    done
    echo "playback_cost: no window $1 of $2" >&2
    return 1
}

# The program, with the channel and the player's place in its settings, connected with the
# real pointer; the player measured visible, covered and minimised.
run_program() {
    rm -f "$work/prog/"*.ini
    printf '[SYSTEM]\nSTREAMID=%s\n[PLAYER]\nPOS_LEFT=%d\nPOS_TOP=%d\nPOS_RIGHT=%d\nPOS_BOTTOM=%d\n' \
        "$stream" "$left" "$top" $((left + width)) $((top + height)) >"$work/prog/Vistrel.ini"
    (cd / && http_proxy="http://127.0.0.1:$port" no_proxy="" \
        exec "$work/prog/vistrel" >/dev/null 2>&1) &
    side_pid=$!
    local main player info x y
    main=$(wait_window '^Vistrel$' "$side_pid")
    info=$(xwininfo -id "$main")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    read -r _ bx by < <("$build/tools/vistrel_layout" 1003)
    xdotool mousemove --sync $((x + bx)) $((y + by)) click 1
    player=$(wait_window '^Player$' "$side_pid")
    sleep "$warmup"
    measure "$side_pid" "program-visible"
    if [ "$what" != visible ]; then
        # A window over the whole player (and more), above it.
        xmessage -geometry 600x500+$((left - 100))+$((top - 100)) -title Cover \
            "covering the player" >/dev/null 2>&1 &
        cover_pid=$!
        # (xmessage does not say whose it is: found by its name alone)
        until xdotool search --onlyvisible --name '^Cover$' >/dev/null 2>&1; do sleep 0.1; done
        sleep 3
        measure "$side_pid" "program-covered"
        stop "$cover_pid"; cover_pid=""
        xdotool windowminimize --sync "$player"
        sleep 3
        measure "$side_pid" "program-minimised"
    fi
    stop "$side_pid"; side_pid=""
}

run_chromium() {
    local profile="$work/chromium-profile"
    rm -rf "$profile"
    chromium --no-sandbox --user-data-dir="$profile" --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --password-store=basic --proxy-server="http://127.0.0.1:$port" \
        --window-position="$left,$top" --window-size="$width,$height" --app="$viewer" \
        >/dev/null 2>&1 &
    side_pid=$!
    wait_window 'viewer' "$side_pid" >/dev/null
    sleep "$warmup"
    measure "$side_pid" "chromium-visible"
    stop "$side_pid"; side_pid=""
}

echo "playback of $stream, player ${width}x$height, $rounds rounds of $seconds s after $warmup s" \
    "of warm-up; load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
results="$work/results"
: >"$results"
for round in $(seq 1 "$rounds"); do
    [ "$what" = chromium ] || run_program > >(tee -a "$results") 2>&1
    [ "$what" = program ] || run_chromium > >(tee -a "$results") 2>&1
done
echo "load average at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"

median() { # LABEL FIELD: the median of that field over the rounds
    awk -v l="$1" -v f="$2" '$3 == l { print $(f + 2) }' "$results" | sort -n |
        awk '{ a[NR] = $1 } END { if (NR) print a[int((NR + 1) / 2)]; else print "" }'
}
echo "medians:            CPU s/min  USS MiB  PSS MiB"
for label in program-visible program-covered program-minimised chromium-visible; do
    cpu=$(median "$label" 2)
    [ -n "$cpu" ] || continue
    printf '  %-18s %9s %8s %8s\n' "$label" "$cpu" "$(median "$label" 3)" "$(median "$label" 4)"
done
ratio() { # A B: A / B with two decimals, or "-"
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f", a / b }'
}
if [ -n "$(median chromium-visible 2)" ] && [ -n "$(median program-visible 2)" ]; then
    echo "program / chromium: CPU $(ratio "$(median program-visible 2)" "$(median chromium-visible 2)")" \
        "(goal <= 1.0, aim 0.5), USS $(ratio "$(median program-visible 3)" "$(median chromium-visible 3)")" \
        "(goal <= 0.8), PSS $(ratio "$(median program-visible 4)" "$(median chromium-visible 4)")"
fi
if [ -n "$(median program-covered 2)" ]; then
    echo "program covered / visible: CPU $(ratio "$(median program-covered 2)" "$(median program-visible 2)");" \
        "minimised / visible: CPU $(ratio "$(median program-minimised 2)" "$(median program-visible 2)")"
fi
