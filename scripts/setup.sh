#!/usr/bin/env bash
# Installs what Vistrel needs (Debian 12), builds it into build/ and starts it with the stand-in
# streaming service, printing the channel addresses to paste.
#
#   bash scripts/setup.sh             install, build, run
#   bash scripts/setup.sh --no-run    install and build only
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
run=1
for arg in "$@"; do
    case "$arg" in
    --no-run) run=0 ;;
    *) echo "usage: bash scripts/setup.sh [--no-run]" >&2; exit 2 ;;
    esac
done

vistrel_install "${VISTREL_BUILD_PACKAGES[@]}" "${VISTREL_TEST_PACKAGES[@]}"
vistrel_build ci
echo "vistrel: built $VISTREL_ROOT/build"
[ "$run" -eq 1 ] || exit 0
exec bash "$VISTREL_ROOT/scripts/run.sh"
