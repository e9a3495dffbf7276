#!/usr/bin/env python3
# Usage: python3 tools/make-icon.py [OUTPUT]   (default: resources/myappico.ico)
"""Draws the application icon: a blue rounded square holding a clock face and,
from 48 px up, a square-wave signal line. Writes a Windows icon file with six
uncompressed 32-bit images (16 to 256 px); standard library only."""

import math
import struct
import sys
from pathlib import Path

SIZES = (16, 32, 48, 64, 128, 256)

TOP = (58, 128, 240)
BOTTOM = (24, 66, 158)
OUTLINE = (12, 38, 100)
FACE = (246, 249, 255)
HANDS = (22, 44, 96)
ACCENT = (255, 170, 40)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


# Signed distances in unit coordinates (0..1 across the icon, y down).
def rounded_box(px, py, cx, cy, half, radius):
    qx = abs(px - cx) - half + radius
    qy = abs(py - cy) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def disc(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def segment(px, py, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(px - ax - t * dx, py - ay - t * dy) - half_width


def polyline(px, py, points, half_width):
    return min(segment(px, py, *a, *b, half_width) for a, b in zip(points, points[1:]))


class Layout:
    """Geometry for one image size; small images drop detail and thicken lines."""

    def __init__(self, size):
        px = 1.0 / size
        self.margin = round(0.03 * size) * px  # edges on pixel boundaries
        self.outline = max(1.0 * px, 0.018)
        self.detailed = size >= 48
        if self.detailed:
            self.cx, self.cy, self.r = 0.5, 0.41, 0.255
            self.hand = max(0.8 * px, 0.028)
            self.minute_hand = 0.8 * self.hand
            self.hour, self.minute = 305, 60  # ten past ten
        else:
            # two-pixel hands on the pixel grid; three o'clock reads best this small
            self.cx, self.cy, self.r = 0.5, 0.5, 0.35
            self.hand = self.minute_hand = px
            self.hour, self.minute = 90, 0
        self.dot = size >= 32
        self.ticks = size >= 64
        self.wave_half = max(0.8 * px, 0.024)
        hi, lo = 0.745, 0.845
        xs = (0.15, 0.29, 0.43, 0.57, 0.71, 0.85)
        self.wave = [(xs[0], lo)]
        level = lo
        for x in xs[1:-1]:
            self.wave.append((x, level))
            level = hi if level == lo else lo
            self.wave.append((x, level))
        self.wave.append((xs[-1], level))

    def hand_tip(self, degrees, length):
        """Point at degrees clockwise from twelve, length in face radii."""
        a = math.radians(degrees)
        return self.cx + math.sin(a) * length * self.r, self.cy - math.cos(a) * length * self.r


def shade(size, x, y, lay):
    """Returns straight-alpha (r, g, b, a) floats for the pixel centred at (x, y)."""
    scale = float(size)

    def cover(d):
        return clamp01(0.5 - d * scale)

    bg = rounded_box(x, y, 0.5, 0.5, 0.5 - lay.margin, 0.2)
    a = cover(bg)
    if a == 0.0:
        return 0.0, 0.0, 0.0, 0.0
    t = clamp01((y - lay.margin) / (1.0 - 2.0 * lay.margin))
    rgb = [TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3)]

    def paint(color, coverage):
        if coverage > 0.0:
            for i in range(3):
                rgb[i] += (color[i] - rgb[i]) * coverage

    # a thin darker rim keeps the edge visible on light and dark backgrounds
    paint(OUTLINE, 0.85 * (1.0 - cover(bg + lay.outline)))
    paint(FACE, cover(disc(x, y, lay.cx, lay.cy, lay.r)))
    if lay.ticks:
        for k in range(4):
            ax, ay = lay.hand_tip(90 * k, 0.78)
            bx, by = lay.hand_tip(90 * k, 0.9)
            paint(HANDS, cover(segment(x, y, ax, ay, bx, by, lay.hand * 0.6)))
    hx, hy = lay.hand_tip(lay.hour, 0.52)
    mx, my = lay.hand_tip(lay.minute, 0.74)
    paint(HANDS, cover(segment(x, y, lay.cx, lay.cy, hx, hy, lay.hand)))
    paint(HANDS, cover(segment(x, y, lay.cx, lay.cy, mx, my, lay.minute_hand)))
    if lay.dot:
        paint(ACCENT, cover(disc(x, y, lay.cx, lay.cy, lay.hand * 1.3)))
    if lay.detailed:
        paint(ACCENT, cover(polyline(x, y, lay.wave, lay.wave_half)))
    return rgb[0], rgb[1], rgb[2], a


def render(size):
    """Returns the pixels as rows of (r, g, b, a) bytes, top row first."""
    lay = Layout(size)
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            r, g, b, a = shade(size, (i + 0.5) / size, (j + 0.5) / size, lay)
            row.append(tuple(int(round(c)) for c in (r, g, b)) + (int(round(a * 255)),))
        rows.append(row)
    return rows


def bmp_image(size, rows):
    """A BITMAPINFOHEADER with doubled height, BGRA rows bottom-up, then the AND mask."""
    mask_stride = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico(images):
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = size % 256  # 0 stands for 256
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    default = Path(__file__).resolve().parent.parent / "resources" / "myappico.ico"
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else default
    images = [(s, bmp_image(s, render(s))) for s in SIZES]
    expected = (1128, 4264, 9640, 16936, 67624, 270376)
    sizes = tuple(len(data) for _, data in images)
    if sizes != expected:
        sys.exit(f"image sizes {sizes} differ from {expected}")
    data = ico(images)
    if len(data) != 370070:
        sys.exit(f"icon is {len(data)} bytes, not 370070")
    target.write_bytes(data)
    print(f"wrote {target} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
