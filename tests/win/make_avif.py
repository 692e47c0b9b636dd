#!/usr/bin/env python3
"""Writes the AVIFs the Windows tests read: 400 x 300, grey with a dark
square top-left, by Debian's avifenc from a Y4M picture written here; and
beside it OUT-sequence.avif, an image sequence of that picture twice.

    python3 tests/win/make_avif.py OUT.avif
"""
import os
import subprocess
import sys
import tempfile

W, H = 400, 300


def main(out):
    luma = bytearray(b"\xa0" * (W * H))
    for y in range(H // 4):
        for x in range(H // 4):
            luma[y * W + x] = 0x20
    chroma = b"\x80" * ((W // 2) * (H // 2))
    with tempfile.TemporaryDirectory() as folder:
        for frames, name in ((1, out), (2, out[:-len(".avif")] + "-sequence.avif")):
            y4m = os.path.join(folder, "in%d.y4m" % frames)
            with open(y4m, "wb") as f:
                f.write(b"YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n" % (W, H))
                for _ in range(frames):
                    f.write(b"FRAME\n" + bytes(luma) + chroma + chroma)
            subprocess.run(["avifenc", "--min", "20", "--max", "30", y4m, name], check=True,
                           stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main(sys.argv[1])
