#!/usr/bin/env bash
# The whole program on a private desktop while a channel page server holds it: one that never
# answers and one that trickles. With each, during the lookup the main window repaints, the
# lookup names itself and cancels without a message; the close box and SIGTERM end the program
# within a second with both files saved. References that later starts hand over during a lookup
# wait for its end and are connected in their order. Then a program whose standard error has lost its reader ends the same
# way. Prints the times from the close request to the program's end. Run under
# run_with_desktop.sh.
#
#   program_lookup_e2e.sh VISTREL HUNG_SERVICE VISTREL_LAYOUT VISTREL_PLAYER_MODULE
set -u
vistrel_exe=$1 hung_exe=$2 layout_exe=$3 player_module=$4

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
service_pid="" program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
}
E2E_LOGS="$work/program.log $work/second.log $work/service.out $work/prog/*.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_lookup_e2e_failure.png"
now_ms() { date +%s%3N; }

mkdir -p "$work/prog"
cp "$vistrel_exe" "$work/prog/vistrel"
cp "$player_module" "$work/prog/"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3
"$hung_exe" >"$work/service.out" 2>&1 &
service_pid=$!
wait_for 10 test -s "$work/service.out" || fail "page server did not start"
port=$(head -n 1 "$work/service.out")

window_count() { vistrel_windows | wc -l; }
# start_program [PROXY_PORT]: a fresh program directory with one history entry.
start_program() {
    rm -f "$work/prog/"*.ini
    printf '[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=kept123\nMEMO=kept\n' >"$work/prog/History.ini"
    (cd / && http_proxy="http://127.0.0.1:${1:-$port}" no_proxy="" \
        exec "$work/prog/vistrel" >/dev/null 2>>"$work/program.log") &
    program_pid=$!
    wait_for 30 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -ge 1 ]" ||
        fail "main window did not show"
    main_wid=$(vistrel_windows | head -n 1)
    local info
    info=$(xwininfo -id "$main_wid")
    main_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    main_y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
}
click() { # ID: the centre of a control of the main window, with the real pointer
    local x y
    read -r _ x y < <("$layout_exe" "$1") || fail "layout $1"
    xdotool mousemove --sync $((main_x + x)) $((main_y + y)) click 1
}
# start_lookup PATH: types a channel page address of the held server and presses Connect Stream.
start_lookup() {
    local requests
    requests=$(grep -c '^request' "$work/service.out")
    click 1002
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 10 "http://www.tevora.tv/$1"
    click 1003
    wait_for 10 bash -c "[ \$(grep -c '^request' '$work/service.out') -gt $requests ]" ||
        fail "$1: no request arrived"
}
files_saved() {
    grep -q 'STREAMID=kept123' "$work/prog/History.ini" && grep -q '^\[PLAYER\]' "$work/prog/Vistrel.ini"
}
# end_program HOW: asks the program to end during a held lookup; the milliseconds it took go to
# $took.
end_program() {
    local start end
    if [ "$1" = close ]; then
        xdotool windowactivate --sync "$main_wid" 2>/dev/null
        start=$(now_ms)
        xdotool key --clearmodifiers alt+F4
    else
        start=$(now_ms)
        kill -TERM "$program_pid"
    fi
    wait_for 20 ended "$program_pid" || fail "$1: the program did not end"
    end=$(now_ms)
    wait "$program_pid"
    local status=$?
    program_pid=""
    [ "$status" -eq 0 ] || fail "$1: ended with status $status"
    files_saved || fail "$1: files not saved"
    took=$((end - start))
}

# repainted: the main window's top shows again what it showed before the lookup; the number of
# pixels that differ goes to $differing.
repainted() {
    differing="all (no picture)"
    import -window "$main_wid" -crop 300x40+10+20 "$work/during.png" || return 1
    # (compare may print large counts in exponent form.)
    differing=$(compare -metric AE -fuzz 15% "$work/before.png" "$work/during.png" null: 2>&1 |
        awk '{ printf "%d", $1 }')
    [ "$differing" -lt 600 ] 2>/dev/null
}

