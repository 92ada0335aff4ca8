#!/usr/bin/env bash
# Where the whole program keeps its state, started as a user who is not root (root may write
# anywhere): a copy in a folder that user can write keeps both files beside itself; an installed
# copy, found by its bare name on PATH as the desktop entry starts it, in a folder the user cannot
# write, keeps them in ~/.config/Vistrel or $XDG_CONFIG_HOME/Vistrel. Each run closes the orderly
# way (SIGTERM) and the files are read back. Run under run_with_desktop.sh.
#
#   state_location_e2e.sh VISTREL
set -u
vistrel_exe=$1

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
chmod 755 "$work"
program_pid="" runner_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$runner_pid" ] && wait "$runner_pid" 2>/dev/null
}
E2E_LOGS="$work/*.out $work/*.log"

# The user: nobody when started as root, else whoever runs this.
if [ "$(id -u)" -eq 0 ]; then
    user=nobody
    as_user() { setpriv --reuid="$(id -u $user)" --regid="$(id -g $user)" --clear-groups -- "$@"; }
else
    user=$(id -un)
    as_user() { "$@"; }
fi
home=$work/home
mkdir -p "$home" "$work/portable" "$work/usr/bin" "$work/xdg/Vistrel"
cp "$vistrel_exe" "$work/portable/vistrel"
cp "$vistrel_exe" "$work/usr/bin/vistrel"
# What the user owns; the installed copy's folder stays root's (or read-only for a plain user).
[ "$(id -u)" -eq 0 ] && chown -R "$user:" "$home" "$work/portable" "$work/xdg"
chmod 555 "$work/usr/bin"
printf '[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=kEpT123\nMEMO=kept memo\n' >"$work/xdg/Vistrel/History.ini"
[ "$(id -u)" -eq 0 ] && chown "$user:" "$work/xdg/Vistrel/History.ini"

# run NAME PROGRAM [VAR=VALUE...]: starts the program as the user with a clean environment and
# the debug switch, waits for its main window, notes its current directory, and ends it.
run() {
    local name=$1 program=$2
    shift 2
    as_user env -i DISPLAY="$DISPLAY" HOME="$home" PATH="$work/usr/bin:/usr/bin:/bin" \
        QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--log-level=3 "$@" \
        dbus-run-session -- "$program" -D537 >"$work/$name.out" 2>"$work/$name.log" &
    runner_pid=$!
    wait_for 30 xdotool search --onlyvisible --name '^Vistrel$' || fail "$name: no main window"
    program_pid=$(xdotool getwindowpid "$(xdotool search --onlyvisible --name '^Vistrel$' | head -n 1)")
    [ -n "$program_pid" ] || fail "$name: no process for the window"
    [ "$(stat -c %U "/proc/$program_pid")" = "$user" ] || fail "$name: not running as $user"
    cwd=$(readlink "/proc/$program_pid/cwd")
    kill -TERM "$program_pid"
    wait "$runner_pid" || fail "$name: ended with status $?"
    program_pid="" runner_pid=""
    current_dir=$(sed -n 's/^CurrentDir=//p' "$work/$name.out")
}
# expect_state NAME DIR: both files were saved in DIR, which was the current directory.
expect_state() {
    [ "$current_dir" = "$2" ] || fail "$1: CurrentDir=$current_dir, not $2"
    [ "$cwd" = "$2" ] || fail "$1: current directory $cwd, not $2"
    grep -q '^PORTABLE VERSION START$' "$work/$1.out" || fail "$1: start-up lines"
    for file in Vistrel.ini History.ini; do
        [ -s "$2/$file" ] || fail "$1: no $file in $2"
        [ "$(stat -c %U "$2/$file")" = "$user" ] || fail "$1: $2/$file not $user's"
    done
}

# --- A copy in a folder the user can write: portable, nothing in the configuration folder.
run portable "$work/portable/vistrel"
expect_state portable "$work/portable"
[ ! -e "$home/.config" ] || fail "portable: a configuration folder was made"

# --- Installed, started by its bare name: ~/.config/Vistrel, made private, program folder as is.
run installed vistrel
expect_state installed "$home/.config/Vistrel"
[ "$(stat -c %a "$home/.config/Vistrel")" = 700 ] || fail "installed: folder mode"
[ "$(ls -A "$work/usr/bin")" = vistrel ] || fail "installed: files beside the program"

# --- Installed, with XDG_CONFIG_HOME: that folder, whose history is read and saved again.
run xdg "$work/usr/bin/vistrel" XDG_CONFIG_HOME="$work/xdg"
expect_state xdg "$work/xdg/Vistrel"
grep -q '^STREAMID=kEpT123' "$work/xdg/Vistrel/History.ini" || fail "xdg: history not kept"
grep -q '^MEMO=kept memo' "$work/xdg/Vistrel/History.ini" || fail "xdg: memo not kept"
echo "state location e2e: passed"
