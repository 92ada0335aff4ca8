#!/usr/bin/env bash
# The whole program on a private desktop, driven with the real pointer and keyboard: paste a
# channel page address, press Connect Stream, watch the player open and the viewer's calls
# traced; use the player as a window of its own through the window manager (focus, stacking,
# "Top Most", closing it every way there is, with the about box or a message box open);
# connect a second channel by double-clicking it in the history; close the program and read
# both INI files; start again and find that state. Run under run_with_desktop.sh.
#
#   program_e2e.sh VISTREL TEVORA_STANDIN VISTREL_LAYOUT PLAYER_MODULE
set -u
vistrel_exe=$1 standin_exe=$2 layout_exe=$3 player_module=$4

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
standin_pid="" program_pid=""
watch_pid=""
cleanup() {
    [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null
}
E2E_LOGS="$work/program.log $work/standin.log $work/prog/*.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_e2e_failure.png"

mkdir -p "$work/prog"
cp "$vistrel_exe" "$work/prog/vistrel"
# The player module beside the program, where a build tree has it.
cp "$player_module" "$work/prog/"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

start_standin "$standin_exe"
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
# The player through the window manager.
player_window() { xdotool search --onlyvisible --name '^Player$' | head -n 1; }
no_player() { [ -z "$(player_window)" ]; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
has_state() { xprop -id "$1" _NET_WM_STATE | grep -q "$2"; }
# The window manager's stacking order, bottom to top: is $1 above $2?
stacked_above() {
    local order
    order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
    local a b i=0
    for w in $order; do
        [ $((w)) -eq "$1" ] && a=$i
        [ $((w)) -eq "$2" ] && b=$i
        i=$((i + 1))
    done
    [ -n "${a:-}" ] && [ -n "${b:-}" ] && [ "$a" -gt "$b" ]
}
# The player's picture, near its left edge: the part the main window does not cover.
click_player() {
    window_origin "$1"
    xdotool mousemove --sync $((origin_x + 50)) $((origin_y + origin_h / 2)) click 1
}
# The frame the window manager put around a window.
frame_of() {
    xwininfo -tree -id "$1" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'
}
# The close box: the right end of the frame's title bar.
click_close_box() {
    local info fx fy fw
    window_origin "$1"
    info=$(xwininfo -id "$(frame_of "$1")")
    fx=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    fy=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    fw=$(sed -n 's/.*Width: *//p' <<<"$info")
    xdotool mousemove --sync $((fx + fw - 12)) $(((fy + origin_y) / 2)) click 1
}
near() { [ $(($1 - $2)) -le 4 ] && [ $(($2 - $1)) -le 4 ]; }
# placed_near WID X [Y [W H]]: the window's client area is there, give or take 4 pixels; origin_*
# keep where it was found.
placed_near() {
    window_origin "$1"
    near "$origin_x" "$2" && { [ $# -lt 3 ] || near "$origin_y" "$3"; } &&
        { [ $# -lt 5 ] || { near "$origin_w" "$4" && near "$origin_h" "$5"; }; }
}
# The player opened again by Connect Stream sits where the last one was closed.
reopen_player_at() { # X Y W H WHAT
    click 1003
    wait_for 30 bash -c '[ -n "$(xdotool search --onlyvisible --name "^Player\$")" ]' ||
        fail "$5: Connect Stream did not open the player again"
    player_wid=$(player_window)
    wait_for 10 placed_near "$player_wid" "$1" "$2" "$3" "$4" ||
        fail "$5: player reopened at ${origin_x},${origin_y} ${origin_w}x$origin_h, not $1,$2 $3x$4"
}
# Closes the player one way and checks that only the player went; closed_x/y/w/h keep where it
# was.
close_player() { # WHAT COMMAND...
    local what=$1
    shift
    window_origin "$player_wid"
    closed_x=$origin_x closed_y=$origin_y closed_w=$origin_w closed_h=$origin_h
    "$@"
    wait_for 10 no_player || fail "$what did not close the player"
    sleep 0.3
    kill -0 "$program_pid" 2>/dev/null || fail "$what ended the program"
    xwininfo -id "$main_wid" | grep -q 'IsViewable' || fail "$what closed the main window"
}
close_player_and_reopen() { # WHAT COMMAND...
    close_player "$@"
    reopen_player_at "$closed_x" "$closed_y" "$closed_w" "$closed_h" "$1"
}
ini_value() { ini_read "$work/prog/$1" "$2" "$3"; } # FILE SECTION KEY

# --- First run: paste a page address and connect. Until then the program has neither the web
# engine nor an OpenGL driver loaded, nor libcurl or Qt Network: the page's fetch brings libcurl,
# the player the rest.
start_program
grep -q 'libQt6WebEngineCore' "/proc/$program_pid/maps" &&
    fail "the web engine is loaded before the first connection"
grep -qE 'libLLVM|_dri\.so' "/proc/$program_pid/maps" &&
    fail "an OpenGL driver is loaded before the first connection"
grep -qE 'libcurl|libQt6Network' "/proc/$program_pid/maps" &&
    fail "libcurl or Qt Network is loaded at start"
click 1002
xdotool type --delay 20 "$page1"
click 1003
wait_for 30 xdotool search --onlyvisible --name '^Player$' || fail "player window did not open"
wait_for 30 grep -q "cid=$id1" "$work/standin.log" || fail "viewer for $id1 not requested"
wait_for 30 grep -q 'FlashCall():.*tevora.flash.viewer.null.ready' "$work/program.log" ||
    fail "viewer's ready call not traced"
grep -q 'SetReturnValue():' "$work/program.log" || fail "no answer traced"
grep -q 'libQt6WebEngineCore' "/proc/$program_pid/maps" || fail "the player module's engine is not loaded"
grep -q 'libcurl' "/proc/$program_pid/maps" || fail "the page was fetched without libcurl loaded"

# --- The player is a window of its own: over the main window, a click brings it to the front
# and gives it the focus.
player_wid=$(player_window)
# Over the main window's lower left, clear of the controls the test clicks.
left_of_main=$((main_x > 200 ? main_x - 200 : 0))
xdotool windowmove --sync "$player_wid" "$left_of_main" $((main_y + 400))
xdotool windowsize --sync "$player_wid" 400 260
sleep 0.3
xdotool mousemove --sync $((main_x + 20)) $((main_y + 8)) click 1
wait_for 10 active_is "$main_wid" || fail "the main window did not take the focus"
wait_for 10 stacked_above "$main_wid" "$player_wid" || fail "the main window did not come up"
click_player "$player_wid"
wait_for 10 active_is "$player_wid" || fail "a click did not make the player the active window"
wait_for 10 stacked_above "$player_wid" "$main_wid" || fail "a click did not raise the player"
has_state "$main_wid" _NET_WM_STATE_MODAL && fail "the main window is modal"
# It maximises and comes back.
wmctrl -i -r "$player_wid" -b add,maximized_vert,maximized_horz
wait_for 10 has_state "$player_wid" _NET_WM_STATE_MAXIMIZED_HORZ || fail "player did not maximise"
wmctrl -i -r "$player_wid" -b remove,maximized_vert,maximized_horz
wait_for 10 bash -c "! xprop -id $player_wid _NET_WM_STATE | grep -q MAXIMIZED" ||
    fail "player did not come back from maximised"
sleep 0.3

# --- "Top Most" moves the same window between bands: same X window, never unmapped, not moved.
window_origin "$player_wid"
before="$origin_x $origin_y $origin_w $origin_h"
xev -id "$player_wid" -event structure >"$work/player_events" 2>/dev/null &
watch_pid=$!
sleep 0.3
click 1011
wait_for 10 has_state "$player_wid" _NET_WM_STATE_ABOVE || fail "Top Most: no _NET_WM_STATE_ABOVE"
[ "$(player_window)" = "$player_wid" ] || fail "Top Most made a new player window"
click 1011
wait_for 10 bash -c "! xprop -id $player_wid _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE" ||
    fail "Top Most off: _NET_WM_STATE_ABOVE stays"
[ "$(player_window)" = "$player_wid" ] || fail "Top Most off made a new player window"
sleep 0.3
kill "$watch_pid" 2>/dev/null
wait "$watch_pid" 2>/dev/null
watch_pid=""
grep -qE 'UnmapNotify|DestroyNotify|MapNotify' "$work/player_events" &&
    fail "Top Most unmapped the player: $(grep -E 'Unmap|Destroy|Map' "$work/player_events" | head -n 3)"
window_origin "$player_wid"
[ "$origin_x $origin_y $origin_w $origin_h" = "$before" ] ||
    fail "Top Most moved the player: $before -> $origin_x $origin_y $origin_w $origin_h"

# --- While the about box is open the player plays on and can be focused, moved and closed.
xdotool mousemove --sync $((main_x + 20)) $((main_y + 8)) click 3
sleep 0.5
xdotool key a
wait_for 10 xdotool search --onlyvisible --name 'バージョン情報' || fail "about box did not open"
about_wid=$(xdotool search --onlyvisible --name 'バージョン情報' | head -n 1)
click_player "$player_wid"
wait_for 10 active_is "$player_wid" || fail "about box open: the player took no focus"
xdotool windowmove --sync "$player_wid" $((left_of_main + 30)) $((main_y + 420))
wait_for 10 placed_near "$player_wid" $((left_of_main + 30)) || fail "about box open: the player did not move"
close_player "the close box (about box open)" click_close_box "$player_wid"
xdotool search --onlyvisible --name 'バージョン情報' >/dev/null || fail "the about box went too"
xdotool windowactivate --sync "$about_wid" key Escape
wait_for 10 bash -c "! xdotool search --onlyvisible --name 'バージョン情報'" ||
    fail "about box did not close"
reopen_player_at "$closed_x" "$closed_y" "$closed_w" "$closed_h" "the close box"

# --- The window manager's close request, Escape and Alt+F4 in the player close only the player.
wait_for 30 bash -c "[ \$(grep -c 'FlashCall():.*tevora.flash.viewer.null.ready' '$work/program.log') -ge 2 ]" ||
    fail "the reopened player's viewer did not start"
close_player_and_reopen "_NET_CLOSE_WINDOW" wmctrl -i -c "$player_wid"
click_player "$player_wid"
wait_for 10 active_is "$player_wid" || fail "the reopened player took no focus"
close_player_and_reopen "Escape in the player" xdotool key Escape
click_player "$player_wid"
wait_for 10 active_is "$player_wid" || fail "the reopened player took no focus"
close_player_and_reopen "Alt+F4 in the player" xdotool key alt+F4

# --- A double-click in the list where no row is marked says so, in a box modal to the main
# window alone: the player can still be focused and closed.
click h1007 2
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel\$' | wc -l) -ge 2 ]" ||
    fail "double-click in the empty list showed no message"
box_wid=$(xdotool search --onlyvisible --name '^Vistrel$' | grep -vx "$main_wid" | head -n 1)
xprop -id "$box_wid" WM_TRANSIENT_FOR | grep -qi "$(printf '0x%x' "$main_wid")" ||
    fail "the message box is not over the main window"
click_player "$player_wid"
wait_for 10 active_is "$player_wid" || fail "message box open: the player took no focus"
close_player "_NET_CLOSE_WINDOW (message box open)" wmctrl -i -c "$player_wid"
xdotool windowactivate --sync "$box_wid" key Return
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel\$' | wc -l) -eq 1 ]" ||
    fail "the message box did not close"
reopen_player_at "$closed_x" "$closed_y" "$closed_w" "$closed_h" "_NET_CLOSE_WINDOW"

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
# A clean end with the player open: the viewer's pages went before their profile.
grep -q 'still not deleted' "$work/program.log" && fail "the web engine warned at the end"

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
grep -q 'still not deleted' "$work/program.log" && fail "the web engine warned at the end"
[ "$(ini_value History.ini SYSTEM COUNT)" = 2 ] || fail "second run History.ini COUNT"

# --- Third run without the player module: Connect Stream says so in a box over the main window,
# opens no player, and the program goes on; the connection is kept.
rm "$work/prog/$(basename "$player_module")"
start_program
click 1002
xdotool key ctrl+a
xdotool type --delay 20 "$id1"
click 1003
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel\$' | wc -l) -ge 2 ]" ||
    fail "no message without the player module"
no_player || fail "a player opened without the player module"
box_wid=$(xdotool search --onlyvisible --name '^Vistrel$' | grep -vx "$main_wid" | head -n 1)
xprop -id "$box_wid" WM_TRANSIENT_FOR | grep -qi "$(printf '0x%x' "$main_wid")" ||
    fail "the missing module's message is not over the main window"
xdotool windowactivate --sync "$box_wid" key Return
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel\$' | wc -l) -eq 1 ]" ||
    fail "the missing module's message did not close"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended without the player module"
kill -TERM "$program_pid"
wait_for 20 bash -c "! kill -0 $program_pid" || fail "program did not end on SIGTERM"
program_pid=""
[ "$(ini_value Vistrel.ini SYSTEM STREAMID)" = "$id1" ] || fail "third run: the connection was lost"
echo "program e2e: passed"
