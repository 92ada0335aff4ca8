#!/usr/bin/env bash
# Runs a Windows program under Wine, as the Windows build's tests run (CMake's cross-compiling
# emulator). The Wine prefix is the build folder's own, made on first use; Wine's own messages
# stay off, so a test's output is its own.
#   scripts/wine_run.sh PREFIX DLL_DIRS PROGRAM [ARGUMENT...]
# DLL_DIRS: Linux folders, separated by colons, where the program's DLLs are.
set -euo pipefail
prefix="$1"
dll_dirs="$2"
shift 2

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer dialog when the prefix is made: the tests need neither. No debugger
# either: a program that crashes ends (and its test fails) instead of waiting in winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
winepath=""
IFS=: read -r -a dirs <<<"$dll_dirs"
for dir in "${dirs[@]}"; do
    [ -n "$dir" ] && winepath+="${winepath:+;}Z:${dir//\//\\}"
done
export WINEPATH="$winepath"

# Tests run in parallel: one of them makes the prefix, the others wait for it.
if [ ! -f "$prefix/.vistrel-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.vistrel-ready" ]; then
            wine wineboot --init >/dev/null 2>&1
            wineserver --wait
            touch "$prefix/.vistrel-ready"
        fi
    ) 9>"$prefix.lock"
fi
exec wine "$@"
