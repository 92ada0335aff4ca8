#!/usr/bin/env bash
# The include check keeps OS headers out of the platform root and lets the ports have them.
#   platform_root_includes_test.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A tree with the real rules and the real platform root.
mkdir -p "$work/scripts"
cp "$source_dir/ARCHITECTURE.md" "$work/"
cp "$source_dir/scripts/check_includes.sh" "$work/scripts/"
cp -r "$source_dir/platform" "$work/platform"

expect() { # expect STATUS DESCRIPTION [TEXT THE REPORT MUST HOLD]
    local want="$1" what="$2" text="${3:-}" out status
    out=$(bash "$work/scripts/check_includes.sh" "$work" 2>&1)
    status=$?
    if [ "$status" -ne "$want" ]; then
        echo "FAIL: $what: status $status, wanted $want"$'\n'"$out"
        failures=$((failures + 1))
    elif [ -n "$text" ] && ! grep -qF -- "$text" <<<"$out"; then
        echo "FAIL: $what: the report does not name '$text'"$'\n'"$out"
        failures=$((failures + 1))
    fi
}

expect 0 "the repository's platform root"

# Headers every port may use: the C++ library, Qt in both spellings, indented directives.
printf '#include <vector>\n#include <QtCore/QString>\n#include <QLockFile>\n  #  include <cstdio>\n' \
    > "$work/platform/portable.h"
expect 0 "standard and Qt headers"

# OS headers in the root, one file each, in the forms a port would write them.
for header in unistd.h sys/stat.h windows.h iconv.h linux/limits.h; do
    name="planted_${header//[\/.]/_}"
    printf '#include "platform/portable.h"\n\n#  include <%s>\n' "$header" > "$work/platform/$name.cpp"
    expect 1 "<$header> planted in the root" "platform/$name.cpp:3"
    # The same file in a port's folder is where it belongs.
    mkdir -p "$work/platform/port"
    mv "$work/platform/$name.cpp" "$work/platform/port/$name.cpp"
    expect 0 "<$header> in platform/port/"
done

[ "$failures" -eq 0 ] && echo "platform root includes: all cases pass"
exit $((failures > 0))
