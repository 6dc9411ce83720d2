#!/usr/bin/env python3
"""Draws the program's icons and writes them as 8-bit palette PNGs (for Qt) and ICO files (for the
Windows resource script): icon 128, the main window's, and icon 129, the tray's, each 16x16 and
32x32; the ICO files also hold the small and large icon sizes of 125 %, 150 % and 200 % display
scaling (20, 24, 40, 48, 64), so Windows picks an image instead of stretching one. Standard
library only.

    tools/make_icons.py [output-dir]     (default: res/icons)
"""
import os
import struct
import sys
import zlib

TRANSPARENT = (0, 0, 0)
# Palette index 0 is transparent.
PALETTE = [
    TRANSPARENT,
    (0x1F, 0x3A, 0x5F),  # 1 navy body
    (0xFF, 0xFF, 0xFF),  # 2 white
    (0x10, 0x10, 0x10),  # 3 bar black
    (0xE0, 0x30, 0x30),  # 4 scan-line red
    (0x9A, 0xB8, 0xD8),  # 5 light edge
    (0xF2, 0xA0, 0x1E),  # 6 amber
]

# Bar widths of a made-up code, in units; drawn alternately bar/space.
BARS = [2, 1, 1, 2, 3, 1, 1, 1, 2, 2, 1, 3, 1, 1]


def barcode_columns(x0, x1):
    """Columns in [x0, x1) that carry a bar, scaled from BARS."""
    total = sum(BARS)
    width = x1 - x0
    cols = set()
    pos = 0.0
    for i, w in enumerate(BARS):
        start = x0 + int(round(pos * width / total))
        pos += w
        end = x0 + int(round(pos * width / total))
        if i % 2 == 0:
            cols.update(range(start, max(end, start + 1)))
    return cols


def rounded_square(size, x, y, inset, radius):
    lo, hi = inset, size - 1 - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    for cx, cy in ((lo + radius, lo + radius), (hi - radius, lo + radius),
                   (lo + radius, hi - radius), (hi - radius, hi - radius)):
        if (x < lo + radius or x > hi - radius) and (y < lo + radius or y > hi - radius):
            if (x - cx) ** 2 + (y - cy) ** 2 > radius ** 2 + radius * 0.6:
                return False
    return True


def draw_main(size):
    """Icon 128: a white label with a bar code on a navy tile."""
    s = size / 32.0
    px = [[0] * size for _ in range(size)]
    inset, radius = max(1, int(1 * s)), max(2, int(5 * s))
    bx0, bx1 = int(7 * s), size - int(7 * s)
    by0, by1 = int(9 * s), size - int(9 * s)
    bars = barcode_columns(bx0 + max(1, int(2 * s)), bx1 - max(1, int(2 * s)))
    for y in range(size):
        for x in range(size):
            if not rounded_square(size, x, y, inset, radius):
                continue
            px[y][x] = 1
            if bx0 <= x < bx1 and by0 <= y < by1:
                px[y][x] = 3 if (x in bars and by0 + 1 <= y < by1 - 1) else 2
    return px


def draw_tray(size):
    """Icon 129: a bar code with a red scan line across it, on an amber tile."""
    s = size / 32.0
    px = [[0] * size for _ in range(size)]
    inset, radius = 0, max(2, int(4 * s))
    bx0, bx1 = int(4 * s), size - int(4 * s)
    by0, by1 = int(6 * s), size - int(6 * s)
    bars = barcode_columns(bx0 + 1, bx1 - 1)
    scan_y0 = size // 2 - max(1, int(1 * s))
    scan_y1 = size // 2 + max(1, int(1 * s))
    for y in range(size):
        for x in range(size):
            if not rounded_square(size, x, y, inset, radius):
                continue
            px[y][x] = 6
            if bx0 <= x < bx1 and by0 <= y < by1:
                px[y][x] = 3 if x in bars else 2
            if scan_y0 <= y < scan_y1 and int(2 * s) <= x < size - int(2 * s):
                px[y][x] = 4
    return px


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, px):
    h, w = len(px), len(px[0])
    raw = b"".join(b"\x00" + bytes(row) for row in px)
    plte = b"".join(bytes(c) for c in PALETTE)
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0))
            + png_chunk(b"PLTE", plte) + png_chunk(b"tRNS", b"\x00")
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


def dib(px):
    """An ICO image entry: 8-bit DIB with 256-colour palette, XOR rows then the AND mask."""
    h, w = len(px), len(px[0])
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    palette += b"\x00" * (256 * 4 - len(palette))
    xor_stride = (w + 3) & ~3
    and_stride = ((w + 31) // 32) * 4
    xor_rows, and_rows = b"", b""
    for row in reversed(px):
        xor_rows += bytes(row) + b"\x00" * (xor_stride - w)
        bits = bytearray(and_stride)
        for x, v in enumerate(row):
            if v == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows += bytes(bits)
    return header + palette + xor_rows + and_rows


def write_ico(path, images):
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for px in images:
        blob = dib(px)
        size = len(px)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(blob), offset)
        blobs += blob
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for name, draw in (("mainframe", draw_main), ("tray", draw_tray)):
        images = [draw(32), draw(16)]
        for px in images:
            write_png(os.path.join(out, "%s_%d.png" % (name, len(px))), px)
        scaled = [draw(size) for size in (64, 48, 40, 24, 20)]
        write_ico(os.path.join(out, "%s.ico" % name), images + scaled)


if __name__ == "__main__":
    main()
