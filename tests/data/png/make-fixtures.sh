#!/usr/bin/env bash
# Makes the PNG fixtures and their reference pixels with independent tools: ImageMagick
# (convert) and netpbm (pnmtopng and friends). Run from anywhere; writes into this folder.
#
# Every fixture X.png has a reference X.rgba: 8-bit red, green, blue, alpha per pixel, top
# row first, made by the same tool family (ImageMagick reading its own file, or the netpbm
# pictures the file was made from). Where a decoder must composite alpha against a
# background, the reference is ImageMagick's flatten against that background.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The versions of the tools that made the committed files.
{
  echo "ImageMagick: $(convert -version | head -1)"
  echo "netpbm: $(dpkg-query -W -f='${Version}' netpbm)"
  echo "pngcheck: $(dpkg-query -W -f='${Version}' pngcheck)"
} > tool-versions.txt

W=23 H=19  # odd sizes: partial Adam7 blocks, 2-bit rows that end inside a byte
# ImageMagick: no time stamps, no background, no gamma or chromaticity chunks, so files stay stable.
IM=(-define png:exclude-chunks=date,tIME,bKGD,gAMA,cHRM,sRGB,tEXt,zTXt,iTXt,vpAg)

# ---- sources ----------------------------------------------------------------------------
awk -v w=$W -v h=$H 'BEGIN { print "P3"; print w, h; print 255;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++)
    print (x * 19 + y * 7) % 256, (y * 23 + x * 3) % 256, (x * y * 11 + 40) % 256 }' > "$work/rgb.ppm"
# 40 colours, for palette files.
awk -v w=$W -v h=$H 'BEGIN { print "P3"; print w, h; print 255;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) { i = (x * 3 + y * 5) % 40;
    print (i * 37) % 256, (i * 91 + 20) % 256, (255 - i * 6) }}' > "$work/pal.ppm"
# 4 colours, for 2-bit palette files.
awk -v w=$W -v h=$H 'BEGIN { print "P3"; print w, h; print 255;
  split("200 30 30|30 160 60|20 40 220|250 240 10", c, "|");
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print c[(x + 2 * y) % 4 + 1] }' > "$work/pal4.ppm"
awk -v w=$W -v h=$H 'BEGIN { print "P2"; print w, h; print 255;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print (x * 17 + y * 9) % 256 }' > "$work/grey.pgm"
# Five alpha levels, and a binary mask.
awk -v w=$W -v h=$H 'BEGIN { print "P2"; print w, h; print 255; split("0 255 128 64 200", a, " ");
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print a[(x + 2 * y) % 5 + 1] }' > "$work/mask.pgm"
awk -v w=$W -v h=$H 'BEGIN { print "P2"; print w, h; print 255;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print ((x + y) % 3 == 0 ? 0 : 255) }' > "$work/binmask.pgm"
# 16-bit grey whose low bytes differ from the high bytes, so that dropping the low byte and
# rounding to 8 bits give different pixels.
awk -v w=$W -v h=$H 'BEGIN { print "P2"; print w, h; print 65535;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print (x * 2851 + y * 911 + 255) % 65536 }' > "$work/grey16.pgm"
pgmmake 1 $W $H > "$work/opaque.pgm"

# ImageMagick's own reading of a file, as RGBA.
im_ref() { convert "$1" -depth 8 "rgba:${1%.png}.rgba"; }
# The netpbm pictures a file was made from, as RGBA (the PAM pixels after its header).
nb_ref() { pamstack -quiet "$2" "$3" | tail -c $((W * H * 4)) > "${1%.png}.rgba"; }
# What a decoder that composites against the given colour shows, with alpha 255.
flat_ref() { convert "$1" -background "$2" -flatten -alpha off -alpha opaque -depth 8 "rgba:${1%.png}.rgba"; }

