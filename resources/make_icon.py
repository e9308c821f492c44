#!/usr/bin/env python3
"""Draws the droplets' icons and writes them: droplet.ico (a blue water
drop), check-documents.ico (a magnifier over the drop) and repair-folders.ico
(the drop mended with a plaster).

Eight images each: 16x16 and 32x32 at 4, 8 and 32 bits per pixel, 48x48 at 8
and 32 bits per pixel. Standard library only; the output is the same on every
run.

    python3 resources/make_icon.py                 all three, beside this script
    python3 resources/make_icon.py [--kind droplet|check|repair] output.ico
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


def segment_distance(x, y, ax, ay, bx, by):
    """Distance from the point to the segment from a to b."""
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(x - ax - t * vx, y - ay - t * vy)


# The magnifier: a lens over the drop's body, its handle to the lower right.
LENS_X, LENS_Y, LENS_R, RING = 0.56, 0.55, 0.25, 0.075
HANDLE_END = (0.93, 0.92)
HANDLE_W = 0.065


def magnifier(x, y):
    """Colour of the magnifier at a point, or None where it is not."""
    d = math.hypot(x - LENS_X, y - LENS_Y)
    if LENS_R - RING <= d <= LENS_R:
        return (45, 45, 55)
    k = (LENS_R - RING / 2) / math.sqrt(2)
    if d > LENS_R and segment_distance(x, y, LENS_X + k, LENS_Y + k, *HANDLE_END) <= HANDLE_W:
        return (120, 70, 25)
    if d < LENS_R - RING:  # the glass: what lies under it, brighter
        if inside(x, y):
            r, g, b = shade(x, y)
            return (r + (255 - r) * 2 // 5, g + (255 - g) * 2 // 5, b)
        return (225, 240, 250)
    return None


# The plaster: a band across the drop's body, a pad in its middle.
BAND_X, BAND_Y, BAND_ANGLE = 0.5, 0.64, -0.6
BAND_HALF_LENGTH, BAND_HALF_WIDTH, PAD_HALF_LENGTH = 0.4, 0.105, 0.11
BAND_EDGE = 0.035


def plaster(x, y):
    """Colour of the plaster at a point, or None where it is not."""
    c, s = math.cos(BAND_ANGLE), math.sin(BAND_ANGLE)
    u = (x - BAND_X) * c + (y - BAND_Y) * s      # along the band
    v = -(x - BAND_X) * s + (y - BAND_Y) * c     # across it
    ends = max(0.0, abs(u) - (BAND_HALF_LENGTH - BAND_HALF_WIDTH))
    d = math.hypot(ends, v)  # rounded ends
    if d > BAND_HALF_WIDTH:
        return None
    if d > BAND_HALF_WIDTH - BAND_EDGE:
        return (150, 95, 50)
    if abs(u) <= PAD_HALF_LENGTH and abs(v) <= BAND_HALF_WIDTH - BAND_EDGE - 0.01:
        return (250, 240, 215)
    return (225, 170, 115)


MARKS = {'droplet': None, 'check': magnifier, 'repair': plaster}


def render(size, kind='droplet'):
    """Rows of (r, g, b, a, marked), top row first; marked when a mark
    (magnifier, plaster) covers part of the pixel."""
    mark = MARKS[kind]
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            hits, marks, acc = 0, 0, [0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    c = mark(x, y) if mark else None
                    if c is not None:
                        marks += 1
                    elif inside(x, y):
                        c = shade(x, y)
                    else:
                        continue
                    hits += 1
                    for i in range(3):
                        acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0, False))
                continue
            coverage = hits / (n * n)
            r, g, b = (v // hits for v in acc)
            # The drop's rim: a darker outline keeps small sizes legible. A
            # mark draws its own.
            if coverage < 1.0 and marks == 0:
                r, g, b = r * 2 // 5, g * 2 // 5, b * 3 // 5 + 40
            row.append((r, g, b, round(255 * coverage), marks > 0))
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
# A mark takes any of the sixteen.
VGA16_DROP = [4, 6, 12, 14, 15]


def nearest(palette, rgb, marked=False):
    choices = VGA16_DROP if palette is VGA16 and not marked else range(len(palette))
    return min(choices,
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def row_bytes(bits, width):
    return ((bits * width + 31) // 32) * 4


def dib(size, bits, kind):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    pixels = render(size, kind)
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
        for r, g, b, a, marked in row:
            transparent = a < 128
            maskbits.append(1 if transparent else 0)
            if bits == 32:
                line += struct.pack('BBBB', b, g, r, a)
            else:
                key = (r, g, b, marked)
                if key not in cache:
                    cache[key] = nearest(palette, key[:3], marked)
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


def ico(kind='droplet'):
    images = [(size, bits, dib(size, bits, kind)) for size, bits in IMAGES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, _, data in images)


FILES = {'droplet': 'droplet.ico', 'check': 'check-documents.ico', 'repair': 'repair-folders.ico'}


def main():
    args = sys.argv[1:]
    kind = None
    if args[:1] == ['--kind'] and len(args) >= 2 and args[1] in FILES:
        kind, args = args[1], args[2:]
    if len(args) > 1 or (kind and not args) or (args and args[0].startswith('-')):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if args:
        targets = [(kind or 'droplet', args[0])]
    else:
        here = os.path.dirname(os.path.abspath(__file__))
        targets = [(k, os.path.join(here, name)) for k, name in FILES.items()]
    for k, path in targets:
        with open(path, 'wb') as f:
            f.write(ico(k))
    return 0


if __name__ == '__main__':
    sys.exit(main())
