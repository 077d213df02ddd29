#!/usr/bin/env python3
"""Draws the program's icons (32x32 and 16x16, 32-bit with alpha) into Quorvane/res.

Run by hand when a design changes; the .ico files it writes are committed.
  122 program icon: a clipboard with a yellow-on-blue sheet
  123, 124 append animation: the clipboard with a plus sign, in two phases
  125 short-tail indicator: the clipboard with a short last line
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "Quorvane", "res")

BOARD = (120, 72, 32, 255)      # brown clipboard
CLIP = (192, 192, 192, 255)     # metal clip
SHEET = (0, 0, 255, 255)        # blue sheet, as the viewer
INK = (255, 255, 0, 255)        # yellow text, as the viewer
PLUS_A = (0, 200, 0, 255)
PLUS_B = (255, 255, 255, 255)
DOT = (255, 64, 64, 255)


def canvas(n):
    return [[(0, 0, 0, 0) for _ in range(n)] for _ in range(n)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img), x1)):
            img[y][x] = colour


def clipboard(n, lines):
    s = n / 32.0
    img = canvas(n)
    rect(img, int(4 * s), int(3 * s), int(28 * s), int(31 * s), BOARD)
    rect(img, int(7 * s), int(7 * s), int(25 * s), int(28 * s), SHEET)
    rect(img, int(11 * s), int(1 * s), int(21 * s), int(6 * s), CLIP)
    for i, length in enumerate(lines):
        y = int((10 + 4 * i) * s)
        rect(img, int(9 * s), y, int((9 + length) * s), y + max(1, int(2 * s)), INK)
    return img


def plus(img, colour):
    n = len(img)
    s = n / 32.0
    rect(img, int(19 * s), int(14 * s), int(23 * s), int(30 * s), colour)
    rect(img, int(13 * s), int(20 * s), int(29 * s), int(24 * s), colour)
    return img


def dot(img):
    n = len(img)
    s = n / 32.0
    rect(img, int(20 * s), int(21 * s), int(27 * s), int(28 * s), DOT)
    return img


def dib(img):
    n = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):
        bits = bytearray(row_bytes)
        for x in range(n):
            r, g, b, a = img[y][x]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(name, images):
    blobs = [dib(i) for i in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        n = len(img)
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(out + b"".join(blobs))


def both(make):
    return [make(32), make(16)]


write_ico("program.ico", both(lambda n: clipboard(n, [14, 10, 12, 8])))
write_ico("append1.ico", both(lambda n: plus(clipboard(n, [14, 10]), PLUS_A)))
write_ico("append2.ico", both(lambda n: plus(clipboard(n, [14, 10]), PLUS_B)))
write_ico("shorttail.ico", both(lambda n: dot(clipboard(n, [14, 12, 3]))))
