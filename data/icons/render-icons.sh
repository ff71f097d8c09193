#!/bin/sh
# Renders kmlmaker.svg into the PNG sizes the icon theme and the window use, SIZE/kmlmaker.png.
# Needs rsvg-convert (Debian's librsvg2-bin).
set -e
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$size"
    rsvg-convert --width "$size" --height "$size" --format png kmlmaker.svg >"$size/kmlmaker.png"
done
