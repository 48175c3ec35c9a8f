#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as resources/launcher.ico.

One icon group of eight images: 16, 24, 32, 48 and 64 pixels at 32 bits per
pixel (with alpha), and 16, 32 and 48 pixels at 8 bits per pixel (palette
plus transparency mask) for old shells and low-colour displays. The picture
is a hovering kestrel on a rounded tile, drawn from geometry with 4x4
supersampling, so the output is the same on every run and needs nothing
beyond the standard library.

Usage: python3 scripts/make_icon.py [output path]
"""

import os
import struct
import sys

SIZES_32BPP = (16, 24, 32, 48, 64)
SIZES_8BPP = (16, 32, 48)
SUPERSAMPLE = 4

TILE_TOP = (0x1F, 0x4E, 0x79)
TILE_BOTTOM = (0x2A, 0x9D, 0x8F)
BIRD = (0xF6, 0xE7, 0xCF)
BIRD_SHADE = (0xE0, 0x8A, 0x3C)


def inside_rounded_tile(u, v, margin=0.04, radius=0.22):
    lo, hi = margin, 1.0 - margin
    if not (lo <= u <= hi and lo <= v <= hi):
        return False
    cx = min(max(u, lo + radius), hi - radius)
    cy = min(max(v, lo + radius), hi - radius)
    return (u - cx) ** 2 + (v - cy) ** 2 <= radius ** 2


def inside_polygon(u, v, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > v) != (yj > v) and u < (xj - xi) * (v - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


LEFT_WING = [(0.47, 0.47), (0.31, 0.33), (0.09, 0.37), (0.27, 0.45),
             (0.45, 0.60)]
RIGHT_WING = [(1.0 - x, y) for (x, y) in LEFT_WING]
TAIL = [(0.45, 0.63), (0.55, 0.63), (0.59, 0.86), (0.41, 0.86)]
WING_TIP_LEFT = [(0.31, 0.33), (0.09, 0.37), (0.20, 0.41)]
WING_TIP_RIGHT = [(1.0 - x, y) for (x, y) in WING_TIP_LEFT]


def bird_colour(u, v):
    """The bird's colour at (u, v), or None outside the bird."""
    if inside_polygon(u, v, WING_TIP_LEFT) or inside_polygon(u, v, WING_TIP_RIGHT):
        return BIRD_SHADE
    if ((u - 0.5) / 0.075) ** 2 + ((v - 0.53) / 0.15) ** 2 <= 1.0:
        return BIRD
    if (u - 0.5) ** 2 + (v - 0.35) ** 2 <= 0.058 ** 2:
        return BIRD
    for shape in (LEFT_WING, RIGHT_WING, TAIL):
        if inside_polygon(u, v, shape):
            return BIRD
    return None


def sample(u, v):
    """RGBA of one sample point; v grows downwards."""
    if not inside_rounded_tile(u, v):
        return (0, 0, 0, 0)
    colour = bird_colour(u, v)
    if colour is None:
        colour = tuple(round(a + (b - a) * v) for a, b in zip(TILE_TOP, TILE_BOTTOM))
    return colour + (255,)


def render(size):
    """Rows top to bottom of (r, g, b, a), premultiplied averages undone."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((x + (sx + 0.5) / n) / size,
                                        (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                            round(acc[2] / acc[3]), round(acc[3] / (n * n))))
        rows.append(row)
    return rows


def palette_256():
    """A 6x6x6 colour cube followed by 40 greys."""
    levels = (0, 51, 102, 153, 204, 255)
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(i * 255 / 41),) * 3 for i in range(1, 41)]
    return colours


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((p - c) ** 2 for p, c in zip(palette[i], colour)))


def mask_rows(rows, size):
    """The 1-bit AND mask, bottom-up, rows padded to 32 bits: 1 = transparent."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def bitmap_header(size, bits, colours_used, image_bytes):
    # The height counts the colour bitmap and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                       image_bytes, 0, 0, colours_used, 0)


def image_32bpp(size):
    rows = render(size)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = mask_rows(rows, size)
    return bitmap_header(size, 32, 0, len(pixels) + len(mask)) + bytes(pixels) + mask


def image_8bpp(size):
    rows = render(size)
    palette = palette_256()
    stride = ((size + 3) // 4) * 4
    pixels = bytearray()
    cache = {}
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            if a >= 128:
                key = (r, g, b)
                if key not in cache:
                    cache[key] = nearest(palette, key)
                line[x] = cache[key]
        pixels += line
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    mask = mask_rows(rows, size)
    return (bitmap_header(size, 8, 256, len(pixels) + len(mask)) + table +
            bytes(pixels) + mask)


def build_icon():
    images = [(s, 32, image_32bpp(s)) for s in SIZES_32BPP]
    images += [(s, 8, image_8bpp(s)) for s in SIZES_8BPP]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1,
                               bits, len(blob), offset + len(data))
        data += blob
    return directory + entries + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "resources", "launcher.ico")
    with open(target, "wb") as out:
        out.write(build_icon())


if __name__ == "__main__":
    main()
