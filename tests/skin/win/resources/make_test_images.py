#!/usr/bin/env python3
"""Writes the small bitmaps and PNGs the skin resource tests compile in.

Run from anywhere; the files land beside this script. Every image is a few
solid blocks so that a test can tell from one pixel which part of the image
was drawn where.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

RED = (255, 0, 0)
GREEN = (0, 255, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
CYAN = (0, 255, 255)
WHITE = (255, 255, 255)
MAGENTA = (255, 0, 255)
ORANGE = (255, 128, 0)


def write_bmp(name, width, height, pixel, bits=24):
    """pixel(x, y) -> (r, g, b) or (r, g, b, a); y = 0 is the top row."""
    row_bytes = (width * bits // 8 + 3) & ~3
    rows = []
    for y in reversed(range(height)):  # bottom-up
        row = bytearray()
        for x in range(width):
            p = pixel(x, y)
            if bits == 24:
                row += bytes((p[2], p[1], p[0]))
            else:
                row += bytes((p[2], p[1], p[0], p[3] if len(p) > 3 else 255))
        row += b"\0" * (row_bytes - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + data)


def write_png(name, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a)."""
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw))
    png += chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


# A strip of four 10x10 sub-images: red, green, blue, yellow.
write_bmp("strip.bmp", 40, 10, lambda x, y: (RED, GREEN, BLUE, YELLOW)[x // 10])

# Mask mode: left half magenta (the mask colour), right half green.
write_bmp("mask.bmp", 10, 10, lambda x, y: MAGENTA if x < 5 else GREEN)

# Alpha mode: 32-bit, colour (200, 100, 50) at alpha 128 everywhere but the
# top-left pixel, which is opaque white.
write_bmp("alpha.bmp", 4, 4, lambda x, y: (255, 255, 255, 255) if x == y == 0 else (200, 100, 50, 128),
          bits=32)

# Nine-grid with left = top = 4 in a 9x9 image: corners red, the stretched
# column of the top and bottom rows green, the stretched row of the side
# columns blue, the centre pixel white.
def frame_pixel(x, y):
    cx, cy = x == 4, y == 4
    if cx and cy:
        return WHITE
    if cx:
        return GREEN
    if cy:
        return BLUE
    return RED
write_bmp("frame.bmp", 9, 9, frame_pixel)

# Two 7x5 bars side by side, left cap 3 wide, stretched column at x 3, right
# cap x 4..6. Bar 0: red | green | blue; bar 1: yellow | cyan | orange.
def bar_pixel(x, y):
    bar, cx = divmod(x, 7)
    part = 0 if cx < 3 else 1 if cx == 3 else 2
    return ((RED, GREEN, BLUE), (YELLOW, CYAN, ORANGE))[bar][part]
write_bmp("bar.bmp", 14, 5, bar_pixel)

# A PNG strip of two 10x6 sub-images: red, blue (opaque).
write_png("strip.png", 20, 6, lambda x, y: (255, 0, 0, 255) if x < 10 else (0, 0, 255, 255))

# Not a PNG at all: the pool gives no image.
with open(os.path.join(HERE, "broken.png"), "wb") as f:
    f.write(b"this is not an image\n")
