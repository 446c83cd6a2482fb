#!/usr/bin/env python3
"""Draws Ambrelle's icons (.ico) and toolbar bitmaps (.bmp) into the folder given.

Usage: make_images.py OUTDIR

Every picture is described on a 16x16 design grid as signed-distance shapes
(negative inside) and rendered at each pixel size; pixels that an edge crosses
are supersampled 4x4 and averaged. Standard library only, deterministic.
"""
import math
import os
import struct
import sys

GRID = 16.0  # design units across a picture
SS = 4  # supersampling per axis on edge pixels
FAR = 1e9
# Every display scale finds its size: small icons at 100-200 % (16-32), large
# ones (32-64), and the program's own icon in the About box (48 at 100 %).
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)
APP_ICON_SIZES = ICON_SIZES + (72, 96, 128)
TOOLBAR_SIZES = (16, 20, 24, 32)  # 16 keeps the name tb_NAME.bmp
MAGENTA = 0xFF00FF  # transparent colour of toolbar bitmaps

# Flat palette: (fill, edge) pairs.
BLUE = (0x3282D8, 0x1B4F8C)
TEAL = (0x26A69A, 0x14665E)
GREY = (0xA4ACB5, 0x5E6670)
RED = (0xE0392B, 0x98190F)
GREEN = (0x2FA84F, 0x17692D)
GOLD = (0xF5B21B, 0x95640A)
SLATE = (0x4A5563, 0x2A313A)
SCREEN, GLARE = 0x5CB3F5, 0x7CC4F8
STEEL = (0x9AA5B1, 0x3A424C)
CORAL = (0xEF5A3C, 0x9E2A14)
WHITE = 0xFFFFFF


# ---- shapes ----------------------------------------------------------------------------------


class Shape:
    """A signed-distance shape: d(x, y) < 0 inside (design units); box = (x0, y0, x1, y1)."""

    def __init__(self, d, box):
        self.d, self.box = d, box

    def __or__(self, o):
        a, b = self.box, o.box
        bounds = (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))
        return Shape(lambda x, y: min(self.d(x, y), o.d(x, y)), bounds)

    def __and__(self, o):
        a, b = self.box, o.box
        bounds = (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))
        return Shape(lambda x, y: max(self.d(x, y), o.d(x, y)), bounds)

    def __sub__(self, o):
        return Shape(lambda x, y: max(self.d(x, y), -o.d(x, y)), self.box)

    def grow(self, g):
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: self.d(x, y) - g, (x0 - g, y0 - g, x1 + g, y1 + g))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def box(cx, cy, hw, hh, r=0.0, angle=0.0):
    """Rectangle of half-size hw x hh with corner radius r, turned by angle degrees."""
    ca, sa = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def d(x, y):
        u, v = x - cx, y - cy
        qx = abs(u * ca + v * sa) - hw + r
        qy = abs(-u * sa + v * ca) - hh + r
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r

    e = math.hypot(hw, hh) if angle else 0.0
    ex, ey = (e, e) if angle else (hw, hh)
    return Shape(d, (cx - ex, cy - ey, cx + ex, cy + ey))


