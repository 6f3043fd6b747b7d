#!/usr/bin/env python3
"""Draws the program's icon, a casino chip, into quillon.ico (16, 32 and
48 pixels, 32-bit with alpha). The icon is kept in the tree; run this again
after changing the drawing:  python3 src/resources/make_icon.py
"""

import math
import os
import struct

RED = (0xC8, 0x1E, 0x28)
DARK_RED = (0x8C, 0x10, 0x18)
WHITE = (0xF4, 0xF1, 0xE8)
GOLD = (0xF0, 0xC0, 0x40)
EDGE = (0x40, 0x08, 0x0C)


def chip_colour(x, y, size):
    """The colour and coverage (0-1) at the centre of pixel (x, y)."""
    c = size / 2
    dx, dy = x + 0.5 - c, y + 0.5 - c
    r = math.hypot(dx, dy) / c  # 0 at the centre, 1 at the rim
    if r > 1:
        return (0, 0, 0), 0.0
    # Anti-aliased rim: coverage falls off over the last pixel.
    coverage = min(1.0, (1 - r) * c + 0.5)
    angle = (math.degrees(math.atan2(dy, dx)) + 360) % 360
    if r > 0.92:
        colour = EDGE
    elif r > 0.68:
        # Six white edge spots around a red band.
        colour = WHITE if int(angle // 30) % 2 == 0 else RED
    elif r > 0.62:
        colour = DARK_RED
    elif r > 0.56:
        colour = WHITE
    elif r > 0.5:
        colour = DARK_RED
    else:
        colour = RED
        # A gold diamond in the middle.
        if abs(dx) / c + abs(dy) / c < 0.3:
            colour = GOLD
    return colour, coverage


def icon_image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, AND mask."""
    pixels = bytearray()
    for row in range(size - 1, -1, -1):
        for x in range(size):
            (r, g, b), a = chip_colour(x, row, size)
            pixels += bytes((b, g, r, round(255 * a)))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in range(size - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(size):
            if chip_colour(x, row, size)[1] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def main():
    sizes = [16, 32, 48]
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "quillon.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
