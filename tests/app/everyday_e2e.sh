#!/usr/bin/env bash
# The whole program as a person uses it every day, on a private desktop through the window
# manager and the keyboard: where the first player opens, that every connection the user asks for
# brings it above the main window while the keyboard stays there, the keyboard's way through the
# main window, a memo still being edited at the end, and the history panel's Escape, Up and Down.
# Each case starts in a fresh folder. Run under run_with_desktop.sh.
#
#   everyday_e2e.sh VISTREL TEVORA_STANDIN VISTREL_LAYOUT PLAYER_MODULE
# With E2E_SHOTS set to a folder, pictures of the screen are kept there.
set -u
vistrel_exe=$1 standin_exe=$2 layout_exe=$3 player_module=$4

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
standin_pid="" program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null
}
E2E_LOGS="$work/program.log $work/standin.log $work/prog/*.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_everyday_failure.png"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

"$standin_exe" >"$work/standin.out" 2>"$work/standin.log" &
standin_pid=$!
wait_for 10 grep -q '^use as proxy' "$work/standin.out" || fail "stand-in did not start"
port=$(head -n 1 "$work/standin.out")
read -r _ id1 _ < <(grep '^channel ' "$work/standin.out" | sed -n 1p)
read -r _ id2 _ < <(grep '^channel ' "$work/standin.out" | sed -n 2p)
read -r _ id3 _ < <(grep '^channel ' "$work/standin.out" | sed -n 3p)

shot() { # NAME: a picture of the screen, when asked for
    [ -n "${E2E_SHOTS:-}" ] && import -window root "$E2E_SHOTS/$1.png" 2>/dev/null
    return 0
}

