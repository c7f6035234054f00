#!/usr/bin/env python3
"""Reads an uncompressed AVI of the reference host with nothing but the
standard library, independently of the host's writer, and checks it.
usage: check_avi.py FILE FRAMES WIDTH HEIGHT DELAY_MS"""
import struct
import sys


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def chunks(data, start, end):
    """Yields (id, payload start, payload size, list type) in a RIFF span."""
    pos = start
    while pos + 8 <= end:
        cid, size = struct.unpack_from("<4sI", data, pos)
        if pos + 8 + size > end:
            fail("chunk %r at %d runs past its parent" % (cid, pos))
        kind = data[pos + 8:pos + 12] if cid in (b"RIFF", b"LIST") else None
        yield cid, pos + 8, size, kind
        pos += 8 + size + (size & 1)


def main():
    path, frames, width, height, delay = sys.argv[1], *map(int, sys.argv[2:6])
    data = open(path, "rb").read()
    riff = list(chunks(data, 0, len(data)))
    if len(riff) != 1 or riff[0][0] != b"RIFF" or riff[0][3] != b"AVI ":
        fail("not a RIFF AVI file")
    _, start, size, _ = riff[0]
    top = {(c[3] or c[0]): c for c in chunks(data, start + 4, start + size)}
    for needed in (b"hdrl", b"movi", b"idx1"):
        if needed not in top:
            fail("no %r" % needed)

    _, hstart, hsize, _ = top[b"hdrl"]
    hdrl = list(chunks(data, hstart + 4, hstart + hsize))
    avih = next(c for c in hdrl if c[0] == b"avih")
    usec, _, _, flags, total, _, streams, _, w, h = struct.unpack_from("<10I", data, avih[1])
    if (total, streams, w, h) != (frames, 1, width, height):
        fail("avih says %d frames, %d streams, %d x %d" % (total, streams, w, h))
    if usec != delay * 1000:
        fail("%d microseconds per frame, wanted %d" % (usec, delay * 1000))
    strl = next(c for c in hdrl if c[3] == b"strl")
    inner = {c[0]: c for c in chunks(data, strl[1] + 4, strl[1] + strl[2])}
    fcc, handler = struct.unpack_from("<4s4s", data, inner[b"strh"][1])
    scale, rate, _, length = struct.unpack_from("<4I", data, inner[b"strh"][1] + 20)
    if fcc != b"vids" or length != frames or rate / scale != 1000 / delay:
        fail("stream %r, %d frames, %d/%d per second" % (fcc, length, rate, scale))
    bsize, bw, bh, planes, bits, compression = struct.unpack_from("<IiiHHI", data, inner[b"strf"][1])
    if (bw, bh, planes, bits, compression) != (width, height, 1, 24, 0):
        fail("frame format %d x %d, %d bits, compression %d" % (bw, bh, bits, compression))

    if b"INFO" in top:
        _, istart, isize, _ = top[b"INFO"]
        info = {c[0]: data[c[1]:c[1] + c[2]] for c in chunks(data, istart + 4, istart + isize)}
        if b"Velmora Leader Plugin" not in info.get(b"ICMT", b""):
            fail("no credit comment")
    else:
        fail("no INFO list with the credit comment")

    _, mstart, msize, _ = top[b"movi"]
    stride = (width * 3 + 3) & ~3
    movi = [c for c in chunks(data, mstart + 4, mstart + msize)]
    if len(movi) != frames or any(c[0] != b"00db" or c[2] != stride * height for c in movi):
        fail("%d frame chunks in movi" % len(movi))
    _, xstart, xsize, _ = top[b"idx1"]
    if xsize != 16 * frames:
        fail("index of %d bytes" % xsize)
    for i, c in enumerate(movi):
        cid, flags, offset, size = struct.unpack_from("<4sIII", data, xstart + 16 * i)
        if cid != b"00db" or not flags & 0x10 or mstart + offset + 8 != c[1] or size != c[2]:
            fail("index entry %d does not point at frame %d" % (i, i))

    # The leader is grey: every pixel has blue = green = red, with dark,
    # light (80 levels apart) and antialiased levels; and the sweep changes every frame.
    seen = set()
    for i in (0, frames // 2, frames - 1):
        pixels = data[movi[i][1]:movi[i][1] + movi[i][2]]
        levels = set()
        for y in range(height):
            row = pixels[y * stride:y * stride + width * 3]
            for x in range(0, width * 3, 3):
                b, g, r = row[x], row[x + 1], row[x + 2]
                if not b == g == r:
                    fail("frame %d pixel (%d, %d) is not grey: %d %d %d" % (i, x // 3, y, r, g, b))
                levels.add(r)
        if max(levels) - min(levels) < 80 or len(levels) < 8:
            fail("frame %d has %d grey levels from %d to %d" % (i, len(levels), min(levels), max(levels)))
    for c in movi:
        seen.add(data[c[1]:c[1] + c[2]])
    if len(seen) < frames * 9 // 10:
        fail("only %d distinct frames of %d" % (len(seen), frames))
    print("PASS: %s: %d frames of %d x %d, %d ms each, %d distinct" % (path, frames, width, height, delay, len(seen)))


main()
