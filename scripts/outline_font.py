#!/usr/bin/env python3
"""Copies a TrueType font without its embedded bitmap strikes and with a
grid-fitting table that asks for smoothed (grey) text at every size.

    outline_font.py SOURCE.ttf DESTINATION.ttf

Fonts made for old screens carry hand-made bitmaps for the small sizes and
ask for unsmoothed text below 16 pixels; a renderer that honours both draws
13-pixel text blocky, with uneven spacing and bold looking like regular.
Without them, every size is drawn from the outlines. The metrics tables are
kept, so text measures as before.
"""
import struct
import sys

DROPPED = {b"EBDT", b"EBLC", b"EBSC", b"BDF "}
# gasp version 1, one range up to the largest size: grid-fit and smooth,
# symmetric too (GASP_GRIDFIT | GASP_DOGRAY | SYMMETRIC_GRIDFIT | SYMMETRIC_SMOOTHING).
GASP = struct.pack(">HHHH", 1, 1, 0xFFFF, 0x000F)


def checksum(data):
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF


def main(source, destination):
    font = open(source, "rb").read()
    version, count = struct.unpack(">IH", font[:6])
    tables = {}
    for i in range(count):
        tag, _, offset, length = struct.unpack(">4sIII", font[12 + 16 * i:28 + 16 * i])
        if tag not in DROPPED:
            tables[tag] = font[offset:offset + length]
    tables[b"gasp"] = GASP
    head = bytearray(tables[b"head"])
    head[8:12] = b"\0\0\0\0"            # checkSumAdjustment, set below
    tables[b"head"] = bytes(head)

    tags = sorted(tables)
    n = len(tags)
    power = 1
    while power * 2 <= n:
        power *= 2
    entry_selector = power.bit_length() - 1
    out = bytearray(struct.pack(">IHHHH", version, n, power * 16, entry_selector, n * 16 - power * 16))
    offset = 12 + 16 * n
    records, body = bytearray(), bytearray()
    for tag in tags:
        data = tables[tag]
        records += struct.pack(">4sIII", tag, checksum(data), offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    out += records + body
    head_at = offset + sum(len(tables[t]) + (-len(tables[t]) % 4) for t in tags[:tags.index(b"head")])
    struct.pack_into(">I", out, head_at + 8, (0xB1B0AFBA - checksum(bytes(out))) & 0xFFFFFFFF)
    open(destination, "wb").write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
