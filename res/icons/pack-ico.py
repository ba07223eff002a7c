#!/usr/bin/env python3
"""Packs the icon's PNGs (draw-icon.py's OUTDIR/orvex-N.png) into one Windows
icon file. Sizes up to 128 go in as 32-bit bitmaps with their mask, which
every version of Windows reads; 256 goes in as PNG, as Windows expects that
size. Plain Python, no libraries.

usage: pack-ico.py OUT.ico PNGDIR N..."""
import os
import struct
import sys
import zlib


def read_png(path):
    """(size, RGBA rows) of an 8-bit RGBA, non-interlaced PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if width != height or depth != 8 or colour != 6 or interlace != 0:
        sys.exit(f"{path}: expected a square 8-bit RGBA PNG")
    raw, stride, rows, prev = zlib.decompress(idat), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(bytes(line))
        prev = line
    return width, rows, data


def bitmap_entry(size, rows):
    """A BITMAPINFOHEADER, the BGRA pixels bottom-up, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels, mask = b"", b""
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        pixels += b"".join(bytes((row[i + 2], row[i + 1], row[i], row[i + 3])) for i in range(0, len(row), 4))
        bits = bytearray(mask_stride)
        for x in range(size):
            if row[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


if len(sys.argv) < 4:
    sys.exit(__doc__.strip().splitlines()[-1])
images = []
for n in sorted(map(int, sys.argv[3:])):
    size, rows, png = read_png(os.path.join(sys.argv[2], f"orvex-{n}.png"))
    if size != n:
        sys.exit(f"orvex-{n}.png is {size} pixels")
    images.append((size, png if size >= 256 else bitmap_entry(size, rows)))
directory = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, body in images:
    directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
    offset += len(body)
with open(sys.argv[1], "wb") as f:
    f.write(directory + b"".join(body for _, body in images))
