#!/usr/bin/env python3
"""Draws the program icon (a padlock over a document) as kyvomar.ico, 16 and 32 px, 32 bpp."""
import struct, sys

def draw(size):
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c
    paper, edge = (250, 250, 245, 255), (90, 90, 100, 255)
    rect(4, 2, 22, 30, edge); rect(5, 3, 21, 29, paper)
    for y in (8, 12, 16):
        rect(8, y, 18, y + 1, (160, 160, 170, 255))
    gold, dark, shackle = (236, 180, 40, 255), (150, 100, 10, 255), (120, 120, 130, 255)
    rect(15, 8, 29, 16, shackle); rect(18, 11, 26, 18, (0, 0, 0, 0))
    rect(12, 15, 31, 31, dark); rect(13, 16, 30, 30, gold)
    rect(20, 19, 23, 27, dark)
    return px

def bmp(size):
    px = draw(size)
    head = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = 0
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return head + data + bytes(mask)

images = [bmp(16), bmp(32)]
out = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, img in zip((16, 32), images):
    out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
    offset += len(img)
out += b''.join(images)
open(sys.argv[1] if len(sys.argv) > 1 else 'kyvomar.ico', 'wb').write(out)
