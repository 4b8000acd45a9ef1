#!/usr/bin/env python3
"""Draws the launcher's icon (a rune on a dusk-coloured disc) and writes the two icon files.

usage: make_icons.py GROUP101.ico GROUP102.ico

Group 101 holds one 256x256 image stored as PNG. Group 102 holds ten BMP images, in this order:
48, 32, 16 at 4 bits per pixel; 48, 32, 16 at 8 bits per pixel; 128, 48, 32, 16 at 32 bits.
"""
import math
import struct
import sys
import zlib


def draw(size):
    """RGBA rows, top row first."""
    rows = []
    c = (size - 1) / 2.0
    radius = size * 0.47
    stroke = max(1.0, size * 0.075)
    # The rune: a stave with two branches, in unit coordinates around the centre.
    segments = [((-0.18, -0.62), (-0.18, 0.62)), ((-0.18, 0.02), (0.34, -0.56)), ((-0.10, -0.06), (0.36, 0.58))]
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x - c, y - c
            d = math.hypot(dx, dy)
            if d > radius + 0.5:
                row.append((0, 0, 0, 0))
                continue
            alpha = int(255 * max(0.0, min(1.0, radius + 0.5 - d)))
            t = (y / max(1, size - 1))
            r, g, b = int(40 + 90 * t), int(30 + 40 * t), int(110 - 40 * t)
            ux, uy = dx / radius, dy / radius
            for (ax, ay), (bx, by) in segments:
                vx, vy = bx - ax, by - ay
                k = max(0.0, min(1.0, ((ux - ax) * vx + (uy - ay) * vy) / (vx * vx + vy * vy)))
                px, py = ax + k * vx - ux, ay + k * vy - uy
                if math.hypot(px, py) * radius < stroke:
                    r, g, b = 240, 200, 90
                    break
            row.append((r, g, b, alpha))
        rows.append(row)
    return rows


def png(size):
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in draw(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]
CUBE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
CUBE += [(v, v, v) for v in range(8, 248, 6)][: 256 - len(CUBE)]


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((p - q) ** 2 for p, q in zip(palette[i], rgb)))


def bmp(size, bits):
    rows = draw(size)
    palette = {4: VGA16, 8: CUBE}.get(bits, [])
    xor = b""
    for row in reversed(rows):  # bottom-up
        if bits == 32:
            line = b"".join(bytes((b, g, r, a)) for r, g, b, a in row)
        else:
            idx = [nearest(palette, px[:3]) if px[3] >= 128 else 0 for px in row]
            if bits == 8:
                line = bytes(idx)
            else:
                line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        xor += line + b"\0" * (-len(line) % 4)
    mask = b""
    for row in reversed(rows):
        line = bytearray((size + 7) // 8)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line) + b"\0" * (-len(line) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + table + xor + mask


def ico(images):
    """images: list of (size, bits, bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset + len(body))
        body += data
    return out + body


def main():
    group101, group102 = sys.argv[1], sys.argv[2]
    with open(group101, "wb") as f:
        f.write(ico([(256, 32, png(256))]))
    order = [(48, 4), (32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (128, 32), (48, 32), (32, 32), (16, 32)]
    with open(group102, "wb") as f:
        f.write(ico([(s, b, bmp(s, b)) for s, b in order]))


if __name__ == "__main__":
    main()
