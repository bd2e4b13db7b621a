#!/usr/bin/env python3
"""Draws the two icons of the stand-in application and writes them as .ico files.

usage: draw-icons.py OUTPUT_DIR

  quorin-app.ico  icon group 1 (index 0): a green account book with a yen sign
  quorin-doc.ico  icon group 2 (index 1): a document page with ruled ledger lines

Each file holds a 32x32 and a 16x16 image, 16 colours (4 bits per pixel) with an
AND mask, which every Windows version from 95 on can show. Pure standard library.
"""
import os
import struct
import sys

# The standard 16-colour VGA palette as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DKRED, DKGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None  # transparent pixel


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def scale(self):
        """Coordinates are given on a 32-unit grid; the result maps them to this canvas."""
        return lambda v: v * self.size // 32


def yen(cv, cx, top, h, c, thick):
    """A yen sign: a V on top, a stem and two bars, centred on column cx."""
    half = h // 2
    for t in range(thick):
        cv.line(cx - half + t, top, cx, top + half, c)
        cv.line(cx + half - t, top, cx, top + half, c)
    cv.rect(cx - thick // 2, top + half, cx + (thick - 1) // 2, top + h, c)
    bar = max(half - 1, 2)
    cv.rect(cx - bar, top + half + 1, cx + bar, top + half + max(thick // 2, 1), c)
    cv.rect(cx - bar, top + half + thick + 1, cx + bar, top + half + thick + max(thick // 2, 1), c)


def draw_app(size):
    cv = Canvas(size)
    s = cv.scale()
    # Page edges behind the cover (the book seen slightly open).
    cv.rect(s(7), s(4), s(28), s(29), WHITE)
    cv.frame(s(7), s(4), s(28), s(29), GRAY)
    # Cover.
    cv.rect(s(4), s(2), s(25), s(27), DKGREEN)
    cv.frame(s(4), s(2), s(25), s(27), BLACK)
    # Spine with two bands.
    cv.rect(s(4), s(2), s(7), s(27), GREEN if size >= 32 else DKGREEN)
    cv.frame(s(4), s(2), s(7), s(27), BLACK)
    cv.rect(s(4), s(6), s(7), s(6), YELLOW)
    cv.rect(s(4), s(23), s(7), s(23), YELLOW)
    # Label with a yen sign.
    cv.rect(s(10), s(7), s(22), s(22), WHITE)
    cv.frame(s(10), s(7), s(22), s(22), OLIVE)
    yen(cv, s(16), s(9), s(11), RED, 2 if size >= 32 else 1)
    return cv


def draw_doc(size):
    cv = Canvas(size)
    s = cv.scale()
    fold = s(7)
    left, top, right, bottom = s(5), s(1), s(26), s(30)
    cv.rect(left, top, right, bottom, WHITE)
    # Cut the folded corner away, then draw it.
    for y in range(top, top + fold + 1):
        for x in range(right - fold + (y - top) + 1, right + 1):
            cv.put(x, y, CLEAR)
    cv.frame(left, top, right, bottom, CLEAR)
    cv.line(left, top, right - fold, top, BLACK)
    cv.line(left, top, left, bottom, BLACK)
    cv.line(left, bottom, right, bottom, BLACK)
    cv.line(right, top + fold, right, bottom, BLACK)
    cv.line(right - fold, top, right, top + fold, BLACK)
    cv.line(right - fold, top, right - fold, top + fold, GRAY)
    cv.line(right - fold, top + fold, right, top + fold, GRAY)
    # Ledger: a blue heading bar, ruled lines, a red column rule.
    cv.rect(left + 2, s(10), right - 2, s(11), NAVY)
    for y in range(s(14), bottom - 1, max(s(4), 2)):
        cv.line(left + 2, y, right - 2, y, CYAN if size >= 32 else TEAL)
    cv.line(s(19), s(12), s(19), bottom - 2, RED)
    # Small green book badge in the lower left, tying the document to the program.
    cv.rect(s(2), s(21), s(12), s(31), DKGREEN)
    cv.frame(s(2), s(21), s(12), s(31), BLACK)
    cv.rect(s(4), s(23), s(10), s(29), WHITE)
    if size >= 32:
        yen(cv, s(7), s(23), s(6), RED, 1)
    return cv


def dib(cv):
    """BITMAPINFOHEADER + palette + 4-bit XOR bitmap + 1-bit AND mask, rows bottom-up."""
    n = cv.size
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_row = ((n * 4 + 31) // 32) * 4
    and_row = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(n)):
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(n):
            c = cv.px[y][x]
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0
            row[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += row
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def ico(canvases):
    images = [dib(cv) for cv in canvases]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for cv, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', cv.size, cv.size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: draw-icons.py OUTPUT_DIR')
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, draw in (('quorin-app.ico', draw_app), ('quorin-doc.ico', draw_doc)):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(ico([draw(32), draw(16)]))


if __name__ == '__main__':
    main()
