#!/bin/sh
# Makes the JPEG 2000, PGX, PNM and Sun raster fixtures with independent writers (OpenJPEG's
# opj_compress and opj_decompress, netpbm, ImageMagick) and next to each fixture NAME its
# reference pixels NAME.ref.ppm (NAME.ref.pam for four components), as the writer's own
# reader, or netpbm, sees them, at 8 bits per sample. Sources are a 37 x 23 cut of
# ImageMagick's built-in rose picture: the odd width makes rows end in padding.
# Needs libopenjp2-tools, netpbm and ImageMagick; run from anywhere. The versions of the
# tools that ran are written to tool-versions.txt.
set -eu
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
{ $IM -version | head -1
  dpkg-query -W -f '${Package} ${Version}\n' libopenjp2-tools netpbm
} > tool-versions.txt
rm -f ./*.jp2 ./*.j2k ./*.pgx ./*.pbm ./*.pgm ./*.ppm ./*.ras ./*.pam

# The sources: colour, grey, black and white, 50 colours, colour with alpha, and 16-bit
# colour and grey resized by ImageMagick so that the low bytes carry information.
$IM rose: -crop 37x23+12+10 +repage -depth 8 "$tmp/rose.ppm"
$IM "$tmp/rose.ppm" -colorspace gray -depth 8 "$tmp/grey.pgm"
$IM "$tmp/rose.ppm" -monochrome "$tmp/mono.pbm"
$IM rose: -crop 40x23+12+10 +repage -monochrome "$tmp/mono40.pbm"
$IM "$tmp/rose.ppm" +dither -colors 50 "$tmp/c50.gif"
$IM "$tmp/c50.gif" -depth 8 "$tmp/c50.ppm"
$IM "$tmp/rose.ppm" -alpha set -channel A -fx '(i + 2 * j) / 80' +channel -depth 8 "$tmp/rgba.pam"
$IM "$tmp/grey.pgm" -alpha set -channel A -fx '(i + 2 * j) / 80' +channel -depth 8 "$tmp/greyalpha.pam"
$IM rose: -crop 25x16+12+10 +repage -resize 148% -depth 16 "$tmp/rose16.ppm"
$IM "$tmp/rose16.ppm" -colorspace gray -depth 16 "$tmp/grey16.pgm"
pamdepth 4095 "$tmp/grey16.pgm" > "$tmp/grey12.pgm"

# A reference: any netpbm file at 8 bits per sample as PPM (PAM for four channels).
ref() { pamdepth 255 2>/dev/null | ppmtoppm; }
ref4() { pamdepth 255 | pamtopam; }

# JPEG 2000: lossless (the default 5/3 wavelet) colour, grey, 12-bit grey, 16-bit colour and
# four components; and lossy (9/7 wavelet at ratio 20) colour. Four resolution levels suit
# the small pictures. The references are what opj_decompress makes of each file.
opj_compress -n 4 -i "$tmp/rose.ppm" -o opj-rgb.jp2 > /dev/null 2>&1
opj_compress -n 4 -i "$tmp/rose.ppm" -o opj-rgb.j2k > /dev/null 2>&1
opj_compress -n 4 -i "$tmp/grey.pgm" -o opj-grey.jp2 > /dev/null 2>&1
opj_compress -n 4 -i "$tmp/grey12.pgm" -o opj-grey12.j2k > /dev/null 2>&1
opj_compress -n 4 -i "$tmp/rose16.ppm" -o opj-rgb16.jp2 > /dev/null 2>&1
opj_compress -n 4 -i "$tmp/rgba.pam" -o opj-rgba.jp2 > /dev/null 2>&1
# a code stream of four components says nothing of their meaning: red, green, blue, alpha
opj_compress -n 4 -i "$tmp/rgba.pam" -o opj-rgba.j2k > /dev/null 2>&1
# two components that no channel definition names: two grey planes
opj_compress -n 4 -i "$tmp/greyalpha.pam" -o opj-greyalpha.j2k > /dev/null 2>&1
opj_compress -n 4 -I -r 20 -i "$tmp/rose.ppm" -o opj-lossy.jp2 > /dev/null 2>&1
for f in opj-rgb.jp2 opj-rgb.j2k opj-grey.jp2 opj-grey12.j2k opj-rgb16.jp2 opj-lossy.jp2; do
  opj_decompress -i "$f" -o "$tmp/out.pnm" > /dev/null 2>&1
  ref < "$tmp/out.pnm" > "$f.ref.ppm"
done
for f in opj-rgba.jp2 opj-rgba.j2k; do
  opj_decompress -i "$f" -o "$tmp/out.pnm" > /dev/null 2>&1
  ref4 < "$tmp/out.pnm" > "$f.ref.pam"
done
opj_decompress -i opj-greyalpha.j2k -o "$tmp/out.pgx" > /dev/null 2>&1
for k in 0 1; do
  opj_compress -n 4 -i "$tmp/out_$k.pgx" -o "$tmp/plane.j2k" > /dev/null 2>&1
  opj_decompress -i "$tmp/plane.j2k" -o "$tmp/plane.pgm" > /dev/null 2>&1
  ref < "$tmp/plane.pgm" > "opj-greyalpha_$k.j2k.ref.ppm"
done

# PGX: opj_decompress writes one file per component; 8-bit grey, 12-bit grey (two bytes per
# sample), and the four planes of the colour picture with alpha.
opj_decompress -i opj-grey.jp2 -o "$tmp/grey.pgx" > /dev/null 2>&1 && mv "$tmp/grey_0.pgx" opj-grey.pgx
opj_decompress -i opj-grey12.j2k -o "$tmp/grey12.pgx" > /dev/null 2>&1 && mv "$tmp/grey12_0.pgx" opj-grey12.pgx
opj_decompress -i opj-rgba.jp2 -o opj-rgba.pgx > /dev/null 2>&1
for f in opj-grey.pgx opj-grey12.pgx opj-rgba_0.pgx opj-rgba_1.pgx opj-rgba_2.pgx opj-rgba_3.pgx; do
  opj_compress -n 4 -i "$f" -o "$tmp/plane.j2k" > /dev/null 2>&1
  opj_decompress -i "$tmp/plane.j2k" -o "$tmp/plane.pgm" > /dev/null 2>&1
  ref < "$tmp/plane.pgm" > "$f.ref.ppm"
done

# PNM: netpbm's plain (P1, P2, P3) and binary (P4, P5, P6) forms, 16-bit and maxval 100
# samples, and ImageMagick's plain and 16-bit files.
pnmtoplainpnm "$tmp/mono.pbm" > nb-p1.pbm
pnmtoplainpnm "$tmp/grey.pgm" > nb-p2.pgm
pnmtoplainpnm "$tmp/rose.ppm" > nb-p3.ppm
pnmtopnm < "$tmp/mono.pbm" > nb-p4.pbm
pnmtopnm < "$tmp/grey.pgm" > nb-p5.pgm
pnmtopnm < "$tmp/rose.ppm" > nb-p6.ppm
pnmtopnm < "$tmp/grey16.pgm" > nb-p5-16bit.pgm
pnmtopnm < "$tmp/rose16.ppm" > nb-p6-16bit.ppm
pamdepth 100 "$tmp/grey.pgm" | pnmtoplainpnm > nb-p2-maxval100.pgm
$IM "$tmp/rose.ppm" -compress none im-p3.ppm
$IM "$tmp/rose16.ppm" -depth 16 im-p6-16bit.ppm
for f in nb-*.p?m im-*.ppm; do ref < "$f" > "$f.ref.ppm"; done

# Sun raster: pnmtorast's standard and byte-encoded files at 24 bits (the picture padded
# with white, so that runs occur), 8 bits with a colour map, 8-bit grey and 1 bit (40
# pixels wide: pnmtorast leaves the last byte of a 1-bit row white when the width is not a
# multiple of 8, though its rows are still padded to 16 bits); and
# ImageMagick's RGB-type and colour-mapped files. The references are rasttopnm's readings.
$IM "$tmp/rose.ppm" -background white -gravity west -extent 60x23 "$tmp/padded.ppm"
pnmtorast -standard "$tmp/padded.ppm" > nb-std24.ras 2>/dev/null
pnmtorast -rle "$tmp/padded.ppm" > nb-rle24.ras 2>/dev/null
pnmtorast -standard "$tmp/c50.ppm" > nb-std8-map.ras 2>/dev/null
pnmtorast -rle "$tmp/c50.ppm" > nb-rle8-map.ras 2>/dev/null
pnmtorast -standard "$tmp/grey.pgm" > nb-std8-grey.ras 2>/dev/null
pnmtorast -standard "$tmp/mono40.pbm" > nb-std1.ras 2>/dev/null
pnmtorast -rle "$tmp/mono40.pbm" > nb-rle1.ras 2>/dev/null
$IM "$tmp/rose.ppm" im-rgb.ras
$IM "$tmp/c50.gif" im-map8.ras
for f in ./*.ras; do rasttopnm "$f" 2>/dev/null | ref > "$f.ref.ppm"; done

# Every reading agrees with the source, and ImageMagick reads the Sun raster files as
# netpbm does (except the byte-encoded colour-mapped one, whose last 22 pixels it shows
# white), so each reference holds what its writer was given.
same() { cmp -s "$1" "$2" || { echo "make-fixtures: $1 differs from $2" >&2; exit 1; }; }
ref < "$tmp/rose.ppm" > "$tmp/rose.ref"
ref < "$tmp/grey.pgm" > "$tmp/grey.ref"
ref < "$tmp/mono.pbm" > "$tmp/mono.ref"
ref < "$tmp/mono40.pbm" > "$tmp/mono40.ref"
ref < "$tmp/c50.ppm" > "$tmp/c50.ref"
ref < "$tmp/padded.ppm" > "$tmp/padded.ref"
ref < "$tmp/grey12.pgm" > "$tmp/grey12.ref"
ref < "$tmp/rose16.ppm" > "$tmp/rose16.ref"
ref4 < "$tmp/rgba.pam" > "$tmp/rgba.ref"
for f in opj-rgb.jp2 opj-rgb.j2k nb-p3.ppm nb-p6.ppm im-p3.ppm; do same "$f.ref.ppm" "$tmp/rose.ref"; done
for f in opj-grey.jp2 opj-grey.pgx nb-p2.pgm nb-p5.pgm nb-std8-grey.ras; do same "$f.ref.ppm" "$tmp/grey.ref"; done
for f in nb-p1.pbm nb-p4.pbm; do same "$f.ref.ppm" "$tmp/mono.ref"; done
for f in nb-std1.ras nb-rle1.ras; do same "$f.ref.ppm" "$tmp/mono40.ref"; done
for f in nb-std8-map.ras nb-rle8-map.ras im-map8.ras; do same "$f.ref.ppm" "$tmp/c50.ref"; done
for f in nb-std24.ras nb-rle24.ras; do same "$f.ref.ppm" "$tmp/padded.ref"; done
same im-rgb.ras.ref.ppm "$tmp/rose.ref"
for f in opj-grey12.j2k opj-grey12.pgx; do same "$f.ref.ppm" "$tmp/grey12.ref"; done
for f in opj-rgb16.jp2 nb-p6-16bit.ppm im-p6-16bit.ppm; do same "$f.ref.ppm" "$tmp/rose16.ref"; done
same opj-rgba.jp2.ref.pam "$tmp/rgba.ref"
same opj-rgba.j2k.ref.pam "$tmp/rgba.ref"
for k in 0 1; do pamchannel -infile "$tmp/greyalpha.pam" $k | ref > "$tmp/plane.ref"; same "opj-greyalpha_$k.j2k.ref.ppm" "$tmp/plane.ref"; done
for k in 0 1 2 3; do pamchannel -infile "$tmp/rgba.pam" $k | ref > "$tmp/plane.ref"; same "opj-rgba_$k.pgx.ref.ppm" "$tmp/plane.ref"; done
for f in ./*.ras; do
  [ "$f" = ./nb-rle8-map.ras ] && continue
  $IM "$f" -depth 8 ppm:- | ppmtoppm > "$tmp/im.ppm"
  same "$tmp/im.ppm" "$f.ref.ppm"
done
echo "make-fixtures: $(ls ./*.jp2 ./*.j2k ./*.pgx ./*.p?m ./*.ras | grep -vc ref) files and their references written"
