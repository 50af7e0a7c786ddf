#!/usr/bin/python3
"""Draws the icons (icon16.png to icon256.png), the banner (banner.png) and the banner with
twice the pixels for screens at 200 % (banner@2x.png).

The window uses icon16.png, icon32.png and, at 200 %, icon64.png; all sizes go into the desktop's
icon theme when the program is installed.

Standard library only: every pixel is computed from a few shapes, supersampled for smooth edges,
and written as PNG with zlib. Run it from anywhere; the pictures land beside this script.
"""

import math
import os
import struct
import zlib

BACKGROUND = (6, 12, 22)
SCOPE = (10, 30, 24)
GREEN = (70, 235, 130)
TEXT = (236, 244, 240)
AMBER = (255, 184, 28)

# 5 x 7 dot-matrix glyphs, enough for the name.
GLYPHS = {
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "G": ["01111", "10000", "10000", "10111", "10001", "10001", "01111"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    " ": ["00000"] * 7,
}


def mix(under, over, amount):
    amount = max(0.0, min(1.0, amount))
    return tuple(u + (o - u) * amount for u, o in zip(under, over))


def band(distance, half_width):
    """Coverage of a line of the given half width at this distance from its centre."""
    return 1.0 if abs(distance) <= half_width else 0.0


def radar(colour, x, y, cx, cy, radius, rings, line, blips):
    """Paints a radar scope: dark disc, rings, cross hairs, a fading sweep and a few echoes."""
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d > radius:
        return colour
    colour = mix(colour, SCOPE, 0.9)
    # The sweep points to the upper right and leaves a fading trail behind it (anticlockwise).
    sweep = math.radians(-50)
    behind = (sweep - math.atan2(dy, dx)) % (2 * math.pi)
    trail = math.radians(80)
    if behind < trail:
        colour = mix(colour, GREEN, 0.55 * (1 - behind / trail) ** 2)
    for r in rings:
        colour = mix(colour, GREEN, 0.7 * band(d - r, line / 2))
    colour = mix(colour, GREEN, 0.35 * max(band(dx, line / 3), band(dy, line / 3)))
    along = dx * math.cos(sweep) + dy * math.sin(sweep)
    across = -dx * math.sin(sweep) + dy * math.cos(sweep)
    if along > 0:
        colour = mix(colour, GREEN, band(across, line / 2))
    for bx, by, br in blips:
        colour = mix(colour, (210, 255, 220), band(math.hypot(x - bx, y - by), br))
    return colour


def text(colour, x, y, left, top, cell, string):
    """Dot-matrix text; each lit cell is a rounded dot, the last two characters in amber."""
    col, row = math.floor((x - left) / cell), math.floor((y - top) / cell)
    if row < 0 or row >= 7 or col < 0 or col >= 6 * len(string):
        return colour
    index, gx = divmod(col, 6)
    if gx == 5 or GLYPHS[string[index]][row][gx] != "1":
        return colour
    fx, fy = (x - left) / cell - col - 0.5, (y - top) / cell - row - 0.5
    if max(abs(fx), abs(fy)) > 0.43 or math.hypot(max(abs(fx) - 0.25, 0), max(abs(fy) - 0.25, 0)) > 0.18:
        return colour
    return AMBER if index >= len(string) - 2 else TEXT


def render(width, height, shade, samples=4):
    """Rows of RGBA bytes, each pixel the mean of samples x samples points of shade(x, y)."""
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = shade(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    total = [total[0] + r * a, total[1] + g * a, total[2] + b * a, total[3] + a]
            alpha = total[3] / samples**2
            scale = 1 / total[3] if total[3] else 0
            row += bytes(round(c * scale) for c in total[:3]) + bytes([round(255 * alpha)])
        rows.append(row)
    return rows


def write_png(path, width, height, rows, keep_alpha):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    if not keep_alpha:
        rows = [bytes(b for i, b in enumerate(row) if i % 4 != 3) for row in rows]
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if keep_alpha else 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# The sizes a desktop's icon theme usually holds.
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


def icon(size):
    """A round scope on a transparent background; the small ones keep only the outer ring."""
    c = size / 2
    radius = c - 0.5
    # Lines thicken past 48 pixels, so that the large icons do not look like wire.
    line = (1.3 if size >= 32 else 1.0) * max(1.0, size / 48)
    outer = radius - 0.9 if size <= 32 else radius - 0.7 * line
    rings = [radius * 0.45, outer] if size >= 32 else [radius - 0.7]
    blips = [(c + radius * 0.5, c - radius * 0.2, size / 22)]

    def shade(x, y):
        if math.hypot(x - c, y - c) > radius:
            return (0, 0, 0, 0.0)
        return (*radar(BACKGROUND, x, y, c, c, radius, rings, line, blips), 1.0)

    return render(size, size, shade)


def banner(scale=1):
    width, height = 300, 100
    cx, cy, radius = 52, 50, 42
    blips = [(cx + 20, cy - 22, 1.8), (cx + 27, cy + 5, 1.4), (cx - 12, cy - 30, 1.2)]

    def shade(x, y):
        colour = mix(BACKGROUND, (2, 5, 10), y / height)
        colour = radar(colour, x, y, cx, cy, radius, [14, 28, 41], 1.3, blips)
        colour = text(colour, x, y, 106, 30, 4, "VIGIE K7")
        colour = mix(colour, GREEN, 0.6 * band(y - 68, 0.6) * (106 <= x <= 290))
        return (*colour, 1.0)

    return render(width * scale, height * scale, lambda x, y: shade(x / scale, y / scale),
                  samples=3)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "banner@2x.png"), 600, 200, banner(scale=2), False)
    for size in ICON_SIZES:
        write_png(os.path.join(here, f"icon{size}.png"), size, size, icon(size), True)
    write_png(os.path.join(here, "banner.png"), 300, 100, banner(), False)


if __name__ == "__main__":
    main()
