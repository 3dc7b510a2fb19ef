#!/usr/bin/env python3
"""Draws the program's icon, an open parcel with an arrow rising out of it, and writes it as
an .ico file with a 32x32 and a 16x16 image in the 16 standard colours.

Usage: make_icon.py OUT.ico [--png OUT.png]   (--png: both images, enlarged, for a look)
"""
import os
import struct
import sys
import zlib

# The 16-colour palette every display driver has.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, GREEN, OLIVE, SILVER, GRAY, LIME, YELLOW, WHITE = 0, 2, 3, 7, 8, 10, 11, 15

# Per size: the box's left and right x at its front edge, the rows of its back edge, front
# edge and bottom (the top is drawn at 45 degrees, so the back edge sits as far right as it is
# high), the arrow's head rows and half widths, and the shipping label (x0, y0, x1, y1).
GEOMETRY = {
    32: dict(left=2, right=22, back=12, front=19, bottom=30, tip=0, neck=8, head=7, shaft=3,
             label=(5, 23, 11, 27)),
    16: dict(left=0, right=11, back=7, front=10, bottom=15, tip=0, neck=4, head=3, shaft=1,
             label=(2, 12, 5, 13)),
}


def draw(size):
    g = GEOMETRY[size]
    grid = [[None] * size for _ in range(size)]

    def put(x, y, colour):
        if 0 <= x < size and 0 <= y < size:
            grid[y][x] = colour

    depth = g["front"] - g["back"]
    width = g["right"] - g["left"]
    mid = size // 2  # the arrow's axis lies between columns mid - 1 and mid

    # The opening: the far inner wall in olive, the floor in gray, a black rim.
    for y in range(g["back"], g["front"] + 1):
        x0 = g["left"] + g["front"] - y
        for x in range(x0, x0 + width + 1):
            inner_wall = y - g["back"] <= depth // 2 and x < x0 + width
            put(x, y, OLIVE if inner_wall else GRAY)
        put(x0, y, BLACK)
        put(x0 + width, y, BLACK)
    for x in range(g["left"] + depth, g["right"] + depth + 1):
        put(x, g["back"], BLACK)

    # The arrow, lit from the left, standing in the box.
    def arrow_row(y, half):
        for x in range(mid - half, mid + half):
            put(x, y, LIME if x < mid else GREEN)
        put(mid - half - 1, y, BLACK)
        put(mid + half, y, BLACK)

    put(mid - 1, g["tip"], BLACK)
    put(mid, g["tip"], BLACK)
    rows = g["neck"] - g["tip"] - 1
    for i in range(rows):
        arrow_row(g["tip"] + 1 + i, 1 + i * (g["head"] - 1) // (rows - 1))
    for x in range(mid - g["head"] - 1, mid + g["head"] + 1):
        put(x, g["neck"], BLACK)
    for y in range(g["neck"], g["front"]):
        arrow_row(y, g["shaft"])
    for x in range(mid - g["shaft"], mid + g["shaft"]):
        put(x, g["neck"], LIME if x < mid else GREEN)

    # The front in yellow, the side in olive's shade, outlined.
    for y in range(g["front"], g["bottom"] + 1):
        for x in range(g["left"], g["right"] + 1):
            edge = x in (g["left"], g["right"]) or y in (g["front"], g["bottom"])
            put(x, y, BLACK if edge else YELLOW)
    for x in range(g["right"], g["right"] + depth + 1):
        top = g["front"] - (x - g["right"])
        bottom = g["bottom"] - (x - g["right"])
        for y in range(top, bottom + 1):
            edge = y in (top, bottom) or x in (g["right"], g["right"] + depth)
            put(x, y, BLACK if edge else OLIVE)

    # A shipping label: white, two gray lines of writing, a shadow.
    x0, y0, x1, y1 = g["label"]
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(x, y, WHITE)
    for y in range(y0 + 1, y1, 2):
        for x in range(x0 + 1, x1):
            put(x, y, GRAY if size > 16 else SILVER)
    for x in range(x0 + 1, x1 + 2):
        put(x, y1 + 1, OLIVE)
    for y in range(y0 + 1, y1 + 1):
        put(x1 + 1, y, OLIVE)
    return grid


def icon_image(grid):
    """A 4-bit DIB as an icon holds it: header with doubled height, palette, colour rows and
    the transparency mask, both bottom-up with rows padded to 32 bits."""
    size = len(grid)
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(grid):
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, colour in enumerate(row):
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                colour = 0
            line[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        colours += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def icon_file(grids):
    images = [icon_image(grid) for grid in grids]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for grid, image in zip(grids, images):
        size = len(grid)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def png_file(grids, scale=8):
    """Both images side by side, enlarged, transparency as a light check pattern."""
    height = max(len(g) for g in grids) * scale
    width = sum(len(g) * scale + scale for g in grids)
    raw = bytearray()
    for py in range(height):
        raw.append(0)
        for grid in grids:
            for px in range(len(grid) * scale + scale):
                y, x = py // scale, px // scale
                colour = grid[y][x] if y < len(grid) and x < len(grid) else None
                if colour is None:
                    check = (px // 4 + py // 4) % 2
                    raw += bytes((230, 230, 230) if check else (250, 250, 250))
                else:
                    raw += bytes(PALETTE[colour])

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--png"):
        sys.exit(__doc__.strip().splitlines()[-1])
    grids = [draw(32), draw(16)]
    os.makedirs(os.path.dirname(os.path.abspath(argv[1])), exist_ok=True)
    with open(argv[1], "wb") as f:
        f.write(icon_file(grids))
    if len(argv) == 4:
        with open(argv[3], "wb") as f:
            f.write(png_file(grids))


if __name__ == "__main__":
    main(sys.argv)
