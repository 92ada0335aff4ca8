#!/usr/bin/env bash
# The Windows build as a whole program under Wine, on a private desktop, driven with the real
# pointer and keyboard and read back with the probe: started from the folder to hand out
# (scripts/windows_folder.sh; nothing found through a path), its main window is pictured; a channel page address typed in and Connect Stream look the channel
# up through the proxy set as Internet Options set it; without a player module each connection
# says so in a message box over the main window; the memo is edited; the history panel's
# buttons move, delete and connect entries; "Top Most" never puts the main window on top; a
# second start hands its reference, a Japanese page address, to the first. The close leaves
# both INI files beside the program, UTF-8, and the Linux build reads them and writes them back
# unchanged. Run under run_with_desktop.sh.
#
#   windows_program_e2e.sh PREFIX WIN_PROBE SOURCE_DIR BUILD_DIR VISTREL_LAYOUT_EXE
#                          LINUX_VISTREL LINUX_STANDIN LINUX_ROUNDTRIP SCREENSHOT_DIR
set -u
prefix=$1 probe_arg=$2 source_dir=$3 build_dir=$4 layout_exe=$5
linux_vistrel=$6 standin_exe=$7 roundtrip_exe=$8 screenshots=$9

here=$(dirname "${BASH_SOURCE[0]}")
source "$here/../support/e2e_lib.sh"
source "$here/../support/wine_lib.sh"
e2e_work
standin_pid="" linux_pid=""
cleanup() {
    wine_end
    [ -n "$linux_pid" ] && kill "$linux_pid" 2>/dev/null
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null
}
E2E_LOGS="$work/program.log $work/second.log $work/standin.log $work/prog/*.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_windows_e2e_failure.png"

for program in "$linux_vistrel" "$standin_exe" "$roundtrip_exe"; do
    [ -x "$program" ] || fail "$program is missing: build the default preset first"
done
exe=vistrel.exe
mkdir -p "$screenshots"

# --- The folder to hand out, made as a user gets it; the layout tool, which computes where
# the program's controls sit with the same fonts, beside a copy of it.
"$source_dir/scripts/windows_folder.sh" "$build_dir" "$work/prog" >"$work/folder.log" 2>&1 ||
    fail "the folder to hand out: $(cat "$work/folder.log")"
cp -r "$work/prog" "$work/layout"
cp "$layout_exe" "$work/layout/"
layout_name=$(basename "$layout_exe")

# Nothing found through a path: the folder alone must do.
wine_use "$prefix" "$probe_arg"
unset QT_PLUGIN_PATH QT_QPA_PLATFORM_PLUGIN_PATH QT_QPA_PLATFORM

start_standin "$standin_exe"
wine_proxy "$port" || fail "could not set the proxy"
# Four channels of the catalogue: one to type, two already in the history, one to hand over.
read -r _ id1 page1 _ < <(grep '^channel ' "$work/standin.out" | sed -n 1p)
read -r _ id2 page2 _ < <(grep '^channel ' "$work/standin.out" | sed -n 2p)
read -r _ id3 _ < <(grep '^channel ' "$work/standin.out" | sed -n 3p)
read -r _ id4 _ < <(grep '^channel ' "$work/standin.out" | sed -n 4p)
title1=$(grep '^channel ' "$work/standin.out" | sed -n 1p | sed 's/^[^"]*"//; s/"$//')
printf '[SYSTEM]\r\nCOUNT=2\r\n[ITEM0]\r\nSTREAMID=%s\r\nMEMO=港のカメラ\r\n[ITEM1]\r\nSTREAMID=%s\r\nMEMO=試験電波\r\n' \
    "$id3" "$id4" >"$work/prog/History.ini"

