#!/usr/bin/env python3
"""Re-encodes an uncompressed 4-bit BMP (40-byte header) as RLE4. Every row starts with a
run of one pixel, so that the runs and absolute runs after it start at odd pixels; runs
take two alternating colours where the row has them, and short stretches between runs go
out as absolute runs (three pixels or more) or as runs of one or two pixels."""
import struct
import sys

src, dst = sys.argv[1], sys.argv[2]
b = open(src, "rb").read()
off = struct.unpack_from("<I", b, 10)[0]
size, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", b, 14)
assert size == 40 and bpp == 4 and comp == 0 and h > 0
stride = (4 * w + 31) // 32 * 4


def pixels(y):
    row = b[off + y * stride : off + (y + 1) * stride]
    return [(row[x // 2] >> (0 if x & 1 else 4)) & 15 for x in range(w)]


def alternating(p, i):
    """Length of the run a, b, a, b, ... starting at i (at most 255)."""
    n = 1
    while i + n < len(p) and n < 255 and p[i + n] == p[i + (n & 1)]:
        n += 1
    return n


def short(out, p):
    """Pixels between runs: an absolute run of three or more, else runs of one or two."""
    while p:
        if len(p) >= 3:
            take = p[:255]
            packed = bytes((take[k] << 4) | (take[k + 1] if k + 1 < len(take) else 0) for k in range(0, len(take), 2))
            out += bytes([0, len(take)]) + packed + (b"\0" if len(packed) & 1 else b"")
            p = p[255:]
        else:
            out += bytes([len(p), (p[0] << 4) | (p[1] if len(p) > 1 else 0)])
            p = []


data = bytearray()
for y in range(h):
    p = pixels(y)
    data += bytes([1, p[0] << 4])
    i, pending = 1, []
    while i < w:
        n = alternating(p, i)
        if n >= 4:
            short(data, pending)
            pending = []
            data += bytes([n, (p[i] << 4) | (p[i + 1] if n > 1 else 0)])
            i += n
        else:
            pending.append(p[i])
            i += 1
    short(data, pending)
    data += b"\0\0"
data += b"\0\1"

palette = b[14 + 40 : off]
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 2, len(data), 0, 0, 16, 0)
head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(palette) + len(data), 0, 0, 14 + 40 + len(palette))
open(dst, "wb").write(head + info + palette + data)
