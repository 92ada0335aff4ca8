#!/usr/bin/env bash
# The icons kept in res/ are what res/make_icon.sh draws today: the theme sizes
# and the window's icon 128 come from one drawing and cannot drift apart.
#
#   icons_test.sh SOURCE_DIR
set -u
res=$1/res
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$res/make_icon.sh" "$work" || { echo "FAIL: make_icon.sh" >&2; exit 1; }
count=0
while read -r drawn; do
    kept=$res/${drawn#"$work"/}
    [ -f "$kept" ] || { echo "FAIL: $kept is not kept in the repository" >&2; exit 1; }
    # Pixel for pixel but for anti-aliasing: ImageMagick's updates move a few edge pixels by a
    # shade (0.3 % root-mean-square between two bookworm revisions); another drawing moves far more.
    rmse=$(compare -metric RMSE "$drawn" "$kept" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')
    awk -v e="${rmse:-1}" 'BEGIN { exit !(e <= 0.01) }' ||
        { echo "FAIL: $kept differs from the drawing (RMSE ${rmse:-unknown})" >&2; exit 1; }
    count=$((count + 1))
done < <(find "$work" -name '*.png')
# Every icon kept is drawn, none is left over from an older drawing.
kept_count=$(($(find "$res/icons" -name '*.png' | wc -l) + 1))
[ "$count" -ge 2 ] && [ "$count" -eq "$kept_count" ] ||
    { echo "FAIL: $count icons drawn, $kept_count kept" >&2; exit 1; }
echo "icons: passed"