# --- Helpers. The main window's line, its client area and its controls.
layout_of() { # ID: "x y" of the control's centre in the main window's client area
    local line
    line=$(grep "^$1 " "$work/layout.txt") || fail "no layout for $1"
    cut -d' ' -f2,3 <<<"$line"
}
click() { # ID [COUNT]: the real pointer on the control
    local x y
    read -r x y <<<"$(layout_of "$1")"
    xdotool mousemove --sync $((client_x + x)) $((client_y + y)) click --repeat "${2:-1}" --delay 80 1
}
main_line() { probe windows --exe "$exe" --title Vistrel | awk -F'\t' -v h="$main_hwnd" '$1 == h'; }
titled_count_is() { [ "$(windows_titled Vistrel "$exe")" -eq "$1" ]; }
not_clipboard() { [ "$(probe clipboard)" != "$1" ]; }
foreground_is() { [ "$(probe_field "$(probe foreground)" 1)" = "$1" ]; }
# copy_text ID: the text of an edit box of the main window, through the clipboard.
copy_text() {
    probe set-clipboard '-' || fail "set-clipboard"
    click "$1"
    xdotool key --clearmodifiers ctrl+a ctrl+c
    wait_for 10 not_clipboard '-' || fail "nothing copied from $1"
    probe clipboard
}
# paste_text ID TEXT: replaces an edit box's text through the clipboard (Japanese too).
paste_text() {
    probe set-clipboard "$2" || fail "set-clipboard"
    click "$1"
    xdotool key --clearmodifiers ctrl+a ctrl+v
}
clipboard_has() { probe clipboard | grep -qF -- "$1"; }
# box_says TEXT: the window in front is a message box of the program, not its main window, and
# says TEXT (a Qt message box copies what it says with Ctrl+C). While a page is looked up, the
# lookup's own window may come first.
box_says() {
    local front
    front=$(probe foreground) || return 1
    [ "$(probe_field "$front" 8)" = Vistrel ] && [ "$(probe_field "$front" 1)" != "$main_hwnd" ] ||
        return 1
    probe set-clipboard '-' || return 1
    xdotool key --clearmodifiers ctrl+c
    wait_for 2 clipboard_has "$1"
}
# dismiss_box WHAT TEXT [PICTURE]: a message box over the main window says TEXT (pictured in
# PICTURE where given); Return closes it and leaves the main window.
dismiss_box() {
    wait_for 30 box_says "$2" ||
        fail "$1: no message box saying $2 ($(probe windows --exe "$exe"); clipboard: $(probe clipboard))"
    # Owned by the main window: it stays over it and the main window waits for it.
    [ "$(probe_field "$(probe foreground)" 7)" = "$main_hwnd" ] ||
        fail "$1: the message box is not the main window's: $(probe foreground)"
    if [ -n "${3:-}" ]; then
        local box_xid
        box_xid=$(xdotool search --onlyvisible --name '^Vistrel$' | grep -vx "$main_xid" | head -n 1)
        import -window "$box_xid" "$3" || fail "no picture of the message box"
        echo "message box: $3"
    fi
    xdotool key --clearmodifiers Return
    wait_for 10 titled_count_is 1 || fail "$1: the message box stays"
    [ -n "$(main_line)" ] || fail "$1: the main window went with the box"
}
history_is() { # STREAMID... : History.ini lists these, in this order
    local i=0 id
    [ "$(ini_read "$work/prog/History.ini" SYSTEM COUNT)" = "$#" ] || return 1
    for id in "$@"; do
        [ "$(ini_read "$work/prog/History.ini" "ITEM$i" STREAMID)" = "$id" ] || return 1
        i=$((i + 1))
    done
}
history_text() { tr -d '\r' <"$work/prog/History.ini" | paste -sd' '; }

# --- Start from the folder; the main window shows and is pictured.
(cd "$work/prog" && unset http_proxy https_proxy no_proxy HTTP_PROXY &&
    exec wine "$exe" >/dev/null 2>>"$work/program.log") &
program_pid=$!
line=$(probe wait 60 Vistrel --exe "$exe") || fail "the main window did not show"
main_hwnd=$(probe_field "$line" 1)
client_origin "$line"
[ "$(probe_field "$line" 4)" = 0 ] || fail "the main window starts on top"
wait_for 10 xdotool search --onlyvisible --name '^Vistrel$' || fail "no X window for the main window"
main_xid=$(xdotool search --onlyvisible --name '^Vistrel$' | head -n 1)
xdotool windowactivate --sync "$main_xid" 2>/dev/null
wait_for 10 foreground_is "$main_hwnd" || fail "the main window is not in front"
(cd "$work/layout" && wine "$layout_name" 1002 1003 1004 1008 1011 h1007:0 h1007:1 h1007:2 \
    h1010 h1011 h1012 h1013 | tr -d '\r' >"$work/layout.txt" 2>>"$work/program.log") ||
    fail "the layout tool failed"
import -window "$main_xid" "$screenshots/windows_main.png" || fail "no screenshot"
echo "main window: $screenshots/windows_main.png"

# --- A channel page address typed in and connected: the lookup goes through the proxy, the
# missing player module says so, the input box shows the bare id and the memo the page's title.
click 1002
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool type --delay 20 "$page1"
click 1003
wait_for 20 grep -q "${page1#http://www.tevora.tv}" "$work/standin.log" ||
    fail "the page was not requested through the proxy"
dismiss_box "Connect Stream" 'プレイヤーを開けませんでした' "$screenshots/windows_message.png"
[ "$(copy_text 1002)" = "$id1" ] || fail "input box after the lookup: '$(probe clipboard)'"
memo=$(copy_text 1004)
{ [ -n "$memo" ] && grep -qF -- "$memo" <<<"$title1"; } || fail "memo '$memo' is not from '$title1'"
wait_for 10 history_is "$id1" "$id3" "$id4" || fail "history after the lookup: $(history_text)"

# --- The memo: "Memo編集" opens it, the text goes into the history when it closes.
click 1008
paste_text 1004 '山の上のカメラ'
click 1008
first_memo_is() { [ "$(ini_read "$work/prog/History.ini" ITEM0 MEMO)" = "$1" ]; }
wait_for 10 first_memo_is '山の上のカメラ' ||
    fail "memo not in the history: $(history_text)"

