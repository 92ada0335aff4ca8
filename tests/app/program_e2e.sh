#!/usr/bin/env bash
# The whole program on a private desktop, driven with the real pointer and keyboard: paste a
# channel page address, press Connect Stream, watch the player open and the viewer's calls
# traced; connect a second channel by double-clicking it in the history; close the program and
# read both INI files; start again and find that state. Run under run_with_desktop.sh.
#
#   program_e2e.sh VISTREL TEVORA_STANDIN VISTREL_LAYOUT
set -u
vistrel_exe=$1 standin_exe=$2 layout_exe=$3

work=$(mktemp -d)
standin_pid="" program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    import -window root "${TMPDIR:-/tmp}/vistrel_e2e_failure.png" 2>/dev/null &&
        echo "screen at failure: ${TMPDIR:-/tmp}/vistrel_e2e_failure.png" >&2
    for f in "$work"/program.log "$work"/standin.log "$work"/prog/*.ini; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
    done
    exit 1
}
# wait_for SECONDS COMMAND...: polls the command until it succeeds.
wait_for() {
    local limit=$(( $1 * 10 )); shift
    for _ in $(seq 1 "$limit"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

mkdir -p "$work/prog"
cp "$vistrel_exe" "$work/prog/vistrel"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

"$standin_exe" >"$work/standin.out" 2>"$work/standin.log" &
standin_pid=$!
wait_for 10 grep -q '^use as proxy' "$work/standin.out" || fail "stand-in did not start"
port=$(head -n 1 "$work/standin.out")
# Two channels of the catalogue: an address to paste and one already in the history.
read -r _ id1 page1 _ < <(grep '^channel ' "$work/standin.out" | sed -n 1p)
read -r _ id2 page2 _ < <(grep '^channel ' "$work/standin.out" | sed -n 3p)
printf '[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=%s\nMEMO=second channel\n' "$id2" >"$work/prog/History.ini"

read_layout() { "$layout_exe" "$@" || fail "layout"; }

start_program() {
    (cd / && http_proxy="http://127.0.0.1:$port" no_proxy="" \
        exec "$work/prog/vistrel" >>"$work/program.out" 2>>"$work/program.log") &
    program_pid=$!
    wait_for 30 xdotool search --onlyvisible --name '^Vistrel$' || fail "main window did not show"
    main_wid=$(xdotool search --onlyvisible --name '^Vistrel$' | head -n 1)
    window_origin "$main_wid"
    main_x=$origin_x main_y=$origin_y
}
# window_origin WID: the client area's top left on the screen. (xdotool counts a reparenting
# window manager's frame twice.)
window_origin() {
    local info
    info=$(xwininfo -id "$1")
    origin_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    origin_y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    origin_w=$(sed -n 's/.*Width: *//p' <<<"$info")
    origin_h=$(sed -n 's/.*Height: *//p' <<<"$info")
}
# click ID [repeat]: the centre of a control, with the real pointer.
click() {
    local x y
    read -r _ x y < <(read_layout "$1")
    xdotool mousemove --sync $((main_x + x)) $((main_y + y)) click --repeat "${2:-1}" --delay 80 1
}
ini_value() { # FILE SECTION KEY
    awk -F= -v s="[$2]" -v k="$3" '/^\[/{cur=$0} cur==s && $1==k {sub(/^[^=]*=/, ""); print; exit}' \
        "$work/prog/$1" | tr -d '\r'
}

# --- First run: paste a page address and connect.
start_program
click 1002
xdotool type --delay 20 "$page1"
click 1003
wait_for 30 xdotool search --onlyvisible --name '^Player$' || fail "player window did not open"
wait_for 30 grep -q "cid=$id1" "$work/standin.log" || fail "viewer for $id1 not requested"
wait_for 30 grep -q 'FlashCall():.*tevora.flash.viewer.null.ready' "$work/program.log" ||
    fail "viewer's ready call not traced"
grep -q 'SetReturnValue():' "$work/program.log" || fail "no answer traced"

# --- The history now lists the pasted channel first and the older one second.
click h1007:1 2
wait_for 30 grep -q "cid=$id2" "$work/standin.log" || fail "double-click did not connect $id2"
[ "$(xdotool search --onlyvisible --name '^Player$' | wc -l)" -eq 1 ] || fail "more than one player"
player_wid=$(xdotool search --onlyvisible --name '^Player$' | head -n 1)
xdotool windowmove --sync "$player_wid" 200 150
xdotool windowsize --sync "$player_wid" 480 300
sleep 0.5

# --- Close with the close box's keyboard equivalent on the main window.
xdotool windowactivate --sync "$main_wid" key --clearmodifiers alt+F4
wait_for 20 bash -c "! kill -0 $program_pid" || fail "program did not end on Alt+F4"
program_pid=""

[ "$(ini_value History.ini SYSTEM COUNT)" = 2 ] || fail "History.ini COUNT"
[ "$(ini_value History.ini ITEM0 STREAMID)" = "$id1" ] || fail "History.ini ITEM0"
[ -n "$(ini_value History.ini ITEM0 MEMO)" ] || fail "History.ini ITEM0 has no page title"
[ "$(ini_value History.ini ITEM1 STREAMID)" = "$id2" ] || fail "History.ini ITEM1"
[ "$(ini_value History.ini ITEM1 MEMO)" = "second channel" ] || fail "History.ini ITEM1 memo"
[ "$(ini_value Vistrel.ini SYSTEM STREAMID)" = "$id2" ] || fail "Vistrel.ini STREAMID"
[ "$(ini_value Vistrel.ini SYSTEM MEMO)" = "second channel" ] || fail "Vistrel.ini MEMO"
left=$(ini_value Vistrel.ini PLAYER POS_LEFT) right=$(ini_value Vistrel.ini PLAYER POS_RIGHT)
top=$(ini_value Vistrel.ini PLAYER POS_TOP) bottom=$(ini_value Vistrel.ini PLAYER POS_BOTTOM)
[ $((right - left)) -eq 480 ] && [ $((bottom - top)) -eq 300 ] ||
    fail "player rectangle $left,$top,$right,$bottom"

# --- Second run: the box holds the last stream; connecting opens the player where it was.
requests_before=$(grep -c "cid=$id2" "$work/standin.log")
start_program
click 1003
wait_for 30 xdotool search --onlyvisible --name '^Player$' || fail "second run: no player"
wait_for 30 bash -c "[ \$(grep -c 'cid=$id2' '$work/standin.log') -gt $requests_before ]" ||
    fail "second run did not reconnect $id2"
player_wid=$(xdotool search --onlyvisible --name '^Player$' | head -n 1)
wait_for 10 bash -c "xwininfo -id $player_wid | grep -q 'Width: 480'"
window_origin "$player_wid"
[ "$origin_w" -eq 480 ] && [ "$origin_h" -eq 300 ] ||
    fail "second run player size ${origin_w}x$origin_h"
[ "$origin_x" -eq "$left" ] && [ "$origin_y" -eq "$top" ] ||
    fail "second run player at $origin_x,$origin_y, not $left,$top"
kill -TERM "$program_pid"
wait_for 20 bash -c "! kill -0 $program_pid" || fail "program did not end on SIGTERM"
program_pid=""
[ "$(ini_value History.ini SYSTEM COUNT)" = 2 ] || fail "second run History.ini COUNT"
echo "program e2e: passed"
