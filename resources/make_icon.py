#!/usr/bin/env python3
"""Draws the application icon: a grey D-sub serial plug with its cable, in 3/4 view.

Only the standard library is used, so the icon can be rebuilt anywhere Python 3 runs.
The plug is a tiny 3D model projected into a 0..1 square, so every size is rendered
from the same vector description instead of being scaled from a bitmap.

  make_icon.py                   regenerate main.ico next to this script
  make_icon.py ico OUT.ico       32x32, 32-bit bitmap icon (no PNG inside, for old loaders)
  make_icon.py png SIZE OUT.png  RGBA PNG, e.g. for 16/32/48/128 px desktop icons
"""
import math
import os
import struct
import sys
import zlib

YAW, PITCH = math.radians(-30), math.radians(34)
CAM = 130.0  # camera distance in mm: close enough for visible perspective
OUTLINE = (28, 30, 35)
METAL, HOOD, BOOT, CABLE = (205, 209, 215), (150, 155, 163), (120, 125, 132), (108, 114, 124)
INSERT, PIN = (30, 32, 37), (236, 204, 122)


def unit(v):
    length = math.sqrt(sum(c * c for c in v)) or 1.0
    return tuple(c / length for c in v)


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


LIGHT = unit((-0.45, 0.75, 0.55))


def view(p):
    """Model space (mm, mating face towards +z) to camera space."""
    x, y, z = p
    c, s = math.cos(YAW), math.sin(YAW)
    x, z = c * x + s * z, -s * x + c * z
    c, s = math.cos(PITCH), math.sin(PITCH)
    return x, c * y - s * z, s * y + c * z


def project(q):
    k = CAM / (CAM - q[2])
    return q[0] * k, -q[1] * k


def rounded(pts, r, n=4):
    """Rounds each corner of a 2D polygon with a quadratic arc of radius ~r."""
    out = []
    for i, p in enumerate(pts):
        a, b = pts[i - 1], pts[(i + 1) % len(pts)]
        da, db = unit((a[0] - p[0], a[1] - p[1])), unit((b[0] - p[0], b[1] - p[1]))
        p1, p2 = (p[0] + r * da[0], p[1] + r * da[1]), (p[0] + r * db[0], p[1] + r * db[1])
        for k in range(n + 1):
            t = k / n
            out.append(tuple((1 - t) ** 2 * u + 2 * t * (1 - t) * v + t * t * w
                             for u, v, w in zip(p1, p, p2)))
    return out


def trapezoid(top, bottom, h, r):
    return rounded([(-top / 2, h / 2), (top / 2, h / 2), (bottom / 2, -h / 2), (-bottom / 2, -h / 2)], r)


def circle(r, n=16, cx=0.0, cy=0.0):
    return [(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n)) for i in range(n)]


def ring(profile, z):
    return [view((x, y, z)) for x, y in profile]


def solid(rings, base):
    """Visible, lambert-shaded faces of a convex solid swept through the given rings."""
    pts = [p for r in rings for p in r]
    centre = tuple(sum(c) / len(pts) for c in zip(*pts))
    faces = [rings[0], rings[-1]]
    faces += [[a[i - 1], a[i], b[i], b[i - 1]] for a, b in zip(rings, rings[1:]) for i in range(len(a))]
    out = []
    for f in faces:
        n = [0.0, 0.0, 0.0]  # Newell normal copes with the many-sided caps
        for (x0, y0, z0), (x1, y1, z1) in zip(f, f[1:] + f[:1]):
            n[0] += (y0 - y1) * (z0 + z1)
            n[1] += (z0 - z1) * (x0 + x1)
            n[2] += (x0 - x1) * (y0 + y1)
        n = unit(n)
        fc = tuple(sum(c) / len(f) for c in zip(*f))
        if dot(n, [a - b for a, b in zip(fc, centre)]) < 0:
            n = tuple(-c for c in n)
        if dot(n, (-fc[0], -fc[1], CAM - fc[2])) <= 0:
            continue
        shade = 0.5 + 0.62 * max(0.0, dot(n, LIGHT))
        out.append(([project(p) for p in f], tuple(min(255.0, c * shade) for c in base)))
    depth = sum(p[2] for p in pts) / len(pts)
    return depth, out, [project(p) for p in pts]