# fresh_folder: a new program folder with the program, its player module and a history of three
# channels ($id2, $id3, $id1 with memos two, three, one).
fresh_folder() {
    rm -rf "$work/prog"
    mkdir -p "$work/prog"
    cp "$vistrel_exe" "$work/prog/vistrel"
    cp "$player_module" "$work/prog/"
    printf '[SYSTEM]\nCOUNT=3\n[ITEM0]\nSTREAMID=%s\nMEMO=two\n[ITEM1]\nSTREAMID=%s\nMEMO=three\n[ITEM2]\nSTREAMID=%s\nMEMO=one\n' \
        "$id2" "$id3" "$id1" >"$work/prog/History.ini"
}
run_vistrel() { # ARGS...: a start in the folder, which may hand over and end
    (cd / && http_proxy="http://127.0.0.1:$port" no_proxy="" \
        exec "$work/prog/vistrel" "$@" >>"$work/program.out" 2>>"$work/program.log")
}
start_program() {
    run_vistrel &
    program_pid=$!
    wait_for 30 xdotool search --onlyvisible --name '^Vistrel$' || fail "main window did not show"
    main_wid=$(xdotool search --onlyvisible --name '^Vistrel$' | head -n 1)
    wait_for 10 active_is "$main_wid" || fail "the main window is not active at start"
    window_origin "$main_wid"
    main_x=$origin_x main_y=$origin_y
}
end_program() { # HOW...: ends the program with the keys given, waits, checks it saved
    xdotool key --clearmodifiers "$@"
    wait_for 20 bash -c "! kill -0 $program_pid" || fail "program did not end on $*"
    program_pid=""
}
window_origin() { # WID: the client area on the screen
    local info
    info=$(xwininfo -id "$1")
    origin_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    origin_y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    origin_w=$(sed -n 's/.*Width: *//p' <<<"$info")
    origin_h=$(sed -n 's/.*Height: *//p' <<<"$info")
}
frame_of() {
    xwininfo -tree -id "$1" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'
}
frame_rect() { # WID: the window with the window manager's frame, as "x y w h"
    window_origin "$(frame_of "$1")"
    echo "$origin_x $origin_y $origin_w $origin_h"
}
read_layout() { "$layout_exe" "$@" || fail "layout"; }
click() { # ID [repeat]: the centre of a control, with the real pointer
    local x y
    read -r _ x y < <(read_layout "$1")
    xdotool mousemove --sync $((main_x + x)) $((main_y + y)) click --repeat "${2:-1}" --delay 80 1
}
click_main_title() { xdotool mousemove --sync $((main_x + 40)) $((main_y - 8)) click 1; }
player_window() { xdotool search --onlyvisible --name '^Player$' | head -n 1; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
# The window manager's stacking order, bottom to top: is $1 above $2?
stacked_above() {
    local order a="" b="" i=0 w
    order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
    for w in $order; do
        [ $((w)) -eq "$1" ] && a=$i
        [ $((w)) -eq "$2" ] && b=$i
        i=$((i + 1))
    done
    [ -n "$a" ] && [ -n "$b" ] && [ "$a" -gt "$b" ]
}
min() { echo $(($1 < $2 ? $1 : $2)); }
max() { echo $(($1 > $2 ? $1 : $2)); }
requests() { grep -c "cid=$1" "$work/standin.log"; }
wait_request() { # ID COUNT WHAT: waits until the viewer for ID was asked for COUNT times
    wait_for 30 bash -c "[ \$(grep -c 'cid=$1' '$work/standin.log') -ge $2 ]" || fail "$3"
}
ini_value() { # FILE SECTION KEY
    awk -F= -v s="[$2]" -v k="$3" '/^\[/{cur=$0} cur==s && $1==k {sub(/^[^=]*=/, ""); print; exit}' \
        "$work/prog/$1" | tr -d '\r'
}
# The player over the main window's lower part, then a click on the main window's title: the
# main window is on top and active, the player behind it.
hide_player_behind_main() {
    xdotool windowmove --sync "$player_wid" $((main_x + 40)) $((main_y + 200))
    click_main_title
    wait_for 10 active_is "$main_wid" || fail "the main window did not take the focus"
    wait_for 10 stacked_above "$main_wid" "$player_wid" || fail "the main window did not come up"
}
# After a connection the user asked for: the player above the main window, the keyboard still
# in the main window.
# (Both at once: on the way, a window manager may activate a player it restores for a moment.)
raised_and_main_active() { stacked_above "$player_wid" "$main_wid" && active_is "$main_wid"; }
player_raised_keyboard_stays() { # WHAT
    wait_for 10 raised_and_main_active && return 0
    stacked_above "$player_wid" "$main_wid" || fail "$1 did not raise the player"
    fail "$1 took the keyboard from the main window"
}

# --- Case 1: the keyboard right after start, and where the first player opens.
fresh_folder
start_program
shot start
# Nothing clicked: the focus is in the reference box, Tab goes to Connect Stream, Enter presses it.
xdotool type --delay 20 "$id1"
xdotool key Tab Return
wait_for 30 player_window || fail "typing and Tab, Enter after start opened no player"
wait_request "$id1" 1 "the viewer for $id1 was not asked for"
player_wid=$(player_window)
sleep 0.3
shot first_player
read -r px py pw ph < <(frame_rect "$player_wid")
read -r mx my mw mh < <(frame_rect "$main_wid")
screen_w=$(xwininfo -root | sed -n 's/.*Width: *//p')
screen_h=$(xwininfo -root | sed -n 's/.*Height: *//p')
[ "$px" -ge 0 ] && [ "$py" -ge 0 ] && [ $((px + pw)) -le "$screen_w" ] &&
    [ $((py + ph)) -le "$screen_h" ] || fail "the first player is not wholly on the screen: $px,$py ${pw}x$ph"
# What the two frames share may be at most a tenth of the player across or down.
inter_w=$(($(min $((px + pw)) $((mx + mw))) - $(max "$px" "$mx")))
inter_h=$(($(min $((py + ph)) $((my + mh))) - $(max "$py" "$my")))
[ "$inter_w" -le $((pw / 10)) ] || [ "$inter_h" -le $((ph / 10)) ] ||
    fail "the first player covers the main window: player $px,$py ${pw}x$ph, main $mx,$my ${mw}x$mh"
player_raised_keyboard_stays "the first Connect Stream"
xprop -id "$player_wid" _NET_WM_ICON | grep -q 'Icon (' || fail "the player carries no icon"

# Enter in the reference box connects nothing; Enter on the focused button does. (Had the box's
# Enter connected, the viewer would have been asked for twice.)
before=$(requests "$id2")
click 1002
xdotool key ctrl+a
xdotool type --delay 20 "$id2"
xdotool key Return Tab Return
wait_request "$id2" $((before + 1)) "Enter on Connect Stream did not connect $id2"
sleep 0.5
[ "$(requests "$id2")" -eq $((before + 1)) ] || fail "Enter in the reference box connected"
kill -0 "$program_pid" || fail "Enter ended the program"

# --- Every connection the user asks for raises the player that a click put behind the main
# window: Connect Stream, Change Stream, a double-click, a hand-over from a second start.
hide_player_behind_main
shot player_behind
before=$(requests "$id2")
click 1003
wait_request "$id2" $((before + 1)) "Connect Stream did not reconnect"
player_raised_keyboard_stays "Connect Stream"
shot player_raised

hide_player_behind_main
before=$(requests "$id3")
click h1007:1
click h1010
wait_request "$id3" $((before + 1)) "Change Stream did not connect $id3"
player_raised_keyboard_stays "Change Stream"

hide_player_behind_main
before=$(requests "$id1")
click h1007:2 2
wait_request "$id1" $((before + 1)) "the double-click did not connect $id1"
player_raised_keyboard_stays "a double-click"

hide_player_behind_main
before=$(requests "$id2")
run_vistrel "$id2" || fail "the second start did not hand over"
wait_request "$id2" $((before + 1)) "the handed-over $id2 was not connected"
wait_for 10 stacked_above "$player_wid" "$main_wid" || fail "a hand-over did not raise the player"

# A minimised player comes back too, and the keyboard still stays.
xdotool windowminimize --sync "$player_wid"
wait_for 10 bash -c "! xwininfo -id $player_wid | grep -q IsViewable" || fail "the player did not minimise"
click_main_title
wait_for 10 active_is "$main_wid" || fail "the main window did not take the focus"
before=$(requests "$id2")
click 1003
wait_request "$id2" $((before + 1)) "Connect Stream did not reconnect"
wait_for 10 bash -c "xwininfo -id $player_wid | grep -q IsViewable" ||
    fail "Connect Stream did not bring back the minimised player"
player_raised_keyboard_stays "Connect Stream with the player minimised"
end_program alt+F4

# --- Case 2: a memo typed while "Memo編集" is ticked, the program ended by Escape outside the
# history panel; Escape inside the panel does nothing; Up twice moves an entry two steps.
fresh_folder
start_program
click h1007:2
xdotool key Escape
sleep 0.3
kill -0 "$program_pid" || fail "Escape in the history list ended the program"
click h1012
click h1012
before=$(requests "$id1")
click h1007:0 2
wait_request "$id1" $((before + 1)) "after Escape in the list and Up twice, a double-click on the first row did not connect $id1"
player_wid=$(player_window)
click_main_title
wait_for 10 active_is "$main_wid" || fail "the main window did not take the focus"
click 1008
click 1004
xdotool key ctrl+a
xdotool type --delay 20 "pending memo"
shot memo_editing
end_program Escape
[ "$(ini_value History.ini ITEM0 STREAMID)" = "$id1" ] ||
    fail "Up twice did not take $id1 to the top: $(ini_value History.ini ITEM0 STREAMID) is first"
[ "$(ini_value History.ini ITEM1 STREAMID)" = "$id2" ] || fail "the order after Up twice"
[ "$(ini_value History.ini ITEM0 MEMO)" = "pending memo" ] ||
    fail "the memo being edited was lost: '$(ini_value History.ini ITEM0 MEMO)'"
echo "everyday e2e: passed"
