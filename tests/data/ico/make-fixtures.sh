#!/bin/sh
# Makes the ICO fixtures with independent tools and, beside each, the pixels that the tool
# that made it reads back, as an RGB_ALPHA PAM file (name.N.pam for image N).
#   nb-*   netpbm ppmtowinicon (1-, 4- and 8-bit images with AND masks from PGM files) and
#          pamtowinicon (32-bit), reference pixels from netpbm winicontopam
#   im-*   ImageMagick (4- and 8-bit palette icons, 32-bit icons with graded alpha),
#          reference pixels from ImageMagick
#   ic-*   icoutils icotool (24-bit icons, a cursor), reference pixels from the PNG
#          that icotool extracts again, turned into PAM by netpbm pngtopam
#   ic-png-*, ic-256-*  icotool: an icon whose images are stored as PNG files (-r), and a
#          256 x 256 image in a DIB (size byte 0); reference as for the other ic-* files
# Needs: imagemagick, netpbm, icoutils. Run from anywhere; writes next to this script, and
# records the versions of the tools it ran in tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
{
    "$IM" -version | head -1
    winicontopam -version 2>&1 | grep -i 'netpbm version' | head -1
    icotool --version | head -1
} > tool-versions.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Source pictures, 8 bits a channel, drawn so that the colour counts are known.
# 16x16, two colours.
"$IM" -size 16x16 xc:'#203080' -fill '#f0d020' -draw 'rectangle 3,2 12,13' -depth 8 "$work/two.ppm"
# 32x32, fifteen colours (a 16-entry palette keeps one index unused) and sixteen colours.
# Column stripes two pixels wide in colours i * 17, 255 - i * 13, i * 71 mod 256, as one
# drawing command.
stripes() {
    i=0
    mvg=""
    while [ $i -lt "$1" ]; do
        mvg="$mvg fill rgb($((i * 17)),$((255 - i * 13)),$(((i * 71) % 256))) rectangle $((i * 2)),0 $((i * 2 + 1)),31"
        i=$((i + 1))
    done
    echo "$mvg"
}
"$IM" -size 32x32 xc:'rgb(0,255,0)' -draw "$(stripes 15)" -depth 8 "$work/fifteen.ppm"
"$IM" -size 32x32 xc:'rgb(0,255,0)' -draw "$(stripes 15) fill rgb(9,9,9) rectangle 30,0 31,31" \
    -depth 8 "$work/sixteen.ppm"
# 20x18 (rows and mask rows both need padding), a vertical gradient of 18 colours.
"$IM" -size 20x18 gradient:'#ff2000-#0040ff' -colors 40 -depth 8 "$work/forty.ppm"
# Masks: white is opaque, black transparent.
"$IM" -size 16x16 xc:white -fill black -draw 'rectangle 0,0 3,3' -draw 'rectangle 12,12 15,15' \
    -depth 8 "$work/two.pgm"
"$IM" -size 32x32 xc:white -fill black -draw 'circle 0,0 0,9' -draw 'rectangle 20,24 31,31' \
    -depth 8 "$work/corner32.pgm"
"$IM" -size 20x18 xc:white -fill black -draw 'rectangle 0,0 19,2' -draw 'rectangle 17,0 19,17' \
    -depth 8 "$work/edge20.pgm"

# ---- netpbm ----
ppmtowinicon -andpgms -output=nb-1bit-mask.ico "$work/two.ppm" "$work/two.pgm"
ppmtowinicon -andpgms -output=nb-4bit-mask.ico "$work/fifteen.ppm" "$work/corner32.pgm"
ppmtowinicon -andpgms -output=nb-4bit-full-mask.ico "$work/sixteen.ppm" "$work/corner32.pgm"
ppmtowinicon -andpgms -output=nb-8bit-mask.ico "$work/forty.ppm" "$work/edge20.pgm"
ppmtowinicon -andpgms -output=nb-three.ico "$work/two.ppm" "$work/two.pgm" \
    "$work/fifteen.ppm" "$work/corner32.pgm" "$work/forty.ppm" "$work/edge20.pgm"
