#!/usr/bin/env bash
# Fails when a class with the C prefix, or a member with m_ and a type letter, is not one of the
# design's names listed between the "design names" marks of ARCHITECTURE.md: the project's own
# names take the plain forms, so a reader can tell the two apart.
#   scripts/check_names.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"

listed=" $(sed -n '/^ *<!-- design names -->$/,/^ *<!-- end of design names -->$/p' ARCHITECTURE.md |
    grep -o '`[^`]*`' | tr -d '`' | tr '\n' ' ') "
if [ "$listed" = "  " ]; then
    echo "check_names: no design names found in ARCHITECTURE.md" >&2
    exit 2
fi

mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null ||
    find . -name '*.cpp' -o -name '*.h')
faults=0
while IFS=: read -r file name; do
    name=${name##* }
    case "$listed" in *" $name "*) continue ;; esac
    echo "check_names: $file: $name takes the design's form but is not one of its names" >&2
    faults=$((faults + 1))
done < <(grep -oHE '\b(class|struct) C[A-Z][A-Za-z0-9_]*|\bm_(p|b|n|str|rc|h|i|dw|sz|chk|edit|list)[A-Z][A-Za-z0-9_]*' \
    "${sources[@]}" | sort -u)
if [ "$faults" -ne 0 ]; then
    exit 1
fi
echo "check_names: every name in the design's form is one of its names"
