#!/usr/bin/env bash
# The whole program where its state files are not what they should be, set up from outside:
# FIFOs, a link to /dev/zero, a folder and a huge sparse file in their places, a link another
# user planted in a shared sticky folder, a full file system, and a player module cut short
# followed by a crash. Each time the program must start within bounds, say on standard error
# what it refused, leave those things as they were, and keep the history of the run even when
# killed. Run under run_with_desktop.sh.
#
#   hostile_state_e2e.sh VISTREL PLAYER_MODULE
set -u
vistrel_exe=$1
player_module=$2

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
}
E2E_LOGS="$work/out.txt $work/err.txt"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

main_window_shown() {
    xdotool search --onlyvisible --pid "$program_pid" --name '^Vistrel$'
}

# start NAME FOLDER [ARGS...]: starts the copy of the program in FOLDER (its state folder) and
# waits for its main window.
start() {
    local name=$1 folder=$2
    shift 2
    "$folder/vistrel" -D537 "$@" >"$work/out.txt" 2>"$work/err.txt" &
    program_pid=$!
    wait_for 30 main_window_shown || fail "$name: no main window within 30 s"
}

# stop NAME: the orderly end (SIGTERM), within bounds.
stop() {
    kill -TERM "$program_pid"
    wait_for 20 bash -c "! kill -0 $program_pid" || fail "$1: did not end on SIGTERM"
    wait "$program_pid" 2>/dev/null
    program_pid=""
}

said() { # NAME TEXT...: standard error holds a line with all of the texts
    local name=$1 line
    shift
    while IFS= read -r line; do
        local all=1 text
        for text in "$@"; do
            [[ "$line" == *"$text"* ]] || all=0
        done
        [ $all = 1 ] && return 0
    done <"$work/err.txt"
    fail "$name: no line on standard error with: $*"
}

new_folder() { # NAME: a folder with a copy of the program
    mkdir -p "$work/$1" && cp "$vistrel_exe" "$work/$1/vistrel" || fail "$1: set-up"
    echo "$work/$1"
}

# --- FIFOs, a device, a folder: refused at once, said, left alone.
dir=$(new_folder fifo)
mkfifo "$dir/History.ini" && ln -s /dev/zero "$dir/Vistrel.ini" && mkfifo "$dir/Vistrel.lock" ||
    fail "fifo: set-up"
start "FIFO history, /dev/zero settings, FIFO lock" "$dir"
said "fifo" "$dir/History.ini" "not a regular file"
said "fifo" "$dir/Vistrel.ini" "not a regular file"
said "fifo" "$dir/Vistrel.lock" "not a regular file"
stop "fifo"
[ -p "$dir/History.ini" ] || fail "fifo: History.ini is no longer the FIFO"
[ "$(readlink "$dir/Vistrel.ini")" = /dev/zero ] || fail "fifo: the link was replaced"
[ -p "$dir/Vistrel.lock" ] || fail "fifo: the lock FIFO was replaced"

# --- A 1 GiB sparse history and a folder where the lock file goes.
dir=$(new_folder huge)
truncate -s 1G "$dir/History.ini" && mkdir "$dir/Vistrel.lock" || fail "huge: set-up"
start "1 GiB history, lock folder" "$dir"
said "huge" "$dir/History.ini" "larger than"
said "huge" "$dir/Vistrel.lock" "not a regular file"
stop "huge"
[ "$(stat -c %s "$dir/History.ini")" = 1073741824 ] || fail "huge: History.ini was changed"
[ -d "$dir/Vistrel.lock" ] || fail "huge: the lock folder was replaced"

# --- A link planted by another user in a shared sticky folder, aimed at a file of ours.
if [ "$(id -u)" = 0 ]; then
    dir=$(new_folder shared)
    chmod 1777 "$dir"
    printf 'export PATH=/usr/bin\n' >"$work/bashrc"
    chmod 600 "$work/bashrc"
    ln -s "$work/bashrc" "$dir/History.ini" && chown -h 64123:64123 "$dir/History.ini" ||
        fail "shared: set-up"
    start "planted link" "$dir"
    said "shared" "$dir/History.ini" "another user"
    stop "shared"
    [ "$(cat "$work/bashrc")" = "export PATH=/usr/bin" ] || fail "shared: the victim was written"
    [ -L "$dir/History.ini" ] || fail "shared: the planted link was replaced"
else
    echo "hostile state e2e: planted link skipped (needs root to act as another user)"
fi

# --- A full file system: the failed save is said, the old file stays.
if unshare -m true 2>/dev/null; then
    dir=$(new_folder full)
    printf '[SYSTEM]\nCOUNT=0\n' >"$work/history.old"
    unshare -m bash -c '
        dir=$1 exe=$2 work=$3
        size=$(( $(stat -c %s "$exe") / 1024 + 256 ))
        mount -t tmpfs -o size=${size}k tmpfs "$dir" || exit 90
        cp "$exe" "$dir/vistrel" && cp "$work/history.old" "$dir/History.ini" || exit 91
        dd if=/dev/zero of="$dir/filler" bs=4k 2>/dev/null
        exec "$dir/vistrel" -D537 >"$work/out.txt" 2>"$work/err.txt"' \
        full "$dir" "$vistrel_exe" "$work" &
    program_pid=$!
    wait_for 30 main_window_shown || fail "full: no main window within 30 s"
    stop "full"
    said "full" "$dir/History.ini" "No space left on device"
else
    echo "hostile state e2e: full file system skipped (no private mount namespace)"
fi

# --- A player module cut short, then a crash: the program says so, and the run's history is
# in the file before the crash. (The connection, and with it the settings' change, completes
# only when the message is closed.)
dir=$(new_folder crash)
# 8 KiB: past the ELF and program headers, well short of the segments' end.
head -c 8192 "$player_module" >"$dir/libvistrel_player.so" ||
    fail "crash: set-up"
start "module cut short" "$dir" abc1234
# The message about the player (a second window of the program) and the history on disk.
wait_for 30 bash -c "[ \$(xdotool search --onlyvisible --pid $program_pid --name '^Vistrel\$' | wc -l) -ge 2 ]" ||
    fail "crash: no message about the player"
wait_for 30 grep -q abc1234 "$dir/History.ini" || fail "crash: the history was not saved soon"
kill -0 "$program_pid" || fail "crash: the program died of its module"
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null
program_pid=""
grep -q '^STREAMID=abc1234$' "$dir/History.ini" || fail "crash: the history was lost"

echo "hostile state e2e: passed"
