#!/usr/bin/env bash
# Draws the viewer's pictures with ImageMagick: files/logo1.png (the title screen's logo,
# 160 x 90, for 176 x 208-class screens) and files/icon.png (the 16 x 16 icon the phone's
# menu shows). Both are 8-bit palette PNGs without transparency, which every MIDP 1.0 phone
# decodes, and carry no time stamps so that a rerun gives the same bytes.
# Usage: viewer/make-images.sh [OUTPUT-FOLDER]   (default: files/ at the top of the repository)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../files}"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf   # Debian package fonts-dejavu-core
mkdir -p "$out"
png=(-strip -define png:exclude-chunks=date,time -colors 64 -type Palette)

# Three comic panels, the middle one with a speech balloon, over the name.
convert -size 160x90 xc:white \
    -stroke black -strokewidth 2 \
    -fill '#f4a340' -draw 'rectangle 8,6 54,56' \
    -fill '#5fb6e8' -draw 'rectangle 60,6 104,56' \
    -fill '#8fd16a' -draw 'rectangle 110,6 152,56' \
    -strokewidth 1 -fill white -draw 'ellipse 82,24 17,10 0,360' \
    -draw 'polygon 76,32 72,42 84,33' \
    -stroke none -fill black -draw 'circle 76,24 78,24' -draw 'circle 82,24 84,24' -draw 'circle 88,24 90,24' \
    -fill '#c0392b' -draw 'circle 31,36 41,36' \
    -fill '#2c3e50' -draw 'polygon 118,52 131,22 144,52' \
    -font "$font" -pointsize 22 -fill '#1d2b53' -gravity south -annotate +0+4 'Panelle' \
    "${png[@]}" "PNG8:$out/logo1.png"

# A small book: an orange cover with four panels.
convert -size 16x16 xc:white \
    -fill '#1d2b53' -draw 'rectangle 1,0 14,15' \
    -fill '#f4a340' -draw 'rectangle 2,1 14,14' \
    -fill white -draw 'rectangle 4,3 8,7' -draw 'rectangle 10,3 12,7' \
    -draw 'rectangle 4,9 6,12' -draw 'rectangle 8,9 12,12' \
    "${png[@]}" "PNG8:$out/icon.png"
