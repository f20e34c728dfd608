#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the placeholder pictures of the tool: the three embedded PNG images, the
picture and the icon a user can put next to the tool, the Windows executable icon, and the
desktop icon at 48, 64, 128 and 256 pixels and as SVG.
Standard library only; run it from anywhere, it writes next to itself."""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def pixels(width, height, top, bottom, stripe, scale=1):
    """A vertical gradient from `top` to `bottom` with a diagonal stripe pattern, its
    period and width multiplied by `scale`."""
    rows = []
    for y in range(height):
        t = y / max(1, height - 1)
        base = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        row = []
        for x in range(width):
            if (x + y) % (12 * scale) < 2 * scale:
                row.append(stripe)
            else:
                row.append(base)
        rows.append(row)
    return rows


def png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(path, rows):
    """One 32-bit image in the classic BMP form, bottom-up, with an empty AND mask."""
    height, width = len(rows), len(rows[0])
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = b"\x00" * (mask_stride * height)
    bmp = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                      len(xor) + len(mask), 0, 0, 0, 0) + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 0, 0, 1, 32, len(bmp), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + bmp)


def svg(path, size, top, bottom, stripe):
    """The desktop icon drawn by pixels() at `size` x `size`, as vectors."""
    def colour(c):
        return "#%02x%02x%02x" % c[:3]
    bands = "".join('<polygon points="%d,0 %d,0 0,%d 0,%d"/>' % (c, c + 2, c + 2, c)
                    for c in range(0, 2 * size, 12))
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
                'viewBox="0 0 %d %d">\n'
                '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">'
                '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
                '</linearGradient></defs>\n'
                '<rect width="%d" height="%d" fill="url(#g)"/>\n'
                '<g fill="%s">%s</g>\n</svg>\n'
                % (size, size, size, size, colour(top), colour(bottom), size, size,
                   colour(stripe), bands))


BLUE = (0x1f, 0x4e, 0x79, 0xff)
SKY = (0x9d, 0xc3, 0xe6, 0xff)
PALE = (0xee, 0xf4, 0xfa, 0xff)
WHITE = (0xff, 0xff, 0xff, 0xff)
LINE = (0xd6, 0xe4, 0xf0, 0xff)

if __name__ == "__main__":
    embedded = os.path.join(HERE, "embedded")
    os.makedirs(embedded, exist_ok=True)
    # The table falls back on it when no picture file is found: pale too, with its own
    # stripe colour.
    png(os.path.join(embedded, "brenik.png"), pixels(147, 45, WHITE, PALE, SKY))
    png(os.path.join(embedded, "quorvan_16x16.png"), pixels(16, 5, BLUE, SKY, WHITE))
    png(os.path.join(embedded, "vemtal_64x64.png"), pixels(64, 20, SKY, BLUE, WHITE))
    # Tiled behind the table cells: pale, so that the cell texts stay readable.
    png(os.path.join(HERE, "brenik.png"), pixels(147, 45, WHITE, PALE, LINE))
    ico(os.path.join(HERE, "bg.ico"), pixels(36, 45, BLUE, SKY, WHITE))
    ico(os.path.join(HERE, "quorvan-config.ico"), pixels(36, 45, BLUE, SKY, WHITE))
    icons = os.path.join(HERE, "icons")
    os.makedirs(icons, exist_ok=True)
    # 48 is the smallest size that desktops look for.
    for size in (48, 64, 128, 256):
        png(os.path.join(icons, "quorvan-config-%d.png" % size),
            pixels(size, size, BLUE, SKY, WHITE, max(1, size // 64)))
    svg(os.path.join(icons, "quorvan-config.svg"), 64, BLUE, SKY, WHITE)
