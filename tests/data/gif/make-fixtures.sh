#!/usr/bin/env bash
# Makes the GIF fixtures with tools independent of Panelle, each with reference pixels
# decoded by the same family of tools:
#   im-*        written by ImageMagick; references decoded by ImageMagick (.ppm, or .pam
#               with alpha when the file has transparency; animation frames coalesced).
#   pamtogif-*, ppmtogif-*
#               written by netpbm; references decoded by giftopnm (.ppm, and -alpha.pgm for
#               the transparent one).
# Needs imagemagick and netpbm. Writes next to this script; reproducible (fixed seeds). The
# versions of the tools that ran are written to tool-versions.txt.
set -euo pipefail
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
{ $IM -version | head -1
  dpkg-query -W -f '${Package} ${Version}\n' netpbm
  awk -W version 2>&1 | head -1
} > tool-versions.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- ImageMagick -------------------------------------------------------------------------

# 8-bit, global table of 256 entries (200 used).
$IM -size 37x23 -seed 7 plasma:fractal +dither -colors 200 im-palette.gif
# Interlaced, heights that are not multiples of 8: 16 colours (4-bit) and 256 (8-bit).
$IM -size 29x23 -seed 11 plasma:fractal +dither -colors 16 -interlace GIF im-interlaced16.gif
$IM -size 41x37 -seed 12 plasma:fractal +dither -colors 256 -interlace GIF im-interlaced.gif
# Two colours (1-bit).
$IM -size 27x13 pattern:checkerboard -monochrome im-bitmap.gif
# A transparent hole in a 3-colour picture.
$IM -size 30x20 xc:'#3050a0' -fill '#e0c020' -draw 'rectangle 3,3 14,12' \
    -alpha set -region 9x7+12+8 -alpha transparent +region im-transparent.gif
for f in im-palette im-interlaced16 im-interlaced im-bitmap; do $IM $f.gif $f.ppm; done
$IM im-transparent.gif PAM:im-transparent.pam

# Five frames on a 32 x 24 screen sharing one global table (remapped to one palette) and one
# transparent index, with the disposal methods none, previous and background. Frames are
# laid out so that every frame's composition is the same whether "previous" restores the
# canvas or keeps it (the frame after it covers it), and whether "background" clears the
# frame's rectangle or the whole screen (the frame covers the screen).
$IM -size 32x24 xc:'#3050a0' -fill '#e0c020' -draw 'rectangle 2,2 12,9' \
    -fill '#20a040' -draw 'rectangle 20,14 29,21' -alpha set -region 2x2+29+21 -alpha transparent +region \
    "$tmp/f0.png"
$IM -size 12x10 xc:'#c03030' -alpha set -region 4x4+4+3 -alpha transparent +region "$tmp/f1.png"
$IM -size 10x8 xc:'#20a040' -fill '#e0c020' -draw 'rectangle 2,2 5,5' "$tmp/f2.png"
$IM -size 32x24 xc:'#e0c020' -fill '#3050a0' -draw 'rectangle 16,0 31,23' \
    -fill '#c03030' -draw 'rectangle 18,10 27,17' "$tmp/f3.png"
$IM -size 16x12 xc:'#20a040' -fill '#c03030' -draw 'rectangle 8,4 12,8' \
    -alpha set -region 4x12+0+0 -alpha transparent +region "$tmp/f4.png"
$IM -size 5x1 xc:none -fill '#3050a0' -draw 'point 1,0' -fill '#e0c020' -draw 'point 2,0' \
    -fill '#20a040' -draw 'point 3,0' -fill '#c03030' -draw 'point 4,0' "$tmp/palette.png"
$IM -dispose none -page 32x24+0+0 "$tmp/f0.png" -dispose none -page +3+4 "$tmp/f1.png" \
    -dispose previous -page +18+10 "$tmp/f2.png" -dispose background -page +0+0 "$tmp/f3.png" \
    -dispose none -page +8+6 "$tmp/f4.png" -loop 0 +dither -remap "$tmp/palette.png" im-anim.gif
$IM im-anim.gif -coalesce PAM:im-anim-%d.pam

# ---- netpbm ------------------------------------------------------------------------------

ppmpat -poles -randomseed=5 40 30 >"$tmp/poles.ppm"
pnmquant 256 "$tmp/poles.ppm" >"$tmp/poles256.ppm" 2>/dev/null
pnmquant 16 "$tmp/poles.ppm" >"$tmp/poles16.ppm" 2>/dev/null
pamtogif -quiet "$tmp/poles256.ppm" >pamtogif-palette.gif
pamtogif -quiet -interlace "$tmp/poles256.ppm" >pamtogif-interlace.gif
pamtogif -quiet -nolzw "$tmp/poles256.ppm" >pamtogif-nolzw.gif
pamtogif -quiet -comment="made by pamtogif" "$tmp/poles16.ppm" >pamtogif-comment16.gif
# The most frequent colour becomes transparent.
transparent=$(ppmhist -noheader "$tmp/poles16.ppm" | awk 'NR == 1 { printf "rgb:%02x/%02x/%02x", $1, $2, $3 }')
pamtogif -quiet -transparent="$transparent" "$tmp/poles16.ppm" >pamtogif-transparent.gif
# Enough noise to fill the 4096-entry LZW table more than once, compressed and not.
pgmnoise -randomseed=9 96 64 >"$tmp/noise.pgm"
pamtogif -quiet "$tmp/noise.pgm" >pamtogif-noise.gif
pamtogif -quiet -nolzw "$tmp/noise.pgm" >pamtogif-noise-nolzw.gif
# A bitmap through the older front end.
pbmmake -g 21 13 >"$tmp/grey.pbm"
ppmtogif -quiet "$tmp/grey.pbm" >ppmtogif-bitmap.gif 2>/dev/null

for f in pamtogif-palette pamtogif-interlace pamtogif-nolzw pamtogif-comment16 pamtogif-noise \
    pamtogif-noise-nolzw ppmtogif-bitmap; do
    giftopnm $f.gif >$f.ppm
done
giftopnm -alphaout=pamtogif-transparent-alpha.pgm pamtogif-transparent.gif >pamtogif-transparent.ppm
