#!/usr/bin/env python3
"""Writes the largest image of a Windows icon (.ico) as a PNG file, for the
Linux package's menu icon, and prints its size in pixels. Takes the images
an icon holds today: PNG ones as they are, and 32-bit ones with alpha
(BITMAPINFOHEADER, bottom-up BGRA rows). The PNG written depends on the
icon alone (no time stamp).

Usage: ico_to_png.py ICON.ico OUT.png
"""

import struct
import sys
import zlib


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_from_bgra(width, height, rows):
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def largest_image(data, path):
    if len(data) < 6 or data[:4] != b"\0\0\1\0":
        fail(f"{path} is not a Windows icon (.ico) file")
    count = struct.unpack_from("<H", data, 4)[0]
    best = None
    for i in range(count):
        if 6 + 16 * (i + 1) > len(data):
            fail(f"{path}: the icon's directory is cut short")
        width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if offset + size > len(data):
            fail(f"{path}: image {i + 1} lies outside the file")
        side = width or 256
        if best is None or side > best[0]:
            best = (side, data[offset:offset + size])
    if best is None:
        fail(f"{path} holds no image")
    return best[1]


def to_png(image, path):
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        width, height = struct.unpack_from(">II", image, 16)
        return width, height, image
    header_size, width, double_height, _, bits = struct.unpack_from("<IiiHH", image, 0)
    height = double_height // 2
    if header_size != 40 or bits != 32 or width <= 0 or height <= 0:
        fail(f"{path}: its largest image is neither PNG nor 32-bit with alpha; save the icon with one")
    stride = width * 4
    pixels = image[header_size:header_size + stride * height]
    if len(pixels) != stride * height:
        fail(f"{path}: its largest image is cut short")
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray(pixels[y * stride:(y + 1) * stride])
        row[0::4], row[2::4] = row[2::4], row[0::4]  # BGRA to RGBA
        rows.append(row)
    return width, height, png_from_bgra(width, height, rows)


def main():
    if len(sys.argv) != 3:
        fail("usage: ico_to_png.py ICON.ico OUT.png")
    path = sys.argv[1]
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        fail(f"cannot read {path}: {e.strerror}")
    width, height, png = to_png(largest_image(data, path), path)
    if width != height:
        fail(f"{path}: its largest image is {width} x {height}; a menu icon must be square")
    with open(sys.argv[2], "wb") as f:
        f.write(png)
    print(width)


if __name__ == "__main__":
    main()
