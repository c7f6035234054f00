#!/usr/bin/env python3
"""Draws the plug-in's icon, a leader frame (sweep wedge, two rings, crosshair
and a 3), at the seven sizes the module carries, as 24-bit images in one .ico."""
import math
import struct
import sys

SIZES = (128, 96, 64, 48, 32, 24, 16)

# A 5 x 7 bitmap of the digit 3, scaled onto the frame.
DIGIT = ["11110", "00001", "00001", "01110", "00001", "00001", "11110"]


def grey(x, y, n):
    c = (n - 1) / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy) / n
    # clockwise angle from 12 o'clock
    a = math.degrees(math.atan2(dx, -dy)) % 360
    v = 200 if a < 100 else 128
    gx, gy = int((x - n * 0.35) / (n * 0.3 / 5)), int((y - n * 0.29) / (n * 0.42 / 7))
    if 0 <= gx < 5 and 0 <= gy < 7 and DIGIT[gy][gx] == "1":
        v = 224
    w = max(1.0, n / 40.0) / n
    if abs(r - 0.30) < w or abs(r - 0.42) < w:
        v = 240
    if abs(dx) < max(0.5, n / 100.0) or abs(dy) < max(0.5, n / 100.0):
        v = 96
    return v


def image(n):
    stride = (n * 3 + 3) & ~3
    mask_stride = ((n + 31) // 32) * 4
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(n):
            v = grey(x, y, n)
            row += bytes((v, v, v))
        row += b"\0" * (stride - 3 * n)
        rows.append(bytes(row))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 24, 0, (stride + mask_stride) * n, 0, 0, 0, 0)
    return header + b"".join(rows) + b"\0" * (mask_stride * n)


def main(path):
    images = [image(n) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/tovanrel.ico")
