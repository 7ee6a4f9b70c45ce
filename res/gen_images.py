#!/usr/bin/env python3
"""Draws Velqueth's pictures and writes them in the formats the resource compiler reads.

    python3 gen_images.py OUTDIR

writes OUTDIR/velqueth.ico (32x32 and 16x16, 16 colours), OUTDIR/toolbar.bmp (240x16, 4 bits per
pixel, fifteen 16x16 buttons) and OUTDIR/hand.cur (32x32 monochrome pointing hand, hot spot 0,0).
The pictures are pixel art written out below; the output depends on nothing but this file, so
every build produces the same bytes.
"""

import os
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue). One letter names each colour in
# the pixel art; a blank is a transparent pixel (icons and cursor only).
PALETTE = [
    ("K", (0, 0, 0)),        # black
    ("M", (128, 0, 0)),      # maroon
    ("G", (0, 128, 0)),      # green
    ("O", (128, 128, 0)),    # olive
    ("N", (0, 0, 128)),      # navy
    ("P", (128, 0, 128)),    # purple
    ("T", (0, 128, 128)),    # teal
    (".", (192, 192, 192)),  # light grey: the toolbar's ground
    ("D", (128, 128, 128)),  # dark grey
    ("R", (255, 0, 0)),      # red
    ("L", (0, 255, 0)),      # lime
    ("Y", (255, 255, 0)),    # yellow
    ("B", (0, 0, 255)),      # blue
    ("F", (255, 0, 255)),    # fuchsia
    ("C", (0, 255, 255)),    # cyan
    ("W", (255, 255, 255)),  # white
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
TRANSPARENT = " "


def palette_bytes(colours):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)


def canvas(width, height, fill):
    return [[fill] * width for _ in range(height)]


def paste(target, art, dx=0, dy=0):
    """Copies pixel art onto a canvas; blanks in the art leave the canvas as it is."""
    for y, row in enumerate(art):
        for x, c in enumerate(row):
            if c != TRANSPARENT:
                target[dy + y][dx + x] = c


