#!/usr/bin/env python3
# Draws the program's icon, a smart card with its chip, as one 32 x 32 image in the 16 standard
# VGA colours, and writes it to cardsetup.ico beside this script. Run it again after a change.
import os
import struct

SIZE = 32
PALETTE = [  # the standard 16-colour palette, as (blue, green, red)
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, NAVY, OLIVE, GREY, YELLOW, WHITE, BLUE = 0, 4, 3, 8, 11, 15, 12
CLEAR = None


def card(x, y):
    """The colour at (x, y), counted from the top left; CLEAR outside the card."""
    left, right, top, bottom = 1, 30, 6, 25
    corner = (x in (left, right)) and (y in (top, bottom))
    if not (left <= x <= right and top <= y <= bottom) or corner:
        return CLEAR
    if x in (left, right) or y in (top, bottom):
        return NAVY
    if 5 <= x <= 13 and 11 <= y <= 18:  # the chip and its contacts
        if x in (5, 13) or y in (11, 18):
            return OLIVE
        return GREY if (x == 9 or y in (13, 16)) else YELLOW
    if 17 <= x <= 27 and y in (12, 15, 18) and not (y == 18 and x > 23):
        return WHITE  # lines of print on the card
    if 4 <= x <= 27 and y == 22:
        return BLACK  # the magnetic stripe's edge, for contrast
    return BLUE


def icon_bytes():
    rows_xor = []
    rows_and = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up, as bitmaps are stored
        colours = [card(x, y) for x in range(SIZE)]
        nibbles = [c if c is not None else 0 for c in colours]
        rows_xor.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for c in colours:
            mask = (mask << 1) | (1 if c is None else 0)
        rows_and.append(mask.to_bytes(4, "big"))
    xor = b"".join(rows_xor)
    mask = b"".join(rows_and)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0,
                         16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cardsetup.ico")
    with open(path, "wb") as out:
        out.write(icon_bytes())
