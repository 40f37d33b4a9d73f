#!/usr/bin/env python3
"""Draws the updater's icon (a device with a download arrow) and writes it as a .ico file
with a 32x32 and a 16x16 image, 32 bits per pixel with alpha.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

BLUE = (0x1F, 0x5F, 0xB0, 0xFF)
DARK = (0x10, 0x30, 0x60, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
GREEN = (0x2E, 0xA0, 0x44, 0xFF)
CLEAR = (0, 0, 0, 0)


def draw(size):
    """Rows top to bottom of RGBA tuples, drawn on a 32-unit grid scaled to size."""
    def pixel(x, y):
        u = (x + 0.5) * 32.0 / size
        v = (y + 0.5) * 32.0 / size
        # Instrument body: a rounded rectangle with a dark frame.
        if 4 <= u < 28 and 12 <= v < 30:
            corner = (u < 6 or u >= 26) and (v < 14 or v >= 28)
            if corner:
                return CLEAR
            frame = u < 5.5 or u >= 26.5 or v < 13.5 or v >= 28.5
            if frame:
                return DARK
            # Display window on the body.
            if 8 <= u < 24 and 16 <= v < 24:
                return WHITE
            return BLUE
        # Download arrow above the body: shaft and head.
        if 14 <= u < 18 and 1 <= v < 9:
            return GREEN
        if 9 <= v < 13 and abs(u - 16) < (13 - v) * 1.6:
            return GREEN
        return CLEAR

    return [[pixel(x, y) for x in range(size)] for y in range(size)]


def dib(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    color = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            color += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(color) + bytes(mask)


def main():
    images = [dib(32), dib(16)]
    sizes = [32, 16]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
