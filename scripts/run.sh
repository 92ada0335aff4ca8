#!/usr/bin/env bash
# Starts Vistrel with the stand-in streaming service on a free loopback port, printing the channel
# addresses to paste. Needs a desktop (DISPLAY) and a build (bash scripts/setup.sh --no-run).
set -euo pipefail
VISTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${VISTREL_BUILD:-$VISTREL_ROOT/build}"
[ -x "$build/vistrel" ] || { echo "vistrel: not built yet; run: bash scripts/setup.sh --no-run" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
    echo "vistrel: no desktop here (DISPLAY is not set); run this again from a desktop session," >&2
    echo "         or on a private one: bash tests/support/run_with_desktop.sh bash scripts/run.sh" >&2
    exit 0
fi

out=$(mktemp)
"$build/tools/tevora_standin" >"$out" 2>/dev/null &
standin=$!
# Under set -e a failing command in the trap would turn the program's own status into 1.
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 1 100); do
    grep -q '^use as proxy' "$out" && break
    sleep 0.1
done
port=$(head -n 1 "$out")
[ -n "$port" ] || { echo "vistrel: the stand-in service did not start" >&2; exit 1; }

echo
echo "The stand-in service plays these channels on 127.0.0.1:$port. Paste an address into the"
echo "box \"URL/埋め込みコード / ID:\" and press \"Connect Stream\":"
grep '^channel ' "$out" | awk '{ $1 = ""; sub(/^ /, ""); print "    " $0 }'
echo
echo "Settings and history are kept in $build/Vistrel.ini and $build/History.ini."
echo "Close the Vistrel window to end."
status=0
http_proxy="http://127.0.0.1:$port" no_proxy="" QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3 \
    "$build/vistrel" || status=$?
kill "$standin" 2>/dev/null || true
wait "$standin" 2>/dev/null || true
exit "$status"
