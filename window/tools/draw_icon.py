#!/usr/bin/env python3
"""Draws the program icon as palette PNGs in the standard 16 colours: 16, 32 and 48 pixels drawn
at their own size, 64, 128 and 256 pixels as the 32-pixel drawing enlarged two, four and eight
times, so the large sizes keep the same crisp pixels.

Three white sheets outlined in black, each set down and to the right of the one in front of it;
the front sheet is ruled in light grey and has its lower-right corner folded over. Pixels outside
the sheets are transparent. Usage: draw_icon.py OUTPUT_DIR
"""
import struct
import sys
import zlib
from pathlib import Path

# The standard 16-colour palette, then one fully transparent entry for the background.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
    (0x00, 0x00, 0x00),
]
BLACK, SILVER, GREY, WHITE, CLEAR = 0, 7, 8, 15, 16


def draw(size, sheet_w, sheet_h, step, fold, rule_gap, margin):
    px = [[CLEAR] * size for _ in range(size)]
    # Back to front: the rearmost sheet is the lowest and furthest right.
    for k in (2, 1, 0):
        left, top = 1 + k * step, k * step
        right, bottom = left + sheet_w - 1, top + sheet_h - 1
        front = k == 0

        def cut(x, y):
            # The folded corner: pixels beyond the fold's diagonal are not part of the sheet.
            return front and (x - (right - fold)) + (y - (bottom - fold)) > fold

        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                if cut(x, y):
                    continue
                edge = x in (left, right) or y in (top, bottom)
                px[y][x] = BLACK if edge else WHITE
        if not front:
            continue
        for y in range(top + rule_gap + 1, bottom - 1, rule_gap):
            for x in range(left + margin, right - margin + 1):
                if px[y][x] == WHITE and (x - (right - fold)) + (y - (bottom - fold)) < fold:
                    px[y][x] = SILVER
        # The flap: the corner turned over onto the sheet, grey, outlined in black.
        for y in range(bottom - fold, bottom + 1):
            for x in range(right - fold, right + 1):
                dx, dy = x - (right - fold), y - (bottom - fold)
                if dx + dy == fold or dx == 0 or dy == 0:
                    px[y][x] = BLACK
                elif dx + dy < fold:
                    px[y][x] = GREY
    return px


def png(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
            + chunk(b"tRNS", bytes([255] * (len(PALETTE) - 1) + [0]))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def enlarge(pixels, factor):
    return [[p for p in row for _ in range(factor)] for row in pixels for _ in range(factor)]


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    icon32 = draw(32, 22, 26, 3, 6, 3, 3)
    (out / "icon-32.png").write_bytes(png(icon32))
    (out / "icon-16.png").write_bytes(png(draw(16, 11, 12, 2, 3, 2, 2)))
    (out / "icon-48.png").write_bytes(png(draw(48, 33, 39, 4, 9, 4, 5)))
    for factor in (2, 4, 8):
        (out / f"icon-{32 * factor}.png").write_bytes(png(enlarge(icon32, factor)))


if __name__ == "__main__":
    main()