def rrect(x0, y0, x1, y1, r=0.0):
    return box((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2, r)


def below(y0):
    """Half-plane y <= y0."""
    return Shape(lambda x, y: y - y0, (-FAR, -FAR, FAR, y0))


def polygon(pts):
    """Filled polygon (even-odd rule)."""
    edges = [(pts[i - 1], pts[i]) for i in range(len(pts))]

    def d(x, y):
        best, inside = FAR, False
        for (ax, ay), (bx, by) in edges:
            ex, ey, wx, wy = bx - ax, by - ay, x - ax, y - ay
            t = min(max((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0), 1.0)
            best = min(best, (wx - ex * t) ** 2 + (wy - ey * t) ** 2)
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -math.sqrt(best) if inside else math.sqrt(best)

    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return Shape(d, (min(xs), min(ys), max(xs), max(ys)))


def stroke(pts, w):
    """A line of width w through pts, with round caps and joins."""
    segs = list(zip(pts, pts[1:]))

    def d(x, y):
        best = FAR
        for (ax, ay), (bx, by) in segs:
            ex, ey, wx, wy = bx - ax, by - ay, x - ax, y - ay
            t = min(max((wx * ex + wy * ey) / (ex * ex + ey * ey or 1.0), 0.0), 1.0)
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
        return best - w / 2

    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return Shape(d, (min(xs) - w, min(ys) - w, max(xs) + w, max(ys) + w))


def arc(cx, cy, r, a0, a1, n=12):
    """Points along a circle from a0 to a1 degrees (0 = right, 90 = down)."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


# ---- canvas ----------------------------------------------------------------------------------


class Canvas:
    """Premultiplied RGBA pixels (floats 0..1), size x size, showing the 16x16 design grid."""

    def __init__(self, size):
        self.n, self.k = size, size / GRID
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def line(self):
        """Outline width in design units: 1px at 16, 1.5px at 32, 2px at 48."""
        return (1.0 + (self.k - 1.0) * 0.5) / self.k

    def coverage(self, shape):
        """Yields (pixel index, covered fraction) for every pixel the shape touches.

        Distances never overestimate, so a pixel whose centre lies more than 0.75px (just
        over half its diagonal) from the edge is wholly in or out; only the rest are sampled.
        """
        n, k = self.n, self.k
        x0, y0, x1, y1 = shape.box
        d = shape.d
        for py in range(max(0, int(y0 * k) - 1), min(n, int(y1 * k) + 2)):
            for px in range(max(0, int(x0 * k) - 1), min(n, int(x1 * k) + 2)):
                dc = d((px + 0.5) / k, (py + 0.5) / k) * k
                if dc > 0.75:
                    continue
                if dc < -0.75:
                    yield py * n + px, 1.0
                    continue
                hits = sum(d((px + (i + 0.5) / SS) / k, (py + (j + 0.5) / SS) / k) <= 0
                           for i in range(SS) for j in range(SS))
                if hits:
                    yield py * n + px, hits / (SS * SS)

    def fill(self, shape, colour):
        r, g, b = ((colour >> 16) & 255) / 255, ((colour >> 8) & 255) / 255, (colour & 255) / 255
        for i, a in self.coverage(shape):
            p = self.px[i]
            p[0], p[1], p[2], p[3] = (r * a + p[0] * (1 - a), g * a + p[1] * (1 - a),
                                      b * a + p[2] * (1 - a), a + p[3] * (1 - a))

    def erase(self, shape):
        for i, a in self.coverage(shape):
            self.px[i] = [v * (1 - a) for v in self.px[i]]

    def paint(self, shape, colours):
        """Flat fill with a darker outline."""
        fill, edge = colours
        self.fill(shape, edge)
        self.fill(shape.grow(-self.line()), fill)

    def knockout(self, shape):
        """Clears a thin gap around a shape about to be drawn over other parts."""
        self.erase(shape.grow(self.line()))


# ---- pictures (16x16 design grid) ------------------------------------------------------------


def person_parts(cx=8.0, head_y=4.5, hr=3.5, bw=7.0, body_top=9.0, bottom=16.0, br=5.5):
    """Head and shoulders; the defaults fill the whole 16x16 grid."""
    head = circle(cx, head_y, hr)
    body = rrect(cx - bw, body_top, cx + bw, body_top + 2 * br + 4, br) & below(bottom)
    return head, body


def person(c, colours, **geometry):
    head, body = person_parts(**geometry)
    c.paint(body, colours)
    c.knockout(head)
    c.paint(head, colours)


def crowd(c, back, front):
    """Teal people (geometries in back) behind a blue one, set off by a gap."""
    for geometry in back:
        person(c, TEAL, **geometry)
    head, body = person_parts(**front)
    c.knockout(head | body)
    person(c, BLUE, **front)


def group(c):
    crowd(c, [dict(cx=11.5, head_y=3.5, hr=2.5, bw=4.5, body_top=7.0, bottom=13.0, br=3.5)],
          dict(cx=6.0, head_y=6.0, hr=3.0, bw=5.0, body_top=10.0, br=4.0))


def small_group(c):
    """The group kept clear of the lower-right corner, where toolbar badges go."""
    crowd(c, [dict(cx=11.0, head_y=3.0, hr=2.0, bw=4.0, body_top=6.0, bottom=10.0, br=3.0)],
          dict(cx=5.5, head_y=5.5, hr=2.5, bw=4.5, body_top=9.0, bottom=14.0, br=3.5))


def small_user(c):
    person(c, BLUE, cx=6.0, head_y=4.0, hr=3.0, bw=6.0, body_top=8.0, br=4.5, bottom=15.0)


def users_and_group(c):
    """A user in front of the members of a group."""
    back = dict(head_y=3.0, hr=2.0, bw=3.5, body_top=6.0, bottom=12.0, br=3.0)
    crowd(c, [dict(back, cx=4.0), dict(back, cx=12.0)],
          dict(cx=8.0, head_y=6.8, hr=2.8, bw=5.0, body_top=10.8, br=4.0))


def badge(c, shape, fill):
    """A flat sign in the lower-right corner, set off from the picture under it by a gap."""
    c.knockout(shape)
    c.fill(shape, fill)


def plus_badge(c):
    badge(c, rrect(10.0, 12.0, 16.0, 14.0) | rrect(12.0, 10.0, 14.0, 16.0), GREEN[0])


def cross_badge(c):
    x = box(12.5, 12.5, 3.5, 0.95, 0.0, 45) | box(12.5, 12.5, 3.5, 0.95, 0.0, -45)
    badge(c, x, RED[0])


def pencil_badge(c):
    """A pencil pointing down-left, for "edit the properties"."""

    def along(t, n):  # t along the pencil from its point, n across it
        return 9.0 + (t + n) / math.sqrt(2), 15.0 + (n - t) / math.sqrt(2)

    def band(t0, t1):
        return polygon([along(t0, -1.3), along(t1, -1.3), along(t1, 1.3), along(t0, 1.3)])

    tip = polygon([along(0, 0), along(2.6, -1.3), along(2.6, 1.3)])
    c.knockout(tip | band(2.6, 9.0))
    c.fill(band(2.6, 7.5), GOLD[0])
    c.fill(band(7.5, 9.0), RED[0])
    c.fill(tip, 0xF3D9A4)
    c.fill(polygon([along(0, 0), along(1.1, -0.55), along(1.1, 0.55)]).grow(0.3), SLATE[1])


def down_badge(c):
    disc = circle(12.0, 12.0, 4.0)
    c.knockout(disc)
    c.paint(disc, RED)
    c.fill(polygon([(9.0, 11.0), (15.0, 11.0), (12.0, 14.5)]) | rrect(11.0, 8.5, 13.0, 11.5),
           WHITE)


def monitor(c, with_network=False):
    bottom = 11.0 if with_network else 12.0
    c.paint(rrect(0.0, 1.0, 16.0, bottom, 1.0), SLATE)
    c.fill(rrect(2.0, 3.0, 14.0, bottom - 2.0), SCREEN)
    c.fill(polygon([(2.0, bottom - 2.0), (14.0, 3.0), (14.0, bottom - 2.0)]), GLARE)
    if with_network:
        c.fill(rrect(7.0, bottom, 9.0, 14.0), SLATE[1])
        c.fill(rrect(0.0, 13.0, 16.0, 15.0), SLATE[1])
        c.paint(rrect(5.0, 12.0, 11.0, 16.0, 0.8), GREEN)
    else:
        c.fill(rrect(7.0, bottom, 9.0, 14.0), SLATE[1])
        c.paint(rrect(3.0, 13.0, 13.0, 16.0, 1.0), SLATE)


def umbrella(c):
    canopy = (circle(8.0, 8.0, 7.5) & below(7.2)) - circle(3.0, 8.6, 2.6) - circle(
        8.0, 8.6, 2.6) - circle(13.0, 8.6, 2.6)
    c.fill(stroke([(8.0, 0.0), (8.0, 2.0)], 1.3), SLATE[1])
    c.paint(canopy, CORAL)
    c.fill(stroke([(8.0, 1.6), (6.0, 5.8)], 0.9) | stroke([(8.0, 1.6), (10.0, 5.8)], 0.9),
           0xF7987F)
    person(c, BLUE, cx=6.0, head_y=10.0, hr=2.0, bw=4.0, body_top=12.8, br=3.0)
    c.paint(stroke([(13.0, 7.0), (13.0, 14.0)] + arc(11.5, 14.0, 1.5, 0, 180, 6), 1.3), SLATE)


def padlock(c):
    shackle = stroke([(2.2, 11.5)] + arc(4.0, 10.8, 1.8, 180, 360) + [(5.8, 11.5)], 1.4)
    c.paint(shackle.grow(0.3), STEEL)
    c.paint(rrect(0.0, 11.0, 8.0, 16.0, 1.0), GOLD)
    c.fill(circle(4.0, 13.0, 0.9) | rrect(3.5, 13.0, 4.5, 15.0, 0.3), GOLD[1])


def key(c):
    bow = circle(4.8, 4.8, 4.3) - circle(3.6, 3.6, 1.2)
    blade = box(10.0, 10.0, 5.8, 1.4, 0.5, 45)
    teeth = box(12.4, 14.0, 1.7, 0.9, 0.3, 45) | box(14.3, 12.2, 1.2, 0.9, 0.3, 45)
    c.paint(blade | teeth | bow, GOLD)
    c.fill(box(10.5, 10.5, 3.5, 0.35, 0.3, 45), 0xFAD36E)


def question(c):
    c.paint(circle(8.0, 8.0, 7.9), BLUE)
    hook = arc(8.0, 6.0, 2.4, 180, 395, 10) + [(8.0, 8.6), (8.0, 9.6)]
    c.fill(stroke(hook, 2.0) | circle(8.0, 12.5, 1.25), WHITE)


def user(c):
    person(c, BLUE)


def disabled_user(c):
    person(c, GREY)
    down_badge(c)


def with_badge(picture, badge):
    return lambda c: (picture(c), badge(c))


ICONS = {
    'app': umbrella,
    'user': user,
    'user_disabled': disabled_user,
    'group': group,
    'lockout': padlock,
    'password': key,
    'remote': lambda c: monitor(c, with_network=True),
}
TOOLBAR = {
    'user_add': with_badge(small_user, plus_badge),
    'user_delete': with_badge(small_user, cross_badge),
    'user_settings': with_badge(small_user, pencil_badge),
    'group_add': with_badge(small_group, plus_badge),
    'group_delete': with_badge(small_group, cross_badge),
    'group_settings': with_badge(small_group, pencil_badge),
    'remote': monitor,
    'view_all': users_and_group,
    'view_users': user,
    'view_groups': group,
    'help': question,
}


# ---- file formats ----------------------------------------------------------------------------


def straight_rgba(p):
    """Premultiplied float pixel -> straight 8-bit (r, g, b, a)."""
    a = p[3]
    if a <= 0.0:
        return 0, 0, 0, 0
    return tuple(min(255, round(v / a * 255)) for v in p[:3]) + (min(255, round(a * 255)),)


def ico_image(c):
    """One icon image: BITMAPINFOHEADER, bottom-up 32-bit BGRA, then the 1-bit AND mask."""
    n = c.n
    rows = [[straight_rgba(c.px[y * n + x]) for x in range(n)] for y in reversed(range(n))]
    xor = b''.join(struct.pack('<4B', b, g, r, a) for row in rows for r, g, b, a in row)
    stride = (n + 31) // 32 * 4
    mask = b''
    for row in rows:
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bytes(bits)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0,
                         0)
    return header + xor + mask


def ico_file(draw, sizes=ICON_SIZES):
    images = []
    for size in sizes:
        c = Canvas(size)
        draw(c)
        images.append((size, ico_image(c)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


def bmp_file(draw, size=16):
    """24-bit BMP; pixels less than half covered become the magenta mask colour, so the
    outer edge is hard while colour edges inside the picture stay smooth."""
    c = Canvas(size)
    draw(c)
    stride = (size * 3 + 3) & ~3
    data = b''
    for y in reversed(range(size)):
        row = b''
        for x in range(size):
            r, g, b, a = straight_rgba(c.px[y * size + x])
            if a < 140:
                r, g, b = MAGENTA >> 16, (MAGENTA >> 8) & 255, MAGENTA & 255
            row += struct.pack('<3B', b, g, r)
        data += row.ljust(stride, b'\0')
    header = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack('<2sIHHI', b'BM', 14 + len(header) + len(data), 0, 0, 54) + header + data


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make_images.py OUTDIR\n')
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    files = [(name + '.ico', ico_file(draw, APP_ICON_SIZES if name == 'app' else ICON_SIZES))
             for name, draw in ICONS.items()]
    for size in TOOLBAR_SIZES:
        suffix = '' if size == 16 else '_%d' % size
        files += [('tb_%s%s.bmp' % (name, suffix), bmp_file(draw, size))
                  for name, draw in TOOLBAR.items()]
    for name, data in files:
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
