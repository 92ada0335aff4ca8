#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the whole suite, the widget-free
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and short fuzzing runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
vistrel_install "${VISTREL_BUILD_PACKAGES[@]}" "${VISTREL_TEST_PACKAGES[@]}"
cd "$VISTREL_ROOT"

status=0
run() { "$@" || status=1; }

vistrel_build ci
run ctest --preset ci

vistrel_build asan
run ctest --preset asan

vistrel_build fuzz
run ctest --preset fuzz

# The whole program as a Windows program, its tests under Wine (the CMake presets windows),
# after the Linux build: the whole-program test reads the files back with it. The first run builds
# Qt and googletest for MinGW into a cache outside the tree; later runs reuse it.
windows_tests() {
    bash scripts/windows_toolchain.sh widgets || return 1
    vistrel_build windows || return 1
    ctest --preset windows
}
run windows_tests

if [ $status -ne 0 ]; then
    echo "vistrel: some tests FAILED"
fi
exit $status
