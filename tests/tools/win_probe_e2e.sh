#!/usr/bin/env bash
# The Wine desktop of the Windows build's whole-program tests, on a small Windows program: its
# window is found by its Japanese title, the Japanese text renders (a screenshot is kept), the
# text of a native edit box is copied to the clipboard with the keyboard and read back, "Top
# Most" is seen as WS_EX_TOPMOST and by the window manager, a message box is seen and dismissed,
# and the text reaches the program's output file through the keyboard. Run under
# run_with_desktop.sh.
#
#   win_probe_e2e.sh PREFIX WIN_PROBE WIN_PROBE_TARGET SCREENSHOT
set -u
prefix=$1 probe_arg=$2 target_exe=$3 screenshot=$4

here=$(dirname "${BASH_SOURCE[0]}")
source "$here/../support/e2e_lib.sh"
source "$here/../support/wine_lib.sh"
e2e_work
cleanup() { wine_end; }
E2E_LOGS="$work/target.log"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/win_probe_e2e_failure.png"

wine_use "$prefix" "$probe_arg"
mkdir -p "$(dirname "$screenshot")"
title='プローブ試験'
exe=$(basename "$target_exe")
mkdir -p "$work/prog"
cp "$target_exe" "$work/prog/"
(cd "$work/prog" && exec wine "$exe" 'Z:\'"${work//\//\\}"'\prog\out.txt' >/dev/null 2>"$work/target.log") &

# --- The window by its title, in the normal band, its title shown by the window manager too.
line=$(probe wait 30 "$title" --exe "$exe") || fail "the window did not show"
[ "$(probe_field "$line" 4)" = 0 ] || fail "topmost from the start: $line"
hwnd=$(probe_field "$line" 1)
wait_for 10 xdotool search --onlyvisible --name "^$title\$" || fail "no X window titled $title"
xid=$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)
# Given the focus by the window manager, the program is Windows' foreground one.
xdotool windowactivate --sync "$xid" 2>/dev/null
foreground_is() { [ "$(probe_field "$(probe foreground)" 1)" = "$1" ]; }
wait_for 10 foreground_is "$hwnd" ||
    fail "not the foreground window: $(probe foreground)"
import -window "$xid" "$screenshot" || fail "no screenshot"
echo "screenshot: $screenshot"

# --- The edit box's text through the clipboard: select it all (Wine's edit box has no Ctrl+A),
# copy, read.
clipboard_is() { [ "$(probe clipboard)" = "$1" ]; }
probe set-clipboard 'before' || fail "set-clipboard"
[ "$(probe clipboard)" = before ] || fail "clipboard round trip: $(probe clipboard)"
xdotool key --clearmodifiers Home shift+End ctrl+c
wait_for 10 clipboard_is '日本語の文字 abc' ||
    fail "copied text: '$(probe clipboard)'"

# --- Paste replaces it: text typed through the clipboard reaches the program.
probe set-clipboard '貼り付けた文字' || fail "set-clipboard"
xdotool key --clearmodifiers Home shift+End ctrl+v
xdotool key --clearmodifiers Home shift+End ctrl+c
wait_for 10 clipboard_is '貼り付けた文字' ||
    fail "pasted text: '$(probe clipboard)'"

# --- Top Most: the check box (Tab from the edit box, Space) moves the window to the top band;
# the window manager hears of it as _NET_WM_STATE_ABOVE.
topmost() { [ "$(probe_field "$(probe windows --exe "$exe" --title "$title")" 4)" = "$1" ]; }
xdotool key --clearmodifiers Tab space
wait_for 10 topmost 1 || fail "Top Most on: $(probe windows --exe "$exe")"
wait_for 10 bash -c "xprop -id $xid _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE" ||
    fail "Top Most on: the window manager does not know"
xdotool key --clearmodifiers space
wait_for 10 topmost 0 || fail "Top Most off: $(probe windows --exe "$exe")"

# --- The message box: a second window with the same title, gone with Return.
titled_count_is() { [ "$(windows_titled "$title" "$exe")" -eq "$1" ]; }
xdotool key --clearmodifiers Tab space
wait_for 10 titled_count_is 2 ||
    fail "no message box: $(probe windows --exe "$exe")"
box=$(probe windows --exe "$exe" --title "$title" | awk -F'\t' -v main="$hwnd" '$3 == 1 && $1 != main' | head -n 1)
[ -n "$box" ] || fail "the message box is the main window"
[ "$(probe_field "$box" 7)" = "$hwnd" ] || fail "the message box is not the window's: $box"
[ "$(probe_field "$line" 7)" = 0x0 ] || fail "the window has an owner: $line"
xdotool key --clearmodifiers Return
wait_for 10 titled_count_is 1 ||
    fail "the message box stays: $(probe windows --exe "$exe")"
[ "$(probe windows --exe "$exe" --title "$title" | awk -F'\t' '$3 == 1 {print $1}')" = "$hwnd" ] ||
    fail "the main window went with the box"

# --- Closed through the window manager, the program writes the edit box's text.
wmctrl -i -c "$xid"
probe gone 20 "$title" --exe "$exe" || fail "the window did not close"
wait_for 10 test -s "$work/prog/out.txt" || fail "no output file"
[ "$(cat "$work/prog/out.txt")" = '貼り付けた文字' ] || fail "output: $(cat "$work/prog/out.txt")"
# What is not there is said so, not found.
probe close 0x1 && fail "close of a window that is not there succeeded"
probe wait 0.3 "$title" --exe "$exe" && fail "wait found a closed window"
probe windows --exe "$exe" && fail "windows of an ended program listed"
probe wait x "$title"
[ $? -eq 2 ] || fail "a wrong command line was taken"
echo "win_probe e2e: passed"
