#!/usr/bin/env bash
# Screenshots of the main window, the about box and the player window on a private desktop,
# with the stand-in service playing a channel. Needs a built tree (scripts/setup.sh --no-run).
#
#   bash scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]     (defaults: build, build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ -z "${VISTREL_ON_DESKTOP:-}" ]; then
    export VISTREL_ON_DESKTOP=1 QTWEBENGINE_DISABLE_SANDBOX=1
    exec "$root/tests/support/run_with_desktop.sh" bash "$0" "$build" "$out"
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

"$build/tools/tevora_standin" >"$work/standin.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 100); do grep -q '^use as proxy' "$work/standin.out" && break; sleep 0.1; done
port=$(head -n 1 "$work/standin.out")
# An address xdotool can type on any keyboard map: the first one written in ASCII alone.
page=$(grep '^channel ' "$work/standin.out" | awk '{print $3}' | LC_ALL=C grep -m 1 -v '[^ -~]')

mkdir "$work/prog"
cp "$build/vistrel" "$build/libvistrel_player.so" "$work/prog/" # the player is a module beside it
(cd / && http_proxy="http://127.0.0.1:$port" exec "$work/prog/vistrel" 2>/dev/null) &
pids+=($!)
find_window() { # NAME: the first visible window so named, waiting up to 30 s
    local wid
    for _ in $(seq 1 300); do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$wid" ] && { echo "$wid"; return 0; }
        sleep 0.1
    done
    echo "screenshots: no window $1" >&2
    return 1
}
main=$(find_window '^Vistrel$')
info=$(xwininfo -id "$main")
mx=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
my=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
click() {
    local x y
    read -r _ x y < <("$build/tools/vistrel_layout" "$1")
    xdotool mousemove --sync $((mx + x)) $((my + y)) click 1
}
frame() { # WID: the window with the window manager's frame
    xwininfo -tree -id "$1" 2>/dev/null | grep 'Parent window id' | grep -v 'root window' |
        sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p'
}
shot() { # WID FILE: what the screen shows of the window and its frame
    local info x y w h
    info=$(xwininfo -id "$(frame "$1")" 2>/dev/null || xwininfo -id "$1")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/.*Width: *//p' <<<"$info")
    h=$(sed -n 's/.*Height: *//p' <<<"$info")
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$2"
    echo "screenshots: $2"
}

sleep 1
shot "$main" "$out/main_window.png"

# The about box, from the window menu (right click on the frame strip, then its item).
xdotool mousemove --sync $((mx + 20)) $((my + 8)) click 3
sleep 0.5
xdotool key a
about=$(find_window 'バージョン情報')
sleep 0.5
shot "$about" "$out/about_box.png"
xdotool windowactivate --sync "$about" key Escape
sleep 0.5

# A channel in the player window, at the size it opens with and larger; the main window with
# the channel in the history.
click 1002
xdotool type --delay 10 "$page"
click 1003
player=$(find_window '^Player$')
sleep 4
shot "$player" "$out/player_default_size.png"
xdotool windowsize --sync "$player" 480 300
sleep 2
shot "$player" "$out/player.png"
shot "$main" "$out/main_window_connected.png"

# The player in front of the main window, brought there by a click on its picture.
mw=$(sed -n 's/.*Width: *//p' <<<"$info")
xdotool windowmove --sync "$player" $((mx + mw - 200)) $((my + 150))
sleep 0.5
xdotool mousemove --sync $((mx + 20)) $((my + 8)) click 1
sleep 0.5
pinfo=$(xwininfo -id "$player")
px=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$pinfo")
py=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$pinfo")
xdotool mousemove --sync $((px + 480 - 60)) $((py + 150)) click 1
sleep 1
import -window root "$out/player_over_main_window.png"
echo "screenshots: $out/player_over_main_window.png"

# The about box open over the main window while the player plays on and has the focus.
xdotool mousemove --sync $((mx + 20)) $((my + 8)) click 3
sleep 0.5
xdotool key a
find_window 'バージョン情報' >/dev/null
sleep 0.5
xdotool mousemove --sync $((px + 480 - 60)) $((py + 150)) click 1
sleep 1
import -window root "$out/about_box_with_player.png"
echo "screenshots: $out/about_box_with_player.png"
