#!/usr/bin/env bash
# Makes the BMP fixtures of the engine tests with independent tools, and beside every
# fixture NAME.bmp the reference pixels NAME.ppm (binary PPM, top row first, 8 bits per
# sample) as the tool that wrote the file decodes it again.
#
#   im-*      written by ImageMagick 6 (BMP3: 40-byte header; BMP2: OS/2 12-byte header;
#             BMP: 124-byte header), reference from ImageMagick
#   netpbm-*  written by netpbm's ppmtobmp (Windows 40-byte or OS/2 12-byte header),
#             reference from netpbm's bmptopnm
#
# Sources have odd widths (13 and 17 pixels) so that every depth has row padding.
#   im-v4-*, im-v5-*  ImageMagick's default BMP output (108- and 124-byte headers) with
#             palettes, RLE8, 5-6-5 bit fields and 32 bits with alpha; reference from
#             ImageMagick, and for the colours the same from netpbm's bmptopnm where it
#             reads the file. Pictures with alpha get NAME.pam (RGB_ALPHA) as well.
#   rle4-*    an ImageMagick 4-bit picture re-encoded as RLE4 by rle4.py (beside this
#             script: runs and absolute runs that start at odd pixels), since no tool here
#             writes RLE4; reference from ImageMagick, checked against bmptopnm
#
# Needs: imagemagick netpbm python3 (Debian packages). Run from anywhere; writes beside
# itself, and records the versions of the tools it ran in tool-versions.txt.
set -euo pipefail

cd "$(dirname "$0")"
IM=${IM:-/usr/bin/convert-im6.q16}  # the real binary, not a wrapper that may edit options
command -v "$IM" >/dev/null || { echo "make-fixtures: ImageMagick ($IM) is missing" >&2; exit 1; }
command -v ppmtobmp >/dev/null || { echo "make-fixtures: netpbm is missing" >&2; exit 1; }
{
  "$IM" -version | head -1
  bmptopnm -version 2>&1 | grep -i 'netpbm version' | head -1
  python3 --version
} >tool-versions.txt

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes a little-endian 32-bit value at a byte offset of a file, in place.
put32() {
  local v=$2
  printf '%b' "$(printf '\\0%03o' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))" |
    dd of="$1" bs=1 seek="$3" conv=notrunc status=none
}

im_ref() { "$IM" "$1" -depth 8 ppm:"${2:-${1%.bmp}.ppm}"; }
netpbm_ref() { bmptopnm -quiet "$1" | ppmtoppm -quiet >"${1%.bmp}.ppm"; }

