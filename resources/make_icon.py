#!/usr/bin/env python3
"""Draws the droplet's icon (a blue water drop) and writes droplet.ico.

Eight images: 16x16 and 32x32 at 4, 8 and 32 bits per pixel, 48x48 at 8 and
32 bits per pixel. Standard library only; the output is the same on every run.

    python3 resources/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

IMAGES = [(16, 4), (16, 8), (16, 32), (32, 4), (32, 8), (32, 32), (48, 8), (48, 32)]

TIP_Y = 0.06        # top of the drop, as a fraction of the side
BODY_Y = 0.62       # centre of the round body
BODY_R = 0.33       # its radius
SUPERSAMPLE = 4


def inside(x, y):
    """True when the point (fractions of the side) lies in the drop."""
    dx, dy = x - 0.5, y - BODY_Y
    if dx * dx + dy * dy <= BODY_R * BODY_R:
        return True
    if TIP_Y <= y <= BODY_Y:
        t = (y - TIP_Y) / (BODY_Y - TIP_Y)
        return abs(dx) <= BODY_R * math.sin(t * math.pi / 2) ** 1.6
    return False


def shade(x, y):
    """Colour (r, g, b) of the drop at a point: lit from the upper left."""
    light = max(0.0, 1.0 - math.hypot(x - 0.36, y - 0.48) / 0.55)
    r = 20 + 120 * light
    g = 90 + 130 * light
    b = 200 + 55 * light
    # A small white gleam on the upper left of the body.
    gx, gy = (x - 0.38) / 0.07, (y - 0.52) / 0.11
    if gx * gx + gy * gy <= 1.0:
        r, g, b = 245, 250, 255
    return int(min(r, 255)), int(min(g, 255)), int(min(b, 255))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            hits, acc = 0, [0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if inside(x, y):
                        hits += 1
                        c = shade(x, y)
                        for i in range(3):
                            acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
                continue
            coverage = hits / (n * n)
            r, g, b = (v // hits for v in acc)
            if coverage < 1.0:  # the rim: a darker outline keeps small sizes legible
                r, g, b = r * 2 // 5, g * 2 // 5, b * 3 // 5 + 40
            row.append((r, g, b, round(255 * coverage)))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    grays = [(v, v, v) for v in range(8, 248, 6)][:40]
    return (cube + grays + [(0, 0, 0)] * 256)[:256]


# The blues of the 16-colour palette: the drop stays blue rather than grey.
VGA16_DROP = [4, 6, 12, 14, 15]


def nearest(palette, rgb):
    choices = VGA16_DROP if palette is VGA16 else range(len(palette))
    return min(choices,
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def row_bytes(bits, width):
    return ((bits * width + 31) // 32) * 4


def dib(size, bits):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    pixels = render(size)
    palette = VGA16 if bits == 4 else palette256() if bits == 8 else []
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         (row_bytes(bits, size) + row_bytes(1, size)) * size, 0, 0,
                         len(palette), 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    cache = {}
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        bitsline = []
        maskbits = []
        for r, g, b, a in row:
            transparent = a < 128
            maskbits.append(1 if transparent else 0)
            if bits == 32:
                line += struct.pack('BBBB', b, g, r, a)
            else:
                key = (r, g, b)
                if key not in cache:
                    cache[key] = nearest(palette, key)
                bitsline.append(0 if transparent else cache[key])
        if bits == 8:
            line += bytes(bitsline)
        elif bits == 4:
            for i in range(0, len(bitsline), 2):
                hi = bitsline[i]
                lo = bitsline[i + 1] if i + 1 < len(bitsline) else 0
                line.append((hi << 4) | lo)
        line += b'\0' * (row_bytes(bits, size) - len(line))
        colour += line
        m = bytearray()
        for i in range(0, size, 8):
            byte = 0
            for j in range(8):
                if i + j < size and maskbits[i + j]:
                    byte |= 0x80 >> j
            m.append(byte)
        m += b'\0' * (row_bytes(1, size) - len(m))
        mask += m
    return header + pal + bytes(colour) + bytes(mask)


def ico():
    images = [(size, bits, dib(size, bits)) for size, bits in IMAGES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, 'droplet.ico')
    with open(path, 'wb') as f:
        f.write(ico())


if __name__ == '__main__':
    main()
