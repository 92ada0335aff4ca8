#!/usr/bin/env bash
# Fails when a file includes a header of a folder that ARCHITECTURE.md does not allow its folder
# to include. The rules are the table between the "include rules" marks of that page: a room, then
# the folders (ending in /) and single headers it may include besides its own.
#   scripts/check_includes.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"

declare -A allowed
rooms=()
while IFS= read -r row; do
    room=$(cut -d'|' -f2 <<<"$row" | grep -o '`[^`]*`' | tr -d '`' | head -n1)
    allowed[$room]=" $(cut -d'|' -f3 <<<"$row" | { grep -o '`[^`]*`' || true; } | tr -d '`' |
        tr '\n' ' ') "
    rooms+=("$room")
done < <(sed -n '/^<!-- include rules -->$/,/^<!-- end of include rules -->$/p' ARCHITECTURE.md |
         grep '^| `')
if [ ${#rooms[@]} -eq 0 ]; then
    echo "check_includes: no rules found in ARCHITECTURE.md" >&2
    exit 2
fi

faults=0
for room in "${rooms[@]}"; do
    [ -d "$room" ] || continue
    while IFS=: read -r file line header; do
        target="${header%%/*}/"
        case " ${rooms[*]} " in *" $target "*) ;; *) continue ;; esac # not a room: generated, local
        [ "$target" = "$room" ] && continue
        case "${allowed[$room]}" in *" $target "* | *" $header "*) continue ;; esac
        echo "$file:$line: $room may not include $header" >&2
        faults=$((faults + 1))
    done < <(grep -rnoE --include='*.cpp' --include='*.h' --include='*.in' \
                 '^#include "[^"]+"' "$room" | sed -E 's/:#include "([^"]+)"$/:\1/')
done
# The platform root is what every port shares: the C++ library and Qt only. An OS header (a name
# ending in .h or with a folder, other than Qt's own) belongs in platform/<port>/.
if [ -d platform ]; then
    while IFS=: read -r file line header; do
        case "$header" in
            Q*/* | Q* ) [[ "$header" =~ ^Qt?[A-Za-z0-9_]*(/Q[A-Za-z0-9_]*)?$ ]] && continue ;;
            *.* | */*) ;;
            *) continue ;; # a C++ library header
        esac
        echo "$file:$line: the platform root may not include the OS header <$header>" >&2
        faults=$((faults + 1))
    done < <(find platform -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
             xargs -0 -r grep -HnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]+>' |
             sed -E 's/:[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>$/:\1/')
fi

if [ $faults -ne 0 ]; then
    echo "check_includes: $faults include(s) against ARCHITECTURE.md" >&2
    exit 1
fi
echo "check_includes: every include keeps to ARCHITECTURE.md (${#rooms[@]} rooms)"