def rect(target, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            target[y][x] = c


def check(art, width, height, name):
    if len(art) != height or any(len(row) != width for row in art):
        raise SystemExit("%s: pixel art must be %dx%d" % (name, width, height))
    for row in art:
        for c in row:
            if c != TRANSPARENT and c not in INDEX:
                raise SystemExit("%s: unknown colour %r" % (name, c))


def pack_rows(pixels, bits, value):
    """Bottom-up DIB rows, each padded to a multiple of four bytes."""
    width = len(pixels[0])
    stride = (width * bits + 31) // 32 * 4
    per_byte = 8 // bits
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, c in enumerate(row):
            v = value(c)
            shift = 8 - bits * (x % per_byte + 1)
            line[x // per_byte] |= v << shift
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0,
                       colours_used, 0)


# --------------------------------------------------------------------------------------------
# Toolbar: fifteen 16x16 buttons on light grey.

def sheet(width, height, lines=True):
    """A white sheet with a black edge and a folded top-right corner, optionally with text."""
    art = [[" "] * width for _ in range(height)]
    fold = 3
    for y in range(height):
        for x in range(width):
            if x > width - 1 - fold + y and y < fold:
                continue
            edge = x == 0 or y == 0 or x == width - 1 or y == height - 1
            art[y][x] = "K" if edge else "W"
    for i in range(fold + 1):
        art[i][width - 1 - fold + i] = "K"
        art[fold][width - 1 - fold + i] = "K"
        art[i][width - 1 - fold] = "K"
    if lines:
        for y in range(fold + 2, height - 2, 2):
            for x in range(2, width - 2):
                art[y][x] = "D"
    return ["".join(r) for r in art]


def button_new():
    img = canvas(16, 16, ".")
    paste(img, sheet(10, 14, lines=False), 2, 2)
    paste(img, [
        "   Y   ",
        " Y Y Y ",
        "  YYY  ",
        "YYYWYYY",
        "  YYY  ",
        " Y Y Y ",
        "   Y   ",
    ], 9, 0)
    return img


def button_open():
    return [
        "................",
        "................",
        "................",
        ".KKKK...........",
        "KOOOOK..........",
        "KOOOOOKKKKKK....",
        "KOOOOOOOOOOK....",
        "KOOOOOOOOOOK....",
        "KOOOKKKKKKKKKKK.",
        "KOOKYYYYYYYYYYK.",
        "KOKYYYYYYYYYYK..",
        "KOKYYYYYYYYYYK..",
        "KKYYYYYYYYYYK...",
        "KKYYYYYYYYYYK...",
        "KKKKKKKKKKKK....",
        "................",
    ]


FLOPPY = [
    "KKKKKKKKKKKKKK",
    "KNKWWWWWWWWKNK",
    "KNKWDDDDDDWKNK",
    "KNKWWWWWWWWKNK",
    "KNKWDDDDDDWKNK",
    "KNKWWWWWWWWKNK",
    "KNNKKKKKKKKNNK",
    "KNNNNNNNNNNNNK",
    "KNNNNNNNNNNNNK",
    "KNNNKKKKKKNNNK",
    "KNNNK.NN.KNNNK",
    "KNNNK.NN.KNNNK",
    "KNNNK....KNNNK",
    "KKKKKKKKKKKKKK",
]

SMALL_FLOPPY = [
    "KKKKKKKKKK",
    "KNKWWWWKNK",
    "KNKWDDWKNK",
    "KNKWWWWKNK",
    "KNNKKKKNNK",
    "KNNNNNNNNK",
    "KNNKKKKNNK",
    "KNNK.NKNNK",
    "KNNK..KNNK",
    "KKKKKKKKKK",
]


def button_save():
    img = canvas(16, 16, ".")
    paste(img, FLOPPY, 1, 1)
    return img


def button_save_all():
    img = canvas(16, 16, ".")
    for offset in (1, 3, 5):
        paste(img, SMALL_FLOPPY, offset, offset)
    return img


def button_cut():
    return [
        "................",
        "....K.....K.....",
        "....K.....K.....",
        "....KK...KK.....",
        ".....K...K......",
        ".....KK.KK......",
        "......KDK.......",
        ".......K........",
        "......BKB.......",
        ".....BB.BB......",
        "..BBBB...BBBB...",
        ".BB..B...B..BB..",
        ".B...B...B...B..",
        ".B...B...B...B..",
        ".BB.BB...BB.BB..",
        "..BBB.....BBB...",
    ]


def button_copy():
    img = canvas(16, 16, ".")
    paste(img, sheet(9, 11), 1, 1)
    paste(img, sheet(9, 11), 6, 5)
    return img


def button_paste():
    img = canvas(16, 16, ".")
    paste(img, [
        "....KKKK....",
        "KKKKDWWDKKKK",
        "KOOKKKKKKOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KOOOOOOOOOOK",
        "KKKKKKKKKKKK",
    ], 0, 1)
    paste(img, sheet(9, 10), 6, 6)
    return img


def button_delete():
    return [
        "................",
        "................",
        "..RR........RR..",
        "..RRR......RRR..",
        "...RRR....RRR...",
        "....RRR..RRR....",
        ".....RRRRRR.....",
        "......RRRR......",
        "......RRRR......",
        ".....RRRRRR.....",
        "....RRR..RRR....",
        "...RRR....RRR...",
        "..RRR......RRR..",
        "..RR........RR..",
        "................",
        "................",
    ]


def button_print():
    return [
        "................",
        "....KKKKKKKK....",
        "....KWWWWWWK....",
        "....KWDDDDWK....",
        "....KWWWWWWK....",
        "....KWDDDWWK....",
        "..KKKKKKKKKKKK..",
        ".KWWWWWWWWWWWWK.",
        ".K..........LLK.",
        ".K............K.",
        ".KKKKKKKKKKKKKK.",
        ".K.DDDDDDDDDD.K.",
        ".K.KWWWWWWWWK.K.",
        ".KKKWDDDDDDWKKK.",
        "....KWWWWWWK....",
        "....KKKKKKKK....",
    ]


def button_help():
    return [
        "................",
        ".....KKKKKK.....",
        "....KYYYYYYK....",
        "...KYYKKKKYYK...",
        "...KYYK..KYYK...",
        "....KK...KYYK...",
        ".........KYYK...",
        "........KYYK....",
        ".......KYYK.....",
        "......KYYK......",
        "......KYYK......",
        ".......KK.......",
        "......KKKK......",
        "......KYYK......",
        "......KYYK......",
        ".......KK.......",
    ]


def button_undo():
    return [
        "................",
        "................",
        "....N...........",
        "...NBN..........",
        "..NBBNNNNNNN....",
        ".NBBBBBBBBBBNN..",
        "NBBBBBBBBBBBBBN.",
        ".NBBBBBBBBBBBBBN",
        "..NBBNNNNNNNBBBN",
        "...NBN.....NBBBN",
        "....N......NBBBN",
        "...........NBBBN",
        "..........NBBBN.",
        "......NNNNBBBN..",
        "......NBBBBBN...",
        "......NNNNNN....",
    ]


def button_guide():
    img = canvas(16, 16, ".")
    paste(img, [
        "   KKKKKK  ",
        "  KBBGGBBK ",
        " KBGGGGBBBK",
        "KBBGGGBBBBK",
        "KBBBGBBBGGK",
        "KBBBBBBGGGK",
        "KBBBBBBBGGK",
        "KGBBBBBBBBK",
        " KGGBBBBBK ",
        "  KGBBBBK  ",
        "   KKKKK   ",
    ], 5, 0)
    paste(img, sheet(9, 12), 1, 4)
    return img


def button_select_all():
    return [
        "................",
        "................",
        "................",
        "..KKKK..........",
        ".KDDDDK.........",
        "KKKKKKKKKKKKKKK.",
        "KDDDDKKKKKDDDDK.",
        "KDDDKWWWWWKDDDK.",
        "KDDKWWBBBWWKDDK.",
        "KDDKWBBNBBWKDDK.",
        "KDDKWBNCNBWKDDK.",
        "KDDKWBBNBBWKDDK.",
        "KDDKWWBBBWWKDDK.",
        "KDDDKWWWWWKDDDK.",
        "KKKKKKKKKKKKKKK.",
        "................",
    ]


def button_default():
    return [
        "................",
        "................",
        "..RRRRRRRR......",
        "..RRRRRRRRRR....",
        "...RRR...RRRR...",
        "...RRR....RRR...",
        "...RRR.....RRR..",
        "...RRR.....RRR..",
        "...RRR.....RRR..",
        "...RRR.....RRR..",
        "...RRR.....RRR..",
        "...RRR....RRR...",
        "...RRR...RRRR...",
        "..RRRRRRRRRR....",
        "..RRRRRRRR......",
        "................",
    ]


def button_clear():
    img = canvas(16, 16, ".")
    window = [
        "KKKKKKKKKKKKKK",
        "KNNNNNNNNNNNNK",
        "KKKKKKKKKKKKKK",
        "KWWDWWDWWDWWWK",
        "KDDDDDDDDDDDDK",
        "KWWDWWDWWDWWWK",
        "KDDDDDDDDDDDDK",
        "KWWDWWDWWDWWWK",
        "KDDDDDDDDDDDDK",
        "KWWDWWDWWDWWWK",
        "KDDDDDDDDDDDDK",
        "KWWDWWDWWDWWWK",
        "KKKKKKKKKKKKKK",
    ]
    paste(img, window, 1, 2)
    for i in range(13):
        for x in (1 + i, 2 + i):
            img[1 + i][x] = "R"
            img[1 + i][15 - x] = "R"
    return img


TOOLBAR = [
    button_new, button_open, button_save, button_save_all, button_cut, button_copy,
    button_paste, button_delete, button_print, button_help, button_undo, button_guide,
    button_select_all, button_default, button_clear,
]


def toolbar_strip():
    strip = canvas(16 * len(TOOLBAR), 16, ".")
    for i, draw in enumerate(TOOLBAR):
        art = [row if isinstance(row, str) else "".join(row) for row in draw()]
        check(art, 16, 16, draw.__name__)
        if TRANSPARENT in "".join(art):
            raise SystemExit("%s: the toolbar has no transparent pixels" % draw.__name__)
        paste(strip, art, 16 * i, 0)
    return strip


def write_bmp(path, pixels):
    width, height = len(pixels[0]), len(pixels)
    bits = pack_rows(pixels, 4, lambda c: INDEX[c])
    colours = palette_bytes(rgb for _, rgb in PALETTE)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info_header(width, height, 4, len(bits), 16) + colours + bits)


