#!/usr/bin/env python3
"""Draws winshell/tarnwick.ico: one 32 x 32 image in 16 colours.

A Poser file (a page with a folded corner and text lines) with a green check mark over
it. Run it again after changing the drawing; the .ico is committed beside the .rc file.
"""
import struct
import sys
from pathlib import Path

SIZE = 32

# The standard 16-colour palette, as (blue, green, red, 0).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, DARK_GREEN, NAVY, SILVER, GREY, GREEN, WHITE = 0, 2, 4, 7, 8, 10, 15
TRANSPARENT = None


def draw():
    img = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def put(x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            img[y][x] = c

    # The page: x 5..24, y 1..30, the top right corner folded over.
    left, right, top, bottom, fold = 5, 24, 1, 30, 7
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            put(x, y, BLACK if edge else WHITE)
    for k in range(fold + 1):
        put(right - fold, top + k, BLACK)
        put(right - fold + k, top + fold, BLACK)
        for j in range(k):
            put(right - fold + j + 1, top + k, SILVER)
    # Text lines, one of them a colon path in navy.
    for y, length, colour in ((6, 9, GREY), (10, 15, NAVY), (14, 13, GREY), (18, 8, GREY)):
        for x in range(left + 3, left + 3 + length):
            put(x, y, colour)
    # The check mark, three pixels thick with a dark outline, over the lower right.
    stroke = [(12 + k, 21 + k) for k in range(5)] + [(16 + k, 25 - k) for k in range(13)]
    for x, y in stroke:
        for dx in range(-2, 3):
            for dy in range(-2, 3):
                if abs(dx) + abs(dy) <= 3 and img[y + dy][x + dx] not in (GREEN,):
                    put(x + dx, y + dy, DARK_GREEN)
    for x, y in stroke:
        for dx, dy in ((0, 0), (1, 0), (0, 1), (-1, 0), (0, -1)):
            put(x + dx, y + dy, GREEN)
    return img


def ico_bytes(img):
    xor_rows = []
    and_rows = []
    for y in reversed(range(SIZE)):  # bottom-up, as bitmaps are stored
        row = img[y]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        mask = 0
        for x in range(SIZE):
            mask = mask << 1 | (1 if row[x] is None else 0)
        xor_rows.append(bytes(xor))
        and_rows.append(mask.to_bytes(4, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "winshell" / "tarnwick.ico"
    out.write_bytes(ico_bytes(draw()))


if __name__ == "__main__":
    main()
