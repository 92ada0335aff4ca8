#!/usr/bin/env bash
# Makes the stand-in service's looping clips from ffmpeg's test sources: one short, small VP8
# WebM per channel. The clips are committed, so building and testing never need ffmpeg; run this
# only to change them (apt-get install ffmpeg).
set -euo pipefail
out="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/media"
mkdir -p "$out"

clip() { # clip NAME LAVFI-SOURCE
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$2" -t 4 -r 15 -an \
        -c:v libvpx -b:v 0 -crf 40 -deadline good -pix_fmt yuv420p "$out/$1.webm"
}

clip mountain "mandelbrot=size=320x180:rate=15"
clip sakura "testsrc2=size=320x180:rate=15,hue=h=300:s=1.4"
clip harbor "gradients=size=320x180:rate=15:speed=0.05:c0=#0a3d62:c1=#60a3bc:c2=#f8c291:nb_colors=3"
clip testcard "smptehdbars=size=320x180:rate=15"
clip nightsky "cellauto=size=320x180:rate=15:rule=30,negate"
ls -l "$out"
