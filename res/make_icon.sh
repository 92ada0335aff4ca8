#!/usr/bin/env bash
# Draws the program icon (a small player: a screen with a play mark on a stand) into icon128.png,
# the window's icon and the desktop theme's 128-pixel one, and into icons/NxN/vistrel.png, the
# theme's other sizes. All are kept in the repository; run this again only to change the drawing.
#
#   make_icon.sh [OUTDIR]    (default: this folder)
#
# One drawing on a 128-pixel grid serves every size: 128 and 256 are drawn at their own scale,
# the smaller sizes are drawn at 512 and reduced, which keeps their edges clean.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here}
sizes=(16 22 24 32 48 64 256)

# draw SCALE FILE: the drawing at 128·SCALE pixels, 16 bits a channel.
draw() {
    local side=$((128 * $1))
    convert -size "${side}x${side}" xc:none -affine "$1,0,0,$1,0,0" \
        -fill '#3a3f47' -draw 'roundrectangle 54,98 74,114 3,3' \
        -fill '#3a3f47' -draw 'roundrectangle 34,110 94,120 5,5' \
        -fill '#23272e' -draw 'roundrectangle 6,14 122,102 12,12' \
        -fill '#1e88e5' -draw 'roundrectangle 14,22 114,94 6,6' \
        -fill '#42a5f5' -draw 'roundrectangle 14,22 114,50 6,6' \
        -fill '#1e88e5' -draw 'rectangle 14,44 114,86' \
        -fill white -draw 'polygon 52,38 52,78 86,58' \
        -fill '#e53935' -draw 'circle 104,32 108,32' \
        -strip "$2"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
draw 1 "$out/icon128.png"
draw 2 "$work/256.png"
draw 4 "$work/512.png"
for size in "${sizes[@]}"; do
    mkdir -p "$out/icons/${size}x${size}"
    target="$out/icons/${size}x${size}/vistrel.png"
    case $size in
    256) convert "$work/256.png" -depth 8 -strip "$target" ;;
    *) convert "$work/512.png" -resize "${size}x${size}" -depth 8 -strip "$target" ;;
    esac
done
