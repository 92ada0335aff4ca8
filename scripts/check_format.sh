#!/usr/bin/env bash
# Fails when a tracked C++ source differs from what clang-format makes of it with the
# repository's .clang-format, naming each such file. Files not yet added to git are not checked.
#   scripts/check_format.sh [SOURCE_DIR [CLANG_FORMAT]]
# To mend: clang-format -i FILE...
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"
format=${2:-clang-format}
if ! command -v "$format" >/dev/null; then
    echo "check_format: $format not found" >&2
    exit 2
fi

files=()
while IFS= read -r -d '' file; do
    [ -f "$file" ] && files+=("$file") # a tracked file deleted in the work tree is not checked
done < <(git ls-files -z -- '*.cpp' '*.h' '*.cc' '*.hpp')
if [ ${#files[@]} -eq 0 ]; then
    echo "check_format: no tracked C++ sources found in $(pwd)" >&2
    exit 2
fi

# One run over every file: clang-format names each place that differs as FILE:LINE:COLUMN.
if report=$("$format" --style=file --dry-run -Werror "${files[@]}" 2>&1); then
    echo "check_format: ${#files[@]} files formatted"
    exit 0
fi
drifting=$(grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u || true)
if [ -z "$drifting" ]; then
    echo "$report" >&2 # clang-format failed otherwise
    exit 2
fi
while IFS= read -r file; do
    echo "check_format: $file is not formatted (clang-format -i $file)" >&2
done <<<"$drifting"
echo "check_format: $(wc -l <<<"$drifting") of ${#files[@]} files not formatted" >&2
exit 1
