#!/usr/bin/env bash
# Plays a channel from the stand-in service in the player demo on a private X desktop and saves
# a screenshot of the screen: scripts/player_screenshot.sh [BUILD_DIR] [STREAM_ID] [OUT.png]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
stream=${2:-hBr3cM3}
out=$(realpath -m "${3:-player-screenshot.png}")

export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---log-level=3}"
exec "$root/tests/support/run_with_desktop.sh" bash -c '
    set -u
    build=$1 stream=$2 out=$3
    coproc standin { exec "$build/tools/tevora_standin" --port 0 2>/dev/null; }
    read -r port <&"${standin[0]}"
    "$build/tools/player_demo" --proxy "http://127.0.0.1:$port" --size 640x400 "$stream" &
    demo=$!
    sleep "${SCREENSHOT_DELAY:-6}"
    [ -n "${SCREENSHOT_XPROP:-}" ] && xprop -name Player _MOTIF_WM_HINTS _NET_WM_ALLOWED_ACTIONS >&2
    import -window root "$out"
    kill "$demo" "$standin_PID" 2>/dev/null
    wait "$demo" 2>/dev/null
    echo "screenshot: $out"
' screenshot "$build" "$stream" "$out"
