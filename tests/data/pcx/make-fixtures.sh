#!/bin/sh
# Makes the PCX fixtures with two independent writers, netpbm's ppmtopcx and ImageMagick,
# and next to each NAME.pcx its reference pixels NAME.ppm (NAME.pam with alpha) as read by
# the same tool. Sources are a 37 x 23 cut of ImageMagick's built-in rose picture: the odd
# width makes every line end in padding. Needs netpbm and ImageMagick; run from anywhere.
# The versions of the tools that ran are written to tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
{ $IM -version | head -1
  dpkg-query -W -f '${Package} ${Version}\n' netpbm
} > tool-versions.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

$IM rose: -crop 37x23+12+10 +repage -depth 8 "$tmp/rose.ppm"
$IM "$tmp/rose.ppm" -monochrome "$tmp/mono.pbm"
for n in 4 8 16 200; do
  $IM "$tmp/rose.ppm" +dither -colors $n "$tmp/c$n.gif"
  $IM "$tmp/c$n.gif" -depth 8 "$tmp/c$n.ppm"
done
$IM "$tmp/rose.ppm" -alpha set -channel A -fx '(i + 2 * j) / 80' +channel -depth 8 "$tmp/alpha.pam"

# ppmtopcx picks the layout from the number of colours: 2 colours one plane of 1 bit, 4 and
# 8 colours two and three planes of 1 bit, 16 colours four; -packed puts 2 or 4 bits per
# pixel in one plane; -8bit one plane of 8 bits and a palette; -24bit three planes of 8 bits.
ppmtopcx "$tmp/mono.pbm" > ppmtopcx-1bit.pcx 2>/dev/null
ppmtopcx "$tmp/c4.ppm" > ppmtopcx-2planes.pcx 2>/dev/null
ppmtopcx "$tmp/c8.ppm" > ppmtopcx-3planes.pcx 2>/dev/null
ppmtopcx "$tmp/c16.ppm" > ppmtopcx-4planes.pcx 2>/dev/null
ppmtopcx -packed "$tmp/c4.ppm" > ppmtopcx-packed2.pcx 2>/dev/null
ppmtopcx -packed "$tmp/c16.ppm" > ppmtopcx-packed4.pcx 2>/dev/null
ppmtopcx -8bit "$tmp/c200.ppm" > ppmtopcx-8bit.pcx 2>/dev/null
ppmtopcx -24bit "$tmp/rose.ppm" > ppmtopcx-24bit.pcx 2>/dev/null
for f in ppmtopcx-*.pcx; do pcxtoppm "$f" > "${f%.pcx}.ppm" 2>/dev/null; done

# ImageMagick writes a picture read from a two-colour GIF as one plane of 1 bit, one read
# from a larger GIF as one plane of 8 bits, and true colour as three planes, or four with alpha.
$IM "$tmp/mono.pbm" "$tmp/mono.gif"
$IM "$tmp/mono.gif" im-1bit.pcx
$IM "$tmp/c200.gif" im-8bit.pcx
$IM "$tmp/rose.ppm" im-24bit.pcx
$IM "$tmp/alpha.pam" im-alpha.pcx
$IM im-8bit.pcx -depth 8 im-8bit.ppm
$IM im-24bit.pcx -depth 8 im-24bit.ppm
$IM im-alpha.pcx -depth 8 im-alpha.pam
# ImageMagick reads every single-plane 1-bit PCX with set bits black, whatever the colour
# map; its own file says entry 1 is white and netpbm reads it so. The reference is
# pcxtoppm's reading: the monochrome source with black and white exchanged.
pcxtoppm im-1bit.pcx > im-1bit.ppm 2>/dev/null

# Every reference holds the pixels of its source, so each writer and reader is exact.
same() { cmp -s "$1" "$2" || { echo "make-fixtures: $1 differs from $2" >&2; exit 1; }; }
ppm() { $IM "$1" -depth 8 ppm:-; }
ppm "$tmp/mono.pbm" > "$tmp/mono.ppm"
$IM "$tmp/mono.pbm" -negate -depth 8 ppm:- > "$tmp/mono-negated.ppm"
same ppmtopcx-1bit.ppm "$tmp/mono.ppm"
same im-1bit.ppm "$tmp/mono-negated.ppm"
ppm "$tmp/c4.ppm" > "$tmp/c4.ref"; same ppmtopcx-2planes.ppm "$tmp/c4.ref"; same ppmtopcx-packed2.ppm "$tmp/c4.ref"
ppm "$tmp/c8.ppm" > "$tmp/c8.ref"; same ppmtopcx-3planes.ppm "$tmp/c8.ref"
ppm "$tmp/c16.ppm" > "$tmp/c16.ref"; same ppmtopcx-4planes.ppm "$tmp/c16.ref"; same ppmtopcx-packed4.ppm "$tmp/c16.ref"
ppm "$tmp/c200.ppm" > "$tmp/c200.ref"; same ppmtopcx-8bit.ppm "$tmp/c200.ref"; same im-8bit.ppm "$tmp/c200.ref"
ppm "$tmp/rose.ppm" > "$tmp/rose.ref"; same ppmtopcx-24bit.ppm "$tmp/rose.ref"; same im-24bit.ppm "$tmp/rose.ref"
$IM "$tmp/alpha.pam" -depth 8 pam:- > "$tmp/alpha.ref"; same im-alpha.pam "$tmp/alpha.ref"
echo "make-fixtures: $(ls ./*.pcx | wc -l) PCX files and their references written"
