#!/usr/bin/env bash
# The whole program started from folders that a path text cannot name the usual way: one named
# in CP932 (as archives made on Japanese Windows unpack) and one deeper than PATH_MAX. In each it
# must read its state files there, save them there on close, keep the lines it does not own byte
# for byte, and never put state files in the root. Run under run_with_desktop.sh.
#
#   state_folders_e2e.sh VISTREL
# (Inside the deep folder the program is started through env: bash would make "./vistrel" a
# whole path, which exec refuses beyond PATH_MAX.)
set -u
vistrel_exe=$1

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
}
E2E_LOGS="$work/out.txt $work/err.txt"
export QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3

# What the root holds before: the program must add nothing there.
root_before=$(ls -l --time-style=+%s.%N /History.ini /Vistrel.ini 2>&1)

# The state a user left: a comment with a stray Latin-1 byte, a CP932 comment, a Japanese memo.
history_before=$(printf '; caf\xe9 (Latin-1)\n; \x97\x9a\x97\xf0 (CP932)\n[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=abc1234\nMEMO=\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\xa1\xe3\x83\xa2\n'; echo .)
settings_before=$(printf '; mine\n[SYSTEM]\nSTREAMID=abc1234\nMEMO=\xe3\x83\xa1\xe3\x83\xa2\n'; echo .)
write_state() { # in the current directory
    printf '%s' "${history_before%.}" >History.ini
    printf '%s' "${settings_before%.}" >Vistrel.ini
    cp "$vistrel_exe" ./vistrel
}
# The step names of the deep folder, entered one at a time (cd with the whole path would fail).
step=$(printf 'd%.0s' $(seq 1 200))
levels=25
enter_deep() {
    cd "$work/deep" || return 1
    for _ in $(seq 1 "$levels"); do cd "$step" || return 1; done
}

# check_run NAME START...: starts the program with the command, waits for its main window,
# closes it with SIGTERM (the orderly way) and checks the state files in the current directory
# of the caller's subshell (given as a function that enters it: $enter).
check_run() {
    local name=$1 expected_dir=$2
    shift 2
    "$@" &
    program_pid=$!
    wait_for 30 xdotool search --onlyvisible --name '^Vistrel$' || fail "$name: no main window"
    kill -TERM "$program_pid"
    wait_for 20 ended "$program_pid" || fail "$name: did not end on SIGTERM"
    program_pid=""
    LC_ALL=C grep -qxF "CurrentDir=$expected_dir" "$work/out.txt" || fail "$name: CurrentDir line"
}
check_state() { # NAME, in the folder
    local name=$1 history settings
    history=$(cat History.ini; echo .)
    settings=$(cat Vistrel.ini; echo .)
    [ "$history" = "$history_before" ] || fail "$name: History.ini not read and kept byte for byte"
    # Read (the stream id and memo stay) and saved (the player's keys were added).
    [ "$settings" = "$(printf '; mine\n[SYSTEM]\nSTREAMID=abc1234\nMEMO=\xe3\x83\xa1\xe3\x83\xa2\n\n[PLAYER]\nPOS_LEFT=0\nPOS_TOP=0\nPOS_RIGHT=0\nPOS_BOTTOM=0\n'; echo .)" ] ||
        fail "$name: Vistrel.ini not read and saved: $settings"
    [ -z "$(ls -A | grep -v -e '^History.ini$' -e '^Vistrel.ini$' -e '^vistrel$')" ] ||
        fail "$name: stray files $(ls -A)"
}

# --- A folder named in CP932 ("日本"), the program started by its whole path.
cp932_dir="$work/"$'\x93\xfa\x96\x7b'
mkdir "$cp932_dir" && (cd "$cp932_dir" && write_state) || fail "cp932 folder"
check_run "CP932 folder" "$cp932_dir" \
    bash -c 'cd / && exec "$0" -D537 >"$1/out.txt" 2>"$1/err.txt"' "$cp932_dir/vistrel" "$work"
(cd "$cp932_dir" && check_state "CP932 folder") || exit 1

# --- A folder deeper than PATH_MAX, the program started as ./vistrel from inside it.
mkdir "$work/deep" || fail "deep folder"
(
    cd "$work/deep" || exit 1
    for _ in $(seq 1 "$levels"); do mkdir "$step" && cd "$step" || exit 1; done
    write_state
) || fail "deep folder"
deep_dir="$work/deep"
for _ in $(seq 1 "$levels"); do deep_dir+="/$step"; done
[ "${#deep_dir}" -gt 4096 ] || fail "the deep folder is not deeper than PATH_MAX"
check_run "deep folder" "$deep_dir" \
    bash -c "$(declare -f enter_deep); work='$work' step='$step' levels=$levels;"'
        enter_deep && exec env ./vistrel -D537 >"$0/out.txt" 2>"$0/err.txt"' "$work"
(enter_deep && check_state "deep folder") || exit 1

[ "$(ls -l --time-style=+%s.%N /History.ini /Vistrel.ini 2>&1)" = "$root_before" ] ||
    fail "state files written in the root"
echo "state folders e2e: passed"
