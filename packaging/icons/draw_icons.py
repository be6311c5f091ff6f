#!/usr/bin/env python3
"""Draws the program's icon at 16, 24, 32, 48 and 256 pixels.

A dark tile with a grey frame standing for a large picture, a blue smaller
picture in its lower-left corner, and a white arrow pointing into it: a
large image made smaller. Every size is drawn from the same shapes with 8 x 8
samples per pixel. Only the standard library is needed.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

TILE = (0x20, 0x20, 0x20)
FRAME = (0x8a, 0x8a, 0x8a)
BLUE = (0x00, 0x78, 0xd7)
WHITE = (0xff, 0xff, 0xff)


def in_rounded_square(x, y, inset, radius):
    lo, hi = inset, 1.0 - inset
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_rect(x, y, left, top, right, bottom):
    return left <= x <= right and top <= y <= bottom


def in_frame(x, y, left, top, right, bottom, width):
    return in_rect(x, y, left, top, right, bottom) and not in_rect(
        x, y, left + width, top + width, right - width, bottom - width)


def distance_to_segment(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (x - q[0]) * (p[1] - q[1]) - (p[0] - q[0]) * (y - q[1])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def colour_at(x, y, size):
    """The colour of the shapes at (x, y) in unit coordinates, or None."""
    if not in_rounded_square(x, y, 0.02, 0.16):
        return None
    # Small sizes get thicker strokes so that they stay visible.
    stroke = max(0.065, 1.2 / size)
    colour = TILE
    if in_frame(x, y, 0.14, 0.14, 0.86, 0.86, stroke):
        colour = FRAME
    if in_rect(x, y, 0.14, 0.50, 0.50, 0.86):
        colour = BLUE
    # The arrow: from the upper right towards the small picture.
    shaft = max(0.05, 1.0 / size)
    if distance_to_segment(x, y, 0.74, 0.26, 0.52, 0.48) <= shaft:
        colour = WHITE
    if in_triangle(x, y, (0.40, 0.60), (0.42, 0.36), (0.64, 0.58)):
        colour = WHITE
    return colour


def render(size, samples=8):
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type None
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = colour_at(x, y, size)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = samples * samples
            if a:
                row += bytes([round(r / a), round(g / a), round(b / a), round(255 * a / n)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    for size in (16, 24, 32, 48, 256):
        (out / f"tolvane-{size}.png").write_bytes(png(size, render(size)))


if __name__ == "__main__":
    main()
