#!/usr/bin/env python3
"""Writes the small sample bitmaps and icon of this folder.

    python3 tests/data/make_samples.py

sample-8bit.bmp, sample-24bit.bmp, sample-rle8.bmp: 40 x 30, bottom-up, info
header; every one has a red 4 x 4 top-left corner and a blue 4 x 4
bottom-right corner. sample.ico: a 16 x 16 and a 32 x 32 entry, 32 bits with
alpha and a matching AND mask; the corners are transparent.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 40, 30
RED, BLUE = 0, 1      # palette indices of the corner colours


def corner(x, y):
    if x < 4 and y < 4:
        return RED
    if x >= W - 4 and y >= H - 4:
        return BLUE
    return None


def index_at(x, y):
    c = corner(x, y)
    if c is not None:
        return c
    if 10 <= y < 13:                       # a noisy band: absolute runs in RLE
        return 2 + (x * 7) % 13
    return 2 + x // 4 + 10 * (y // 6)      # flat bands: repeated runs in RLE


def palette():
    pal = [(0, 0, 255), (255, 0, 0)]       # BGR: red, blue
    for i in range(2, 256):
        pal.append(((i * 37) % 256, (i * 91) % 256, (i * 13) % 256))
    return pal


def rgb_at(x, y):
    c = corner(x, y)
    if c == RED:
        return (0, 0, 255)
    if c == BLUE:
        return (255, 0, 0)
    return (128, y * 8, x * 6)             # BGR


def bmp(bits, compression, table, pixels, clr_used=0):
    off = 14 + 40 + len(table)
    info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, bits, compression, len(pixels), 2835, 2835, clr_used, 0)
    return b'BM' + struct.pack('<IHHI', off + len(pixels), 0, 0, off) + info + table + pixels


def pad(row):
    return row + b'\0' * (-len(row) % 4)


def table_bytes(pal):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for b, g, r in pal)


def rle8_row(row):
    out = bytearray()
    i = 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 255 and row[i + run] == row[i]:
            run += 1
        if run >= 2:
            out += bytes((run, row[i]))
            i += run
            continue
        # Literal stretch up to the next pair of equal pixels.
        j = i
        while j < len(row) and j - i < 255 and not (j + 1 < len(row) and row[j] == row[j + 1]):
            j += 1
        lit = row[i:j]
        if len(lit) >= 3:
            out += bytes((0, len(lit))) + bytes(lit) + (b'\0' if len(lit) % 2 else b'')
        else:
            for v in lit:
                out += bytes((1, v))
        i = j
    return bytes(out)


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)
    print(name, len(data), 'bytes')


def samples_bmp():
    rows8 = [bytes(index_at(x, y) for x in range(W)) for y in reversed(range(H))]
    write('sample-8bit.bmp', bmp(8, 0, table_bytes(palette()), b''.join(pad(r) for r in rows8)))

    rows24 = [b''.join(bytes(rgb_at(x, y)) for x in range(W)) for y in reversed(range(H))]
    write('sample-24bit.bmp', bmp(24, 0, b'', b''.join(pad(r) for r in rows24)))

    stream = bytearray()
    for n, r in enumerate(rows8):
        stream += rle8_row(r)
        stream += b'\0\1' if n == H - 1 else b'\0\0'
    write('sample-rle8.bmp', bmp(8, 1, table_bytes(palette()), bytes(stream)))


def icon_image(size):
    k = size // 8

    def transparent(x, y):
        return (x < k or x >= size - k) and (y < k or y >= size - k)

    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row_mask = bytearray((size + 31) // 32 * 4)
        for x in range(size):
            if transparent(x, y):
                colour += bytes((0, 0, 0, 0))
                row_mask[x // 8] |= 0x80 >> (x % 8)
            else:
                colour += bytes((255 - x * 255 // size, y * 255 // size, 200, 255))
        mask += row_mask
    return header + bytes(colour) + bytes(mask)


def sample_ico():
    images = [(16, icon_image(16)), (32, icon_image(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    write('sample.ico', out)


if __name__ == '__main__':
    samples_bmp()
    sample_ico()
