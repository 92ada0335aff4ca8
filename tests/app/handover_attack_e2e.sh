#!/usr/bin/env bash
# Another local user against the hand-over between two starts, with XDG_RUNTIME_DIR unset so
# that the socket goes to the shared temporary folder (a private sticky one, mode 1777, stands in
# for /tmp). That user gets in first: a folder of theirs where this user's socket folder belongs,
# and listening sockets under every name a start could use, each answering "accepted" and
# writing down what it is sent. The running program must say that it cannot take hand-overs
# there; a second start must send nothing, say why on standard error and end with a failure,
# never with success. Both users are made from root: the program runs as nobody (a user that
# cannot replace another's file in a sticky folder, as root could), the other user is a user id
# without an account. Run as root under run_with_desktop.sh.
#
#   handover_attack_e2e.sh VISTREL
set -u
vistrel_exe=$1

source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e_lib.sh"
e2e_work
first_pid="" attacker_pid=""
cleanup() {
    for pid in $first_pid $attacker_pid; do
        kill -KILL "$pid" 2>/dev/null
    done
}
E2E_LOGS="$work/*.log $work/*.err"
E2E_SCREENSHOT="${TMPDIR:-/tmp}/vistrel_handover_attack_failure.png"

[ "$(id -u)" -eq 0 ] || fail "needs root to act as two other users"
victim_uid=$(id -u nobody) victim_gid=$(id -g nobody)
other_uid=64999
as_other() { setpriv --reuid="$other_uid" --regid="$other_uid" --clear-groups -- "$@"; }

chmod 755 "$work"
shared=$work/tmp
mkdir -m 1777 "$shared"
mkdir "$work/prog" "$work/home"
cp "$vistrel_exe" "$work/prog/vistrel"
chown -R "$victim_uid:$victim_gid" "$work/prog" "$work/home"
folder=$(cd "$work/prog" && pwd -P)
uid=$victim_uid
touch "$work/attacker.log" && chown "$other_uid" "$work/attacker.log"

# The other user's listener: every name a start on this folder could try, today's and earlier.
cat >"$work/attacker.py" <<'PY'
import hashlib, os, socket, sys, threading
shared, folder, uid, log = sys.argv[1:5]
name = "vistrel-%s-%s" % (uid, hashlib.sha256(folder.encode()).hexdigest()[:24])
own = os.path.join(shared, "vistrel-%s" % uid)
os.mkdir(own)
os.chmod(own, 0o777)
def serve(path):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.bind(path)
    os.chmod(path, 0o777)
    s.listen(8)
    while True:
        c, _ = s.accept()
        c.settimeout(2)
        got = b""
        try:
            while not got.endswith(b"END\n"):
                more = c.recv(65536)
                if not more:
                    break
                got += more
        except OSError:
            pass
        with open(log, "ab") as f:
            f.write(got)
        try:
            c.sendall(b"ACCEPTED\n")
        except OSError:
            pass
        c.close()
paths = [os.path.join(shared, name), os.path.join(own, name)]
for p in paths:
    threading.Thread(target=serve, args=(p,), daemon=True).start()
print("listening", flush=True)
threading.Event().wait()
PY
as_other /usr/bin/python3 "$work/attacker.py" "$shared" "$folder" "$uid" "$work/attacker.log" \
    >"$work/attacker.out" 2>"$work/attacker.err" &
attacker_pid=$!
wait_for 10 grep -q listening "$work/attacker.out" || fail "the other user's listener did not start"

# The program's user, with no runtime folder: its sockets go to the shared temporary folder.
# Replaces the shell it runs in: call it in a subshell or in the background.
as_program() {
    cd / && exec setpriv --reuid="$victim_uid" --regid="$victim_gid" --clear-groups -- \
        env -i DISPLAY="$DISPLAY" HOME="$work/home" PATH=/usr/bin:/bin TMPDIR="$shared" "$@"
}
as_program "$folder/vistrel" >"$work/first.out" 2>"$work/first.log" &
first_pid=$!
wait_for 30 xdotool search --onlyvisible --name '^Vistrel$' || fail "the first start shows no window"
kill -0 "$first_pid" 2>/dev/null || fail "the first start ended"
grep -q "vistrel-$uid" "$work/first.log" || fail "the first start does not say it takes no hand-overs"

secret="http://www.tevora.tv/private?token=s3cr3t"
(as_program timeout 10 "$folder/vistrel" "$secret" >"$work/second.out" 2>"$work/second.err")
rc=$?
[ "$rc" -ne 0 ] || fail "the second start reported success"
[ "$rc" -ne 124 ] || fail "the second start did not end"
grep -q "not private" "$work/second.err" || fail "the second start does not say why"
if grep -q "s3cr3t" "$work/attacker.log"; then
    fail "the other user received the reference"
fi
[ ! -s "$work/attacker.log" ] || fail "the other user received: $(head -c 200 "$work/attacker.log")"
kill -0 "$first_pid" 2>/dev/null || fail "the running program ended"
echo "handover_attack_e2e: passed (second start rc $rc: $(head -n 1 "$work/second.err"))"
