# Shared by the whole-program test scripts; sourced, not run. A script sources it first, then
# calls e2e_work; it sets E2E_LOGS (paths and glob patterns of the files worth showing when it
# fails) and, where there is a desktop to picture, E2E_SCREENSHOT. Where it starts processes it
# defines cleanup, which ends them; the library calls it at the end.

# e2e_work: makes the scratch folder $work. At the script's end, however it ends, the script's
# cleanup (if it defines one) ends what it started, every child is waited for and the folder
# goes, also where the script made parts of it read-only.
e2e_work() {
    work=$(mktemp -d)
    trap e2e_end EXIT
}
e2e_end() {
    if declare -F cleanup >/dev/null; then
        cleanup
    fi
    wait 2>/dev/null
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}

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

# xdotool's --sync waits without end for a move, a map or an unmap the window manager does not
# make (a position it keeps the window from, a pointer already there on a busy desktop): every
# call gets a bound here, and one that runs out says so. timeout runs the program, not this.
xdotool() {
    local status=0
    timeout 20 xdotool "$@" || status=$?
    [ "$status" -ne 124 ] || echo "xdotool $* did not finish within 20 s" >&2
    return "$status"
}

# ended PID: the process has ended (or never was).
ended() { ! kill -0 "$1" 2>/dev/null; }

# start_standin STANDIN: starts the stand-in service, its channel list in $work/standin.out and
# its log in $work/standin.log; sets standin_pid and port (its proxy port).
start_standin() {
    "$1" >"$work/standin.out" 2>"$work/standin.log" &
    standin_pid=$!
    wait_for 10 grep -q '^use as proxy' "$work/standin.out" || fail "stand-in did not start"
    port=$(head -n 1 "$work/standin.out")
}

# vistrel_windows: the visible windows titled Vistrel (main windows and message boxes), one id a
# line.
vistrel_windows() { xdotool search --onlyvisible --name '^Vistrel$' 2>/dev/null; }

# ini_read FILE SECTION KEY: the value of a key of an INI file, its lines ended either way.
ini_read() {
    awk -F= -v s="[$2]" -v k="$3" '{sub(/\r$/, "")} /^\[/{cur=$0} cur==s && $1==k {sub(/^[^=]*=/, ""); print; exit}' \
        "$1"
}