# Graded alpha, a different level at every pixel, 0 at the top left.
"$IM" "$work/forty.ppm" -alpha set -channel A -fx '(i + j * w) / (w * h)' +channel -depth 8 \
    pam:"$work/graded.pam"
# pamtowinicon writes 32-bit icons.
pamtowinicon -quiet "$work/graded.pam" > nb-32bit-alpha.ico
for f in nb-1bit-mask nb-4bit-mask nb-4bit-full-mask nb-8bit-mask; do
    winicontopam -quiet -image=0 "$f.ico" > "$f.0.pam"
done
# With graded alpha netpbm shows the alpha as it is and leaves the AND mask alone.
winicontopam -quiet -image=0 nb-32bit-alpha.ico > nb-32bit-alpha.0.pam
for i in 0 1 2; do winicontopam -quiet -image=$i nb-three.ico > "nb-three.$i.pam"; done

# ---- ImageMagick ----
"$IM" "$work/fifteen.ppm" -type palette im-4bit.ico
"$IM" "$work/forty.ppm" -type palette im-8bit.ico
"$IM" "$work/graded.pam" im-32bit-alpha.ico
for f in im-4bit im-8bit im-32bit-alpha; do
    "$IM" "$f.ico[0]" -depth 8 -alpha on pam:"$f.0.pam"
done

# ---- icoutils ----
# Pixels under alpha 100 are masked by icotool (its threshold is 127) yet keep their
# various colours, so the mask stays an alpha plane.
"$IM" -size 20x18 xc:white -fill 'gray(100)' -draw 'rectangle 0,0 19,2' -draw 'rectangle 17,0 19,17' \
    -depth 8 "$work/edge20-100.pgm"
"$IM" "$work/forty.ppm" "$work/edge20-100.pgm" -alpha off -compose copy_opacity -composite -depth 8 \
    "$work/masked.png"
icotool -c -b 24 -o ic-24bit-mask.ico "$work/masked.png"
# All masked pixels black, and no opaque pixel black: the mask becomes a transparent colour.
"$IM" "$work/forty.ppm" -fill black -draw 'rectangle 0,0 19,2' -draw 'rectangle 17,0 19,17' \
    "$work/edge20.pgm" -alpha off -compose copy_opacity -composite -depth 8 "$work/black.png"
icotool -c -b 24 -o ic-24bit-black-mask.ico "$work/black.png"
# A cursor (type 2) with its hot spot at (5, 7).
icotool -c --cursor -X 5 -Y 7 -b 8 -o ic-cursor.cur "$work/black.png"
for f in ic-24bit-mask.ico ic-24bit-black-mask.ico ic-cursor.cur; do
    rm -rf "$work/x"
    mkdir "$work/x"
    icotool -x -o "$work/x" "$f"
    pngtopam -alphapam "$work"/x/*.png > "${f%.*}.0.pam"
done

# ---- icoutils: PNG-compressed and 256-pixel images ----
# Two images stored as PNG (a 48x48 with graded alpha and a 16x16 palette picture), and a
# 256x256 32-bit image, the size Windows uses for its largest icons, in a DIB.
"$IM" "$work/graded.pam" -resize 48x48! -depth 8 "$work/png48.png"
"$IM" "$work/two.ppm" -type palette -depth 8 "$work/png16.png"
icotool -c -o ic-png-two.ico -r "$work/png48.png" -r "$work/png16.png"
"$IM" -size 256x256 gradient:'#ff8000-#0020c0' \( -size 256x256 xc:white -fill 'gray(30)' \
    -draw 'circle 128,128 128,40' \) -alpha off -compose copy_opacity -composite -depth 8 "$work/big.png"
icotool -c -b 32 -o ic-256-32bit.ico "$work/big.png"
for f in ic-png-two ic-256-32bit; do
    rm -rf "$work/x"
    mkdir "$work/x"
    icotool -x -o "$work/x" "$f.ico"
    i=0
    for png in $(ls "$work"/x/*.png | sort -t_ -k2 -n); do
        pngtopam -alphapam "$png" > "$f.$i.pam"
        i=$((i + 1))
    done
done
