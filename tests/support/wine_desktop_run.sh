#!/usr/bin/env bash
# Runs a Windows program under Wine (scripts/wine_run.sh) and ends the prefix's Wine server with
# it. Meant to run inside run_with_desktop.sh: each run has a desktop of its own, and a Wine
# server left from the previous one would still speak to that one's display.
#   tests/support/wine_desktop_run.sh PREFIX DLL_DIRS PROGRAM [ARGUMENT...]
set -u
prefix="$1"
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/wine_run.sh" "$@"
status=$?
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
exit "$status"
