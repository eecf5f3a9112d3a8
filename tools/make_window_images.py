#!/usr/bin/env python3
"""Draws the Windows window's icon and button images into app_win32/images/.

Each image is an .ico file with 16, 24, 32 and 48 pixel sizes (32-bit colour
with alpha), drawn from the shapes below with 4 x 4 supersampling. Run it
again after changing a shape; the .ico files are committed so that the build
needs no Python.

    tools/make_window_images.py [OUTPUT_FOLDER]
"""
import math
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def rect(x0, y0, x1, y1, colour):
    return lambda x, y: colour if x0 <= x <= x1 and y0 <= y <= y1 else None


def frame(x0, y0, x1, y1, width, colour):
    def shape(x, y):
        inside = x0 <= x <= x1 and y0 <= y <= y1
        inner = x0 + width <= x <= x1 - width and y0 + width <= y <= y1 - width
        return colour if inside and not inner else None
    return shape


def polyline(points, width, colour):
    def shape(x, y):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            if segment_distance(x, y, ax, ay, bx, by) <= width / 2:
                return colour
        return None
    return shape


def disc(cx, cy, radius, colour):
    return lambda x, y: colour if math.hypot(x - cx, y - cy) <= radius else None


def arc(cx, cy, radius, start, end, width, colour):
    steps = 24
    points = [(cx + radius * math.cos(math.radians(start + (end - start) * i / steps)),
               cy - radius * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]
    return polyline(points, width, colour)


# Shapes on a 32 x 32 design grid, later ones drawn over earlier ones.
GREY = (60, 60, 60)
LIGHT = (150, 150, 150)
WHITE = (255, 255, 255)
GREEN = (0, 130, 60)
IMAGES = {
    # A report page with a check mark.
    "tarvelo": [frame(5, 2, 25, 29, 1.5, GREY), rect(6.5, 3.5, 23.5, 27.5, WHITE)]
    + [polyline([(9, y), (21, y)], 1.5, LIGHT) for y in (8, 12, 16)]
    + [polyline([(12, 22), (17, 27), (28, 14)], 4, GREEN)],
    # An open folder.
    "open": [rect(3, 7, 13, 11, (200, 150, 30)), rect(3, 9, 27, 26, (200, 150, 30)),
             polyline([(8, 14), (30, 14), (26, 26), (3, 26), (8, 14)], 1.2, (150, 100, 10)),
             lambda x, y: (245, 200, 70) if 14 <= y <= 26 and 8 - (y - 14) * 5 / 12 <= x <= 30 - (y - 14) * 4 / 12
             else None],
    # A check mark.
    "check": [polyline([(5, 17), (12, 25), (27, 7)], 5, GREEN)],
    # A question mark in a blue disc.
    "help": [disc(16, 16, 14, (30, 90, 190)), arc(16, 12, 5, 160, -80, 3.5, WHITE),
             polyline([(16.5, 17), (16, 20)], 3.5, WHITE), disc(16, 24.5, 2.2, WHITE)],
    # A diskette.
    "save": [rect(4, 4, 28, 28, (40, 70, 150)), rect(9, 4, 23, 13, (225, 225, 225)), rect(18, 6, 21, 11, (40, 70, 150)),
             rect(8, 18, 24, 28, WHITE), polyline([(11, 22), (21, 22)], 1.2, LIGHT),
             polyline([(11, 25), (21, 25)], 1.2, LIGHT)],
    # A red cross.
    "close": [polyline([(7, 7), (25, 25)], 5, (200, 30, 30)), polyline([(25, 7), (7, 25)], 5, (200, 30, 30))],
}


def render(shapes, size):
    """Rows of (b, g, r, a) pixels, top row first."""
    scale = 32 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) * scale
                    y = (py + (sy + 0.5) / SUPERSAMPLE) * scale
                    colour = None
                    for shape in shapes:
                        colour = shape(x, y) or colour
                    if colour:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered:
                r, g, b = (round(total[i] / covered) for i in range(3))
                row.append((b, g, r, round(255 * covered / SUPERSAMPLE ** 2)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_entry(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_icon(path, shapes):
    entries = [icon_entry(render(shapes, size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in zip(SIZES, entries):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as file:
        file.write(out + b"".join(entries))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "app_win32", "images")
    os.makedirs(folder, exist_ok=True)
    for name, shapes in IMAGES.items():
        write_icon(os.path.join(folder, name + ".ico"), shapes)
        print(os.path.join(folder, name + ".ico"))


if __name__ == "__main__":
    main()
