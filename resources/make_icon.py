#!/usr/bin/env python3
"""Draws the program icon (a five-pin MIDI socket) and writes app.ico.

The build does not run this script: app.ico is committed beside it. Run it again
after changing the drawing:  python3 make_icon.py [output.ico]

Standard library only. Each size is drawn on its own (not scaled from another), with
4 x 4 supersampling for smooth edges, and stored as a 32-bit BGRA DIB with an AND
mask, which every Windows version and Wine read; the 256 px image (Explorer's large
views, 200 % scaling) is stored as a PNG, as Windows expects at that size.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 32, 48, 64, 256)
PNG_FROM = 256
SUPERSAMPLE = 4

# Colours as (r, g, b).
RIM_LIGHT = (222, 226, 232)
RIM_DARK = (120, 128, 140)
INSERT = (28, 32, 40)
INSERT_EDGE = (58, 64, 76)
OUTLINE = (70, 76, 88)
PIN = (236, 190, 72)
PIN_SHADE = (170, 120, 30)
ARROW = (64, 200, 120)


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


class Shape:
    """One layer: a coverage test plus a colour function, both in icon units (0..1)."""

    def __init__(self, inside, colour):
        self.inside = inside
        self.colour = colour


def socket_shapes(size):
    # Small sizes get fatter pins and a thinner rim, otherwise the pins vanish at 16 px.
    small = size <= 16
    outline = 0.49
    rim_outer = 0.455 if small else 0.465
    rim_inner = 0.38 if small else 0.40
    pin_radius = 0.075 if small else 0.055
    pin_ring = 0.24 if small else 0.25
    pins = []
    # Five pins on a half circle, the 180-degree DIN layout, opening downwards.
    for k in range(5):
        angle = math.pi * k / 4
        pins.append((0.5 + pin_ring * math.cos(angle), 0.5 - pin_ring * math.sin(angle) + 0.06))

    def edge(x, y):
        # A dark outline keeps the light rim visible on light backgrounds.
        return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= outline ** 2

    def rim(x, y):
        return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= rim_outer ** 2

    def rim_colour(x, y):
        # Light from the top left: a metal ring.
        t = min(max((x + y) / 2.0, 0.0), 1.0)
        return lerp(RIM_LIGHT, RIM_DARK, t)

    def insert(x, y):
        return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= rim_inner ** 2

    def insert_colour(x, y):
        d = math.hypot(x - 0.5, y - 0.5) / rim_inner
        return lerp(INSERT, INSERT_EDGE, max(0.0, d - 0.7) / 0.3)

    def key(x, y):
        # The locating notch at the bottom of the insert.
        return abs(x - 0.5) <= 0.06 and 0.5 + rim_inner - 0.1 <= y <= 0.5 + rim_inner + 0.02

    def pin(x, y):
        return any((x - px) ** 2 + (y - py) ** 2 <= pin_radius ** 2 for px, py in pins)

    def pin_colour(x, y):
        for px, py in pins:
            d = math.hypot(x - px, y - py) / pin_radius
            if d <= 1.0:
                return lerp(PIN, PIN_SHADE, d * d)
        return PIN

    shapes = [
        Shape(edge, lambda x, y: OUTLINE),
        Shape(rim, rim_colour),
        Shape(insert, insert_colour),
        Shape(key, lambda x, y: RIM_DARK),
        Shape(pin, pin_colour),
    ]
    if not small:
        shapes.append(Shape(arrow_test(), lambda x, y: ARROW))
    return shapes


def arrow_test():
    """A small two-way arrow under the pins: data goes in and out of the socket."""
    y0, half = 0.66, 0.035
    left, right, head = 0.36, 0.64, 0.07

    def inside(x, y):
        if left + head <= x <= right - head and abs(y - y0) <= half * 0.5:
            return True
        # Arrow heads as triangles pointing outwards.
        if left <= x < left + head and abs(y - y0) <= (x - left) / head * half * 1.6:
            return True
        if right - head < x <= right and abs(y - y0) <= (right - x) / head * half * 1.6:
            return True
        return False

    return inside


def render(size):
    """Returns rows of (r, g, b, a) from top to bottom."""
    shapes = socket_shapes(size)
    n = SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = None
                    for shape in shapes:
                        if shape.inside(x, y):
                            colour = shape.colour(x, y)
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1.0
            cover = acc[3] / (n * n)
            if acc[3]:
                r, g, b = (c / acc[3] for c in acc[:3])
            else:
                r = g = b = 0.0
            row.append((round(r), round(g), round(b), round(cover * 255)))
        rows.append(row)
    return rows


def dib(size, rows):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            # Premultiplying is not wanted in icons; fully transparent pixels are kept black.
            pixels += bytes((b, g, r, a)) if a else bytes(4)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def png(size, rows):
    """The same image as a PNG (RGBA, 8 bits a channel, no filtering)."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel) if pixel[3] else bytes(4)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def ico(images):
    count = len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, count))
    offset = 6 + 16 * count
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("app.ico")
    images = [(size, (png if size >= PNG_FROM else dib)(size, render(size))) for size in SIZES]
    target.write_bytes(ico(images))
    print(f"wrote {target} ({', '.join(str(s) for s in SIZES)} px)")


if __name__ == "__main__":
    main()
