#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the whole suite, the widget-free
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and short fuzzing runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
vistrel_install "${VISTREL_BUILD_PACKAGES[@]}" "${VISTREL_TEST_PACKAGES[@]}"
cd "$VISTREL_ROOT"

status=0
run() { "$@" || status=1; }

vistrel_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run ctest --test-dir build --output-on-failure --no-tests=error -j 2

vistrel_build build-asan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_CORE_ONLY=ON -DVISTREL_SANITIZE=ON \
    -DVISTREL_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run ctest --test-dir build-asan --output-on-failure --no-tests=error -j 2 -L core

vistrel_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVISTREL_CORE_ONLY=ON -DVISTREL_FUZZ=ON -DVISTREL_TESTS=OFF -DVISTREL_BENCH=OFF
run ctest --test-dir build-fuzz --output-on-failure --no-tests=error -j 2 -L fuzz

# The core as Windows programs, its tests under Wine (the CMake presets windows-core). The first
# run builds Qt and googletest for MinGW into a cache outside the tree; later runs reuse it.
windows_tests() {
    bash scripts/windows_toolchain.sh core || return 1
    [ -f build-windows/build.ninja ] || cmake --preset windows-core || return 1
    cmake --build --preset windows-core || return 1
    ctest --preset windows-core
}
run windows_tests

if [ $status -ne 0 ]; then
    echo "vistrel: some tests FAILED"
fi
exit $status