def plug():
    """The plug as solids in screen space, in painting order (back to front)."""
    flange, shell = trapezoid(31, 31, 12.6, 1.6), trapezoid(17, 14.2, 8.4, 1.9)
    hood = [ring(trapezoid(w, w, h, 2.5), z) for w, h, z in ((31, 12.6, 0), (29, 12.4, -16), (15, 9, -27))]
    parts = [solid([ring(circle(r, 12), z) for r, z in ((4.4, -26), (3.9, -32), (3.4, -37))], BOOT),
             solid(hood, HOOD),
             solid([ring(flange, 0), ring(flange, 1.2)], METAL),
             solid([ring(shell, 1.2), ring(shell, 7)], METAL)]
    for sx in (-12.5, 12.5):
        hexagon = circle(2.3, 6, sx)
        parts.append(solid([ring(hexagon, 1.2), ring(hexagon, 3.6)], METAL))
    return parts[:3] + sorted(parts[3:], key=lambda s: s[0])


def face_details():
    """Insulator and pins on the mating face; drawn flat on top of the shell."""
    layers = [[([project(p) for p in ring(trapezoid(14.8, 12.0, 6.4, 1.4), 7.0)], INSERT)]]
    pins = [(-5.5 + 2.75 * i, 1.4) for i in range(5)] + [(-4.1 + 2.75 * i, -1.4) for i in range(4)]
    layers.append([([project(p) for p in ring(circle(0.85, 10, x, y), 7.0)], PIN) for x, y in pins])
    return layers


def cable_path(n=28):
    """Cable centre line leaving the boot and sweeping off to the left, with its radius."""
    ctrl = [(0, 0, -33), (0, 0, -70), (-10, 0, -92), (-100, -6, -74)]
    out = []
    for i in range(n):
        t = i / (n - 1)
        w = [(1 - t) ** 3, 3 * t * (1 - t) ** 2, 3 * t * t * (1 - t), t ** 3]
        q = view(tuple(sum(wi * c[k] for wi, c in zip(w, ctrl)) for k in range(3)))
        out.append((project(q), 3.2 * CAM / (CAM - q[2])))
    return out


def hull(pts):
    """Convex hull (monotone chain); outlines hug it so each part reads as one block."""
    pts = sorted(set(pts))
    def half(seq):
        h = []
        for p in seq:
            while len(h) > 1 and ((h[-1][0] - h[-2][0]) * (p[1] - h[-2][1])
                                  - (h[-1][1] - h[-2][1]) * (p[0] - h[-2][0])) <= 0:
                h.pop()
            h.append(p)
        return h[:-1]
    return half(pts) + half(pts[::-1])


def grow(poly, d):
    """Offsets a convex polygon, oriented as hull() returns it, outwards with round joins."""
    out = []
    for i, p in enumerate(poly):
        a, b = poly[i - 1], poly[(i + 1) % len(poly)]
        n1, n2 = unit((p[1] - a[1], a[0] - p[0])), unit((b[1] - p[1], p[0] - b[0]))
        for t in (0.0, 0.5, 1.0):
            n = unit((n1[0] + t * (n2[0] - n1[0]), n1[1] + t * (n2[1] - n1[1])))
            out.append((p[0] + d * n[0], p[1] + d * n[1]))
    return out


def stroke(path, extra, shift=0.0, scale=1.0):
    """Polygon around a centre line; shift moves it sideways as a fraction of the radius."""
    left, right = [], []
    for i, (p, r) in enumerate(path):
        a, b = path[max(i - 1, 0)][0], path[min(i + 1, len(path) - 1)][0]
        n = unit((a[1] - b[1], b[0] - a[0]))
        c = (p[0] + n[0] * r * shift, p[1] + n[1] * r * shift)
        w = r * scale + extra
        left.append((c[0] + n[0] * w, c[1] + n[1] * w))
        right.append((c[0] - n[0] * w, c[1] - n[1] * w))
    return left + right[::-1]


