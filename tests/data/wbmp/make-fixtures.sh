#!/bin/sh
# Makes the WBMP fixtures with netpbm's pbmtowbmp (and one with ImageMagick), and next to
# each NAME.wbmp its reference pixels NAME.pbm as read back by wbmptopbm. Sources are
# ImageMagick's built-in rose picture in black and white at sizes that need one-byte and
# multi-byte width and height fields. Also a 1-bit BMP whose palette has white at index 0
# (netpbm ppmtobmp with a colour map file that lists white first), the source of a WBMP our
# encoder writes, with its pixels as netpbm bmptopnm reads them. Needs netpbm and
# ImageMagick; run from anywhere. The versions of the tools go to tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
{
  "$IM" -version | head -1
  pbmtowbmp -version 2>&1 | grep -i 'netpbm version' | head -1
} > tool-versions.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mono() { $IM rose: -resize "$1!" -monochrome "$tmp/$2.pbm"; }
mono 13x7 small        # one-byte sizes, rows padded to two bytes
mono 200x130 wide      # both sizes take two bytes
mono 6x300 tall        # the height alone takes two bytes
for name in small wide tall; do pbmtowbmp "$tmp/$name.pbm" > "pbmtowbmp-$name.wbmp"; done
$IM "$tmp/small.pbm" im-small.wbmp

for f in ./*.wbmp; do
  wbmptopbm "$f" > "${f%.wbmp}.pbm"
  src="$tmp/$(basename "$f" .wbmp | sed 's/^[a-z]*-//').pbm"
  cmp -s "${f%.wbmp}.pbm" "$src" || { echo "make-fixtures: $f does not hold its source" >&2; exit 1; }
done
# White at index 0: a set bit of the BMP's rows is black, where a set WBMP bit is white.
mono 13x7 white-first
ppmtoppm < "$tmp/white-first.pbm" > "$tmp/white-first.ppm"
printf 'P3\n2 1\n255\n255 255 255 0 0 0\n' > "$tmp/white-first-map.ppm"
ppmtobmp -quiet -bpp 1 -mapfile="$tmp/white-first-map.ppm" "$tmp/white-first.ppm" > ppmtobmp-white-first.bmp
bmptopnm -quiet ppmtobmp-white-first.bmp | pamtopnm > ppmtobmp-white-first.pbm
cmp -s ppmtobmp-white-first.pbm "$tmp/white-first.pbm" || { echo "make-fixtures: white-first BMP does not hold its source" >&2; exit 1; }
echo "make-fixtures: $(ls ./*.wbmp | wc -l) WBMP files and their references written"
