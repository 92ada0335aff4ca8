#!/usr/bin/env bash
# Draws the program icon (a small player: a screen with a play mark on a stand) into icon128.png.
# The PNG is kept in the repository; run this again only to change the drawing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
convert -size 128x128 xc:none \
    -fill '#3a3f47' -draw 'roundrectangle 54,98 74,114 3,3' \
    -fill '#3a3f47' -draw 'roundrectangle 34,110 94,120 5,5' \
    -fill '#23272e' -draw 'roundrectangle 6,14 122,102 12,12' \
    -fill '#1e88e5' -draw 'roundrectangle 14,22 114,94 6,6' \
    -fill '#42a5f5' -draw 'roundrectangle 14,22 114,50 6,6' \
    -fill '#1e88e5' -draw 'rectangle 14,44 114,86' \
    -fill white -draw 'polygon 52,38 52,78 86,58' \
    -fill '#e53935' -draw 'circle 104,32 108,32' \
    -strip icon128.png