rm -f ./*.png ./*.rgba

# ---- ImageMagick ------------------------------------------------------------------------
convert "$work/rgb.ppm" "${IM[@]}" PNG24:im-rgb8.png && im_ref im-rgb8.png
convert "$work/rgb.ppm" "${IM[@]}" -interlace PNG PNG24:im-rgb8-adam7.png && im_ref im-rgb8-adam7.png
convert "$work/rgb.ppm" "$work/mask.pgm" -alpha off -compose CopyOpacity -composite "${IM[@]}" PNG32:im-rgba8.png
im_ref im-rgba8.png
convert im-rgba8.png "${IM[@]}" -interlace PNG PNG32:im-rgba8-adam7.png && im_ref im-rgba8-adam7.png
convert "$work/rgb.ppm" "${IM[@]}" PNG48:im-rgb16.png && im_ref im-rgb16.png
# 16-bit RGBA is composited against light grey (192) when there is no bKGD chunk.
convert im-rgba8.png "${IM[@]}" PNG64:im-rgba16.png && flat_ref im-rgba16.png 'rgb(192,192,192)'
convert "$work/pal.ppm" "${IM[@]}" PNG8:im-pal8.png && im_ref im-pal8.png
convert "$work/pal.ppm" "${IM[@]}" -interlace PNG PNG8:im-pal8-adam7.png && im_ref im-pal8-adam7.png
convert "$work/pal.ppm" "$work/binmask.pgm" -alpha off -compose CopyOpacity -composite "${IM[@]}" \
  PNG8:im-pal-trns.png && im_ref im-pal-trns.png
for d in 1 2 4 8 16; do
  convert "$work/grey.pgm" "${IM[@]}" -depth $d -define png:color-type=0 -define png:bit-depth=$d \
    im-grey$d.png && im_ref im-grey$d.png
done
convert "$work/grey.pgm" "${IM[@]}" -depth 2 -define png:color-type=0 -define png:bit-depth=2 \
  -interlace PNG im-grey2-adam7.png && im_ref im-grey2-adam7.png
# Grey with alpha: at 8 bits the decoder composites it against light grey, like colour
# files; at 16 bits the alpha goes to the alpha plane.
convert "$work/grey.pgm" "$work/mask.pgm" -alpha off -compose CopyOpacity -composite "${IM[@]}" \
  -define png:color-type=4 -define png:bit-depth=8 im-ga8.png && flat_ref im-ga8.png 'rgb(192,192,192)'
convert "$work/grey.pgm" "$work/mask.pgm" -alpha off -compose CopyOpacity -composite "${IM[@]}" \
  -define png:color-type=4 -define png:bit-depth=16 im-ga16.png && im_ref im-ga16.png
convert "$work/rgb.ppm" "${IM[@]}" -units PixelsPerInch -density 72 PNG24:im-dpi72.png && im_ref im-dpi72.png

# ---- netpbm -----------------------------------------------------------------------------
pnmtopng "$work/pal4.ppm" > nb-pal2.png && nb_ref nb-pal2.png "$work/pal4.ppm" "$work/opaque.pgm"
pnmtopng -interlace "$work/pal4.ppm" > nb-pal2-adam7.png && nb_ref nb-pal2-adam7.png "$work/pal4.ppm" "$work/opaque.pgm"
# One fully transparent entry; the reference keeps its colour and has alpha 0 there.
pnmtopng -transparent=rgb:c8/1e/1e "$work/pal4.ppm" > nb-transparent.png
ppmcolormask rgb:c8/1e/1e "$work/pal4.ppm" | pamdepth -quiet 255 > "$work/keymask.pgm"
nb_ref nb-transparent.png "$work/pal4.ppm" "$work/keymask.pgm"
pnmtopng -alpha="$work/mask.pgm" "$work/pal.ppm" > nb-alpha-pal.png && nb_ref nb-alpha-pal.png "$work/pal.ppm" "$work/mask.pgm"
# The same with a bKGD chunk (a palette index): the library composites its own copy of the
# palette, the picture keeps the file's colours and alpha.
pnmtopng -alpha="$work/mask.pgm" -background=rgb:10/20/30 "$work/pal.ppm" > nb-alpha-pal-bkgd.png
nb_ref nb-alpha-pal-bkgd.png "$work/pal.ppm" "$work/mask.pgm"
pnmtopng -force -alpha="$work/mask.pgm" "$work/rgb.ppm" > nb-alpha-rgb.png && nb_ref nb-alpha-rgb.png "$work/rgb.ppm" "$work/mask.pgm"
# Grey with alpha and a bKGD chunk: composited against the file's own background.
pnmtopng -force -alpha="$work/mask.pgm" -background=rgb:a0/a0/a0 "$work/grey.pgm" > nb-ga8-bkgd.png
flat_ref nb-ga8-bkgd.png 'rgb(160,160,160)'
# 16-bit RGBA with a bKGD chunk.
pamdepth 65535 "$work/rgb.ppm" > "$work/rgb16.ppm"
pamdepth 65535 "$work/mask.pgm" > "$work/mask16.pgm"
pnmtopng -force -alpha="$work/mask16.pgm" -background=rgb:30/60/90 "$work/rgb16.ppm" > nb-rgba16-bkgd.png
flat_ref nb-rgba16-bkgd.png 'rgb(48,96,144)'
# 16-bit grey: the decoder keeps the high byte of every sample.
pnmtopng "$work/grey16.pgm" > nb-grey16.png
pamfunc -shiftright=8 "$work/grey16.pgm" | pnmtopnm -plain | sed '3s/^65535$/255/' | pnmtopnm > "$work/grey16-high.pgm"
ppmtoppm < "$work/grey16-high.pgm" > "$work/grey16-high.ppm"
nb_ref nb-grey16.png "$work/grey16-high.ppm" "$work/opaque.pgm"
# Key-colour transparency in grey and truecolour files: the key's pixels show light grey.
pnmtopng -force -transparent=rgb:22/22/22 "$work/grey.pgm" > nb-grey-trns.png
flat_ref nb-grey-trns.png 'rgb(192,192,192)'
# The same in 1-, 2-, 4- and 16-bit grey files: black line art whose white is transparent,
# and grey ramps with one transparent level.
awk -v w=$W -v h=$H 'BEGIN { print "P1"; print w, h;
  for (y = 0; y < h; y++) for (x = 0; x < w; x++) print ((x == y || x == 2 * y || x % 7 == 0) ? 1 : 0) }' > "$work/lineart.pbm"
pnmtopng -transparent=rgb:ff/ff/ff "$work/lineart.pbm" > nb-grey1-trns.png
flat_ref nb-grey1-trns.png 'rgb(192,192,192)'
for d in 2 4; do
  pamdepth -quiet $(( (1 << d) - 1 )) "$work/grey.pgm" > "$work/grey$d.pgm"
  pnmtopng -transparent=rgb:55/55/55 "$work/grey$d.pgm" > nb-grey$d-trns.png
  flat_ref nb-grey$d-trns.png 'rgb(192,192,192)'
done
pnmtopng -transparent=rgb:ff/ff/ff "$work/grey16.pgm" > nb-grey16-trns.png
flat_ref nb-grey16-trns.png 'rgb(192,192,192)'
pnmtopng -force -transparent=rgb:13/24/33 "$work/rgb.ppm" > nb-rgb-trns.png
flat_ref nb-rgb-trns.png 'rgb(192,192,192)'
# pHYs as an aspect ratio only (unit 0) and in pixels per metre (unit 1, 2835 = 72 dpi).
pnmtopng -size="3 2 0" "$work/rgb.ppm" > nb-phys-aspect.png && im_ref nb-phys-aspect.png
pnmtopng -size="2835 2835 1" "$work/rgb.ppm" > nb-phys-metre.png && im_ref nb-phys-metre.png

for f in ./*.png; do pngcheck -q "$f" > /dev/null || echo "pngcheck complains about $f" >&2; done
ls -l ./*.png | awk '{ s += $5 } END { print NR " fixtures, " s " bytes" }'
