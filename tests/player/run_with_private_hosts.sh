#!/bin/sh
# Runs a command in a mount namespace of its own whose /etc/hosts also maps the names in
# VISTREL_PRIVATE_HOSTS (blank-separated) to 127.0.0.1; the machine's own file is not touched.
# Needs root and unshare(1); without them it exits 77, which the test runner counts as skipped.
set -eu
if [ "$(id -u)" != 0 ] || ! command -v unshare > /dev/null 2>&1; then
    echo "needs root and unshare for a private hosts file: skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hosts=$work/hosts
if [ -f /etc/hosts ]; then
    cat /etc/hosts > "$hosts"
fi
echo "127.0.0.1 ${VISTREL_PRIVATE_HOSTS}" >> "$hosts"
chmod 644 "$hosts"
status=0
if [ -e /etc/hosts ]; then
    unshare -m --propagation private sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' \
        "$hosts" "$@" || status=$?
else
    # A minimal system may have no /etc/hosts, and a bind needs a file to cover: /etc is
    # overlaid in the namespace, so the file exists there only.
    mkdir "$work/upper" "$work/scratch"
    cp "$hosts" "$work/upper/hosts"
    unshare -m --propagation private sh -c \
        'mount -t overlay overlay -o "lowerdir=/etc,upperdir=$0/upper,workdir=$0/scratch" /etc &&
         exec "$@"' "$work" "$@" || status=$?
fi
exit "$status"
