#!/usr/bin/env python3
"""Draws the viewer's icon (a matrix of survey lines with a buried object and a yellow profile) as a
PNG with the standard library only. Run it to refresh app/resources/quarlomet-viewer.png."""
import math
import struct
import sys
import zlib

SIZE = 256
S = SIZE / 64.0  # the drawing is laid out on a 64-unit grid


def blend(img, x, y, rgba):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        r, g, b, a = rgba
        i = (y * SIZE + x) * 4
        da = img[i + 3] / 255.0
        sa = a / 255.0
        oa = sa + da * (1 - sa)
        for k, c in enumerate((r, g, b)):
            img[i + k] = int(round((c * sa + img[i + k] * da * (1 - sa)) / oa)) if oa else 0
        img[i + 3] = int(round(oa * 255))


def fill(img, inside, colour):
    # 4x4 supersampling for smooth edges
    for y in range(SIZE):
        for x in range(SIZE):
            hits = sum(inside((x + (i + 0.5) / 4) / S, (y + (j + 0.5) / 4) / S) for i in range(4) for j in range(4))
            if hits:
                blend(img, x, y, colour[:3] + (colour[3] * hits // 16,))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def polyline(points, width):
    def inside(x, y):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            dx, dy = bx - ax, by - ay
            t = max(0, min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
            if math.hypot(x - ax - t * dx, y - ay - t * dy) <= width / 2:
                return True
        return False
    return inside


def main(path):
    img = bytearray(SIZE * SIZE * 4)
    fill(img, rounded_rect(2, 2, 62, 62, 8), (0x1D, 0x2B, 0x44, 255))
    for top in (10, 20, 30):
        fill(img, rounded_rect(8, top, 56, top + 8, 0.01), (0x2A, 0x3F, 0xB0, 255))
    fill(img, ellipse(34, 24, 9, 11), (0xD2, 0x1E, 0x1E, 255))
    fill(img, ellipse(34, 24, 4, 6), (0xFE, 0x3A, 0x3A, 255))
    fill(img, ellipse(34, 36, 6, 3), (0x00, 0x00, 0x55, 255))
    fill(img, polyline([(8, 54), (16, 53), (22, 52), (28, 50), (32, 44), (36, 56), (40, 51), (46, 52), (56, 53)], 3),
         (0xFF, 0xFF, 0x00, 255))
    raw = b"".join(b"\x00" + bytes(img[y * SIZE * 4:(y + 1) * SIZE * 4]) for y in range(SIZE))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/resources/quarlomet-viewer.png")
