#!/usr/bin/env bash
# One program folder, one running Vistrel, with the whole program on a private desktop and the
# stand-in service: a start with a channel reference (and the debug switch) connects it; later
# starts on the same folder hand over and end, the running main window comes to the front and
# connects what was handed over (after a message box that is open is closed); a start from
# another folder runs beside it; a stopped instance is reported and never acts on the start that
# gave up; a lock left by a killed instance does not block the next start; History.ini holds
# every channel connected in a run, soon and at its end; on a folder the user cannot write,
# every start says so and runs on its own.
# Run under run_with_desktop.sh.
#
#   single_instance_e2e.sh VISTREL TEVORA_STANDIN VISTREL_PLAYER_MODULE
set -u
vistrel_exe=$1 standin_exe=$2 player_module=$3

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
standin_pid="" first_pid="" other_pid="" other_program_pid=""
cleanup() {
    [ -n "$other_program_pid" ] && kill "$other_program_pid" 2>/dev/null
    for pid in $first_pid $other_pid; do
        kill -CONT "$pid" 2>/dev/null
        kill -KILL "$pid" 2>/dev/null
    done
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null
}
E2E_LOGS="$work/*.log $work/*.out $work/prog/*.ini"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_single_failure.png"

mkdir -p "$work/prog" "$work/other"
# Each copy with the player module beside it, where a build tree has it.
for copy in prog other; do
    cp "$vistrel_exe" "$work/$copy/vistrel"
    cp "$player_module" "$work/$copy/"
done
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

start_standin "$standin_exe"
read -r _ id1 page1 _ < <(grep '^channel ' "$work/standin.out" | sed -n 1p)
read -r _ id2 page2 _ < <(grep '^channel ' "$work/standin.out" | sed -n 3p)
read -r _ id5 _ < <(grep '^channel ' "$work/standin.out" | sed -n 2p)
read -r _ id3 _ < <(grep '^channel ' "$work/standin.out" | sed -n 4p)
read -r _ id4 _ < <(grep '^channel ' "$work/standin.out" | sed -n 5p)
export http_proxy="http://127.0.0.1:$port" no_proxy=""

# Every program started below runs from / so that only argument 0 names its folder.
start_first() { # FOLDER ARGS...: a start that is to run; sets first_pid
    local folder=$1; shift
    (cd / && exec "$folder/vistrel" "$@" >>"$work/first.out" 2>>"$work/first.log") &
    first_pid=$!
}
# start_second FOLDER ARGS...: a start that is to end; sets second_rc, second_ms, and the files
# second.out and second.err. It is given 5 s (it should take a fraction of one).
start_second() {
    local folder=$1; shift
    local t0 t1
    t0=$(date +%s%N)
    (cd / && exec timeout 5 "$folder/vistrel" "$@" >"$work/second.out" 2>"$work/second.err")
    second_rc=$?
    t1=$(date +%s%N)
    second_ms=$(( (t1 - t0) / 1000000 ))
    echo "second start: status $second_rc after $second_ms ms" >&2
}
wait_main_window() { # sets main_wid: the one main window of the first start
    wait_for 30 vistrel_windows || fail "main window did not show"
    main_wid=$(vistrel_windows | head -n 1)
}
active_window() { printf '%d' "$(xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# *//p')"; }
is_active() { [ "$(active_window)" -eq "$1" ]; }
make_active() { # WID: as the user would, by clicking the window; tried until it holds
    for _ in $(seq 1 50); do
        xdotool windowactivate "$1" 2>/dev/null
        sleep 0.1
        is_active "$1" && return 0
    done
    return 1
}
is_normal() { xprop -id "$1" WM_STATE | grep -q 'window state: Normal'; }
history_ids() { # FOLDER: the stream ids of History.ini, in order, one line
    local file=$1/History.ini count i ids=""
    count=$(ini_read "$file" SYSTEM COUNT)
    for ((i = 0; i < count; i++)); do ids+="$(ini_read "$file" "ITEM$i" STREAMID) "; done
    echo "${ids% }"
}
requests() { grep -c "cid=$1" "$work/standin.log"; }
listing() { (cd "$1" && ls -lA --time-style=+%s.%N && stat -c "folder %y" .); }
end_first() { # SIGNAL
    kill -"$1" "$first_pid"
    wait_for 20 ended "$first_pid" || fail "first start did not end on $1"
    wait "$first_pid" 2>/dev/null
    first_pid=""
}