# --------------------------------------------------------------------------------------------
# Icon: a small window with a cyan title bar and a blue "C:>" on white.

def prompt_icon(size):
    img = canvas(size, size, TRANSPARENT)
    if size == 32:
        left, top, right, bottom, title_rows = 1, 3, 29, 27, 5
        glyphs = [
            [".BBBBB", "BBBBBB", "BB....", "BB....", "BB....", "BB....", "BB....", "BBBBBB",
             ".BBBBB"],
            ["..", "..", "BB", "BB", "..", "..", "BB", "BB", ".."],
            ["BB....", "BBB...", ".BBB..", "..BBB.", "...BBB", "..BBB.", ".BBB..", "BBB...",
             "BB...."],
        ]
        gap = 2
    else:
        left, top, right, bottom, title_rows = 0, 1, 14, 14, 2
        glyphs = [
            ["BBB", "B..", "B..", "B..", "BBB"],
            [".", "B", ".", "B", "."],
            ["B..", ".B.", "..B", ".B.", "B.."],
        ]
        gap = 1
    # Drop shadow, frame, title bar, client area.
    rect(img, left + 1, top + 1, right + 1, bottom + 1, "D")
    rect(img, left, top, right, bottom, "K")
    rect(img, left + 1, top + 1, right - 1, top + title_rows, "C")
    rect(img, left + 1, top + title_rows + 2, right - 1, bottom - 1, "W")
    if size == 32:
        # Caption buttons on the title bar.
        for x in (right - 9, right - 5):
            rect(img, x, top + 2, x + 3, top + title_rows - 1, ".")
            rect(img, x, top + title_rows - 1, x + 3, top + title_rows - 1, "D")
            rect(img, x + 3, top + 2, x + 3, top + title_rows - 1, "D")
        rect(img, left + 2, top + 2, left + 4, top + title_rows - 1, "W")
    width = sum(len(g[0]) for g in glyphs) + gap * (len(glyphs) - 1)
    height = len(glyphs[0])
    client_top, client_bottom = top + title_rows + 2, bottom - 1
    x = left + 1 + (right - left - 1 - width) // 2
    y = client_top + (client_bottom - client_top + 1 - height) // 2
    for g in glyphs:
        paste(img, [row.replace(".", " ") for row in g], x, y)
        x += len(g[0]) + gap
    return img


