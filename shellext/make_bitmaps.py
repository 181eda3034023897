#!/usr/bin/env python3
"""Draws the two 11 x 11 menu bitmaps of the shell extension.

save.bmp (bitmap 205): a padlock, beside the two "save" commands.
mail.bmp (bitmap 201): an envelope with a small padlock, beside the mail command.

Both are written as 8 bits per pixel with a 256-entry palette. Run it to
redraw them:  python3 make_bitmaps.py [output folder]
"""
import os
import struct
import sys

# Palette: the first entries are the colours used below, the rest black.
COLOURS = {
    '.': (0xF0, 0xF0, 0xF0),  # menu background
    'k': (0x30, 0x30, 0x30),  # outline
    'g': (0xE8, 0xB4, 0x20),  # padlock body
    'h': (0x80, 0x80, 0x88),  # shackle
    'w': (0xFF, 0xFF, 0xFF),  # paper
}
ORDER = '.kghw'

SAVE = [
    "...hhhhh...",
    "..hh...hh..",
    "..h.....h..",
    "..h.....h..",
    "kkkkkkkkkkk",
    "kgggggggggk",
    "kggggkggggk",
    "kggggkggggk",
    "kgggggggggk",
    "kgggggggggk",
    "kkkkkkkkkkk",
]

MAIL = [
    "...........",
    "kkkkkkkkk..",
    "kkwwwwwkk..",
    "kwkwwwkwk..",
    "kwwkwkwwk..",
    "kwwwkwwhhh.",
    "kwwwwwwhkh.",
    "kwwwwwkkkkk",
    "kkkkkkkgggk",
    "......kgkgk",
    "......kkkkk",
]


def bitmap(rows):
    width, height = len(rows[0]), len(rows)
    assert all(len(r) == width for r in rows)
    stride = (width + 3) // 4 * 4
    palette = b''
    for i in range(256):
        r, g, b = COLOURS[ORDER[i]] if i < len(ORDER) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    pixels = b''
    for row in reversed(rows):  # bottom-up
        line = bytes(ORDER.index(c) for c in row)
        pixels += line + b'\0' * (stride - width)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, rows in (('save.bmp', SAVE), ('mail.bmp', MAIL)):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(bitmap(rows))


if __name__ == '__main__':
    main()