# --- A first start with the debug switch and a channel page address connects it.
start_first "$work/prog" -D537 "$page1"
wait_main_window
wait_for 30 xdotool search --onlyvisible --name '^Player$' || fail "player did not open"
wait_for 30 grep -q "cid=$id1" "$work/standin.log" || fail "command line's $id1 not connected"
[ "$(vistrel_windows | wc -l)" -eq 1 ] || fail "a message box showed for the switch"
expected="DEBUGMODE ON
********** Start DEBUG MODE  *******
PORTABLE VERSION START
CurrentDir=$work/prog"
[ "$(cat "$work/first.out")" = "$expected" ] || fail "console lines: $(cat "$work/first.out")"
[ -e "$work/prog/Vistrel.lock" ] || fail "no lock beside the state files"

# --- Minimised and another program's window active: a second start with a reference brings it
# back.
xmessage -name other_program -title 'Other program' 'another program' &
other_program_pid=$!
wait_for 10 xdotool search --onlyvisible --name '^Other program$' || fail "no other window"
other_wid=$(xdotool search --onlyvisible --name '^Other program$' | head -n 1)
xdotool windowminimize --sync "$main_wid"
make_active "$other_wid" || fail "other program's window not active"
before=$(listing "$work/prog")
start_second "$work/prog" "$page2"
[ "$second_rc" -eq 0 ] || fail "second start ended with $second_rc: $(cat "$work/second.err")"
[ ! -s "$work/second.out" ] && [ ! -s "$work/second.err" ] || fail "second start printed"
[ "$(listing "$work/prog")" = "$before" ] || fail "second start touched the folder: $(diff <(echo "$before") <(listing "$work/prog"))"
wait_for 10 is_active "$main_wid" || fail "main window not active after the handover"
is_normal "$main_wid" || fail "main window still minimised"
wait_for 30 grep -q "cid=$id2" "$work/standin.log" || fail "handed-over $id2 not connected"
[ "$(xdotool search --onlyvisible --name '^Player$' | wc -l)" -eq 1 ] || fail "a second player"

# --- Behind another window, a start without a reference brings it to the front only.
make_active "$other_wid" || fail "other program's window not active"
requests_before=$(requests "$id2")
start_second "$work/prog"
[ "$second_rc" -eq 0 ] || fail "second start without reference ended with $second_rc"
wait_for 10 is_active "$main_wid" || fail "main window not active after the plain second start"
[ "$(requests "$id2")" -eq "$requests_before" ] || fail "plain second start reconnected"

# --- The debug switch handed over is no reference; the reference with it is.
requests_before=$(requests "$id1")
start_second "$work/prog" -D537 "$id1" -D537
[ "$second_rc" -eq 0 ] || fail "second start with the switch ended with $second_rc"
[ ! -s "$work/second.out" ] || fail "a start that hands over printed console lines"
wait_for 30 bash -c "[ \$(grep -c 'cid=$id1' '$work/standin.log') -gt $requests_before ]" ||
    fail "handed-over $id1 not connected"
sleep 0.5
[ "$(vistrel_windows | wc -l)" -eq 1 ] || fail "a message box showed for the handed-over switch"

# --- A text the parser cannot use gets its message box; a reference handed over meanwhile is
# taken at once and connected once the box is closed.
start_second "$work/prog" "not a channel"
[ "$second_rc" -eq 0 ] || fail "second start with an unusable text ended with $second_rc"
wait_for 10 bash -c '[ "$(xdotool search --onlyvisible --name "^Vistrel\$" | wc -l)" -eq 2 ]' ||
    fail "no message box for the unusable text"
start_second "$work/prog" "$id5"
[ "$second_rc" -eq 0 ] || fail "second start during the message box ended with $second_rc"
sleep 0.5
[ "$(requests "$id5")" -eq 0 ] || fail "connected while the message box was open"
box_wid=$(vistrel_windows | grep -v "^$main_wid\$" | head -n 1)
xdotool windowactivate --sync "$box_wid" key --clearmodifiers Return
wait_for 30 grep -q "cid=$id5" "$work/standin.log" || fail "$id5 not connected after the box"

# --- Another folder is another copy: it runs beside the first.
(cd / && exec "$work/other/vistrel" >"$work/other.out" 2>"$work/other.log") &
other_pid=$!
wait_for 30 bash -c '[ "$(xdotool search --onlyvisible --name "^Vistrel\$" | wc -l)" -eq 2 ]' ||
    fail "the other folder's start shows no window of its own"
