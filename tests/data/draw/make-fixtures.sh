#!/bin/sh
# Makes the fixtures of the drawing cross-checks with ImageMagick 6. Every file is a plain
# BMP (24 bpp, or 4/8 bpp with a palette) so that the engine's own BMP reader loads it. The
# versions of the tools that ran are written to tool-versions.txt.
set -eu
cd "$(dirname "$0")"
C=${CONVERT:-$(command -v convert-im6.q16 || command -v convert)}
# The versions of the tools that ran.
{ $C -version | head -1
  awk -W version 2>&1 | head -1
} > tool-versions.txt
W=13
H=9

# Two pictures with detail at every scale (plasma fractals with fixed seeds).
$C -size ${W}x${H} -seed 7 plasma:fractal -type TrueColor BMP3:source.bmp
$C -size ${W}x${H} -seed 11 plasma:fractal -type TrueColor BMP3:background.bmp

# The source in 16 colours, which ImageMagick writes at 4 bpp, and its own 24-bit rendering.
$C source.bmp +dither -colors 16 -type Palette BMP3:palette16.bmp
$C palette16.bmp -type TrueColor BMP3:palette16-rgb.bmp

# An opacity mask: a left-to-right ramp, an opaque disc and a fully transparent corner.
$C -size ${H}x${W} gradient:white-black -rotate -90 \
   -fill white -draw "circle 3,4 3,6" -fill black -draw "rectangle 9,0 12,2" \
   -type Grayscale BMP3:mask.bmp
# The source through that mask over the background, 1:1 and enlarged 2 x by whole pixels.
$C background.bmp \( source.bmp mask.bmp -alpha off -compose CopyOpacity -composite \) \
   -compose Over -composite -type TrueColor BMP3:over.bmp
$C background.bmp -filter point -resize 26x18! \
   \( source.bmp mask.bmp -alpha off -compose CopyOpacity -composite -filter point -resize 26x18! \) \
   -compose Over -composite -type TrueColor BMP3:over-26x18.bmp

# Nearest pixel at whole-number enlargements (3 x wide, 2 x high): there the point filter
# of resize picks the same source pixels as the drawing's floor(column x width / cx).
$C source.bmp -filter point -resize 39x18! -type TrueColor BMP3:point-39x18.bmp
$C palette16.bmp -filter point -resize 26x27! -type TrueColor BMP3:palette16-point-26x27.bmp

# Bilinear at other sizes, by an affine map that sends destination column c to source
# column c x width / cx and destination row r (from the top) to (r + 1) x height / cy
# counted from the top, as the drawing does before its half-pixel shift; the point filter
# turns off area averaging so that the bilinear interpolator samples exactly there, and
# edge pixels repeat outside the picture.
for size in 31x20 8x5 20x31 6x14; do
    cx=${size%x*}
    cy=${size#*x}
    sx=$(awk "BEGIN { printf \"%.12f\", $cx / $W }")
    sy=$(awk "BEGIN { printf \"%.12f\", $cy / $H }")
    $C source.bmp -filter point -interpolate bilinear -virtual-pixel edge \
       -define distort:viewport=${size}+0+0 -distort AffineProjection "$sx,0,0,$sy,0.5,-0.5" \
       -type TrueColor BMP3:bilinear-${size}.bmp
done
