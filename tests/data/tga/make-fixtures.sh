#!/bin/sh
# Makes the TGA fixtures with independent tools and, beside each, the pixels that the tool
# that made it reads back, as a PAM file (name.pam; RGB_ALPHA for files with alpha).
#   im-*   ImageMagick: true-colour, 32-bit with alpha, colour-mapped and grey, each
#          uncompressed or run-length, bottom-left or top-left origin; reference pixels
#          from ImageMagick
#   nb-*   netpbm pamtotga: the same kinds, with an identification field; reference pixels
#          from netpbm tgatoppm
# ImageMagick 6 writes the rows in the order it holds them whatever origin the descriptor
# states, and when reading keeps the stated origin as the picture's orientation; so the
# bottom-left files are written from a flipped source, and -auto-orient reads them back.
#   nbmap-* netpbm's uncompressed colour-mapped file with its map rewritten by recmap.py
#          (beside this script) as 15-, 16-, 24- or 32-bit entries starting at another
#          first index; reference pixels from netpbm tgatoppm (5-bit channels widened to
#          8 bits by pamdepth)
# Needs: imagemagick, netpbm, python3. Run from anywhere; writes next to this script, and
# records the versions of the tools it ran in tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
{
    "$IM" -version | head -1
    tgatoppm -version 2>&1 | grep -i 'netpbm version' | head -1
    python3 --version
} > tool-versions.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Source pictures, 8 bits a channel. 23 x 13: rows of 69 and 23 bytes, so container rows
# need filler. Flat areas give runs, the gradient gives raw packets.
"$IM" -size 23x13 xc:black -channel R -fx 'i/w' -channel G -fx 'j/h' -channel B -fx '(i*j%7)/6' \
    +channel -fill '#10e060' -draw 'rectangle 4,3 15,8' -fill white -draw 'rectangle 0,12 22,12' \
    -depth 8 "$work/rgb.ppm"
# Alpha a different level at every pixel, 0 at the top left.
"$IM" "$work/rgb.ppm" -alpha set -channel A -fx '(i + j * w) / (w * h)' +channel -depth 8 \
    pam:"$work/rgba.pam"
"$IM" "$work/rgb.ppm" -colors 60 -depth 8 "$work/mapped.ppm"
"$IM" "$work/rgb.ppm" -colorspace gray -depth 8 "$work/grey.pgm"

# ---- ImageMagick ----
im() {  # im OUTPUT SOURCE OPTIONS...
    out=$1 src=$2
    shift 2
    case "$out" in
        *-bl*) "$IM" "$src" -flip "$@" -orient BottomLeft "$out" ;;
        *) "$IM" "$src" "$@" -orient TopLeft "$out" ;;
    esac
    "$IM" "$out" -auto-orient -depth 8 pam:"${out%.tga}.pam"
}
im im-24-bl.tga "$work/rgb.ppm" -compress None
im im-24-tl-rle.tga "$work/rgb.ppm" -compress RLE
im im-32-bl-rle.tga "$work/rgba.pam" -compress RLE
im im-32-tl.tga "$work/rgba.pam" -compress None
im im-8-mapped-bl.tga "$work/mapped.ppm" -type palette -compress None
im im-8-mapped-tl-rle.tga "$work/mapped.ppm" -type palette -compress RLE
im im-grey-bl.tga "$work/grey.pgm" -type grayscale -compress None
im im-grey-tl-rle.tga "$work/grey.pgm" -type grayscale -compress RLE

# ---- netpbm ----
nb() {  # nb OUTPUT SOURCE OPTIONS...
    out=$1 src=$2
    shift 2
    pamtotga -quiet "$@" "$src" > "$out"
    if [ "$(od -An -tu1 -j16 -N1 "$out" | tr -d ' ')" = 32 ]; then
        tgatoppm -alphaout="$work/alpha.pgm" "$out" > "$work/colour.ppm"
        pamstack -quiet -tupletype=RGB_ALPHA "$work/colour.ppm" "$work/alpha.pgm" > "${out%.tga}.pam"
    else
        tgatoppm "$out" > "${out%.tga}.pam"
    fi
}
nb nb-rgb-rle.tga "$work/rgb.ppm" -rgb
nb nb-rgb.tga "$work/rgb.ppm" -rgb -norle
nb nb-rgba-rle.tga "$work/rgba.pam"
nb nb-rgba.tga "$work/rgba.pam" -norle
nb nb-cmap-rle.tga "$work/mapped.ppm" -cmap
nb nb-cmap.tga "$work/mapped.ppm" -cmap -norle
nb nb-mono-rle.tga "$work/grey.pgm" -mono
nb nb-mono.tga "$work/grey.pgm" -mono -norle

# ---- colour maps of other entry sizes and first indexes ----
for spec in 15:0 16:100 24:50 32:7; do
    size=${spec%:*} first=${spec#*:}
    out=nbmap-$size-first$first.tga
    python3 recmap.py nb-cmap.tga "$out" "$size" "$first"
    tgatoppm "$out" | pamdepth -quiet 255 > "${out%.tga}.pam"
done
