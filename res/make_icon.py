#!/usr/bin/env python3
"""Draws the program icon (a small landscape photo in a frame) into pixavo.ico."""
import struct, sys, math

def pixel(x, y, n):
    # coordinates in 0..1
    u, v = (x + 0.5) / n, (y + 0.5) / n
    m = 1.5 / n                       # frame width
    if u < 0.06 or u > 0.94 or v < 0.12 or v > 0.88:
        return None                   # transparent outside the frame
    if u < 0.06 + m * 0 + 0.06 or u > 0.88 or v < 0.18 or v > 0.82:
        return (245, 245, 245)        # white photo border
    hill = 0.62 + 0.08 * math.sin(u * 6.0)
    if v > hill:
        g = int(150 - 60 * (v - hill) / 0.3)
        return (40, max(g, 70), 40)
    sx, sy = 0.68, 0.36
    if (u - sx) ** 2 + (v - sy) ** 2 < 0.012:
        return (255, 210, 40)
    t = (v - 0.18) / 0.5
    return (int(60 + 100 * t), int(120 + 90 * t), 230)

def entry(n):
    rows = []
    mask = []
    for y in range(n - 1, -1, -1):    # bottom-up
        row = b''
        mrow = 0
        bits = []
        for x in range(n):
            p = pixel(x, y, n)
            if p is None:
                row += bytes((0, 0, 0, 0)); bits.append(1)
            else:
                row += bytes((p[2], p[1], p[0], 255)); bits.append(0)
        rows.append(row)
        mb = b''
        for i in range(0, n, 8):
            byte = 0
            for k in range(8):
                byte = (byte << 1) | (bits[i + k] if i + k < n else 1)
            mb += bytes((byte,))
        mb += b'\0' * ((4 - len(mb) % 4) % 4)
        mask.append(mb)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b''.join(rows) + b''.join(mask)

sizes = [16, 32, 48]
images = [entry(n) for n in sizes]
out = struct.pack('<HHH', 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for n, img in zip(sizes, images):
    out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
    offset += len(img)
out += b''.join(images)
open(sys.argv[1] if len(sys.argv) > 1 else 'pixavo.ico', 'wb').write(out)