times=()
for mode in silent trickle; do
    # --- Repaint, the lookup's window, and cancelling it.
    start_program
    click 1002
    xdotool type --delay 10 "http://www.tevora.tv/$mode"
    sleep 0.3
    import -window "$main_wid" -crop 300x40+10+20 "$work/before.png" || fail "screenshot"
    click 1003
    wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -ge 2 ]" ||
        fail "$mode: the lookup's window did not show"
    # Unmapped and mapped again, the main window must paint itself anew.
    xdotool windowminimize --sync "$main_wid"
    xdotool windowactivate --sync "$main_wid" 2>/dev/null || xdotool windowmap --sync "$main_wid"
    wait_for 10 repainted || fail "$mode: not repainted ($differing pixels differ)"
    kill -0 "$program_pid" || fail "$mode: program gone"
    progress=$(vistrel_windows | grep -v "^$main_wid\$" | head -n 1)
    xdotool windowactivate --sync "$progress" 2>/dev/null
    xdotool key --clearmodifiers Escape
    # Cancelled: the lookup's window goes and no message blames the address.
    wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -eq 1 ]" ||
        fail "$mode: the lookup's window did not go"
    wait_for 3 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -ge 2 ]" &&
        fail "$mode: a message showed after cancelling"
    # --- The close box during the lookup.
    start_lookup "$mode"
    sleep 1
    end_program close
    times+=("$took")
    # --- SIGTERM during the lookup, twice.
    for _ in 1 2; do
        start_program
        start_lookup "$mode"
        sleep 1
        end_program term
        times+=("$took")
    done
done

# --- Hand-overs during a lookup: a bare id and a page from two later starts wait for its end,
# then connect in their order; nothing shows and nothing is lost meanwhile.
start_program
start_lookup silent
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -eq 2 ]" ||
    fail "hand-over: the lookup's window did not show"
requests_before=$(grep -c '^request' "$work/service.out")
for reference in hnd0001 "http://www.tevora.tv/silent"; do
    (cd / && exec timeout 5 "$work/prog/vistrel" "$reference" >/dev/null 2>>"$work/second.log")
    rc=$?
    [ "$rc" -eq 0 ] || fail "hand-over of $reference: status $rc"
done
players() { xdotool search --onlyvisible --name '^Player$' 2>/dev/null; }
wait_for 3 players && fail "hand-over: connected during the lookup"
[ "$(window_count)" -eq 2 ] || fail "hand-over: a message showed during the lookup"
grep -q 'Another page' "$work/program.log" && fail "hand-over: a second fetch was tried"
progress=$(vistrel_windows | grep -v "^$main_wid\$" | head -n 1)
xdotool windowactivate --sync "$progress" 2>/dev/null
xdotool key --clearmodifiers Escape
# The bare id first: the player opens; then the page handed over is looked up in its turn.
wait_for 60 players || fail "hand-over: the bare id was not connected after the lookup"
wait_for 10 bash -c "[ \$(grep -c '^request' '$work/service.out') -gt $requests_before ]" ||
    fail "hand-over: the page handed over was not looked up"
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -eq 2 ]" ||
    fail "hand-over: the second lookup's window did not show"
progress=$(vistrel_windows | grep -v "^$main_wid\$" | head -n 1)
xdotool windowactivate --sync "$progress" 2>/dev/null
xdotool key --clearmodifiers Escape
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -eq 1 ]" ||
    fail "hand-over: the second lookup's window did not go"
end_program term
grep -q 'STREAMID=hnd0001' "$work/prog/History.ini" || fail "hand-over: hnd0001 not in the history"
[ "$(awk -F= '/^\[ITEM0\]/{f=1} f && /^STREAMID=/{print $2; exit}' "$work/prog/History.ini" |
    tr -d '\r')" = hnd0001 ] || fail "hand-over: hnd0001 is not the newest entry"

# --- Standard error without a reader: a diagnostic (a failed lookup's report) goes nowhere.
exec 4> >(exit 0)
sleep 0.3
rm -f "$work/prog/"*.ini
printf '[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=kept123\nMEMO=kept\n' >"$work/prog/History.ini"
(cd / && http_proxy="http://127.0.0.1:1" no_proxy="" exec "$work/prog/vistrel" >/dev/null 2>&4) &
program_pid=$!
exec 4>&-
wait_for 30 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -ge 1 ]" ||
    fail "closed stderr: main window did not show"
main_wid=$(vistrel_windows | head -n 1)
info=$(xwininfo -id "$main_wid")
main_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
main_y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
click 1002
xdotool type --delay 10 "http://www.tevora.tv/refused"
click 1003
wait_for 10 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel$' | wc -l) -eq 2 ]" ||
    fail "closed stderr: no message for the refused page (program alive: $(kill -0 $program_pid && echo yes || echo no))"
xdotool key --clearmodifiers Return
sleep 0.3
kill -0 "$program_pid" || fail "closed stderr: the program died"
end_program term

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
count=${#times[@]}
echo "close request to end during a held lookup, ms (n=$count): min $(head -n 1 <<<"$sorted")" \
    "median $(sed -n "$(((count + 1) / 2))p" <<<"$sorted") max $(tail -n 1 <<<"$sorted")"
echo "all: ${times[*]}"
max=$(tail -n 1 <<<"$sorted")
[ "$max" -lt 5000 ] || fail "an end took $max ms"
echo "program lookup e2e: passed"
