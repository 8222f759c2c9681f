#!/usr/bin/env python3
"""Checks the screenshots that skin-gallery --screenshots writes.

    check_screenshots.py --res RES_DIR [--png PNG_DIR] SHOT_DIR

For every window: the capture has the layout's client size; it is not blank;
the header strip and the body show their colours at points where nothing
else is drawn; text is drawn where the layout puts it. The main window's
drive list shows drive cards with the drive icon and texts, the
results page shows the folder tree and marked file rows. Each BMP is also
written as PNG into PNG_DIR. Standard library only; exits 1 on any failed
check, listing them all.
"""
import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

HEADER = (0x1E, 0x2A, 0x3A)
WHITE = (0xFF, 0xFF, 0xFF)
FOOTER = (0xF4, 0xF6, 0xF8)      # dialog footers
MAIN_FOOTER = (0xF2, 0xF4, 0xF7)
SCAN_BLUE = (0x2F, 0x80, 0xED)
SCAN_TEAL = (0x17, 0xA5, 0x89)
DISK_ICON = (0x6E, 0x7F, 0x95)
DELETED_MARK = (0xE0, 0x48, 0x48)


def read_bmp(path):
    """Rows of (r, g, b), top row first. 24- and 32-bit uncompressed."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError("%s: not a BMP" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bpp = struct.unpack_from("<H", data, 28)[0]
    compression = struct.unpack_from("<I", data, 30)[0]
    if bpp not in (24, 32) or compression not in (0, 3):
        raise ValueError("%s: %d bits per pixel, compression %d" % (path, bpp, compression))
    step = bpp // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = abs(height) - 1 - y if height > 0 else y
        start = offset + src * stride
        line = data[start:start + width * step]
        if len(line) < width * step:
            raise ValueError("%s: truncated" % path)
        rows.append([(line[x * step + 2], line[x * step + 1], line[x * step]) for x in range(width)])
    return rows


def write_png(path, rows):
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw += bytes(px)

    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def near(a, b, tolerance=24):
    return all(abs(a[i] - b[i]) <= tolerance for i in range(3))


def count(rows, box, predicate):
    x0, y0, x1, y1 = box
    return sum(1 for y in range(y0, y1) for x in range(x0, x1) if predicate(rows[y][x]))


def differs_from(background, amount=90):
    return lambda p: sum(abs(p[i] - background[i]) for i in range(3)) >= amount


# What each screenshot must show. Coordinates are client pixels; a box is
# (left, top, right, bottom). "text" boxes must hold at least `min` pixels
# that stand out from the given background (glyphs are antialiased, so a
# handful of strokes is enough).
EXPECT = {
    "103-main": {
        "header": [(400, 4), (300, 56)],
        "body": [(700, 480), (560, 470)],
        "footer": [(350, 552)],
        "footer_colour": MAIN_FOOTER,
        "text": [((62, 11, 160, 36), HEADER, 60, "title Salvor"),
                 ((112, 120, 500, 142), WHITE, 80, "info title 108"),
                 ((16, 536, 150, 556), MAIN_FOOTER, 30, "version 130")],
        "colours": [((570, 200, 774, 255), SCAN_BLUE, 2000, "Quick Scan button"),
                    ((570, 265, 774, 320), SCAN_TEAL, 2000, "Unformatting Scan button")],
        "drive_card": True,
    },
    "103-main-help": {
        "header": [(400, 4)],
        # (400, 420) is inside the drive list of the other page: hidden with it.
        "body": [(700, 420), (400, 420)],
        "text": [((24, 126, 400, 150), WHITE, 80, "help logo 165"),
                 ((24, 198, 700, 232), WHITE, 150, "help text 136")],
    },
    "103-main-results": {
        "header": [(400, 4)],
        "body": [(400, 512)],
        "text": [((20, 114, 120, 134), (0xF2, 0xF4, 0xF7), 20, "folders label 150"),
                 ((462, 500, 788, 530), WHITE, 40, "buttons")],
        "colours": [((213, 145, 788, 400), DELETED_MARK, 20, "deleted-file marks in the list"),
                    ((690, 494, 788, 524), SCAN_BLUE, 600, "Recover button")],
    },
    "104-quick-scan": {
        "colours": [((0, 0, 204, 55), SCAN_BLUE, 3000, "button face")],
        "text": [((56, 10, 198, 45), SCAN_BLUE, 40, "Quick Scan")],
    },
    "111-format-scan": {
        "colours": [((0, 0, 204, 55), SCAN_TEAL, 3000, "button face")],
        "text": [((56, 10, 198, 45), SCAN_TEAL, 40, "Unformatting Scan")],
    },
    "105-file-types": {
        "body": [(700, 400), (760, 20)],
        "text": [((24, 20, 120, 40), WHITE, 40, "Photo"), ((40, 58, 200, 75), WHITE, 20, "first check box")],
    },
    "108-confirm": {
        "header": [(170, 3)],
        "body": [(320, 120), (30, 110)],
        "footer": [(40, 150)],
        "text": [((80, 56, 320, 90), WHITE, 60, "question 107"),
                 ((144, 135, 328, 162), FOOTER, 60, "Yes / No")],
    },
    "108-confirm-return": {
        "header": [(170, 3)],
        "footer": [(40, 150)],
        "text": [((80, 45, 308, 100), WHITE, 200, "long question 107")],
    },
    "109-progress": {
        "header": [(260, 3)],
        "body": [(500, 40)],
        "footer": [(40, 160)],
        "text": [((86, 44, 180, 60), WHITE, 30, "Folders:"), ((190, 44, 260, 60), WHITE, 10, "folder count")],
        "colours": [((22, 104, 498, 124), SCAN_BLUE, 400, "progress bar")],
    },
    "110-filter": {
        "header": [(200, 3)],
        "body": [(400, 160), (20, 150)],
        "footer": [(40, 200)],
        "text": [((12, 8, 120, 24), HEADER, 30, "title 160"), ((76, 44, 200, 60), WHITE, 20, "File type:")],
    },
    "112-language": {
        "header": [(200, 3)],
        "body": [(10, 200)],
        "footer": [(40, 280)],
        "text": [((20, 44, 220, 60), WHITE, 40, "prompt 181")],
    },
    "113-folder": {
        "header": [(200, 3)],
        "body": [(10, 300)],
        "footer": [(40, 380)],
        "text": [((72, 54, 330, 72), WHITE, 40, "prompt 172")],
    },
}


def layout_sizes(res_dir):
    sizes = {}
    folder = os.path.join(res_dir, "skin", "layouts")
    for name in os.listdir(folder):
        if not name.endswith(".xml"):
            continue
        root = ET.parse(os.path.join(folder, name)).getroot()
        sizes[int(name.split("-")[0])] = (int(root.get("width")), int(root.get("height")))
    return sizes


def check_one(name, rows, size, failures):
    def fail(message):
        failures.append("%s: %s" % (name, message))

    height = len(rows)
    width = len(rows[0]) if rows else 0
    if (width, height) != size:
        fail("size %dx%d, the layout says %dx%d" % (width, height, size[0], size[1]))
        return
    colours = {px for row in rows[::2] for px in row[::2]}
    if len(colours) < 12:
        fail("only %d distinct colours: blank or undrawn" % len(colours))
    expect = EXPECT.get(name, {})
    for x, y in expect.get("header", []):
        if not near(rows[y][x], HEADER, 6):
            fail("header colour expected at (%d, %d), found %02X%02X%02X" % ((x, y) + rows[y][x]))
    for x, y in expect.get("body", []):
        if not near(rows[y][x], WHITE, 6):
            fail("white body expected at (%d, %d), found %02X%02X%02X" % ((x, y) + rows[y][x]))
    for x, y in expect.get("footer", []):
        want = expect.get("footer_colour", FOOTER)
        if not near(rows[y][x], want, 6):
            fail("footer colour expected at (%d, %d), found %02X%02X%02X" % ((x, y) + rows[y][x]))
    for box, background, minimum, what in expect.get("text", []):
        n = count(rows, box, differs_from(background))
        if n < minimum:
            fail("%s: %d drawn pixels in %s, expected at least %d" % (what, n, box, minimum))
    for box, colour, minimum, what in expect.get("colours", []):
        n = count(rows, box, lambda p: near(p, colour, 40))
        if n < minimum:
            fail("%s: %d pixels near %02X%02X%02X in %s, expected at least %d" % ((what, n) + colour + (box, minimum)))
    if expect.get("drive_card"):
        # The drive list (panel 252) fills (25, 201)-(543, 489); the cards
        # follow its header, 53 pixels each, with the disk icon, the drive's
        # name and its sizes.
        for k, top in enumerate((222, 275)):
            card = (26, top, 540, top + 50)
            icon = count(rows, card, lambda p: near(p, DISK_ICON, 30))
            if icon < 60:
                fail("drive card %d: %d pixels of the disk icon" % (k, icon))
            text = count(rows, (80, top, 540, top + 50), differs_from(WHITE, 200))
            if text < 80:
                fail("drive card %d: %d text pixels" % (k, text))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--res", required=True)
    parser.add_argument("--png")
    parser.add_argument("shots")
    args = parser.parse_args()
    sizes = layout_sizes(args.res)
    failures = []
    expected = set(EXPECT)
    seen = set()
    for file in sorted(os.listdir(args.shots)):
        if not file.endswith(".bmp"):
            continue
        name = file[:-4]
        seen.add(name)
        rows = read_bmp(os.path.join(args.shots, file))
        check_one(name, rows, sizes[int(name.split("-")[0])], failures)
        if args.png:
            os.makedirs(args.png, exist_ok=True)
            write_png(os.path.join(args.png, name + ".png"), rows)
        print("checked %s (%dx%d)" % (file, len(rows[0]), len(rows)))
    for name in sorted(expected - seen):
        failures.append("%s: no screenshot" % name)
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
