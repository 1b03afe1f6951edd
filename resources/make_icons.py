#!/usr/bin/env python3
"""make_icons.py - draws the program's icons: a small printer with a sheet
going in at the back and a printed sheet coming out at the front.

Writes, next to this script:
  velmar.ico  the application icon: 32x32 and 16x16 in 16 colours, then
              32x32 and 16x16 in 256 colours
  small.ico   the small icon: 16x16 in 16 colours

Plain standard library, deterministic output: run it again after changing a
picture and commit the .ico files with it.
"""

import os
import struct

# The standard 16-colour palette (VGA order).
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Named colours of the pictures. Each has a 16-colour index and a true colour
# used in the 256-colour images (index 16 onwards of their palette).
COLOURS = {
    "outline": (0, (0x20, 0x20, 0x28)),
    "paper": (15, (0xFC, 0xFB, 0xF4)),
    "ink": (4, (0x30, 0x40, 0x90)),
    "body": (7, (0xC8, 0xCC, 0xD4)),
    "body_light": (15, (0xE8, 0xEA, 0xF0)),
    "body_dark": (8, (0x8C, 0x90, 0x9C)),
    "slot": (0, (0x10, 0x10, 0x14)),
    "lamp": (10, (0x30, 0xE0, 0x40)),
    "lamp_dark": (2, (0x18, 0x90, 0x20)),
}
NAMES = list(COLOURS)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, colour, edge="outline"):
        self.fill(x0, y0, x1, y1, edge)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, colour)


def printer32():
    c = Canvas(32)
    # Sheet waiting at the back, with a few lines of text.
    c.box(9, 2, 22, 12, "paper")
    for y, right in ((4, 20), (6, 18), (8, 20), (10, 16)):
        c.fill(11, y, right, y, "ink")
    # Body, lit from above.
    c.box(2, 11, 29, 24, "body")
    c.fill(3, 12, 28, 12, "body_light")
    c.fill(3, 22, 28, 23, "body_dark")
    # Lamp and the slot the paper leaves by.
    c.fill(24, 14, 25, 15, "lamp")
    c.fill(25, 15, 25, 15, "lamp_dark")
    c.fill(6, 18, 25, 18, "slot")
    # Printed sheet coming out at the front.
    c.box(7, 18, 24, 30, "paper")
    for y, right in ((21, 22), (23, 19), (25, 22), (27, 17)):
        c.fill(9, y, right, y, "ink")
    return c


def printer16():
    c = Canvas(16)
    c.box(4, 1, 11, 6, "paper")
    c.fill(5, 3, 9, 3, "ink")
    c.box(1, 5, 14, 12, "body")
    c.fill(2, 6, 13, 6, "body_light")
    c.fill(2, 11, 13, 11, "body_dark")
    c.fill(12, 7, 12, 7, "lamp")
    c.fill(3, 9, 12, 9, "slot")
    c.box(4, 9, 11, 15, "paper")
    c.fill(5, 11, 10, 11, "ink")
    c.fill(5, 13, 8, 13, "ink")
    return c


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def dib(canvas, bpp):
    """One icon image: header, palette, colour bits, transparency mask."""
    size = canvas.size
    if bpp == 4:
        palette = VGA
        index = {name: COLOURS[name][0] for name in NAMES}
    else:
        palette = VGA + [COLOURS[name][1] for name in NAMES]
        palette += [(0, 0, 0)] * (256 - len(palette))
        index = {name: 16 + i for i, name in enumerate(NAMES)}

    colour_rows = []
    mask_rows = []
    for y in reversed(range(size)):  # bottom-up, as bitmaps are stored
        row = canvas.pixels[y]
        colour = bytearray(row_bytes(size * bpp))
        mask = bytearray(row_bytes(size))
        for x, name in enumerate(row):
            value = 0 if name is None else index[name]
            if bpp == 4:
                colour[x // 2] |= value << (4 if x % 2 == 0 else 0)
            else:
                colour[x] = value
            if name is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        colour_rows.append(bytes(colour))
        mask_rows.append(bytes(mask))
    bits = b"".join(colour_rows) + b"".join(mask_rows)

    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(bits), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + table + bits


def icon_file(images):
    """images: list of (canvas, bpp)."""
    blobs = [dib(canvas, bpp) for canvas, bpp in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (canvas, bpp), blob in zip(images, blobs):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", canvas.size, canvas.size, colours, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    big, small = printer32(), printer16()
    with open(os.path.join(here, "velmar.ico"), "wb") as f:
        f.write(icon_file([(big, 4), (small, 4), (big, 8), (small, 8)]))
    with open(os.path.join(here, "small.ico"), "wb") as f:
        f.write(icon_file([(small, 4)]))


if __name__ == "__main__":
    main()
