#!/usr/bin/env python3
"""Writes toolbox.bmp: the 16 by 15 picture a form designer's toolbox shows
for the FileSplit control, a page cut along a dashed line by scissors.

A Windows bitmap with a BITMAPINFOHEADER, 4 bits a pixel and the standard
16-colour palette. Usage: make_toolbox_bmp.py [output] (default: toolbox.bmp
beside this script).
"""

import os
import struct
import sys

# The standard 16-colour palette, in index order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# One character a pixel, top row first. The background is the button face
# (silver), which is also the bottom-left pixel hosts treat as transparent.
COLOURS = {".": 7, "#": 0, "k": 0, "w": 15, "g": 8, "r": 9, "b": 12}
PICTURE = [
    ".######.........",
    ".#wwww##........",
    ".#wwww#w#.......",
    ".#wggg####..bbb.",
    ".#wwwwwww#..b.b.",
    ".#wgggggw#..bbb.",
    ".#wwwwwkkkkb....",
    "r.rr.rr.rr.k....",
    ".#wwwwwkkkkb....",
    ".#wgggggw#..bbb.",
    ".#wwwwwww#..b.b.",
    ".#wgggggw#..bbb.",
    ".#wwwwwww#......",
    ".#wwwwwww#......",
    ".#########......",
]
WIDTH, HEIGHT = 16, 15


def pixel_rows():
    """The rows as palette indices, bottom row first as the format stores them."""
    assert len(PICTURE) == HEIGHT and all(len(row) == WIDTH for row in PICTURE)
    return [[COLOURS[c] for c in row] for row in reversed(PICTURE)]


def encode() -> bytes:
    stride = (WIDTH * 4 + 31) // 32 * 4  # rows padded to whole 32-bit words
    pixels = b""
    for row in pixel_rows():
        packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, WIDTH, 2))
        pixels += packed.ljust(stride, b"\0")
    palette = b"".join(struct.pack("<BBBx", b, g, r) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels),
                              3780, 3780, 16, 0)  # 3780 pixels a metre: 96 dpi
    return file_header + info_header + palette + pixels


def main() -> None:
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "toolbox.bmp")
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, "wb") as out:
        out.write(encode())


if __name__ == "__main__":
    main()
