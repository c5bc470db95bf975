#!/usr/bin/env bash
# Makes the TIFF fixtures with independent tools and, beside each NAME.tif, the pixels
# those tools read from it: NAME.rgba holds 8-bit red, green, blue, alpha per pixel, top
# row first, in the orientation the file asks for.
#
# Makers: ImageMagick 6 (convert-im6.q16), libtiff's tools (tiffcp, tiff2bw, tiff2rgba,
# and tiffset to drop a tag that names a temporary file),
# netpbm (pnmtotiff), and a few lines of Python for the one layout no tool writes (16-bit
# palette indices). References: ImageMagick reading the file with -auto-orient, except
# for grey with alpha in separate planes, which ImageMagick 6 misreads (tiff2rgba there).
# The versions of the tools that ran are written to tool-versions.txt.
set -euo pipefail
cd "$(dirname "$0")"
versions() {
  { "${IM:-convert-im6.q16}" -version | head -1
    tiffinfo 2>&1 | grep -m1 -i 'libtiff' || dpkg-query -W -f '${Package} ${Version}\n' libtiff-tools
    dpkg-query -W -f '${Package} ${Version}\n' netpbm python3
  } > tool-versions.txt
}

IM=$(command -v convert-im6.q16 || true)
[ -n "$IM" ] || { echo "make-fixtures: ImageMagick 6 (convert-im6.q16) is needed" >&2; exit 1; }
for tool in tiffcp tiff2bw tiff2rgba tiffset pnmtotiff; do
  command -v "$tool" >/dev/null || { echo "make-fixtures: $tool is needed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
versions
rm -f ./*.tif ./*.rgba

# Sources: a 40 x 30 crop of ImageMagick's built-in rose, and variants of it.
"$IM" rose: -crop 40x30+14+8 +repage "$work/rose.ppm"
"$IM" "$work/rose.ppm" -colorspace gray "$work/grey.pgm"
# An alpha ramp from transparent on the left to opaque on the right, with a clear hole.
"$IM" -size 40x30 gradient:black-white -rotate 90 -fill black -draw 'rectangle 4,4 9,9' "$work/ramp.pgm"

reference() {  # reference NAME [INPUT]
  "$IM" "${2:-$1.tif}" -auto-orient -depth 8 "RGBA:$1.rgba"
}

# ---- ImageMagick ----
"$IM" "$work/rose.ppm" -depth 8 -compress none im-rgb.tif
"$IM" "$work/grey.pgm" -threshold 50% -depth 1 -define quantum:polarity=min-is-white \
  -compress none im-bilevel-miniswhite.tif
"$IM" "$work/grey.pgm" -threshold 50% -depth 1 -define quantum:polarity=min-is-black \
  -compress none im-bilevel-minisblack.tif
"$IM" "$work/grey.pgm" -threshold 50% -depth 1 -compress group4 im-bilevel-g4.tif
"$IM" "$work/rose.ppm" -colors 200 -type Palette -depth 8 -compress none im-palette8.tif
"$IM" "$work/rose.ppm" -colors 16 -type Palette -compress none im-palette4.tif
"$IM" "$work/grey.pgm" -depth 16 -compress none im-grey16.tif
"$IM" "$work/grey.pgm" "$work/ramp.pgm" -alpha off -compose CopyOpacity -composite -depth 8 \
  -compress none im-greyalpha.tif
"$IM" "$work/rose.ppm" "$work/ramp.pgm" -alpha off -compose CopyOpacity -composite -depth 8 \
  -compress none im-rgba.tif
"$IM" "$work/rose.ppm" -depth 16 -compress none im-rgb16.tif
"$IM" "$work/grey.pgm" "$work/ramp.pgm" -alpha off -compose CopyOpacity -composite -depth 16 \
  -compress none im-greyalpha16.tif
for o in TopRight BottomRight BottomLeft LeftTop RightTop RightBottom LeftBottom; do
  "$IM" "$work/grey.pgm" -depth 8 -orient "$o" -compress none "im-grey-orient-$o.tif"
done
"$IM" "$work/rose.ppm" -colors 16 -type Palette -orient RightTop -compress none im-palette-orient-RightTop.tif
"$IM" "$work/rose.ppm" -depth 8 -orient BottomLeft -compress none im-rgb-orient-BottomLeft.tif
"$IM" "$work/rose.ppm" -depth 8 -orient RightTop -compress none im-rgb-orient-RightTop.tif
"$IM" "$work/rose.ppm" -depth 8 -units PixelsPerCentimeter -density 118.11 -compress none im-res-cm.tif
"$IM" "$work/rose.ppm" -colorspace Lab -depth 8 -compress none im-lab.tif
"$IM" "$work/rose.ppm" -colorspace CMYK -depth 8 -compress none im-cmyk.tif

# ---- libtiff's tools ----
tiffcp -c none im-rgb.tif tiffcp-none.tif
tiffcp -c lzw:2 im-rgb.tif tiffcp-lzw-predictor.tif
"$IM" "$work/grey.pgm" -depth 8 -compress none "$work/grey.tif"
tiffcp -c lzw:2 -r 4 "$work/grey.tif" tiffcp-grey-lzw.tif
tiffcp -c zip im-rgb.tif tiffcp-deflate.tif
tiffcp -c packbits im-rgb.tif tiffcp-packbits.tif
tiffcp -c jpeg -r 16 im-rgb.tif tiffcp-jpeg.tif
tiffcp -r 4 im-rgb.tif tiffcp-rgb-strips.tif
tiffcp -r 4 im-rgb-orient-BottomLeft.tif tiffcp-rgb-strips-orient-BottomLeft.tif
tiffcp -t -w 16 -l 16 im-rgb.tif tiffcp-rgb-tiled.tif
tiffcp -c lzw -t -w 16 -l 16 im-rgb-orient-BottomLeft.tif tiffcp-rgb-tiled-lzw-orient-BottomLeft.tif
tiffcp -t -w 16 -l 16 "$work/grey.tif" tiffcp-grey-tiled.tif
tiffcp -t -w 16 -l 16 im-bilevel-miniswhite.tif tiffcp-bilevel-tiled.tif
tiffcp -p separate im-greyalpha.tif tiffcp-greyalpha-separate.tif
tiffcp -c lzw im-rgb.tif im-palette4.tif im-grey16.tif tiffcp-pages.tif
tiff2bw im-rgb.tif tiff2bw.tif
# tiff2rgba writes alpha premultiplied into the colours (associated alpha)
tiff2rgba im-rgba.tif tiff2rgba-associated.tif

# ---- netpbm ----
# pnmtotiff names its input file (a path in the temporary folder) in the DocumentName tag:
# it reads standard input here, and the tag goes, so the files come out the same on every
# run. tiffset writes the shorter directory after the first, which stays in the file unused.
pnmtotiff_to() {  # pnmtotiff_to OUTPUT [OPTION...] INPUT
  local out=$1 input=${*: -1}
  shift
  pnmtotiff "${@:1:$#-1}" < "$input" > "$out" 2>/dev/null
  tiffset -u DocumentName "$out"
}
pnmtotiff_to pnmtotiff-rgb.tif -truecolor "$work/rose.ppm"
pnmtotiff_to pnmtotiff-grey.tif "$work/grey.pgm"
"$IM" "$work/grey.pgm" -threshold 50% "$work/bilevel.pbm"
pnmtotiff_to pnmtotiff-bilevel.tif "$work/bilevel.pbm"
"$IM" "$work/rose.ppm" -colors 4 "$work/four.ppm"
pnmtotiff_to pnmtotiff-palette2.tif -indexbits=1,2,4,8 "$work/four.ppm"
"$IM" "$work/rose.ppm" -colors 2 "$work/two.ppm"
pnmtotiff_to pnmtotiff-palette1.tif -indexbits=1,2,4,8 "$work/two.ppm"
"$IM" "$work/grey.pgm" -depth 2 "$work/grey2.pgm"
pnmtotiff_to pnmtotiff-grey2.tif "$work/grey2.pgm"

# ---- floating-point samples, transposed RGB orientations, CMYK, 16-bit palette ----
# ImageMagick 6 fails on its own predictor tag when writing floating-point samples, after
# the file is complete; the size test stands in for its exit status.
float() { out=${*: -1}; "$IM" "$@" 2>/dev/null || [ -s "$out" ]; }
float "$work/rose.ppm" -depth 32 -define quantum:format=floating-point -compress none im-float32-rgb.tif
float "$work/rose.ppm" -depth 32 -define quantum:format=floating-point -compress zip \
  im-float32-rgb-zip-predictor.tif
float "$work/grey.pgm" -depth 16 -define quantum:format=floating-point -compress none im-float16-grey.tif
float "$work/grey.pgm" -depth 64 -define quantum:format=floating-point -compress none im-float64-grey.tif
for o in LeftTop RightBottom LeftBottom; do
  "$IM" "$work/rose.ppm" -depth 8 -orient "$o" -compress none "im-rgb-orient-$o.tif"
done
# YCbCr in JPEG strips, which libtiff's RGBA reader decodes
tiffcp -c jpeg -r 16 im-rgb-orient-RightTop.tif tiffcp-jpeg-orient-RightTop.tif
tiffcp -c lzw im-cmyk.tif tiffcp-cmyk-lzw.tif
# No tool writes palettes of 16-bit indices: this one is written byte by byte, an
# uncompressed little-endian file whose indices are the 16-bit grey levels and whose map
# sends index i to red i, green 65535 - i, blue 7i mod 65536.
"$IM" "$work/grey.pgm" -depth 16 "$work/grey16.pgm"
python3 - "$work/grey16.pgm" palette16.tif <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
fields = data.split(maxsplit=4)
width, height = int(fields[1]), int(fields[2])
pixels = fields[4][:width * height * 2]
indices = struct.unpack('>%dH' % (width * height), pixels)
strip = struct.pack('<%dH' % len(indices), *indices)
cmap = [i for i in range(65536)] + [65535 - i for i in range(65536)] + [i * 7 % 65536 for i in range(65536)]
cmap_bytes = struct.pack('<%dH' % len(cmap), *cmap)
tags = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 1, 16), (259, 3, 1, 1), (262, 3, 1, 3),
        (273, 4, 1, None), (277, 3, 1, 1), (278, 3, 1, height), (279, 4, 1, len(strip)),
        (320, 3, len(cmap), None)]
ifd_size = 2 + 12 * len(tags) + 4
strip_at = 8 + ifd_size
cmap_at = strip_at + len(strip)
out = b'II*\x00' + struct.pack('<I', 8) + struct.pack('<H', len(tags))
for tag, kind, count, value in tags:
    if tag == 273: value = strip_at
    if tag == 320: value = cmap_at
    packed = struct.pack('<HI', value, 0)[:4] if kind == 3 and count == 1 else struct.pack('<I', value)
    out += struct.pack('<HHI', tag, kind, count) + packed
out += struct.pack('<I', 0) + strip + cmap_bytes
open(sys.argv[2], 'wb').write(out)
PY

# ---- reference pixels ----
for f in *.tif; do
  name=${f%.tif}
  case "$name" in
    tiffcp-greyalpha-separate)
      tiff2rgba "$f" "$work/$name.tif"
      reference "$name" "$work/$name.tif" ;;
    tiffcp-jpeg-orient-RightTop)
      # ImageMagick 6 turns JPEG-coded YCbCr pages of orientations 5 to 8 twice; the
      # reference is libtiff's RGBA raster (which only mirrors this page to the top-left
      # orientation) mirrored back and turned a quarter clockwise by ImageMagick.
      tiff2rgba "$f" "$work/$name.tif"
      "$IM" "$work/$name.tif" -flop -rotate 90 -depth 8 "RGBA:$name.rgba" ;;
    tiffcp-pages)
      for page in 0 1 2; do "$IM" "$f[$page]" -depth 8 "RGBA:$name-$page.rgba"; done ;;
    *) reference "$name" ;;
  esac
done
