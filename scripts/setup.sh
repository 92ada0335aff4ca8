#!/usr/bin/env bash
# Installs what Vistrel needs (Debian 12) and builds it into build/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
vistrel_install "${VISTREL_BUILD_PACKAGES[@]}" "${VISTREL_TEST_PACKAGES[@]}"
vistrel_build "$VISTREL_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "vistrel: built $VISTREL_ROOT/build"
