#!/bin/sh
# Makes the WBMP fixtures with netpbm's pbmtowbmp (and one with ImageMagick), and next to
# each NAME.wbmp its reference pixels NAME.pbm as read back by wbmptopbm. Sources are
# ImageMagick's built-in rose picture in black and white at sizes that need one-byte and
# multi-byte width and height fields. Needs netpbm and ImageMagick; run from anywhere.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
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
echo "make-fixtures: $(ls ./*.wbmp | wc -l) WBMP files and their references written"
