#!/usr/bin/env python3
# Draws Veriloom's artwork from simple geometry and writes the files the Windows
# resources use: veriloom.ico (32 x 32, 256 colours: title bar of the warning
# dialog and of Setup) and warning.bmp (112 x 75, 256 colours: left side of the
# warning dialog), plus 8x / 4x PNG previews for reviewers.
#
#   python3 resources/art/make_art.py           draw, write, then check
#   python3 resources/art/make_art.py --check   check the committed files only
#
# Standard library only, and deterministic: the same script writes the same bytes.
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ICO_PATH = os.path.join(HERE, "veriloom.ico")
BMP_PATH = os.path.join(HERE, "warning.bmp")
ICO_PREVIEW = os.path.join(HERE, "preview-icon.png")
BMP_PREVIEW = os.path.join(HERE, "preview-bitmap.png")

ICON_SIZE = 32
BMP_W, BMP_H = 112, 75


def rgb(hex_text):
    return tuple(int(hex_text[i:i + 2], 16) for i in (1, 3, 5))


# The palette of the drawing: deep blue and teal, with gold and amber accents.
RIM = rgb("#0C2340")          # outline of the shield
BLUE_DEEP = rgb("#123F6E")    # shield, lower right
BLUE_MID = rgb("#1A5C8A")
TEAL = rgb("#1F8A9A")         # shield, upper left
TEAL_LIGHT = rgb("#4FB3BF")   # inner bevel line
AMBER_LIGHT = rgb("#FFC94A")  # the warning triangle
AMBER = rgb("#F4A81D")
GOLD_LIGHT = rgb("#FFD878")   # the key
GOLD = rgb("#E39A1E")
AMBER_DARK = rgb("#B86E00")
INK = rgb("#2B1D0E")          # the exclamation mark
BG_TOP = rgb("#FBFCFD")
BG_BOTTOM = rgb("#E4EBF1")
HALO = rgb("#D5E6EC")


