#!/usr/bin/env bash
# Makes the GIF fixtures of files as other programs write them: animations by gifsicle and
# ImageMagick (transparency on a later frame only, disposal to background and to previous,
# frames partly outside the screen, local colour tables, frames without a global table),
# and byte-level variants of ImageMagick pictures (an empty comment, a graphic control
# block of 5 bytes, a logical screen smaller than the image or of no size). References are
# ImageMagick's coalesced frames as PAM; the script checks each against gifsicle's own
# unoptimised frames decoded by giftopnm, and stops when the two tools disagree on a pixel,
# except where a frame was disposed to the background: ImageMagick (like web browsers)
# leaves it transparent, gifsicle paints the screen's background colour.
# Needs imagemagick (convert, compare), gifsicle, netpbm and python3. Writes next to this script.
set -euo pipefail
cd "$(dirname "$0")"
IM=$(command -v convert-im6.q16 || command -v convert)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
{
    echo "# tools that made the real-world GIF fixtures"
    $IM -version | head -1
    gifsicle --version | head -1
    giftopnm --version 2>&1 | head -1
    python3 --version
} >make-real-world.versions

# Byte-level edits of a GIF, by block structure: no pixel data is recoded.
cat >"$tmp/gifedit.py" <<'PY'
import sys

def blocks(d):
    """Yields (kind, start, end) for each block after the header and global table."""
    p = 13 + (3 * (2 << (d[10] & 7)) if d[10] & 0x80 else 0)
    def subblocks(p):
        while d[p]:
            p += 1 + d[p]
        return p + 1
    while p < len(d):
        c = d[p]
        if c == 0x3B:
            yield ('trailer', p, p + 1); return
        if c == 0x21:
            e = subblocks(p + 2); yield ('ext', p, e); p = e
        elif c == 0x2C:
            f = d[p + 9]
            q = p + 10 + (3 * (2 << (f & 7)) if f & 0x80 else 0)
            e = subblocks(q + 1); yield ('image', p, e); p = e
        else:
            raise SystemExit('unexpected byte')

def first_image(d):
    return next(s for k, s, e in blocks(d) if k == 'image')

cmd, src, dst = sys.argv[1:4]
d = bytearray(open(src, 'rb').read())
if cmd == 'insert-before-image':       # arg: hex bytes put before the first image
    i = first_image(d); d[i:i] = bytes.fromhex(sys.argv[4])
elif cmd == 'screen':                  # arg: WxH written into the logical screen
    w, h = map(int, sys.argv[4].split('x')); d[6:10] = bytes([w & 255, w >> 8, h & 255, h >> 8])
elif cmd == 'no-global':               # the global table moves to every image without one
    assert d[10] & 0x80
    n = 2 << (d[10] & 7); table = d[13:13 + 3 * n]; bits = d[10] & 7
    out = bytearray(d[:13]); out[10] &= 0x7F
    body = d[13 + 3 * n:]
    d2 = bytes(d[:13]) + bytes(body); d2 = bytearray(d2); d2[10] &= 0x7F
    for k, s, e in blocks(d2):
        if k == 'image' and not d2[s + 9] & 0x80:
            out += d2[s:s + 9] + bytes([d2[s + 9] | 0x80 | bits]) + table + d2[s + 10:e]
        else:
            out += d2[s:e]
    d = out
open(dst, 'wb').write(d)
PY
edit() { python3 "$tmp/gifedit.py" "$@"; }

