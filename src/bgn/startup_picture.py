#!/usr/bin/env python3
"""Writes the start-up picture: 480 x 272 pixels, RGB565 little-endian, 960 bytes a line.

A plain placeholder (dark grey with a red band) until the themes bring the real picture.
"""
import struct
import sys

WIDTH, HEIGHT = 480, 272


def rgb565(r, g, b):
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)


def main(path):
    rows = []
    for y in range(HEIGHT):
        band = 120 <= y < 152
        row = bytearray()
        for x in range(WIDTH):
            if band:
                pixel = rgb565(96 + x * 159 // (WIDTH - 1), 16, 24)
            else:
                grey = 24 + y * 24 // HEIGHT
                pixel = rgb565(grey, grey, grey)
            row += struct.pack("<H", pixel)
        rows.append(bytes(row))
    with open(path, "wb") as out:
        out.write(b"".join(rows))


if __name__ == "__main__":
    main(sys.argv[1])
