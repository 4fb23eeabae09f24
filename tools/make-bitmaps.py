#!/usr/bin/env python3
"""Writes the tool's two 16 x 16 panel images: a music staff with three notes.

resources/tool.bmp is 4 bits per pixel with the standard 16-colour VGA
palette; resources/toolmono.bmp is 1 bit per pixel. Both are uncompressed,
bottom-up Windows bitmaps. The output depends only on the drawing below, so
running the script again reproduces the committed files byte for byte.

Usage: tools/make-bitmaps.py [output directory, default: resources/]
"""

import os
import struct
import sys

# Top row first. '.' paper, '-' staff line, '#' note (head, stem or beam):
# a quarter note in the lowest space, then two eighth notes joined by a beam.
DRAWING = [
    "................",
    ".........######.",
    "---------######-",
    ".........#....#.",
    ".........#....#.",
    "----#----#----#-",
    "....#....#..###.",
    "....#..###.###..",
    "----#-####------",
    "....#..##.......",
    "....#...........",
    "----#-----------",
    "..###...........",
    ".###............",
    "----------------",
    "................",
]

WIDTH = 16
HEIGHT = 16

# The standard VGA colours in palette order, as (red, green, blue).
VGA_PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
VGA_BLACK = 0
VGA_DARK_GRAY = 8
VGA_WHITE = 15

MONO_PALETTE = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]
MONO_BLACK = 0
MONO_WHITE = 1

COLOUR_INDICES = {".": VGA_WHITE, "-": VGA_DARK_GRAY, "#": VGA_BLACK}
MONO_INDICES = {".": MONO_WHITE, "-": MONO_BLACK, "#": MONO_BLACK}

FILE_HEADER_SIZE = 14
INFO_HEADER_SIZE = 40


def pack_row(indices, bits_per_pixel):
    """Packs one row of palette indices, leftmost pixel in the high bits,
    and pads it to a multiple of four bytes."""
    per_byte = 8 // bits_per_pixel
    row = bytearray()
    for start in range(0, len(indices), per_byte):
        value = 0
        for offset in range(per_byte):
            index = indices[start + offset] if start + offset < len(indices) else 0
            value = (value << bits_per_pixel) | index
        row.append(value)
    while len(row) % 4:
        row.append(0)
    return bytes(row)


def make_bitmap(drawing, index_of, palette, bits_per_pixel):
    """Returns the bytes of a .bmp file: file header, BITMAPINFOHEADER,
    palette (blue, green, red, 0) and the rows from the bottom up."""
    assert len(drawing) == HEIGHT and all(len(line) == WIDTH for line in drawing)
    assert len(palette) == 1 << bits_per_pixel

    pixels = b"".join(
        pack_row([index_of[ch] for ch in line], bits_per_pixel)
        for line in reversed(drawing))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)

    bits_offset = FILE_HEADER_SIZE + INFO_HEADER_SIZE + len(colours)
    file_size = bits_offset + len(pixels)

    file_header = struct.pack("<2sIHHI", b"BM", file_size, 0, 0, bits_offset)
    info_header = struct.pack(
        "<IiiHHIIiiII",
        INFO_HEADER_SIZE,
        WIDTH,
        HEIGHT,          # positive: rows are stored bottom-up
        1,               # planes
        bits_per_pixel,
        0,               # BI_RGB, uncompressed
        len(pixels),
        0, 0,            # no preferred resolution
        len(palette),    # colours used
        0)               # all colours important
    return file_header + info_header + colours + pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    outputs = {
        "tool.bmp": make_bitmap(DRAWING, COLOUR_INDICES, VGA_PALETTE, 4),
        "toolmono.bmp": make_bitmap(DRAWING, MONO_INDICES, MONO_PALETTE, 1),
    }
    for name, data in outputs.items():
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
