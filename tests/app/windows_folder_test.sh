#!/usr/bin/env bash
# The Windows folder to hand out: made from the build, with everything each of its files imports
# in it or the system's, and its vistrel.exe starting under Wine from that folder alone (no
# library path to Qt or MinGW).
#   windows_folder_test.sh SOURCE_DIR BUILD_DIR WINE_PREFIX
set -euo pipefail
source_dir=$1
build_dir=$2
prefix=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder="$work/Vistrel"

"$source_dir/scripts/windows_folder.sh" "$build_dir" "$folder"

# The two files a start leaves behind are written only by a run of the main window; --version
# ends before, and so must leave the folder as it was.
before=$(cd "$folder" && find . | sort)
version=$("$source_dir/scripts/wine_run.sh" "$prefix" "" "$folder/vistrel.exe" --version | tr -d '\r')
after=$(cd "$folder" && find . | sort)
if [ "$version" != "Vistrel 1.0.1.114" ]; then
    echo "FAIL: vistrel.exe --version said '$version'" >&2
    exit 1
fi
if [ "$before" != "$after" ]; then
    echo "FAIL: --version changed the folder:" >&2
    diff <(echo "$before") <(echo "$after") >&2 || true
    exit 1
fi
echo "PASS: the folder is whole and its vistrel.exe starts from it"