def scene(ow):
    """Layers of (polygon, rgb) in the unit square; ow is the outline width."""
    parts, details, cable = plug(), face_details(), cable_path()
    xs = [p[0] for s in parts for p in s[2]]
    ys = [p[1] for s in parts for p in s[2]]
    k = 0.84 / max(max(xs) - min(xs), max(ys) - min(ys))  # leaves room for the cable
    ox, oy = 0.05 - min(xs) * k, 0.95 - max(ys) * k
    fit = lambda poly: [(ox + x * k, oy + y * k) for x, y in poly]
    cable = [((ox + p[0] * k, oy + p[1] * k), r * k) for p, r in cable]
    # A bold silhouette first, then thinner lines between parts so small sizes stay light.
    layers = [[(stroke(cable, ow), OUTLINE)] + [(grow(hull(fit(p)), ow), OUTLINE) for _, _, p in parts],
              [(stroke(cable, 0), CABLE)], [(stroke(cable, 0, 0.35, 0.3), tuple(c + 50 for c in CABLE))]]
    for _, faces, pts in parts:
        layers.append([(grow(hull(fit(pts)), ow * 0.5), OUTLINE)])
        layers.append([(fit(poly), rgb) for poly, rgb in faces])
    layers += [[(fit(poly), rgb) for poly, rgb in layer] for layer in details]
    return layers


def coverage(poly, size, acc, rgb):
    """Non-zero scanline fill: 4 sub-rows per pixel, exact coverage along each row."""
    sub = 4
    pts = [(x * size, y * size) for x, y in poly]
    edges = [(a, b) for a, b in zip(pts, pts[1:] + pts[:1]) if a[1] != b[1]]
    ys = [p[1] for p in pts]
    for sy in range(max(0, int(min(ys) * sub)), min(size * sub, int(math.ceil(max(ys) * sub)))):
        y, row = (sy + 0.5) / sub, sy // sub
        xs = sorted((ax + (y - ay) * (bx - ax) / (by - ay), 1 if by > ay else -1)
                    for (ax, ay), (bx, by) in edges if min(ay, by) <= y < max(ay, by))
        wind = 0
        for x, d in xs:
            if wind == 0:
                start = x
            wind += d
            if wind != 0:
                continue
            a, b = max(start, 0.0), min(x, float(size))
            for px in range(int(a), int(math.ceil(b))):
                c = (min(b, px + 1) - max(a, px)) / sub
                cell = acc.setdefault(row * size + px, [0.0, 0.0, 0.0, 0.0])
                cell[0] += c
                for i in range(3):
                    cell[i + 1] += c * rgb[i]


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, unassociated alpha."""
    img = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    for layer in scene(max(0.022, 0.9 / size)):
        acc = {}  # one accumulator per layer so faces sharing an edge leave no seam
        for poly, rgb in layer:
            coverage(poly, size, acc, rgb)
        for i, (c, r, g, b) in acc.items():
            sa, d = min(c, 1.0), img[i]
            oa = sa + d[3] * (1 - sa)
            if oa > 0:
                for j, v in enumerate((r / c, g / c, b / c)):
                    d[j] = (v * sa + d[j] * d[3] * (1 - sa)) / oa
                d[3] = oa
    rows = []
    for y in range(size):
        row = []
        for r, g, b, a in img[y * size:(y + 1) * size]:
            a = int(round(a * 255))
            row.append((int(round(r)), int(round(g)), int(round(b)), a) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def write_png(path, size):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in render(size))
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(path):
    rows = render(32)[::-1]  # bitmaps are stored bottom-up
    pixels = b"".join(bytes((b, g, r, a)) for row in rows for r, g, b, a in row)
    mask = b"".join(struct.pack(">I", sum(1 << (31 - x) for x, px in enumerate(row) if px[3] == 0))
                    for row in rows)
    image = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image += pixels + mask
    data = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, len(image), 22) + image
    assert len(data) == 6 + 16 + 40 + 32 * 32 * 4 + 32 * 4
    with open(path, "wb") as f:
        f.write(data)


def main(args):
    if not args:
        write_ico(os.path.join(os.path.dirname(os.path.abspath(__file__)), "main.ico"))
    elif args[0] == "ico" and len(args) == 2:
        write_ico(args[1])
    elif args[0] == "png" and len(args) == 3 and args[1].isdigit() and int(args[1]) > 0:
        write_png(args[2], int(args[1]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
