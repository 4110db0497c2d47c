#!/usr/bin/env python3
"""Draws the application icon and writes it as a multi-size .ico (PNG entries)
and as one PNG per size under icons/ for the hicolor theme.

Run again only to change the picture: python3 resources/make_icon.py
The design: a dark blue tile holding the three indicator colours of the
window (green, grey, red) as rounded bars, beside a two-wire line.
"""
import struct
import zlib
from pathlib import Path

SIZES = [16, 24, 32, 48, 64, 128, 256]
SUB = 4  # sub-samples per axis, for smooth edges


def rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


SHAPES = [  # (test in unit coordinates, RGBA), last one drawn on top
    (lambda x, y: rounded_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.18), (22, 52, 96, 255)),
    (lambda x, y: rounded_rect(x, y, 0.14, 0.16, 0.52, 0.30, 0.06), (96, 200, 60, 255)),
    (lambda x, y: rounded_rect(x, y, 0.14, 0.43, 0.52, 0.57, 0.06), (150, 155, 150, 255)),
    (lambda x, y: rounded_rect(x, y, 0.14, 0.70, 0.52, 0.84, 0.06), (220, 30, 30, 255)),
    (lambda x, y: 0.62 <= x <= 0.70 and 0.12 <= y <= 0.88, (240, 240, 240, 255)),
    (lambda x, y: 0.76 <= x <= 0.84 and 0.12 <= y <= 0.88, (240, 240, 240, 255)),
]


def render(size):
    rows = []
    for py in range(size):
        row = bytearray([0])  # PNG filter type: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) / size
                    y = (py + (sy + 0.5) / SUB) / size
                    colour = (0, 0, 0, 0)
                    for test, rgba in SHAPES:
                        if test(x, y):
                            colour = rgba
                    a = colour[3] / 255.0
                    acc[0] += colour[0] * a
                    acc[1] += colour[1] * a
                    acc[2] += colour[2] * a
                    acc[3] += a
            n = SUB * SUB
            alpha = acc[3] / n
            if alpha > 0:
                row += bytes(int(round(c / acc[3])) for c in acc[:3])
            else:
                row += b"\0\0\0"
            row.append(int(round(alpha * 255)))
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    return out + blobs


if __name__ == "__main__":
    here = Path(__file__).resolve().parent
    images = [(s, render(s)) for s in SIZES]
    (here / "tav-configurator.ico").write_bytes(ico(images))
    (here / "tav-configurator.png").write_bytes(dict(images)[256])
    # The hicolor theme's sizes, for the menu entry of an installed program.
    for size, data in images:
        folder = here / "icons" / f"{size}x{size}"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "tav-configurator.png").write_bytes(data)
