#!/usr/bin/env python3
"""Draws the two icon groups of SETUP.EXE and writes them as .ico files.

SETUP_ICON: an account book (a blue cover with ruled white pages) and a green arrow
that comes from the right and points into the book. UNSET_ICON: the same book with a
red arrow that leaves it, pointing right. Each icon holds 48x48, 32x32 and 16x16
images, each drawn on its own pixel grid (nothing is scaled, so every ruled line of a
size has one thickness). The drawing has a handful of solid colours and no partial
transparency, so each image is stored as a bitmap with 4 bits per pixel, its own
16-colour palette and an AND mask: the exact pixels, in the form every Windows from 95
and NT 3.51 on reads, at a sixth of the size of 32-bit images.
"""
import struct
import sys

COVER, SPINE, PAGES, RULE = (40, 70, 160), (25, 45, 120), (250, 250, 245), (120, 150, 210)
GREEN, DARK_GREEN = (30, 160, 60), (10, 90, 30)
RED, DARK_RED = (200, 40, 40), (120, 20, 20)

# Per size, inclusive pixel bounds: the cover and its spine, the pages, the ruled lines
# (rows, thickness, first and last column) and the arrow (its centre rows, the head's
# length, the shaft's half height, and where the arrow begins and ends).
GEOMETRY = {
    16: dict(cover=(1, 1, 11, 14), spine=2, pages=(3, 2, 10, 13), rules=((4, 7, 10), 1, 4, 9),
             centre=(7, 8), head=4, shaft=1, into=(5, 15), out=(6, 15)),
    32: dict(cover=(3, 2, 23, 29), spine=6, pages=(7, 4, 22, 27), rules=((8, 12, 16, 20, 24), 1, 9, 20),
             centre=(15, 16), head=7, shaft=3, into=(10, 30), out=(12, 30)),
    48: dict(cover=(5, 3, 35, 44), spine=9, pages=(10, 6, 33, 41),
             rules=((12, 18, 24, 30, 36), 2, 13, 30),
             centre=(23, 24), head=10, shaft=4, into=(15, 46), out=(18, 46)),
}


def arrow_pixels(size, pointing_left):
    """The arrow's pixels: a head of g['head'] columns that grows one row on each side per
    column from a two-row tip, and a shaft of 2 * g['shaft'] rows behind it."""
    g = GEOMETRY[size]
    top, bottom = g['centre']
    start, end = g['into'] if pointing_left else g['out']
    pixels = set()
    for i in range(g['head']):
        x = start + i if pointing_left else end - i
        for y in range(top - i, bottom + i + 1):
            pixels.add((x, y))
    shaft = range(start + g['head'], end + 1) if pointing_left else range(start, end - g['head'] + 1)
    for x in shaft:
        for y in range(top + 1 - g['shaft'], bottom + g['shaft']):
            pixels.add((x, y))
    return pixels


def book_pixels(size, colour, outline, pointing_left):
    g = GEOMETRY[size]
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    rect(*g['cover'], COVER)
    x0, y0, _, y1 = g['cover']
    rect(x0, y0, g['spine'], y1, SPINE)
    rect(*g['pages'], PAGES)
    rows, thickness, first, last = g['rules']
    for row in rows:
        rect(first, row, last, row + thickness - 1, RULE)
    arrow = arrow_pixels(size, pointing_left)
    for (x, y) in arrow:
        for (dx, dy) in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            nx, ny = x + dx, y + dy
            if 0 <= nx < size and 0 <= ny < size and (nx, ny) not in arrow:
                px[ny][nx] = outline
    for (x, y) in arrow:
        px[y][x] = colour
    return px


def palette_of(px):
    """Index 0 is black, the colour under transparent pixels; then the drawing's colours."""
    colours = [(0, 0, 0)]
    for row in px:
        for c in row:
            if c is not None and c not in colours:
                colours.append(c)
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
        for x, c in enumerate(px[y]):
            index = palette.index(c) if c is not None else 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
    row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x, c in enumerate(px[y]):
            if c is None:
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
    sizes = (48, 32, 16)
    write_icon(out_dir + '/setup.ico', [book_pixels(n, GREEN, DARK_GREEN, True) for n in sizes])
    write_icon(out_dir + '/unset.ico', [book_pixels(n, RED, DARK_RED, False) for n in sizes])


if __name__ == '__main__':
    main()