def mix(a, b, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


# ---------------------------------------------------------------- geometry
# Every shape is a signed distance function in pixel units (negative inside);
# the canvas turns the distance at each pixel centre into coverage.

def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2.0


def seg_dist(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else clamp01(((x - ax) * dx + (y - ay) * dy) / ll)
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def sd_capsule(ax, ay, bx, by, r):
    return lambda x, y: seg_dist(x, y, ax, ay, bx, by) - r


def sd_box(cx, cy, hw, hh, radius=0.0):
    def f(x, y):
        qx = abs(x - cx) - hw + radius
        qy = abs(y - cy) - hh + radius
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return f


def sd_polygon(points, radius=0.0):
    """Exact distance to a closed polygon (even-odd inside test), minus radius."""
    pts = list(points)
    edges = list(zip(pts, pts[1:] + pts[:1]))
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    x0, x1, y0, y1 = min(xs), max(xs), min(ys), max(ys)

    def f(x, y):
        # Far from the bounding box the box distance is good enough (a lower bound).
        bdx = max(x0 - x, 0.0, x - x1)
        bdy = max(y0 - y, 0.0, y - y1)
        if bdx > 12 or bdy > 12:
            return math.hypot(bdx, bdy) - radius
        best = 1e9
        inside = False
        for (ax, ay), (bx, by) in edges:
            d = seg_dist(x, y, ax, ay, bx, by)
            if d < best:
                best = d
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    inside = not inside
        return (-best if inside else best) - radius
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def intersect(*fs):
    return lambda x, y: max(f(x, y) for f in fs)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def offset(f, amount):
    """Grows (amount > 0) or shrinks (amount < 0) a shape."""
    return lambda x, y: f(x, y) - amount


def moved(f, dx, dy, angle_deg=0.0, pivot=(0.0, 0.0)):
    """The shape rotated about pivot by angle_deg, then moved by (dx, dy)."""
    c = math.cos(math.radians(angle_deg))
    s = math.sin(math.radians(angle_deg))
    px, py = pivot

    def g(x, y):
        ux, uy = x - dx - px, y - dy - py
        return f(px + c * ux + s * uy, py - s * ux + c * uy)
    return g


def cubic(p0, p1, p2, p3, steps):
    out = []
    for i in range(1, steps + 1):
        t = i / steps
        u = 1 - t
        out.append((u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
                    u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return out


def shield_points(cx, top, half_w, height, steps=14):
    """A crest shield: gently arched top, straight flanks, curved sides to a point."""
    right = [(0.0, 0.0)]
    right += cubic((0.0, 0.0), (0.40, 0.0), (0.78, 0.035), (1.0, 0.085), steps)
    right.append((1.0, 0.46))
    right += cubic((1.0, 0.46), (1.0, 0.76), (0.52, 0.91), (0.0, 1.0), steps * 2)
    left = [(-u, v) for (u, v) in reversed(right[1:-1])]
    return [(cx + u * half_w, top + v * height) for (u, v) in right + left]


def key_shape(cx, bow_cy, bow_r, hole_r, shaft_hw, shaft_bottom, teeth):
    """A key standing upright: round bow with a hole on top, shaft, teeth to the right."""
    bow = sd_circle(cx, bow_cy, bow_r)
    shaft = sd_box(cx, (bow_cy + shaft_bottom) / 2.0, shaft_hw, (shaft_bottom - bow_cy) / 2.0)
    parts = [bow, shaft]
    for (ty, th, tw) in teeth:   # centre y, half height, reach beyond the shaft
        parts.append(sd_box(cx + shaft_hw + tw / 2.0 - 0.01, ty, tw / 2.0 + 0.01, th))
    return subtract(union(*parts), sd_circle(cx, bow_cy, hole_r))


def broken(shape, crack, angle, dx, dy, pivot):
    """Splits shape along the crack polyline (left to right); the lower piece
    is turned by angle about pivot and moved by (dx, dy)."""
    big = 1000.0
    above = sd_polygon([(crack[0][0] - big, -big), (crack[-1][0] + big, -big),
                        (crack[-1][0] + big, crack[-1][1])] + list(reversed(crack))
                       + [(crack[0][0] - big, crack[0][1])])
    upper = intersect(shape, above)
    lower = moved(subtract(shape, above), dx, dy, angle, pivot)
    return upper, lower


# ------------------------------------------------------------------ canvas

class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.col = [[0.0, 0.0, 0.0] for _ in range(w * h)]   # premultiplied
        self.alpha = [0.0] * (w * h)

    def fill(self, sdf, colour, opacity=1.0, soft=1.0):
        """Paints a shape over what is there. colour is an RGB tuple or a
        function (x, y) -> RGB; soft widens the edge (for shadows)."""
        for y in range(self.h):
            py = y + 0.5
            for x in range(self.w):
                px = x + 0.5
                cov = clamp01(0.5 - sdf(px, py) / soft) * opacity
                if cov <= 0.0:
                    continue
                c = colour(px, py) if callable(colour) else colour
                i = y * self.w + x
                dst = self.col[i]
                for k in range(3):
                    dst[k] = c[k] * cov + dst[k] * (1.0 - cov)
                self.alpha[i] = cov + self.alpha[i] * (1.0 - cov)

    def pixels(self):
        """(r, g, b, alpha) per pixel, colours un-premultiplied, 0..255."""
        out = []
        for c, a in zip(self.col, self.alpha):
            if a <= 0.0:
                out.append((0, 0, 0, 0.0))
            else:
                out.append(tuple(max(0, min(255, int(round(v / a)))) for v in c) + (a,))
        return out


# ----------------------------------------------------------------- drawing

def draw_shield(cv, cx, top, half_w, height, rim, bevel):
    pts = shield_points(cx, top, half_w, height)
    outline = sd_polygon(pts)
    x0, y0 = cx - half_w, top

    def body(x, y):
        # Diagonal teal-to-blue gradient; the left half a shade lighter.
        t = ((x - x0) / (2 * half_w) * 0.55 + (y - y0) / height * 0.75)
        c = mix(TEAL, BLUE_MID, t * 1.6) if t < 0.625 else mix(BLUE_MID, BLUE_DEEP, (t - 0.625) * 2.4)
        if x < cx:
            c = mix(c, (255, 255, 255), 0.07)
        return c

    cv.fill(outline, RIM)
    cv.fill(offset(outline, -rim), body)
    if bevel:
        # A thin light line just inside the rim: (distance from the rim, width, opacity).
        gap, width, strength = bevel
        cv.fill(subtract(offset(outline, -rim - gap), offset(outline, -rim - gap - width)),
                TEAL_LIGHT, opacity=strength)


def draw_key(cv, cx, top, s, snap, hole=2.0, shaft=1.85, shadow=True):
    """The product's sign: a golden key snapped in two across its shaft.
    s scales the key (1.0: 25 px tall); snap = (angle in degrees, dx, dy in
    pixels) moves the lower piece; hole and shaft (half width) are in key units."""
    bow_cy = top + 4.8 * s
    key = key_shape(cx, bow_cy, 4.8 * s, hole * s, shaft * s, top + 24.5 * s,
                    [(top + 18.6 * s, 1.15 * s, 3.0 * s), (top + 22.9 * s, 1.15 * s, 2.2 * s)])
    cy = top + 12.6 * s
    crack = [(cx - 4 * s, cy - 0.9 * s), (cx - 0.6 * s, cy + 0.9 * s),
             (cx + 0.5 * s, cy - 0.5 * s), (cx + 4 * s, cy + 0.7 * s)]
    angle, dx, dy = snap
    upper, lower = broken(key, crack, angle, dx, dy, (cx + shaft * s, cy))

    def gold(x, y):
        return mix(GOLD_LIGHT, GOLD, (x - (cx - 5 * s)) / (10 * s) + (y - top) / (25 * s) * 0.3)

    if shadow:
        for piece in (upper, lower):
            # The hole of the bow stays clear: the shield shows through it.
            cv.fill(subtract(moved(piece, 0.45 * s, 0.75 * s), sd_circle(cx, bow_cy, hole * s)),
                    RIM, opacity=0.3)
    for piece in (upper, lower):
        cv.fill(piece, gold)


def background(x, y):
    return mix(BG_TOP, BG_BOTTOM, y / BMP_H)


def draw_warning(cv, cx, top, size, rim, cutout):
    """Amber warning triangle with a dark exclamation mark, set off from what
    lies under it by a cutout band of the background."""
    h = size * math.sqrt(3) / 2
    r = size * 0.12
    inset = r * 1.9
    tri = [(cx, top + inset), (cx + size / 2 - inset * 0.85, top + h - inset * 0.5),
           (cx - size / 2 + inset * 0.85, top + h - inset * 0.5)]
    outline = sd_polygon(tri, radius=r)

    def amber(x, y):
        return mix(AMBER_LIGHT, AMBER, (y - top) / h * 1.2)

    cv.fill(offset(outline, cutout), background)
    cv.fill(moved(outline, 0.6, 1.0), RIM, opacity=0.3, soft=1.6)
    cv.fill(outline, AMBER_DARK)
    cv.fill(offset(outline, -rim), amber)
    w = size * 0.075
    bar_top, bar_bot = top + h * 0.34, top + h * 0.66
    cv.fill(sd_polygon([(cx - w, bar_top), (cx + w, bar_top), (cx + w * 0.6, bar_bot),
                        (cx - w * 0.6, bar_bot)], radius=w * 0.25), INK)
    cv.fill(sd_circle(cx, top + h * 0.80, w * 0.95), INK)


def draw_icon():
    cv = Canvas(ICON_SIZE, ICON_SIZE)
    draw_shield(cv, 16.0, 1.0, 13.6, 30.0, rim=1.25, bevel=None)
    draw_key(cv, 15.5, 3.8, 0.92, (0.0, 1.0, 2.1), hole=2.15, shaft=1.5 / 0.92, shadow=False)
    return cv


def draw_bitmap():
    cv = Canvas(BMP_W, BMP_H)
    cv.fill(lambda x, y: -1.0, background)
    cv.fill(sd_circle(48.0, 37.0, 36.0), HALO, opacity=0.55, soft=14.0)
    cx, top, half_w, height = 48.0, 5.0, 27.0, 64.0
    outline = sd_polygon(shield_points(cx, top, half_w, height))
    cv.fill(moved(outline, 1.5, 2.5), RIM, opacity=0.28, soft=3.0)
    draw_shield(cv, cx, top, half_w, height, rim=2.0, bevel=(1.5, 1.0, 0.55))
    draw_key(cv, cx - 2.0, top + 8.0, 1.75, (8.0, 2.1, 5.25))
    draw_warning(cv, 80.0, 37.0, 38.0, 1.6, 2.2)
    return cv


# ---------------------------------------------------------- quantisation

def median_cut(hist, n):
    """At most n representative colours for the histogram {rgb: count}."""
    colours = sorted(hist)
    if len(colours) <= n:
        return colours
    boxes = [colours]

    def spread(box):
        return max(max(c[k] for c in box) - min(c[k] for c in box) for k in range(3))

    while len(boxes) < n:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        box = max(splittable, key=lambda b: (spread(b) * math.sqrt(sum(hist[c] for c in b)), len(b), b[0]))
        boxes.remove(box)
        ch = max(range(3), key=lambda k: (max(c[k] for c in box) - min(c[k] for c in box), -k))
        box = sorted(box, key=lambda c: (c[ch], c))
        total = sum(hist[c] for c in box)
        acc, cut = 0, 1
        for i, c in enumerate(box):
            acc += hist[c]
            if acc * 2 >= total:
                cut = min(max(i + 1, 1), len(box) - 1)
                break
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(hist[c] for c in box)
        palette.append(tuple(int(round(sum(c[k] * hist[c] for c in box) / total)) for k in range(3)))
    return sorted(set(palette))


def quantise(colours, reserved):
    """Indexed image: (palette of 256 RGB entries, one index per pixel).
    reserved entries come first and are never used for drawing."""
    hist = {}
    for c in colours:
        hist[c] = hist.get(c, 0) + 1
    free = 256 - len(reserved)
    palette = list(reserved) + median_cut(hist, free)
    cache = {}

    def nearest(c):
        if c not in cache:
            best, best_d = len(reserved), None
            for i in range(len(reserved), len(palette)):
                p = palette[i]
                d = 2 * (c[0] - p[0]) ** 2 + 4 * (c[1] - p[1]) ** 2 + 3 * (c[2] - p[2]) ** 2
                if best_d is None or d < best_d:
                    best, best_d = i, d
            cache[c] = best
        return cache[c]

    indices = [nearest(c) for c in colours]
    palette += [(0, 0, 0)] * (256 - len(palette))
    return palette, indices


# ----------------------------------------------------------- file formats

def bmp_info_header(width, height, size_image, clr_used, ppm):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, size_image, ppm, ppm, clr_used, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)


def rows_bottom_up(indices, width, height):
    stride = (width + 3) & ~3
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytes(indices[y * width:(y + 1) * width])
        out += row + b"\0" * (stride - width)
    return bytes(out)


def build_ico(cv):
    px = cv.pixels()
    opaque = [p[3] >= 0.5 for p in px]
    # Index 0 is black: what transparent pixels hold under the AND mask.
    palette, indices = quantise([p[:3] for p, o in zip(px, opaque) if o], [(0, 0, 0)])
    it = iter(indices)
    full = [next(it) if o else 0 for o in opaque]
    xor = rows_bottom_up(full, ICON_SIZE, ICON_SIZE)
    mask_stride = ((ICON_SIZE + 31) // 32) * 4
    mask = bytearray()
    for y in range(ICON_SIZE - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(ICON_SIZE):
            if not opaque[y * ICON_SIZE + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    image = (bmp_info_header(ICON_SIZE, ICON_SIZE * 2, len(xor) + len(mask), 0, 0)
             + palette_bytes(palette) + xor + bytes(mask))
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", ICON_SIZE, ICON_SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return header + entry + image


def build_bmp(cv):
    px = cv.pixels()
    palette, indices = quantise([p[:3] for p in px], [])
    pixels = rows_bottom_up(indices, BMP_W, BMP_H)
    info = bmp_info_header(BMP_W, BMP_H, len(pixels), 256, 2835)
    offbits = 14 + len(info) + 256 * 4
    filehdr = struct.pack("<2sIHHI", b"BM", offbits + len(pixels), 0, 0, offbits)
    return filehdr + info + palette_bytes(palette) + pixels


# ------------------------------------------------ reading back (for checks)

def parse_dib(data, expect_w, expect_h_field):
    (size, w, h, planes, bits, comp, size_image, _xp, _yp, clr_used, _imp) = \
        struct.unpack_from("<IiiHHIIiiII", data, 0)
    assert size == 40, "BITMAPINFOHEADER size %d" % size
    assert (w, h) == (expect_w, expect_h_field), "dimensions %dx%d" % (w, h)
    assert planes == 1 and bits == 8 and comp == 0, "planes/bits/compression %d/%d/%d" % (planes, bits, comp)
    assert clr_used in (0, 256), "biClrUsed %d" % clr_used
    pal = [struct.unpack_from("<BBBB", data, 40 + 4 * i) for i in range(256)]
    palette = [(r, g, b) for (b, g, r, _a) in pal]
    return palette, 40 + 256 * 4, size_image


def read_ico(data):
    """Decodes veriloom.ico into rows of RGBA, top row first."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind, count) == (0, 1, 1), "ICONDIR %r" % ((reserved, kind, count),)
    bw, bh, ncol, res, planes, bitcount, nbytes, off = struct.unpack_from("<BBBBHHII", data, 6)
    assert (bw, bh, ncol, res, planes, bitcount) == (32, 32, 0, 0, 1, 8), "ICONDIRENTRY"
    assert off == 22 and off + nbytes == len(data), "image at %d, %d bytes, file %d" % (off, nbytes, len(data))
    img = data[off:]
    palette, pos, _ = parse_dib(img, 32, 64)
    xor_len = 32 * 32
    mask_stride = 4
    assert nbytes == pos + xor_len + mask_stride * 32, "image length %d" % nbytes
    assert palette[0] == (0, 0, 0)
    rows = []
    for y in range(32):
        src = 31 - y
        row = []
        for x in range(32):
            idx = img[pos + src * 32 + x]
            bit = img[pos + xor_len + src * mask_stride + (x >> 3)] & (0x80 >> (x & 7))
            if bit:
                assert idx == 0, "transparent pixel with colour"
                row.append((0, 0, 0, 0))
            else:
                row.append(palette[idx] + (255,))
        rows.append(row)
    for (x, y) in ((0, 0), (31, 0), (0, 31), (31, 31)):
        assert rows[y][x][3] == 0, "corner (%d, %d) not transparent" % (x, y)
    return rows


def read_bmp(data):
    magic, fsize, _r1, _r2, offbits = struct.unpack_from("<2sIHHI", data, 0)
    assert magic == b"BM" and fsize == len(data), "BITMAPFILEHEADER"
    palette, pos, size_image = parse_dib(data[14:], BMP_W, BMP_H)
    stride = (BMP_W + 3) & ~3
    assert offbits == 14 + pos, "bfOffBits %d" % offbits
    assert size_image == stride * BMP_H and fsize == offbits + size_image, "pixel data length"
    rows = []
    for y in range(BMP_H):
        base = offbits + (BMP_H - 1 - y) * stride
        rows.append([palette[i] + (255,) for i in data[base:base + BMP_W]])
    return rows


# ------------------------------------------------------------ PNG previews

def png_bytes(rows):
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for p in row:
            raw += bytes(p[:3])

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def scaled(rows, k, backdrop):
    """Nearest-neighbour enlargement; transparent pixels show backdrop(x, y)."""
    out = []
    for y in range(len(rows) * k):
        src = rows[y // k]
        out.append([src[x // k][:3] if src[x // k][3] else backdrop(x, y) for x in range(len(src) * k)])
    return out


def icon_preview(rows):
    """The icon at 8x on a checkerboard (transparency), a light and a dark title bar."""
    k, gap = 8, 16
    panels = [lambda x, y: (204, 204, 204) if ((x // 16) + (y // 16)) % 2 else (255, 255, 255),
              lambda x, y: (240, 240, 240),
              lambda x, y: (32, 32, 32)]
    size = 32 * k
    width = len(panels) * size + (len(panels) + 1) * gap
    out = [[(255, 255, 255)] * width for _ in range(size + 2 * gap)]
    for n, bd in enumerate(panels):
        img = scaled(rows, k, bd)
        x0 = gap + n * (size + gap)
        for y in range(size):
            out[gap + y][x0:x0 + size] = img[y]
    return out


def bitmap_preview(rows):
    return scaled(rows, 4, lambda x, y: (255, 0, 255))


# ------------------------------------------------------------------- main

def render():
    return build_ico(draw_icon()), build_bmp(draw_bitmap())


def check(expected=None):
    ico = open(ICO_PATH, "rb").read()
    bmp = open(BMP_PATH, "rb").read()
    read_ico(ico)
    read_bmp(bmp)
    assert len(ico) == 6 + 16 + 40 + 1024 + 32 * 32 + 4 * 32, "ico length %d" % len(ico)
    assert len(bmp) == 14 + 40 + 1024 + ((BMP_W + 3) & ~3) * BMP_H, "bmp length %d" % len(bmp)
    if expected is None:
        expected = render()
    assert expected[0] == ico, "veriloom.ico differs from what make_art.py draws: regenerate it"
    assert expected[1] == bmp, "warning.bmp differs from what make_art.py draws: regenerate it"
    print("veriloom.ico: 1 image, 32x32, 8 bpp, 256-entry palette, AND mask; %d bytes" % len(ico))
    print("warning.bmp: %dx%d, 8 bpp, BI_RGB, 256-entry palette; %d bytes" % (BMP_W, BMP_H, len(bmp)))
    windres = shutil.which("x86_64-w64-mingw32-windres")
    if not windres:
        print("windres: not installed, resource compile skipped")
        return
    with tempfile.TemporaryDirectory(prefix="veriloom-art-") as tmp:
        rc = os.path.join(tmp, "art.rc")
        with open(rc, "w") as f:
            f.write('1 ICON "%s"\n100 BITMAP "%s"\n' % (ICO_PATH.replace("\\", "/"), BMP_PATH.replace("\\", "/")))
        res = os.path.join(tmp, "art.res")
        subprocess.run([windres, "-O", "coff", "-i", rc, "-o", res], check=True)
        print("windres: accepted both files (%d-byte COFF object)" % os.path.getsize(res))


def main(argv):
    if argv[1:] not in ([], ["--check"]):
        print("usage: make_art.py [--check]", file=sys.stderr)
        return 2
    try:
        if argv[1:] == ["--check"]:
            check()
        else:
            write_all()
    except (AssertionError, OSError, struct.error, subprocess.CalledProcessError) as e:
        print("make_art.py: check failed: %s" % (e or type(e).__name__), file=sys.stderr)
        return 1
    return 0


def write_all():
    ico, bmp = render()
    with open(ICO_PATH, "wb") as f:
        f.write(ico)
    with open(BMP_PATH, "wb") as f:
        f.write(bmp)
    with open(ICO_PREVIEW, "wb") as f:
        f.write(png_bytes(icon_preview(read_ico(ico))))
    with open(BMP_PREVIEW, "wb") as f:
        f.write(png_bytes(bitmap_preview(read_bmp(bmp))))
    check((ico, bmp))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
