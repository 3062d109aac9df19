#!/usr/bin/env python3
# resources/make_icon.py: drawing below -> resources/mimoza.ico (icon group 105), and the same
# drawing as the desktop window's icon: desktop/icons/mimoza.svg and, rendered from it with
# rsvg-convert (librsvg2-bin), desktop/icons/mimoza-SIZE.png.
# The Windows icon is one 32 x 32 image, 4 bits per pixel with the 16-colour palette: a sprig of
# round yellow flower heads on a green stem with feathery leaves; the desktop's draws the same
# sprig on the same 32-unit grid, smooth. Run it after changing the drawing and commit its files;
# the build only reads them, so it needs neither Python nor librsvg.
import pathlib
import struct
import subprocess

# The classic 16 colours as red, green, blue; the file stores them blue, green, red, 0.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, DARK_GREEN, OLIVE, GREEN, YELLOW, WHITE = -1, 2, 3, 10, 11, 15

SIZE = 32
# The drawing, on the 32-unit grid: the stem's x at row y, the two side stems of leaves (start,
# direction) and the flower heads (centre, radius).
def StemX(y):
    return 6 + (30 - y) * 2 // 3
STEM_ROWS = (12, 31)
LEAF_STEMS = ((9, 26, -1), (13, 20, 1))
LEAF_STEPS = 7
HEADS = ((16, 9, 5), (24, 6, 4), (25, 15, 4), (9, 5, 3), (18, 18, 3))
# The desktop icon's sizes besides the scalable one, as the hicolor theme's folders name them.
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)


def Draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def Plot(x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            pixels[y][x] = colour

    # The stem curves from the bottom left corner up to the middle.
    for y in range(*STEM_ROWS):
        x = StemX(y)
        Plot(x, y, DARK_GREEN)
        Plot(x + 1, y, DARK_GREEN)
    # Feathery leaves: short paired strokes along two side stems.
    for base_x, base_y, direction in LEAF_STEMS:
        for step in range(LEAF_STEPS):
            x, y = base_x + direction * step, base_y - step // 2
            Plot(x, y, GREEN)
            Plot(x, y - 1, DARK_GREEN)
            Plot(x, y + 1, GREEN)
    # Round flower heads: a yellow disc with an olive rim and a white highlight.
    for cx, cy, r in HEADS:
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


def Svg():
    """The sprig as a scalable drawing: pixel centres become coordinates (+0.5)."""
    top, bottom = STEM_ROWS[0], STEM_ROWS[1] - 1
    stem = "M%.1f %.1f Q%.1f %.1f %.1f %.1f" % (
        StemX(bottom) + 1, bottom + 0.5, StemX((top + bottom) // 2) + 1.5, (top + bottom) / 2,
        StemX(top) + 1, top + 0.5)
    parts = ['<path d="%s" fill="none" stroke="#2e6b1f" stroke-width="2" '
             'stroke-linecap="round"/>' % stem]
    for base_x, base_y, direction in LEAF_STEMS:
        end_x = base_x + direction * (LEAF_STEPS - 1) + 0.5
        end_y = base_y - (LEAF_STEPS - 1) // 2 + 0.5
        # A band of leaflets with a darker midrib above its middle, as the pixels have it.
        for width, colour, lift in ((3.0, "#3cc43c", 0), (0.9, "#2e6b1f", -0.8)):
            parts.append('<path d="M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="%.1f" '
                         'stroke-linecap="round"/>' % (base_x + 0.5, base_y + 0.5 + lift, end_x,
                                                       end_y + lift, colour, width))
    for cx, cy, r in HEADS:
        parts.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="url(#head)" stroke="#9a8a00" '
                     'stroke-width="0.8"/>' % (cx + 0.5, cy + 0.5, r + 0.3))
        parts.append('<circle cx="%.1f" cy="%.1f" r="%.2f" fill="#ffffff" opacity="0.85"/>' % (
            cx - r // 2 + 0.5, cy - r // 2 + 0.5, max(0.6, r / 5)))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
            'viewBox="0 0 32 32">\n'
            '<defs><radialGradient id="head" cx="0.4" cy="0.35" r="0.7">'
            '<stop offset="0" stop-color="#fff36b"/><stop offset="0.7" stop-color="#ffd600"/>'
            '<stop offset="1" stop-color="#e0a800"/></radialGradient></defs>\n'
            + "\n".join(parts) + "\n</svg>\n")


if __name__ == "__main__":
    out = pathlib.Path(__file__).with_name("mimoza.ico")
    out.write_bytes(IconBytes(Draw()))
    icons = pathlib.Path(__file__).parent.parent / "desktop" / "icons"
    icons.mkdir(exist_ok=True)
    svg = icons / "mimoza.svg"
    svg.write_text(Svg())
    for size in PNG_SIZES:
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o",
                        str(icons / ("mimoza-%d.png" % size)), str(svg)], check=True)