def icon_image(pixels, bits, colours, value):
    """One image of an .ico or .cur file: header, palette, colour bits, then the AND mask."""
    width, height = len(pixels[0]), len(pixels)
    xor = pack_rows(pixels, bits, value)
    mask = pack_rows(pixels, 1, lambda c: 1 if c == TRANSPARENT else 0)
    return (info_header(width, height * 2, bits, len(xor) + len(mask), 0)
            + palette_bytes(colours) + xor + mask)


def write_icon_file(path, kind, entries):
    """entries: (width, height, colour count, field 1, field 2, image bytes). For icons the two
    fields are planes and bits per pixel; for cursors they are the hot spot."""
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, kind, len(entries))
    data = b""
    for width, height, count, f1, f2, image in entries:
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, count, 0, f1, f2,
                                 len(image), offset + len(data))
        data += image
    with open(path, "wb") as f:
        f.write(directory + data)


def write_icon(path):
    entries = []
    for size in (32, 16):
        pixels = prompt_icon(size)
        image = icon_image(pixels, 4, [rgb for _, rgb in PALETTE],
                           lambda c: 0 if c == TRANSPARENT else INDEX[c])
        entries.append((size, size, 16, 1, 4, image))
    write_icon_file(path, 1, entries)


# --------------------------------------------------------------------------------------------
# Cursor: a pointing hand, fingertip at the top-left corner, which is the hot spot.

HAND = [
    "KKK                             ",
    "KWWK                            ",
    "KWWWK                           ",
    "KWWWK                           ",
    "KWWWK                           ",
    "KWWWK                           ",
    "KWWWK                           ",
    "KWWWKKK                         ",
    "KWWWKWWKKK                      ",
    "KWWWKWWKWWKKK                   ",
    "KWWWKWWKWWKWWK                  ",
    "KWWWKWWKWWKWWWK                 ",
    "KWWWWWWWWWWWWWK                 ",
    "KWWKKKKKKWWWWWK                 ",
    "KWWWWWWWWKWWWWK                 ",
    "KWWWWWWWWWKWWWK                 ",
    "KWWWWWWWWWWWWWK                 ",
    " KWWWWWWWWWWWWK                 ",
    " KWWWWWWWWWWWK                  ",
    "  KWWWWWWWWWWK                  ",
    "   KWWWWWWWWK                   ",
    "   KWWWWWWWWK                   ",
    "   KKKKKKKKKK                   ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
]


def write_cursor(path):
    check(HAND, 32, 32, "HAND")
    # Monochrome: black and white through the colour bits, blanks through the mask.
    image = icon_image(HAND, 1, [(0, 0, 0), (255, 255, 255)],
                       lambda c: 1 if c == "W" else 0)
    write_icon_file(path, 2, [(32, 32, 2, 0, 0, image)])


def main(argv):
    if len(argv) != 2:
        raise SystemExit("usage: gen_images.py OUTDIR")
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "velqueth.ico"))
    write_bmp(os.path.join(out, "toolbar.bmp"), toolbar_strip())
    write_cursor(os.path.join(out, "hand.cur"))


if __name__ == "__main__":
    main(sys.argv)
