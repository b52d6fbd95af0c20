#!/usr/bin/env python3
"""Draws the program's icon (a chequered flag on a blue tile) into tarnbeck.ico.

The icon holds 16, 32 and 48 pixel images, each a 32-bit BMP with an alpha
channel and its AND mask. Run it again after changing the drawing; the .ico
it writes is committed, so the build does not need Python.
"""
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4  # samples per pixel side, for smooth edges


def tile(x, y):
    """Colour (r, g, b, a) of the drawing at the point (x, y) in [0, 1)."""
    radius = 0.18
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    if (x - cx) ** 2 + (y - cy) ** 2 > radius ** 2:
        return (0, 0, 0, 0)
    # Flag pole.
    if 0.20 <= x < 0.27 and 0.14 <= y < 0.88:
        return (235, 235, 235, 255)
    # Flag cloth with a slight wave, 4 x 3 squares.
    if 0.27 <= x < 0.84:
        wave = 0.04 * (1 - abs((x - 0.555) / 0.285))
        top = 0.18 + wave
        bottom = 0.58 + wave
        if top <= y < bottom:
            column = int((x - 0.27) / (0.57 / 4))
            row = int((y - top) / ((bottom - top) / 3))
            if (column + row) % 2 == 0:
                return (250, 250, 250, 255)
            return (20, 20, 28, 255)
    return (28, 86, 170, 255)


def render(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = tile((px + (sx + 0.5) / SAMPLES) / size,
                                      (py + (sy + 0.5) / SAMPLES) / size)
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3] / (SAMPLES * SAMPLES)
            if total[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / total[3]) for c in total[:3]) + (round(alpha),))
        rows.append(row)
    return rows


def bmp_image(size):
    """The icon image: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for px, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[px // 8] |= 0x80 >> (px % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def main(path):
    images = [bmp_image(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tarnbeck.ico")
