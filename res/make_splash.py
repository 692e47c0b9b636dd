#!/usr/bin/env python3
"""Renders the about window's photograph (an evening landscape: sky gradient,
sun with glow, layered hills, a lake with reflections, film grain) into a PPM.

    python3 res/make_splash.py res/splash.ppm
    /usr/bin/convert res/splash.ppm -quality 82 -sampling-factor 2x2 res/splash.jpg

The picture is 321 x 241, the size it is shown at on a display of 96 dpi.
With a scale, the same landscape is drawn for a display of that scale (each
pixel the mean of 3 x 3 samples, the grain per pixel):

    python3 res/make_splash.py res/splash-150.ppm 1.5
    /usr/bin/convert res/splash-150.ppm -quality 82 -sampling-factor 2x2 res/splash-150.jpg

(and 1.25 for splash-125.jpg, 2 for splash-200.jpg). The .jpg files are what
the resource script embeds; run this again only to change the picture."""
import math
import random
import sys

W, H = 321, 241
random.seed(1606)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def smooth_noise(seed, n=64):
    rnd = random.Random(seed)
    values = [rnd.random() for _ in range(n + 1)]

    def f(x):
        x = x % n
        i = int(x)
        t = x - i
        t = t * t * (3 - 2 * t)
        return values[i] * (1 - t) + values[i + 1] * t
    return f


def ridge(seed, base, amp, scale):
    octaves = [smooth_noise(seed + k) for k in range(4)]

    def f(x):
        y = 0.0
        a = amp
        s = scale
        for o in octaves:
            y += (o(x / s) - 0.5) * a
            a *= 0.5
            s *= 0.5
        return base + y
    return f


SUN = (214.0, 104.0)
HORIZON = 168
sky_top, sky_mid, sky_low = (38, 62, 132), (214, 120, 96), (252, 196, 110)
hills = [  # far to near: ridge line, colour at the top, colour at the foot
    (ridge(10, 128, 46, 90), (118, 92, 128), (92, 80, 118)),
    (ridge(20, 146, 40, 70), (78, 70, 100), (60, 58, 84)),
    (ridge(30, 160, 30, 55), (44, 52, 66), (30, 38, 50)),
]
cloud = smooth_noise(77, 128)


def sky(x, y):
    t = y / HORIZON
    c = mix(sky_top, sky_mid, t / 0.7) if t < 0.7 else mix(sky_mid, sky_low, (t - 0.7) / 0.3)
    d = math.hypot(x - SUN[0], y - SUN[1])
    glow = math.exp(-d / 38.0)
    c = mix(c, (255, 236, 170), glow * 0.85)
    if d < 13:
        c = mix((255, 250, 220), c, (d / 13) ** 6)
    # thin streaks of cloud
    band = math.sin(y * 0.21 + cloud(x * 0.05 + y * 0.11) * 4.0)
    if 40 < y < 120 and band > 0.82:
        c = mix(c, (250, 170, 150), (band - 0.82) * 2.5)
    return c


def land(x, y):
    colour = None
    for line, top, foot in hills:
        if y >= line(x):
            colour = mix(top, foot, (y - line(x)) / 60.0)
    return colour


def pixel(x, y):
    if y < HORIZON:
        c = land(x, y) or sky(x, y)
    else:
        # the lake mirrors what lies above the horizon, darker and rippled
        ry = 2 * HORIZON - y
        ripple = math.sin(y * 1.3 + math.sin(x * 0.07) * 2.0) * (y - HORIZON) * 0.06
        rx = x + ripple
        c = land(rx, ry) or sky(rx, ry)
        c = mix(c, (20, 30, 60), 0.25 + (y - HORIZON) / (H - HORIZON) * 0.45)
    g = random.gauss(0, 5.0)
    return tuple(int(max(0, min(255, round(v + g)))) for v in c)


def scene(x, y):
    """The landscape's colour at a point of the 96-dpi design, without grain."""
    if y < HORIZON:
        return land(x, y) or sky(x, y)
    ry = 2 * HORIZON - y
    ripple = math.sin(y * 1.3 + math.sin(x * 0.07) * 2.0) * (y - HORIZON) * 0.06
    rx = x + ripple
    c = land(rx, ry) or sky(rx, ry)
    return mix(c, (20, 30, 60), 0.25 + (y - HORIZON) / (H - HORIZON) * 0.45)


def scaled_pixel(x, y, scale):
    n = 3
    total = [0.0, 0.0, 0.0]
    for j in range(n):
        for i in range(n):
            c = scene((x + (i + 0.5) / n) / scale, (y + (j + 0.5) / n) / scale)
            for k in range(3):
                total[k] += c[k]
    g = random.gauss(0, 5.0)
    return tuple(int(max(0, min(255, round(v / (n * n) + g)))) for v in total)


def main(path, scale=1.0):
    w, h = (W, H) if scale == 1.0 else (round(W * scale), round(H * scale))
    with open(path, 'wb') as out:
        out.write(b'P6\n%d %d\n255\n' % (w, h))
        for y in range(h):
            if scale == 1.0:
                out.write(bytes(v for x in range(w) for v in pixel(x, y)))
            else:
                out.write(bytes(v for x in range(w) for v in scaled_pixel(x, y, scale)))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'splash.ppm', float(sys.argv[2]) if len(sys.argv) > 2 else 1.0)