[ -e "$work/other/Vistrel.lock" ] || fail "no lock in the other folder"
kill -TERM "$other_pid"
wait_for 20 ended "$other_pid" || fail "other start did not end"
wait "$other_pid"
other_pid=""
[ "$(ini_read "$work/other/History.ini" SYSTEM COUNT)" = 0 ] || fail "other folder's history"
[ ! -e "$work/other/Vistrel.lock" ] || fail "other folder's lock left behind"

# --- A stopped instance does not answer: the start says so, ends, and is not acted on later.
# Every connection so far is saved while the program runs, so a crash would not lose them; with
# those saves done, nothing of its own changes the folder any more.
settled() {
    [ "$(history_ids "$work/prog")" = "$id5 $id2 $id1" ] &&
        [ "$(ini_read "$work/prog/Vistrel.ini" SYSTEM STREAMID)" = "$id5" ]
}
wait_for 20 settled || fail "the run's connections not saved while it runs"
before=$(listing "$work/prog")
kill -STOP "$first_pid"
start_second "$work/prog" "$id3"
kill -CONT "$first_pid"
[ "$second_rc" -eq 1 ] || fail "start to a stopped instance ended with $second_rc"
grep -q 'did not answer' "$work/second.err" || fail "no word of the hung instance"
[ "$(listing "$work/prog")" = "$before" ] || fail "start to a stopped instance touched the folder"
sleep 1
[ "$(requests "$id3")" -eq 0 ] || fail "the woken instance connected what was given up"

# --- Closed: every channel connected in the run is in the history.
xdotool windowactivate --sync "$main_wid" key --clearmodifiers alt+F4
wait_for 20 ended "$first_pid" || fail "first start did not end on Alt+F4"
wait "$first_pid"
first_pid=""
[ "$(history_ids "$work/prog")" = "$id5 $id2 $id1" ] || fail "history after the run: $(history_ids "$work/prog")"
[ ! -e "$work/prog/Vistrel.lock" ] || fail "lock left behind after an orderly end"

# --- Killed: its lock stays, and does not block the next start, which gets handovers again.
start_first "$work/prog"
wait_main_window
kill -KILL "$first_pid"
wait "$first_pid" 2>/dev/null
first_pid=""
[ -e "$work/prog/Vistrel.lock" ] || fail "killed instance left no lock (nothing tested)"
start_first "$work/prog" "$id4"
wait_main_window
wait_for 30 grep -q "cid=$id4" "$work/standin.log" || fail "start after a kill: $id4 not connected"
start_second "$work/prog" "$id3"
[ "$second_rc" -eq 0 ] || fail "handover after a kill ended with $second_rc"
wait_for 30 grep -q "cid=$id3" "$work/standin.log" || fail "handed-over $id3 not connected"
end_first TERM
[ "$(history_ids "$work/prog")" = "$id3 $id4 $id5 $id2 $id1" ] ||
    fail "history after the second run: $(history_ids "$work/prog")"
# --- A folder the user cannot write: each start says so and runs on its own.
mkdir "$work/readonly"
cp "$vistrel_exe" "$work/readonly/vistrel"
chmod 755 "$work" "$work/readonly"
# Nor can the user's configuration folder be made: the home folder is the read-only one.
as_user=(env -u XDG_CONFIG_HOME HOME="$work/readonly")
if [ "$(id -u)" -eq 0 ]; then
    # Permissions do not stop root: the starts run as nobody, for whom the folder is read-only.
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
else
    chmod 555 "$work/readonly"
fi
ro_pids=()
for n in 1 2; do
    (cd / && exec "${as_user[@]}" "$work/readonly/vistrel" >/dev/null 2>"$work/readonly$n.log") &
    ro_pids+=($!)
    wait_for 30 bash -c "[ \$(xdotool search --onlyvisible --name '^Vistrel\$' | wc -l) -eq $n ]" ||
        fail "start $n on a read-only folder shows no window of its own"
    grep -q "cannot make the lock file $work/readonly/Vistrel.lock" "$work/readonly$n.log" ||
        fail "start $n on a read-only folder did not say it runs without a lock"
done
kill -TERM "${ro_pids[@]}"
wait_for 20 bash -c "! kill -0 ${ro_pids[0]} && ! kill -0 ${ro_pids[1]}" ||
    fail "starts on the read-only folder did not end"
[ "$(ls "$work/readonly")" = vistrel ] || fail "something was written in the read-only folder"
echo "single instance e2e: passed"