rm -f ./*.bmp ./*.ppm ./*.pam

# ---- sources -------------------------------------------------------------------------------
# 13x7, a smooth blend of four corner colours: many distinct colours.
"$IM" -size 13x7 xc: -sparse-color bilinear '0,0 red 12,0 yellow 0,6 blue 12,6 lime' \
  -depth 8 "$work/blend.ppm"
# 13x7 with an alpha ramp from nearly transparent (left) to opaque (right).
"$IM" "$work/blend.ppm" \( -size 7x13 gradient:white-gray10 -rotate 90 \) \
  -alpha off -compose CopyOpacity -composite "$work/blend-alpha.png"
# 17x9 with long horizontal runs and one row of single pixels: the shape RLE8 is made for.
"$IM" -size 17x9 xc:navy -fill orange -draw 'rectangle 2,1 9,4' -fill teal -draw 'rectangle 5,3 15,7' \
  \( -size 17x1 gradient:red-yellow \) -geometry +0+6 -composite -depth 8 "$work/runs.ppm"
# 17x9 netpbm patterns: a grey ramp dithered to black and white, a six-colour gingham
# and a many-coloured gradient around poles.
pgmramp -diagonal 17 9 | pamditherbw -quiet -threshold -value 0.4 >"$work/ramp.pbm"
ppmpat -gingham3 -color white,teal,orange -randomseed 3 17 9 >"$work/gingham.ppm"
ppmpat -poles -color red,green,blue,yellow -randomseed 5 17 9 >"$work/poles.ppm"

# ---- ImageMagick ---------------------------------------------------------------------------
# Resolutions: 72 dpi is written as 2835 pixels per metre, 96 dpi as 3780.
"$IM" "$work/blend.ppm" -monochrome -density 72 -units PixelsPerInch -compress None BMP3:im-bmp3-1bit.bmp
"$IM" "$work/blend.ppm" -colors 16 -density 96 -units PixelsPerInch -compress None BMP3:im-bmp3-4bit.bmp
"$IM" "$work/blend.ppm" -type palette -compress None BMP3:im-bmp3-8bit.bmp
"$IM" "$work/blend.ppm" -type truecolor BMP3:im-bmp3-24bit.bmp
# 32 bits: blue, green, red and a fourth byte (here alpha) that the decoder drops.
"$IM" "$work/blend-alpha.png" -define bmp3:alpha=true BMP3:im-bmp3-32bit.bmp
# A palette picture in BMP3 is written RLE8-compressed; the runs include the row padding.
"$IM" "$work/runs.ppm" -type palette -compress RLE BMP3:im-bmp3-rle8.bmp
# OS/2 core header: 12 bytes, 16-bit width and height, palette entries of 3 bytes.
"$IM" "$work/blend.ppm" -colors 16 -compress None BMP2:im-bmp2-4bit.bmp
"$IM" "$work/blend.ppm" -type palette -compress None BMP2:im-bmp2-8bit.bmp
# The 124-byte header of a plain 24-bit picture (its image size agrees with its rows).
"$IM" "$work/blend.ppm" -type truecolor BMP:im-v5-24bit.bmp
for f in im-bmp3-1bit im-bmp3-4bit im-bmp3-8bit im-bmp3-24bit im-bmp3-32bit im-bmp3-rle8 \
  im-bmp2-4bit im-bmp2-8bit im-v5-24bit; do
  im_ref "$f.bmp"
done
# The alpha is not part of the reference: ImageMagick's PPM is its colour without it.

# 16 bits, 5-5-5. ImageMagick 6 marks its BMP3 16-bit output BI_BITFIELDS but writes no masks
# behind the header; the pixels are 5-5-5 words, which is what BI_RGB means at 16 bits, so
# the compression field (offset 30) is set to BI_RGB.
"$IM" "$work/blend.ppm" -define bmp:subtype=RGB555 BMP3:im-rgb555.bmp
put32 im-rgb555.bmp 0 30
im_ref im-rgb555.bmp

# 16 bits, 5-6-5 with BI_BITFIELDS after a 40-byte header. The 124-byte header that
# ImageMagick writes holds the three masks right after its first 40 bytes, so cutting the
# header after the masks and calling it 40 bytes long leaves a 40-byte header followed by
# the masks, where a reader of that header expects them. Reference: the untouched file.
"$IM" "$work/blend.ppm" -define bmp:subtype=RGB565 BMP:im-v5-rgb565.bmp
{
  head -c 54 im-v5-rgb565.bmp            # file header and the first 40 bytes of the info header
  tail -c +55 im-v5-rgb565.bmp | head -c 12  # red, green and blue masks
  tail -c +"$((14 + 124 + 1))" im-v5-rgb565.bmp  # pixel rows
} >im-rgb565.bmp
put32 im-rgb565.bmp 40 14
put32 im-rgb565.bmp $((14 + 40 + 12)) 10
put32 im-rgb565.bmp "$(stat -c %s im-rgb565.bmp)" 2
im_ref im-v5-rgb565.bmp im-rgb565.ppm
# im-v5-rgb565.bmp stays as a sample of a long header with BI_BITFIELDS, which is refused.

# ---- netpbm --------------------------------------------------------------------------------
ppmtobmp -quiet -windows -bpp 1 "$work/ramp.pbm" >netpbm-win-1bit.bmp
ppmtobmp -quiet -windows -bpp 4 "$work/gingham.ppm" >netpbm-win-4bit.bmp
ppmtobmp -quiet -windows -bpp 8 "$work/gingham.ppm" >netpbm-win-8bit.bmp
ppmtobmp -quiet -windows -bpp 24 "$work/poles.ppm" >netpbm-win-24bit.bmp
ppmtobmp -quiet -os2 -bpp 1 "$work/ramp.pbm" >netpbm-os2-1bit.bmp
ppmtobmp -quiet -os2 -bpp 4 "$work/gingham.ppm" >netpbm-os2-4bit.bmp
ppmtobmp -quiet -os2 -bpp 8 "$work/gingham.ppm" >netpbm-os2-8bit.bmp
ppmtobmp -quiet -os2 -bpp 24 "$work/poles.ppm" >netpbm-os2-24bit.bmp
for f in netpbm-*.bmp; do netpbm_ref "$f"; done

# ---- ImageMagick's default BMP: 108- and 124-byte headers --------------------------------
"$IM" "$work/blend.ppm" -monochrome BMP:im-v4-1bit.bmp  # ImageMagick writes 108 bytes here
"$IM" "$work/blend.ppm" -colors 16 -compress None BMP:im-v5-4bit.bmp
"$IM" "$work/blend.ppm" -type palette -compress None BMP:im-v5-8bit.bmp
"$IM" "$work/runs.ppm" -type palette -compress RLE BMP:im-v5-rle8.bmp
# 32 bits with BI_BITFIELDS and an alpha mask, and BMP3's 32 bits with alpha in the fourth byte.
"$IM" "$work/blend-alpha.png" BMP:im-v5-32bit-alpha.bmp
for f in im-v4-1bit im-v5-4bit im-v5-8bit im-v5-rle8 im-v5-32bit-alpha; do
  im_ref "$f.bmp"
done
for f in im-v4-1bit im-v5-4bit im-v5-8bit; do
  bmptopnm -quiet "$f.bmp" | ppmtoppm -quiet | cmp -s - "$f.ppm" ||
    { echo "make-fixtures: ImageMagick and netpbm disagree on $f" >&2; exit 1; }
done
for f in im-v5-32bit-alpha im-bmp3-32bit; do
  "$IM" "$f.bmp" -depth 8 -alpha on pam:"$f.pam"
done

# ---- RLE4 ------------------------------------------------------------------------------------
python3 rle4.py im-bmp3-4bit.bmp rle4-4bit.bmp
im_ref rle4-4bit.bmp
bmptopnm -quiet rle4-4bit.bmp | ppmtoppm -quiet | cmp -s - rle4-4bit.ppm ||
  { echo "make-fixtures: ImageMagick and netpbm disagree on rle4-4bit" >&2; exit 1; }

ls -l ./*.bmp ./*.ppm ./*.pam
