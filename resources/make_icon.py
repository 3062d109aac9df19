#!/usr/bin/env python3
# resources/make_icon.py: drawing below -> resources/mimoza.ico (icon group 105).
# One 32 x 32 image, 4 bits per pixel with the 16-colour palette: a sprig of round yellow flower
# heads on a green stem with feathery leaves. Run it after changing the drawing and commit the
# .ico; the build only reads the .ico, so it needs no Python.
import pathlib
import struct

# The classic 16 colours as red, green, blue; the file stores them blue, green, red, 0.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, DARK_GREEN, OLIVE, GREEN, YELLOW, WHITE = -1, 2, 3, 10, 11, 15

SIZE = 32


def Draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def Plot(x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            pixels[y][x] = colour

    # The stem curves from the bottom left corner up to the middle.
    for y in range(12, 31):
        x = 6 + (30 - y) * 2 // 3
        Plot(x, y, DARK_GREEN)
        Plot(x + 1, y, DARK_GREEN)
    # Feathery leaves: short paired strokes along two side stems.
    for base_x, base_y, direction in ((9, 26, -1), (13, 20, 1)):
        for step in range(7):
            x, y = base_x + direction * step, base_y - step // 2
            Plot(x, y, GREEN)
            Plot(x, y - 1, DARK_GREEN)
            Plot(x, y + 1, GREEN)
    # Round flower heads: a yellow disc with an olive rim and a white highlight.
    for cx, cy, r in ((16, 9, 5), (24, 6, 4), (25, 15, 4), (9, 5, 3), (18, 18, 3)):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if d <= r * r:
                    Plot(x, y, OLIVE if d > (r - 1) ** 2 else YELLOW)
        Plot(cx - r // 2, cy - r // 2, WHITE)
    return pixels


def IconBytes(pixels):
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        xor = bytearray()
        for x in range(0, SIZE, 2):
            hi, lo = (max(c, 0) for c in row[x:x + 2])
            xor.append(hi << 4 | lo)
        mask = 0
        for x, c in enumerate(row):
            if c == TRANSPARENT:
                mask |= 1 << (SIZE - 1 - x)
        xor_rows.append(bytes(xor))
        and_rows.append(struct.pack(">I", mask))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = pathlib.Path(__file__).with_name("mimoza.ico")
    out.write_bytes(IconBytes(Draw()))
