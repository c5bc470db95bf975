#!/usr/bin/env bash
# Makes the JPEG fixtures and their reference pixels with independent tools: cjpeg and djpeg
# (libjpeg-turbo-progs), ImageMagick and exiftool (libimage-exiftool-perl). Run it in this
# folder; the committed files are its output.
#
# Reference pixels come from djpeg on the same library the engine links, with the settings
# the engine's options select: .ppm/.pgm for plain output, .bmp (colour-mapped) for
# quantised output. exif-*.txt hold what exiftool reads from the EXIF fixtures.
set -euo pipefail
cd "$(dirname "$0")"
convert=$(command -v convert-im6.q16 || command -v convert)

# The versions of the tools that made the committed files.
{
  echo "cjpeg/djpeg: $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs)"
  echo "exiftool: $(exiftool -ver)"
  echo "ImageMagick: $("$convert" -version | head -1)"
  echo "netpbm: $(dpkg-query -W -f='${Version}' netpbm)"
} > tool-versions.txt

# The source: ImageMagick's built-in photograph, at an odd size so that rows are padded
# and chroma blocks are cut at the edges.
"$convert" rose: -resize 97x61\! src.ppm

# Files written by cjpeg.
cjpeg -quality 85 src.ppm > baseline.jpg
cjpeg -quality 85 -progressive src.ppm > progressive.jpg
cjpeg -quality 85 -grayscale src.ppm > grey.jpg
cjpeg -quality 85 -optimize src.ppm > optimised.jpg
cjpeg -quality 85 -restart 1 src.ppm > restart.jpg
cjpeg -quality 90 src.ppm > cjpeg-q90.jpg
# The same picture through the encoder settings the engine's option bits select; apart
# from the JFIF density the engine's files must match these byte for byte.
cjpeg -quality 90 -progressive src.ppm > cjpeg-q90-progressive.jpg
cjpeg -quality 90 -optimize src.ppm > cjpeg-q90-optimize.jpg
cjpeg -quality 90 -grayscale src.ppm > cjpeg-q90-grayscale.jpg
cjpeg -quality 90 -arithmetic src.ppm > cjpeg-q90-arithmetic.jpg
cjpeg -quality 90 -smooth 50 src.ppm > cjpeg-q90-smooth50.jpg
cjpeg -quality 5 src.ppm > cjpeg-q5.jpg
cjpeg -quality 5 -baseline src.ppm > cjpeg-q5-baseline.jpg

for f in baseline progressive optimised restart cjpeg-q90; do djpeg -pnm $f.jpg > $f.ppm; done
djpeg -pnm grey.jpg > grey.pgm
cjpeg -quality 90 grey.pgm > cjpeg-grey-q90.jpg

# Scaled output.
for n in 2 4 8; do djpeg -pnm -scale 1/$n baseline.jpg > baseline-s$n.ppm; done
djpeg -pnm -scale 1/2 grey.jpg > grey-s2.pgm

# Decoder options: plain upsampling, greyscale output, quantised output (64 colours,
# two-pass with Floyd-Steinberg dithering, one-pass, no dithering, ordered dithering).
djpeg -pnm -nosmooth baseline.jpg > baseline-nosmooth.ppm
djpeg -pnm -grayscale baseline.jpg > baseline-greyout.pgm
djpeg -bmp -colors 64 baseline.jpg > baseline-q64.bmp
djpeg -bmp -colors 64 -onepass baseline.jpg > baseline-q64-onepass.bmp
djpeg -bmp -colors 64 -dither none baseline.jpg > baseline-q64-nodither.bmp
djpeg -bmp -colors 64 -dither ordered -onepass baseline.jpg > baseline-q64-ordered.bmp
djpeg -bmp -colors 16 grey.jpg > grey-q16.bmp

# Truncated files: libjpeg finishes them as if an end-of-image marker came.
head -c 1500 baseline.jpg > baseline-trunc.jpg
head -c 2000 progressive.jpg > progressive-trunc.jpg
# djpeg warns "Premature end of JPEG file" and exits with status 2 after writing the picture.
for f in baseline-trunc progressive-trunc; do djpeg -pnm $f.jpg > $f.ppm 2>/dev/null || [ $? -eq 2 ]; done

# CMYK written by ImageMagick (Adobe inverted CMYK). cmyk.cmyk holds the raw ink samples as
# ImageMagick reads them (C, M, Y, K per pixel, not inverted); djpeg's own conversion to
# RGB rounds where the engine truncates.
"$convert" src.ppm -colorspace CMYK -quality 85 cmyk.jpg
"$convert" cmyk.jpg -depth 8 cmyk:cmyk.cmyk
djpeg -pnm cmyk.jpg > cmyk.ppm

# Resolution in the JFIF header: 72 dots per inch; 28 dots per centimetre; no JFIF header
# at all (and no EXIF).
"$convert" src.ppm -units PixelsPerInch -density 72 -quality 85 jfif-72dpi.jpg
"$convert" src.ppm -units PixelsPerCentimeter -density 28 -quality 85 jfif-28dpcm.jpg
cp baseline.jpg nojfif.jpg
exiftool -q -overwrite_original -JFIF:all= nojfif.jpg

