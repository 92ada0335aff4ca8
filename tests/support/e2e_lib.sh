# Shared by the whole-program test scripts; sourced, not run. A script sets E2E_LOGS (paths and
# glob patterns of the files worth showing when it fails) and, where there is a desktop to
# picture, E2E_SCREENSHOT.

# fail MESSAGE...: says what failed, keeps a picture of the screen, shows the end of each log
# and ends the test.
fail() {
    echo "FAIL: $*" >&2
    if [ -n "${E2E_SCREENSHOT:-}" ] && import -window root "$E2E_SCREENSHOT" 2>/dev/null; then
        echo "screen at failure: $E2E_SCREENSHOT" >&2
    fi
    local f
    for f in ${E2E_LOGS:-}; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
    done
    exit 1
}

# wait_for SECONDS COMMAND...: polls the command every 50 ms until it succeeds.
wait_for() {
    local limit=$(($1 * 20))
    shift
    for _ in $(seq 1 "$limit"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}
