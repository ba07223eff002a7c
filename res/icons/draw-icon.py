#!/usr/bin/env python3
"""Draws the tool's icon (an upload arrow over a phone's keypad base on a
blue tile) as OUTDIR/orvex-N.png for each size N given. The build runs it for
the sizes the window and the desktop's icon theme need. Plain Python, no
libraries.

usage: draw-icon.py OUTDIR N..."""
import os
import struct
import sys
import zlib

BLUE = (31, 95, 174)
DARK = (18, 58, 110)
WHITE = (255, 255, 255)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(x, y):
    """Colour of the point (x, y) in a 1x1 design square, or None outside."""
    if not inside_round_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.18):
        return None
    if not inside_round_rect(x, y, 0.08, 0.08, 0.92, 0.92, 0.14):
        return DARK
    # Arrow: head triangle and shaft.
    if 0.16 <= y <= 0.46 and abs(x - 0.5) <= (y - 0.16) * 0.95:
        return WHITE
    if 0.45 <= y <= 0.64 and abs(x - 0.5) <= 0.09:
        return WHITE
    # Base: the phone, a bar with three keys.
    if 0.70 <= y <= 0.84 and 0.20 <= x <= 0.80:
        for kx in (0.32, 0.50, 0.68):
            if abs(x - kx) <= 0.05 and 0.74 <= y <= 0.80:
                return BLUE
        return WHITE
    return BLUE


def render(size):
    # Eight by eight samples a pixel for the small sizes; the large ones need
    # fewer to look as smooth and would otherwise take long in plain Python.
    ss = max(2, min(8, 256 // size))
    rows = []
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    c = shade((px + (sx + 0.5) / ss) / size, (py + (sy + 0.5) / ss) / size)
                    if c is not None:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            n = acc[3]
            if n == 0:
                row += bytes(4)
            else:
                row += bytes([acc[0] // n, acc[1] // n, acc[2] // n, 255 * n // (ss * ss)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, data):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b"")


if len(sys.argv) < 3:
    sys.exit(__doc__.strip().splitlines()[-1])
for n in map(int, sys.argv[2:]):
    with open(os.path.join(sys.argv[1], f"orvex-{n}.png"), "wb") as f:
        f.write(png(n, render(n)))
