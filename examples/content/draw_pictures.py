#!/usr/bin/env python3
"""Draws the lobby's two pictures as 24-bit BMP files (standard library only).

  lobby/icons.bmp  192 x 64: roulette wheel, two cards, slot machine; the
                   magenta background (#FF00FF) is transparent in the lobby.
  lobby/felt.bmp   64 x 64 grey grain that tiles seamlessly; the lobby
                   lightens or darkens its felt colour by it (128 = as is).

Run from this folder after changing a picture: python3 draw_pictures.py
"""
import math
import random
import struct

MAGENTA = (255, 0, 255)


def write_bmp(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b); rows stored bottom up, padded to 4 bytes."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = (min(255, max(0, round(v))) for v in pixel(x, y))
            row += bytes((b, g, r))
        row += bytes(stride - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def supersampled(shade, x, y, n=4):
    """Averages shade() over n x n samples; the pixel's centre decides whether
    it is background at all, so outlines stay hard against the key colour."""
    if shade(x + 0.5, y + 0.5) is None:
        return MAGENTA
    total, count = [0, 0, 0], 0
    for j in range(n):
        for i in range(n):
            c = shade(x + (i + 0.5) / n, y + (j + 0.5) / n)
            if c is None:
                continue
            total = [t + v for t, v in zip(total, c)]
            count += 1
    return tuple(min(254, round(t / count)) for t in total)  # never exactly magenta


def lerp(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


# ---- roulette wheel --------------------------------------------------------

def roulette(px, py):
    x, y = px - 32, py - 32
    r = math.hypot(x, y)
    a = math.atan2(y, x)
    if r > 30.5:
        return None
    if r > 27.5:
        return lerp((120, 70, 30), (70, 38, 16), (r - 27.5) / 3)  # wooden rim
    if r > 26.5:
        return (214, 170, 72)  # gold ring
    ball = math.hypot(x - 22 * math.cos(-0.9), y - 22 * math.sin(-0.9))
    if ball < 2.6:
        return lerp((255, 255, 255), (190, 190, 200), ball / 2.6)
    if r > 17:
        pocket = int(((a + math.pi) / (2 * math.pi)) * 37) % 37
        if r > 25.6 or (abs(((a + math.pi) / (2 * math.pi) * 37) % 1 - 0.0) < 0.06):
            return (214, 170, 72)  # frets
        if pocket == 0:
            return (20, 140, 60)
        return (196, 28, 36) if pocket % 2 else (24, 24, 28)
    if r > 16:
        return (214, 170, 72)
    if r > 5:
        t = (r - 5) / 11
        shade = 0.75 + 0.25 * math.cos(a - 2.2)
        return tuple(c * shade for c in lerp((150, 96, 44), (96, 56, 24), t))
    # turret: gold cross over a gold hub
    return lerp((250, 222, 140), (196, 150, 60), r / 5)


# ---- two playing cards ------------------------------------------------------

GLYPH_A = [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"]
GLYPH_K = ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"]


def heart(u, v, s):
    """Heart of size s centred at 0,0 (v down)."""
    u, v = u / s, v / s
    if v < 0.1 and (math.hypot(u - 0.25, v + 0.05) < 0.27 or math.hypot(u + 0.25, v + 0.05) < 0.27):
        return True
    return v >= -0.05 and abs(u) < 0.52 * (1 - (v + 0.05) / 0.6) and v < 0.55


def spade(u, v, s):
    if heart(u, -v + 0.1 * s, s):
        return True
    return 0.1 * s < v < 0.55 * s and abs(u) < 0.06 * s + (v - 0.1 * s) * 0.35


def card(u, v, rank_glyph, suit, red):
    """Card 26 x 36 with its top-left corner at 0,0; None outside."""
    w, h, rad = 26, 36, 3.5
    if not (0 <= u < w and 0 <= v < h):
        return None
    cx = min(max(u, rad), w - rad)
    cy = min(max(v, rad), h - rad)
    d = math.hypot(u - cx, v - cy)
    if d > rad:
        return None
    if d > rad - 1 or u < 1 or v < 1 or u > w - 1 or v > h - 1:
        return (150, 150, 160)
    ink = (200, 24, 36) if red else (24, 24, 30)
    gx, gy = int((u - 3) / 1.2), int((v - 3) / 1.2)
    if 0 <= gx < 5 and 0 <= gy < 7 and rank_glyph[gy][gx] == "#":
        return ink
    if suit(u - 13, v - 21, 15):
        return ink
    return (250, 248, 240)


def cards(px, py):
    result = None
    for angle, ox, oy, glyph, suit, red in ((-0.28, 10, 16, GLYPH_A, spade, False),
                                            (0.22, 29, 10, GLYPH_K, heart, True)):
        # Rotate the point into the card's own frame about its centre.
        cx, cy = ox + 13, oy + 18
        dx, dy = px - cx, py - cy
        u = dx * math.cos(-angle) - dy * math.sin(-angle) + 13
        v = dx * math.sin(-angle) + dy * math.cos(-angle) + 18
        c = card(u, v, glyph, suit, red)
        if c is not None:
            result = c  # the later card lies on top
    return result


# ---- slot machine -----------------------------------------------------------

GLYPH_7 = ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."]


def slots(px, py):
    x, y = px, py
    # lever
    if math.hypot(x - 56, y - 14) < 4:
        return lerp((255, 120, 120), (190, 20, 30), math.hypot(x - 55, y - 13) / 4)
    if 54.5 < x < 57.5 and 14 < y < 40:
        return (200, 200, 210)
    if 50 < x < 57 and 36 < y < 44:
        return (120, 120, 130)
    # body with a rounded top
    if 6 <= x < 52 and 14 <= y < 60:
        if y < 22 and math.hypot(x - 29, y - 34) > 23.5:
            return None
        edge = x < 8 or x >= 50 or y >= 58
        if edge:
            return (120, 14, 22)
        if 12 <= x < 46 and 26 <= y < 46:
            # three reels
            reel = int((x - 12) // 11.34)
            rx = (x - 12) - reel * 11.34
            if rx < 1.2:
                return (60, 60, 70)
            shade = 1 - abs(y - 36) / 14
            gx, gy = int((rx - 2.2) / 1.5), int((y - 31) / 1.5)
            if 0 <= gx < 5 and 0 <= gy < 7 and GLYPH_7[gy][gx] == "#":
                return lerp((120, 0, 10), (220, 20, 30), shade)
            return lerp((170, 170, 176), (255, 255, 250), shade)
        if 12 <= x < 46 and 48 <= y < 54:
            return (30, 30, 34)  # coin slot panel
        if y < 24:
            return lerp((250, 214, 110), (214, 160, 50), (y - 12) / 12)  # gold crown
        return lerp((220, 40, 48), (150, 16, 26), (y - 24) / 36)
    return None


def icons(x, y):
    pictures = (roulette, cards, slots)
    which = x // 64
    return supersampled(pictures[which], x - which * 64, y)


def felt():
    """Tileable grain: smooth value noise on a wrapping 8 x 8 lattice plus a
    little per-pixel noise, around grey 128."""
    rng = random.Random(7)
    lattice = [[rng.uniform(-1, 1) for _ in range(8)] for _ in range(8)]
    fine = [[rng.uniform(-1, 1) for _ in range(64)] for _ in range(64)]

    def smooth(x, y):
        gx, gy = x / 8, y / 8
        x0, y0 = int(gx) % 8, int(gy) % 8
        x1, y1 = (x0 + 1) % 8, (y0 + 1) % 8
        tx, ty = gx - int(gx), gy - int(gy)
        tx, ty = tx * tx * (3 - 2 * tx), ty * ty * (3 - 2 * ty)
        top = lattice[y0][x0] * (1 - tx) + lattice[y0][x1] * tx
        bottom = lattice[y1][x0] * (1 - tx) + lattice[y1][x1] * tx
        return top * (1 - ty) + bottom * ty

    def pixel(x, y):
        v = round(128 + 6 * smooth(x, y) + 7 * fine[y][x])
        return (v, v, v)

    return pixel


if __name__ == "__main__":
    write_bmp("lobby/icons.bmp", 192, 64, icons)
    write_bmp("lobby/felt.bmp", 64, 64, felt())