# EXIF written by exiftool on top of cjpeg's file (whose JFIF density is 1:1, no unit).
# Big-endian block: resolution 300 x 150 per inch, camera tags, an orientation, an ISO
# speed stored divided by 200 and a user comment with trailing spaces.
cp baseline.jpg exif-mm.jpg
exiftool -q -overwrite_original -ExifByteOrder=MM \
  -EXIF:XResolution=300 -EXIF:YResolution=150 -EXIF:ResolutionUnit=inches \
  -Make=Acme -Model="Model X" -Orientation#=6 -ISO=2 -FNumber=2.8 -ExposureTime=0.004 \
  -FocalLength=35 -EXIF:Flash#=1 -ExposureCompensation=-0.5 -MeteringMode#=5 \
  -DateTimeOriginal="2003:04:05 06:07:08" -UserComment="word   " exif-mm.jpg
# Little-endian block: 28.35 dots per centimetre, an orientation out of range.
cp baseline.jpg exif-ii-cm.jpg
exiftool -q -overwrite_original -ExifByteOrder=II \
  -EXIF:XResolution=28.35 -EXIF:YResolution=28.35 -EXIF:ResolutionUnit=cm \
  -Orientation#=9 exif-ii-cm.jpg
# EXIF without resolution tags.
cp baseline.jpg exif-nores.jpg
exiftool -q -overwrite_original -Make=Foo -EXIF:XResolution= -EXIF:YResolution= \
  -EXIF:ResolutionUnit= exif-nores.jpg
# Thumbnails in the directory after the first (IFD1), in both byte orders.
"$convert" src.ppm -resize 24x16 -quality 75 thumb.jpg
for order in MM II; do
  cp baseline.jpg exif-thumb-$order.jpg
  exiftool -q -overwrite_original -ExifByteOrder=$order -Make=Thumb \
    "-ThumbnailImage<=thumb.jpg" exif-thumb-$order.jpg
done

for f in exif-mm exif-ii-cm exif-nores exif-thumb-MM exif-thumb-II; do
  exiftool -a -n -S -G1 -EXIF:all $f.jpg | grep -v 'ThumbnailImage' > $f.txt
done

# A comment section with a carriage return before a line feed, a tab and a bell byte.
printf 'line one\r\nline\ttwo \a end' > comment.txt
wrjpgcom -cfile comment.txt baseline.jpg > comment.jpg
rm comment.txt

# The main picture's resolution in the first directory (240 dots per inch) and a thumbnail
# directory after it with a resolution of its own (exiftool gives it 72 dots per inch).
for order in MM II; do
  cp baseline.jpg exif-240dpi-thumb-$order.jpg
  exiftool -q -overwrite_original -ExifByteOrder=$order -IFD0:XResolution=240 -IFD0:YResolution=240 \
    -IFD0:ResolutionUnit=inches "-ThumbnailImage<=thumb.jpg" exif-240dpi-thumb-$order.jpg
done
# Dots per centimetre that are whole dots per inch only when rounded: 118.11 (300 dpi) and
# 47.24 (119.99 dpi).
cp baseline.jpg exif-cm-round.jpg
exiftool -q -overwrite_original -EXIF:XResolution=118.11 -EXIF:YResolution=47.24 \
  -EXIF:ResolutionUnit=cm exif-cm-round.jpg
for f in exif-240dpi-thumb-MM exif-240dpi-thumb-II exif-cm-round; do
  exiftool -a -n -S -G1 -EXIF:all $f.jpg | grep -v 'ThumbnailImage' > $f.txt
done

# A JFIF header with density unit 0: a pixel aspect ratio of 3:2, no resolution.
"$convert" src.ppm -units Undefined -density 3x2 -quality 85 jfif-aspect.jpg
exiftool -a -n -S -G1 -JFIF:all jfif-aspect.jpg > jfif-aspect.txt

# The number of colours djpeg's quantiser picks, from its own trace.
for args in "-colors 64" "-colors 64 -onepass" "-colors 64 -dither none" \
  "-colors 64 -dither ordered -onepass"; do
  n=$(djpeg -verbose $args -bmp baseline.jpg 2>&1 >/dev/null |
    sed -n 's/.*Selected \([0-9]*\) colors.*/\1/p; s/.*Quantizing to \([0-9]*\) .*/\1/p')
  echo "baseline.jpg $args: $n"
done > quantised-colours.txt
n=$(djpeg -verbose -colors 16 -bmp grey.jpg 2>&1 >/dev/null |
  sed -n 's/.*Selected \([0-9]*\) colors.*/\1/p; s/.*Quantizing to \([0-9]*\) .*/\1/p')
echo "grey.jpg -colors 16: $n" >> quantised-colours.txt

# Flat white pages, the most compressible real files: each is as short as its coding allows
# (about two bits per block for optimised Huffman codes, far less for arithmetic coding).
ppmmake white 2048 2048 > flat.ppm
cjpeg -optimize flat.ppm > flat-white-optimised.jpg
cjpeg -progressive flat.ppm > flat-white-progressive.jpg
cjpeg -grayscale -optimize flat.ppm > flat-white-grey.jpg
cjpeg -arithmetic flat.ppm > flat-white-arithmetic.jpg
"$convert" -size 2048x2048 xc:white -quality 92 flat-white-im.jpg
rm flat.ppm