# Coalesced frames by ImageMagick as PAM (base-N.pam), checked against gifsicle's
# unoptimised frames decoded by giftopnm.
reference() {
    local base=$1 frames
    $IM "$base.gif" -coalesce PAM:"$base-%d.pam"
    frames=$(gifsicle --info "$base.gif" | awk 'NR == 1 { print $3 }')
    # With local tables gifsicle first needs one table (exact here: few colours).
    gifsicle --colors=255 "$base.gif" 2>/dev/null | gifsicle -U >"$tmp/u.gif"
    for ((i = 0; i < frames; ++i)); do
        giftopnm --image=$((i + 1)) -alphaout="$tmp/a.pgm" "$tmp/u.gif" >"$tmp/c.ppm" 2>/dev/null
        python3 - "$base-$i.pam" "$tmp/c.ppm" "$tmp/a.pgm" "$base.gif" <<'PY'
import sys
def pnm(fn):
    d = open(fn, 'rb').read()
    if d[:2] == b'P7':
        i = d.index(b'ENDHDR\n') + 7; h = d[:i].split()
        g = lambda k: int(h[h.index(k) + 1])
        return g(b'WIDTH'), g(b'HEIGHT'), g(b'DEPTH'), d[i:]
    if d[:2] == b'P4':  # a bitmap mask: 0 (white) is opaque
        f = d.split(maxsplit=3); w, h = int(f[1]), int(f[2]); r = (w + 7) // 8
        bits = bytes(0 if f[3][y * r + x // 8] >> (7 - x % 8) & 1 else 255 for y in range(h) for x in range(w))
        return w, h, 1, bits
    f = d.split(maxsplit=4)
    return int(f[1]), int(f[2]), 3 if f[0] == b'P6' else 1, f[4]
g = open(sys.argv[4], 'rb').read()
background = g[13 + 3 * g[11]:16 + 3 * g[11]] if g[10] & 0x80 else None
w, h, dep, im = pnm(sys.argv[1]); cw, ch, _, c = pnm(sys.argv[2]); _, _, _, a = pnm(sys.argv[3])
# gifsicle grows the screen to hold every frame; ImageMagick clips to it.
assert w <= cw and h <= ch, (sys.argv[1], w, h, cw, ch)
for p in range(w * h):
    q = p // w * cw + p % w
    ia = im[p * dep + 3] if dep == 4 else 255
    if ia == 0 and a[q] == 255 and c[q * 3:q * 3 + 3] == background:
        continue  # disposed to the background: gifsicle paints the background colour there
    if ia != a[q] or (ia and im[p * dep:p * dep + 3] != c[q * 3:q * 3 + 3]):
        raise SystemExit('%s: ImageMagick and gifsicle differ at pixel %d' % (sys.argv[1], p))
PY
    done
}

$IM -size 40x30 xc:'#FF0000' -fill '#2040C0' -draw 'rectangle 20,0 39,29' \
    -fill '#E0C020' -draw 'rectangle 4,18 12,26' "$tmp/bg.gif"
$IM -size 12x10 xc:'#FF0000' -fill '#20A040' -draw 'rectangle 3,2 8,7' "$tmp/sprite.gif"
$IM -size 12x10 xc:'#8020A0' -fill '#20C0C0' -draw 'rectangle 2,2 6,6' "$tmp/sprite2.gif"

# Red (index 0 of the shared table) is transparent in the second frame only.
gifsicle -d 50 "$tmp/bg.gif" -p 5,5 -t '#FF0000' "$tmp/sprite.gif" >gifsicle-leak.gif
reference gifsicle-leak

# Disposal to background and to previous; the last frame hangs over the bottom right
# corner (gifsicle grows the screen to hold it, so the screen is put back to 40 x 30).
gifsicle -d 20 "$tmp/bg.gif" -D background -p 5,5 "$tmp/sprite.gif" -D previous -p 20,12 "$tmp/sprite2.gif" \
    -D none -p 2,2 -t '#FF0000' "$tmp/sprite.gif" -p 33,24 "$tmp/sprite2.gif" >"$tmp/dispose.gif" 2>/dev/null
edit screen "$tmp/dispose.gif" gifsicle-dispose.gif 40x30
reference gifsicle-dispose

# Later frames with local tables of their own colours.
$IM -delay 20 -dispose none "$tmp/bg.gif" -page +5+5 "$tmp/sprite2.gif" -page +20+3 "$tmp/sprite.gif" im-local.gif
reference im-local

# A sprite moving over a transparent screen, no global table: frame 0 is small.
$IM -size 40x30 xc:none "$tmp/clear.png"
gifsicle -d 30 -D background -p 0,0 "$tmp/sprite.gif" -p 14,10 "$tmp/sprite.gif" -p 28,20 "$tmp/sprite.gif" \
    >"$tmp/moving.gif"
edit screen "$tmp/moving.gif" "$tmp/moving40.gif" 40x30
edit no-global "$tmp/moving40.gif" gifsicle-noglobal.gif
$IM gifsicle-noglobal.gif -coalesce PAM:gifsicle-noglobal-%d.pam

# One picture with an empty comment, or a 5-byte graphic control block, before its image;
# one whose screen is smaller than the image, one with a screen of no size.
$IM -size 30x20 -seed 3 plasma:fractal +dither -colors 64 "$tmp/plain.gif"
edit insert-before-image "$tmp/plain.gif" im-empty-comment.gif 21FE00
edit insert-before-image "$tmp/plain.gif" im-control5.gif 21F90500000000FF00
edit screen "$tmp/plain.gif" im-small-screen.gif 10x8
edit screen "$tmp/plain.gif" im-zero-screen.gif 0x0
$IM "$tmp/plain.gif" im-plain.ppm
# The edits leave the image data as it was, so each file must show im-plain.ppm: ImageMagick
# and giftopnm read the empty comment and the 5-byte control block alike; gifsicle (and
# ImageMagick unless coalescing) shows the small and the empty screen grown to the image
# (giftopnm refuses both).
for f in im-empty-comment im-control5; do
    n=$(compare -metric AE $f.gif im-plain.ppm null: 2>&1 || true)
    [ "$n" = 0 ] || { echo "$f: ImageMagick reads it differently ($n)"; exit 1; }
    giftopnm $f.gif >"$tmp/g.ppm" 2>/dev/null
    n=$(compare -metric AE "$tmp/g.ppm" im-plain.ppm null: 2>&1 || true)
    [ "$n" = 0 ] || { echo "$f: giftopnm reads it differently ($n)"; exit 1; }
done
for f in im-small-screen im-zero-screen; do
    gifsicle -U $f.gif >"$tmp/u.gif"
    [ "$(gifsicle --info "$tmp/u.gif" | awk '/logical screen/ { print $3 }')" = 30x20 ]
    giftopnm "$tmp/u.gif" >"$tmp/u.ppm"
    n=$(compare -metric AE "$tmp/u.ppm" im-plain.ppm null: 2>&1 || true)
    [ "$n" = 0 ] || { echo "$f: gifsicle shows it differently ($n)"; exit 1; }
done
