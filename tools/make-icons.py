#!/usr/bin/env python3
"""Draws the two icon groups of SETUP.EXE and writes them as .ico files.

SETUP_ICON: an account book (a blue cover with ruled white pages) and a green
arrow going into it. UNSET_ICON: the same book with a red arrow coming out.
Each icon holds 32x32 and 16x16 images. The drawing has a handful of solid colours
and no partial transparency, so each image is stored with 4 bits per pixel, its own
16-colour palette and an AND mask: the exact pixels, in the form every Windows from 95
on shows, at a sixth of the size of 32-bit images.
"""
import struct
import sys

def book_pixels(size, arrow_colour, arrow_in):
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c
    rect(4, 3, 24, 29, (40, 70, 160, 255))      # cover
    rect(7, 5, 23, 27, (250, 250, 245, 255))    # pages
    for line in range(8, 26, 4):                # ruled lines
        rect(9, line, 21, line + 1, (120, 150, 210, 255))
    rect(4, 3, 7, 29, (25, 45, 120, 255))       # spine
    # The arrow: a shaft and a head, pointing left (into the book) or right (out of it).
    rect(17, 14, 29, 18, arrow_colour)
    for i in range(6):
        if arrow_in:
            rect(15 + i, 10 + i, 16 + i, 22 - i, arrow_colour)
        else:
            rect(30 - i, 10 + i, 31 - i, 22 - i, arrow_colour)
    return px

def palette_of(px):
    """Index 0 is black, the colour under transparent pixels; then the drawing's colours."""
    colours = [(0, 0, 0)]
    for row in px:
        for (r, g, b, a) in row:
            if a and (r, g, b) not in colours:
                colours.append((r, g, b))
    assert len(colours) <= 16, 'the drawing needs more than 16 colours'
    return colours + [(0, 0, 0)] * (16 - len(colours))

def image_bytes(px):
    size = len(px)
    palette = palette_of(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    header += b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    xor = bytearray()
    xor_row_bytes = ((size * 4 + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        row = bytearray(xor_row_bytes)
        for x, (r, g, b, a) in enumerate(px[y]):
            index = palette.index((r, g, b)) if a else 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
    row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x, (_, _, _, a) in enumerate(px[y]):
            if a == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(xor) + bytes(mask)

def write_icon(path, images):
    data = [image_bytes(p) for p in images]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for p, d in zip(images, data):
        n = len(p)
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 16, 0, 1, 4, len(d), offset)
        offset += len(d)
    for d in data:
        out += d
    with open(path, 'wb') as f:
        f.write(out)

def main():
    out_dir = sys.argv[1]
    green, red = (30, 160, 60, 255), (200, 40, 40, 255)
    write_icon(out_dir + '/setup.ico', [book_pixels(32, green, True), book_pixels(16, green, True)])
    write_icon(out_dir + '/unset.ico', [book_pixels(32, red, False), book_pixels(16, red, False)])

if __name__ == '__main__':
    main()
