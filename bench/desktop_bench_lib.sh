# Shared by the whole-program benchmark scripts; sourced with the script's own arguments
# ([BUILD_DIR] [RUNS], then any of the script's own, passed on as they are), not run. Sets root,
# build and runs (default 21), starts the script again on a private desktop (Xvfb + openbox)
# unless it already is on one, and makes work, a temporary folder with an empty program folder
# work/prog in it.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-21}
if [ -z "${VISTREL_ON_DESKTOP:-}" ]; then
    export VISTREL_ON_DESKTOP=1 QTWEBENGINE_DISABLE_SANDBOX=1
    exec "$root/tests/support/run_with_desktop.sh" bash "$0" "$build" "${@:2}"
fi
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3
work=$(mktemp -d)
mkdir "$work/prog"
