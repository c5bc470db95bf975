#!/usr/bin/env python3
"""Rewrites an uncompressed colour-mapped TGA: its map entries at another size (15, 16, 24
or 32 bits) and its map starting at another first index, the pixel indexes moved with it."""
import sys

src, dst, size, first = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
b = bytearray(open(src, "rb").read())
idlen, maptype, kind = b[0], b[1], b[2]
assert maptype == 1 and kind == 1 and b[7] == 24 and b[3] == b[4] == 0
length = b[5] | b[6] << 8
assert length + first <= 256
at = 18 + idlen
old = b[at : at + 3 * length]
pixels = b[at + 3 * length :]
entries = bytearray()
for i in range(length):
    blue, green, red = old[3 * i : 3 * i + 3]
    if size in (15, 16):
        w = (red >> 3) << 10 | (green >> 3) << 5 | blue >> 3
        entries += bytes([w & 255, w >> 8])
    elif size == 24:
        entries += bytes([blue, green, red])
    else:
        entries += bytes([blue, green, red, 255])
b[3], b[4], b[7] = first & 255, first >> 8, size
out = b[:at] + entries + bytes(p + first for p in pixels)
open(dst, "wb").write(out)
