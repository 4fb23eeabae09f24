#!/usr/bin/env python3
"""Writes host/morvahost.ico, the host program's icon: a short piano keyboard.

The icon holds two images, 16 x 16 and 32 x 32, each 32 bits per pixel with
alpha plus the 1-bit mask older Windows versions draw with. Each size is
drawn on its own pixel grid below (no scaling), so its lines stay sharp.
The output depends only on the drawings, so running the script again
reproduces the committed file byte for byte.

Usage: tools/make-icon.py [output file, default: host/morvahost.ico]
"""

import os
import struct
import sys

# White keys from C (three up to E at 16 x 16, five up to G at 32 x 32) with
# the black keys between them, in a dark frame with cut corners; the E key is
# held down, in the red the host marks a held key with. '.' transparent, 'f' frame, 'w' white key, 's' gap between
# white keys, 'b' black key, 'r' the held key.


def keyboard(size, whites, frame, key, top, height, black_rows, inset):
    """Returns the drawing, top row first: `inset` transparent columns each
    side, a frame `frame` pixels thick, `whites` white keys `key` pixels wide with a
    one-pixel gap, black keys three pixels wide over the gaps that have one,
    `black_rows` rows long; the frame's outer rows are `top` to
    `top + height - 1`."""
    grid = [["."] * size for _ in range(size)]
    left, right = inset, size - 1 - inset
    bottom = top + height - 1
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            grid[y][x] = "f"
    for corner_y in (top, bottom):
        for corner_x in (left, right):
            grid[corner_y][corner_x] = "."
    inner_left = left + frame
    inner_top = top + frame
    inner_bottom = bottom - frame
    gaps = []
    x = inner_left
    for k in range(whites):
        for y in range(inner_top, inner_bottom + 1):
            for dx in range(key):
                grid[y][x + dx] = "r" if k == 2 else "w"
        x += key
        if k < whites - 1:
            gaps.append(x)
            for y in range(inner_top, inner_bottom + 1):
                grid[y][x] = "s"
            x += 1
    assert x - 1 == right - frame, "the keys must fill the frame"
    # No black key between E and F.
    for k, gap in enumerate(gaps):
        if k == 2:
            continue
        for y in range(inner_top, inner_top + black_rows):
            for dx in (-1, 0, 1):
                grid[y][gap + dx] = "b"
    return ["".join(row) for row in grid]


DRAWINGS = {
    16: keyboard(16, whites=3, frame=1, key=4, top=2, height=12, black_rows=6, inset=0),
    32: keyboard(32, whites=5, frame=2, key=4, top=4, height=24, black_rows=12, inset=2),
}

# (red, green, blue, alpha)
COLOURS = {
    ".": (0x00, 0x00, 0x00, 0x00),
    "f": (0x2E, 0x36, 0x40, 0xFF),
    "w": (0xFA, 0xFA, 0xF7, 0xFF),
    "s": (0x8A, 0x93, 0x9E, 0xFF),
    "b": (0x15, 0x18, 0x1C, 0xFF),
    "r": (0xE0, 0x4A, 0x4A, 0xFF),
}

ICONDIR_SIZE = 6
ICONDIRENTRY_SIZE = 16
INFO_HEADER_SIZE = 40


def image(drawing):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), the
    colour rows bottom-up as blue, green, red, alpha, then the mask rows
    bottom-up, one bit a pixel (1: transparent), padded to four bytes."""
    size = len(drawing)
    assert all(len(line) == size for line in drawing)
    colour = b"".join(
        struct.pack("<BBBB", b, g, r, a)
        for line in reversed(drawing)
        for (r, g, b, a) in (COLOURS[ch] for ch in line))
    mask = bytearray()
    for line in reversed(drawing):
        row = bytearray((size + 7) // 8)
        for x, ch in enumerate(line):
            if COLOURS[ch][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        while len(row) % 4:
            row.append(0)
        mask += row
    header = struct.pack(
        "<IiiHHIIiiII",
        INFO_HEADER_SIZE,
        size,
        2 * size,        # the colour rows and the mask rows
        1,               # planes
        32,              # bits per pixel
        0,               # BI_RGB
        len(colour) + len(mask),
        0, 0, 0, 0)
    return header + colour + bytes(mask)


def make_icon(drawings):
    """The .ico file: ICONDIR, one ICONDIRENTRY per image, the images."""
    images = [(size, image(drawing)) for size, drawing in sorted(drawings.items())]
    offset = ICONDIR_SIZE + ICONDIRENTRY_SIZE * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "host", "morvahost.ico")
    with open(path, "wb") as f:
        f.write(make_icon(DRAWINGS))


if __name__ == "__main__":
    main()
