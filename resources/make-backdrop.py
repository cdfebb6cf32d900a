#!/usr/bin/env python3
"""Draws the canvas backdrop (resources/backdrop.png): a quiet dark field, lighter towards
the middle, with faint rings spreading from a point below the centre. Standard library only.
Run again only to change the picture; the PNG is committed."""
import math
import struct
import sys
import zlib

W, H = 1600, 1000
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def pixel(x, y):
    # Distance from the centre, 0 there and about 1 in the corners.
    dx, dy = (x - W / 2) / (W / 2), (y - H / 2) / (H / 2)
    r = min(1.0, math.sqrt(dx * dx + dy * dy) / math.sqrt(2))
    glow = (1 - r * r) ** 1.5
    # Rings from below the centre, fading with distance.
    sx, sy = x - W / 2, y - H * 0.62
    d = math.sqrt(sx * sx + sy * sy)
    ring = max(0.0, math.cos(d / 46.0 * math.pi)) ** 12 * max(0.0, 1 - d / 900.0)
    base = (12 + 22 * glow + 6 * ring, 15 + 26 * glow + 7 * ring, 22 + 34 * glow + 9 * ring)
    t = (BAYER[y % 4][x % 4] + 0.5) / 16 - 0.5
    return bytes(max(0, min(255, int(c + t + 0.5))) for c in base)


def main(path):
    rows = bytearray()
    for y in range(H):
        rows.append(0)
        for x in range(W):
            rows += pixel(x, y)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "backdrop.png")