# --- The history panel: up, down, delete, and Change Stream on a row.
click h1007:2
click h1012
wait_for 10 history_is "$id1" "$id4" "$id3" || fail "Up: $(history_text)"
click h1007:0
click h1013
wait_for 10 history_is "$id4" "$id1" "$id3" || fail "Down: $(history_text)"
click h1007:2
click h1011
wait_for 10 history_is "$id4" "$id1" || fail "Delete: $(history_text)"
click h1007:0
click h1010
dismiss_box "Change Stream" 'プレイヤーを開けませんでした'
[ "$(copy_text 1002)" = "$id4" ] || fail "Change Stream did not make $id4 current"

# --- "Top Most" with no player window: the main window stays in the normal band.
click 1011
# Events are handled in order: once a later copy is done, the click has been too.
copy_text 1002 >/dev/null
[ "$(probe_field "$(main_line)" 4)" = 0 ] || fail "Top Most put the main window on top"
xprop -id "$main_xid" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE &&
    fail "Top Most: the window manager keeps the main window above"
click 1011

requests=$(wc -l <"$work/standin.log")
# --- A second start hands its reference to the first and ends at once; the first looks the
# page up and connects it.
(cd "$work/prog" && exec timeout 30 wine "$exe" "$page2" >/dev/null 2>>"$work/second.log")
rc=$?
[ "$rc" -eq 0 ] || fail "the second start ended with $rc"
more_requests() { [ "$(wc -l <"$work/standin.log")" -gt "$requests" ]; }
wait_for 20 more_requests ||
    fail "hand-over: the page was not requested"
dismiss_box "hand-over" 'プレイヤーを開けませんでした'
wait_for 10 history_is "$id2" "$id4" "$id1" || fail "hand-over: $(history_text)"
[ "$(copy_text 1002)" = "$id2" ] || fail "hand-over: the input box shows '$(probe clipboard)'"

import -window "$main_xid" "$screenshots/windows_history.png" || fail "no screenshot"
echo "history and memo: $screenshots/windows_history.png"

# --- Close: the files beside the program, UTF-8, hold what was done.
xdotool windowactivate --sync "$main_xid" 2>/dev/null
xdotool key --clearmodifiers alt+F4
probe gone 20 Vistrel --exe "$exe" || fail "the program did not close"
wait_for 20 ended "$program_pid" || fail "the program did not end"
for f in Vistrel.ini History.ini; do
    [ -f "$work/prog/$f" ] || fail "no $f beside the program"
    iconv -f UTF-8 -t UTF-8 "$work/prog/$f" >/dev/null || fail "$f is not UTF-8"
done
[ "$(ini_read "$work/prog/Vistrel.ini" SYSTEM STREAMID)" = "$id2" ] || fail "Vistrel.ini STREAMID"
[ "$(ini_read "$work/prog/History.ini" ITEM1 MEMO)" = 試験電波 ] || fail "History.ini ITEM1 memo"
[ "$(ini_read "$work/prog/History.ini" ITEM2 MEMO)" = 山の上のカメラ ] || fail "History.ini ITEM2 memo"

# --- The Linux build's own code reads both files as they were meant and writes them back byte
# for byte; then the Linux program starts on them and leaves them as they are.
mkdir -p "$work/linux"
cp "$work/prog/Vistrel.ini" "$work/prog/History.ini" "$work/linux/"
"$roundtrip_exe" "$work/linux" >"$work/roundtrip.txt" 2>>"$work/program.log" ||
    fail "the Linux build could not write the files back"
title2=$(grep -m 1 '^entry	0	' "$work/roundtrip.txt" | cut -f 4)
expected="settings	$id2	$title2	0,0,0,0
entry	0	$id2	$title2
entry	1	$id4	試験電波
entry	2	$id1	山の上のカメラ"
[ "$(cat "$work/roundtrip.txt")" = "$expected" ] ||
    fail "the Linux build reads: $(cat "$work/roundtrip.txt")"
grep -qF -- "$title2" <<<"$(grep '^channel ' "$work/standin.out" | sed -n 2p)" ||
    fail "the handed-over channel's memo '$title2' is not its page's title"
same_files() {
    local f
    for f in Vistrel.ini History.ini; do
        cmp -s "$work/prog/$f" "$work/linux/$f" ||
            fail "$1: $f changed: $(diff <(tr -d '\r' <"$work/prog/$f") <(tr -d '\r' <"$work/linux/$f"))"
    done
}
same_files "written back by the Linux build"
cp "$linux_vistrel" "$work/linux/vistrel"
(cd / && exec "$work/linux/vistrel" >/dev/null 2>>"$work/program.log") &
linux_pid=$!
wait_for 30 xdotool search --onlyvisible --pid "$linux_pid" --name '^Vistrel$' ||
    fail "the Linux build did not show its window"
kill -TERM "$linux_pid"
wait_for 20 ended "$linux_pid" || fail "the Linux build did not end"
wait "$linux_pid"
status=$?
linux_pid=""
[ "$status" -eq 0 ] || fail "the Linux build ended with $status"
same_files "after the Linux program"
echo "windows program e2e: passed"
