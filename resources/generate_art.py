#!/usr/bin/env python3
"""Renders the editor's images: knob filmstrips, ring segments, toggles, LEDs and the wordmark.

Standard library only. Every image is rendered in floating point with straight alpha and
4x4 supersampling, then written as an 8-bit RGBA PNG holding exactly the chunks IHDR, IDAT and
IEND (one IDAT). The output depends on nothing but this file and the font, so two runs give the
same bytes.

  generate_art.py --list                    prints the file names, one a line
  generate_art.py --out DIR --font TTF      writes every image into DIR
  generate_art.py ... --contact-sheet PNG   also writes one sheet showing all the art
"""

import argparse
import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4
FRAMES = 55

# ----------------------------------------------------------------------------------------------
# PNG


def png_bytes(width, height, rgba):
    """rgba: bytes of width*height*4, row by row. Filter 0 on every row, one IDAT chunk."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    stride = width * 4
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        raw += rgba[y * stride:(y + 1) * stride]
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ----------------------------------------------------------------------------------------------
# Colour helpers. Colours are (r, g, b) floats 0..1; a sample is premultiplied (r, g, b, a).


def hexc(s):
    s = s.lstrip("#")
    return tuple(int(s[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def clamp01(t):
    return 0.0 if t < 0.0 else 1.0 if t > 1.0 else t


def smooth(e0, e1, x):
    t = clamp01((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


TRANSPARENT = (0.0, 0.0, 0.0, 0.0)


def over(dst, colour, alpha):
    """Lays a straight colour at alpha over a premultiplied sample."""
    if alpha <= 0.0:
        return dst
    k = 1.0 - alpha
    return (colour[0] * alpha + dst[0] * k, colour[1] * alpha + dst[1] * k,
            colour[2] * alpha + dst[2] * k, alpha + dst[3] * k)


def opaque(colour):
    return (colour[0], colour[1], colour[2], 1.0)


class Image:
    """A straight-alpha float image, rendered from a function of the offset to a centre."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [TRANSPARENT] * (width * height)

    def render(self, shade, cx, cy, reach, box=None):
        """shade(dx, dy) gives a premultiplied sample; pixels whose centre lies beyond `reach`
        of (cx, cy) stay transparent. box = (x0, y0, x1, y1) limits the pixels rendered."""
        n = SUPERSAMPLE
        offsets = [(i + 0.5) / n for i in range(n)]
        weight = 1.0 / (n * n)
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        for y in range(y0, y1):
            for x in range(x0, x1):
                if math.hypot(x + 0.5 - cx, y + 0.5 - cy) > reach + 0.75:
                    self.pixels[y * self.width + x] = TRANSPARENT
                    continue
                r = g = b = a = 0.0
                for oy in offsets:
                    dy = y + oy - cy
                    for ox in offsets:
                        s = shade(x + ox - cx, dy)
                        r += s[0]
                        g += s[1]
                        b += s[2]
                        a += s[3]
                self.pixels[y * self.width + x] = (r * weight, g * weight, b * weight, a * weight)

    def rgba_bytes(self):
        out = bytearray()
        for r, g, b, a in self.pixels:
            if a <= 0.5 / 255.0:
                out += b"\0\0\0\0"
                continue
            out += bytes((round(clamp01(r / a) * 255.0), round(clamp01(g / a) * 255.0),
                          round(clamp01(b / a) * 255.0), round(clamp01(a) * 255.0)))
        return bytes(out)

    def png(self):
        return png_bytes(self.width, self.height, self.rgba_bytes())


# ----------------------------------------------------------------------------------------------
# Knobs: a cap of radius 40 with an indicator dot 24 px out; the large frames put it on a base
# plate of radius 68, the small frames give it a drop shadow instead. Light comes from above.

CAP_RADIUS = 40.0
PLATE_RADIUS = 68.0
DOT_DISTANCE = 24.0
DOT_CORE = 5.6
DOT_OUTLINE = 6.8


def cap_sample(dx, dy, r):
    v = dy / CAP_RADIUS
    face = mix(hexc("3F3F43"), hexc("232326"), clamp01((v + 1.0) * 0.5) ** 0.9)
    # A spun-metal sheen, brightest where the face looks at the light and its mirror below.
    theta = math.atan2(dx, -dy)
    sheen = 0.022 * (math.cos(2.0 * theta) ** 2) * (r / CAP_RADIUS) ** 2
    face = tuple(c + sheen for c in face)
    if r > 36.0:
        rim = mix(hexc("6E6E72"), hexc("121214"), clamp01((v + 1.0) * 0.5))
        face = mix(face, rim, smooth(36.0, 39.5, r) * (0.35 + 0.6 * abs(v)))
    return opaque(face)


def plate_sample(dx, dy, r):
    v = dy / PLATE_RADIUS
    if v < 0.0:
        face = mix(hexc("333337"), hexc("3E3E42"), smooth(0.0, 0.55, -v))
    elif v < 0.5:
        face = mix(hexc("333337"), hexc("1E1E20"), smooth(-0.05, 0.5, v))
    else:
        face = mix(hexc("1E1E20"), hexc("151517"), (v - 0.5) / 0.5)
    if r > 64.0:
        rim = mix(hexc("616164"), hexc("050506"), smooth(-0.85, 0.6, v))
        face = mix(face, rim, smooth(64.0, 67.0, r) * (0.4 + 0.6 * abs(v)))
    if r < 45.0:
        # The cap's foot: lit above, in its own shadow below.
        u = -dy / r
        f = (1.0 - smooth(CAP_RADIUS, 45.0, r))
        if u > 0.0:
            face = mix(face, mix(hexc("545457"), hexc("616163"), u), f * min(1.0, u * 1.6))
        else:
            face = mix(face, hexc("000000"), f * min(1.0, -u * 1.4) * 0.9)
    return opaque(face)


def plate_halo(dx, dy, r):
    t = (r - PLATE_RADIUS) / 11.0
    if t >= 1.0:
        return TRANSPARENT
    u = -dy / r
    fall = (1.0 - t) ** 2
    alpha = (90.0 + 50.0 * max(u, 0.0)) / 255.0 * fall * smooth(-0.75, -0.15, u)
    s = over(TRANSPARENT, (0.0, 0.0, 0.0), alpha)
    if u < -0.3 and t < 0.4:
        lip = 70.0 / 255.0 * (1.0 - t / 0.4) ** 2 * smooth(-0.3, -0.8, u)
        s = over(s, hexc("B4B4B8"), lip)
    return s


def large_body(dx, dy):
    r = math.hypot(dx, dy)
    if r <= CAP_RADIUS:
        return cap_sample(dx, dy, r)
    if r <= PLATE_RADIUS:
        return plate_sample(dx, dy, r)
    return plate_halo(dx, dy, r)


def small_body(dx, dy):
    r = math.hypot(dx, dy)
    if r <= CAP_RADIUS:
        return cap_sample(dx, dy, r)
    # Drop shadow: an ellipse reaching 15 px to either side, 11 above and 26 below the cap.
    q = math.hypot(dx / 55.0, (dy - 7.5) / 58.5)
    alpha = 240.0 / 255.0 * (1.0 - smooth(0.6, 1.0, q)) ** 1.5
    return over(TRANSPARENT, (0.0, 0.0, 0.0), alpha)


def dot_centre(index):
    angle = math.radians(-135.0 + 5.0 * index)
    return DOT_DISTANCE * math.sin(angle), -DOT_DISTANCE * math.cos(angle)


def with_dot(body, index):
    px, py = dot_centre(index)

    def shade(dx, dy):
        s = body(dx, dy)
        d = math.hypot(dx - px, dy - py)
        if d <= DOT_CORE:
            return opaque((1.0, 1.0, 1.0))
        if d <= DOT_OUTLINE:
            return over(s, hexc("0C0C0E"), 0.9)
        return s
    return shade


def knob_strip(size, body, reach):
    """The 55 frames: the body is rendered once, each frame re-renders only the dot's square."""
    c = size / 2.0
    base = Image(size, size)
    base.render(body, c, c, reach)
    frames = []
    for i in range(FRAMES):
        frame = Image(size, size)
        frame.pixels = list(base.pixels)
        px, py = dot_centre(i)
        box = (int(math.floor(c + px - DOT_OUTLINE - 1)), int(math.floor(c + py - DOT_OUTLINE - 1)),
               int(math.ceil(c + px + DOT_OUTLINE + 1)), int(math.ceil(c + py + DOT_OUTLINE + 1)))
        frame.render(with_dot(body, i), c, c, reach, box)
        frames.append(frame)
    return frames


# ----------------------------------------------------------------------------------------------
# Ring segments: a 4x18 bar at columns 9..12, rows 9..26 of a 22x36 image, with a glow whose
# alpha falls off pixel by pixel beside the long sides and beyond the ends.

SEGMENT_W, SEGMENT_H = 22, 36
BAR_X0, BAR_X1, BAR_Y0, BAR_Y1 = 9, 12, 9, 26
SIDE_GLOW = [140, 114, 89, 63, 38, 19, 6]
END_GLOW = [78, 58, 42, 28, 17, 8, 2]


def glow_alpha(x, y):
    gx = BAR_X0 - x if x < BAR_X0 else x - BAR_X1 if x > BAR_X1 else 0
    gy = BAR_Y0 - y if y < BAR_Y0 else y - BAR_Y1 if y > BAR_Y1 else 0
    if gx > len(SIDE_GLOW) or gy > len(END_GLOW):
        return 0
    if gy == 0:
        return SIDE_GLOW[gx - 1]
    if gx == 0:
        return END_GLOW[gy - 1]
    return (SIDE_GLOW[gx - 1] * END_GLOW[gy - 1] + 70) // 140


def segment_png(bar, glow):
    out = bytearray()
    for y in range(SEGMENT_H):
        for x in range(SEGMENT_W):
            if BAR_X0 <= x <= BAR_X1 and BAR_Y0 <= y <= BAR_Y1:
                out += bytes(bar) + b"\xff"
            elif glow is not None and glow_alpha(x, y) > 0:
                out += bytes(glow) + bytes((glow_alpha(x, y),))
            else:
                out += b"\0\0\0\0"
    return png_bytes(SEGMENT_W, SEGMENT_H, bytes(out))


def rgb8(s):
    return tuple(round(c * 255) for c in hexc(s))


# ----------------------------------------------------------------------------------------------
# Toggles, 108x108: a lit button pressed in, an unlit one standing out.


def toggle_on(dx, dy):
    r = math.hypot(dx, dy)
    u = -dy / r if r > 0 else 0.0
    if r > 38.0:
        t = (r - 38.0) / 12.0
        if t >= 1.0:
            return TRANSPARENT
        s = over(TRANSPARENT, (0.0, 0.0, 0.0), 0.55 * (1.0 - t) ** 2)
        if u < -0.2 and t < 0.25:
            s = over(s, (1.0, 1.0, 1.0), 0.22 * (1.0 - t / 0.25) * smooth(-0.2, -0.9, u))
        return s
    if r <= 12.0:
        lamp = mix(hexc("3EF3FB"), hexc("6FF5FA"), smooth(4.0, 12.0, r))
        hx, hy = dx / 9.0, (dy + 6.0) / 4.5
        hl = 1.0 - smooth(0.3, 1.0, math.hypot(hx, hy))
        return opaque(mix(lamp, hexc("A2FAFD"), hl * 0.85))
    face = hexc("2C2C30")
    if r <= 14.0:
        return opaque(mix(hexc("1E787C"), face, smooth(13.0, 14.0, r)))
    face = mix(face, hexc("3AF3FB"), 0.16 * (1.0 - smooth(14.0, 24.0, r)))
    side = abs(dx) / r
    edge = smooth(33.0, 37.5, r)
    face = mix(face, mix(hexc("255A5E"), hexc("2E656A"), side), edge * side ** 3)
    face = mix(face, hexc("141416"), edge * max(u, 0.0) * 0.8)
    return opaque(face)


def toggle_off(dx, dy):
    r = math.hypot(dx, dy)
    u = -dy / r if r > 0 else 0.0
    if r > 40.0:
        t = (r - 40.0) / 10.0
        if t >= 1.0:
            return TRANSPARENT
        heavy = 0.35 + 0.45 * smooth(0.2, -0.9, u)
        return over(TRANSPARENT, (0.0, 0.0, 0.0), heavy * (1.0 - t) ** 2)
    v = dy / 40.0
    if r <= 12.0:
        lamp = mix(hexc("0B2123"), hexc("040D0E"), smooth(2.0, 12.0, r))
        hl = 1.0 - smooth(0.3, 1.0, math.hypot(dx / 8.0, (dy + 5.5) / 4.5))
        return opaque(mix(lamp, hexc("1F4A4F"), hl * 0.9))
    if r <= 14.0:
        return opaque(mix(hexc("000000"), hexc("1A1A1C"), smooth(13.3, 14.0, r)))
    face = mix(hexc("3E3E42"), hexc("29292D"), clamp01((v + 1.0) * 0.5))
    if r > 36.0:
        rim = mix(hexc("646467"), hexc("060607"), clamp01((v + 1.0) * 0.5))
        face = mix(face, rim, smooth(36.0, 39.5, r) * (0.3 + 0.7 * abs(v)))
    return opaque(face)


# ----------------------------------------------------------------------------------------------
# LEDs, 48x48: a lamp of radius 15 in a recessed bezel. The lamp's centre shows its colour
# exactly; the rim darkens and a small reflection sits up and to the left.

LED_COLOURS = [
    ("led_green_on", (118, 251, 62)), ("led_green_off", (7, 14, 4)),
    ("led_red_on", (252, 78, 70)), ("led_red_off", (14, 4, 4)),
    ("led_amber_on", (251, 183, 66)), ("led_amber_dim", (246, 162, 58)),
    ("led_amber_off", (14, 10, 4)),
    ("led_blue_on", (62, 167, 251)), ("led_cyan_on", (62, 243, 251)),
    ("led_violet_on", (177, 62, 251)), ("led_magenta_on", (246, 62, 251)),
    ("led_lightblue_on", (62, 210, 251)),
    ("led_shared_dim", (32, 174, 210)), ("led_shared_off", (4, 13, 14)),
    ("led_grey", (6, 6, 6)),
]


def led_shader(centre_rgb):
    centre = tuple(c / 255.0 for c in centre_rgb)
    lit = max(centre) > 0.3
    rim = tuple(c * 0.62 for c in centre)

    def shade(dx, dy):
        r = math.hypot(dx, dy)
        if r > 22.0:
            return TRANSPARENT
        if r > 15.0:
            v = dy / r
            bezel = mix(hexc("0E0E10"), hexc("3A3A3E"), smooth(-0.6, 0.9, v))
            bezel = mix(bezel, hexc("060607"), smooth(15.0, 16.5, r) * (1.0 - smooth(20.0, 22.0, r)))
            s = over(TRANSPARENT, bezel, 1.0 - smooth(21.0, 22.0, r))
            if lit:
                s = over(s, centre, 0.35 * (1.0 - smooth(15.0, 19.0, r)))
            return s
        colour = mix(centre, rim, smooth(5.0, 15.0, r))
        reflection = 1.0 - smooth(0.0, 1.0, math.hypot((dx + 4.5) / 5.0, (dy + 7.0) / 3.2))
        colour = mix(colour, (1.0, 1.0, 1.0), reflection * (0.55 if lit else 0.12))
        return opaque(colour)
    return shade


# ----------------------------------------------------------------------------------------------
# Wordmark: the product name in white Roboto Medium, letter-spaced, on a transparent 500x80.


class TrueTypeFont:
    """Just enough of TrueType for simple glyphs: cmap format 4, hmtx, loca and glyf."""

    def __init__(self, data):
        self.data = data
        count = struct.unpack_from(">H", data, 4)[0]
        self.tables = {}
        for i in range(count):
            tag, _, offset, length = struct.unpack_from(">4sIII", data, 12 + 16 * i)
            self.tables[tag.decode("latin-1")] = (offset, length)
        head = self.tables["head"][0]
        self.units_per_em = struct.unpack_from(">H", data, head + 18)[0]
        self.long_loca = struct.unpack_from(">h", data, head + 50)[0] == 1
        self.metric_count = struct.unpack_from(">H", data, self.tables["hhea"][0] + 34)[0]
        self.cap_height = struct.unpack_from(">h", data, self.tables["OS/2"][0] + 88)[0]

    def glyph_index(self, char):
        data, cmap = self.data, self.tables["cmap"][0]
        for i in range(struct.unpack_from(">H", data, cmap + 2)[0]):
            platform, encoding, offset = struct.unpack_from(">HHI", data, cmap + 4 + 8 * i)
            sub = cmap + offset
            if platform == 3 and encoding == 1 and struct.unpack_from(">H", data, sub)[0] == 4:
                segs = struct.unpack_from(">H", data, sub + 6)[0] // 2
                ends, starts = sub + 14, sub + 16 + 2 * segs
                deltas, ranges = starts + 2 * segs, starts + 4 * segs
                code = ord(char)
                for s in range(segs):
                    if struct.unpack_from(">H", data, ends + 2 * s)[0] >= code:
                        start = struct.unpack_from(">H", data, starts + 2 * s)[0]
                        if start > code:
                            return 0
                        delta = struct.unpack_from(">h", data, deltas + 2 * s)[0]
                        range_offset = struct.unpack_from(">H", data, ranges + 2 * s)[0]
                        if range_offset == 0:
                            return (code + delta) & 0xFFFF
                        at = ranges + 2 * s + range_offset + 2 * (code - start)
                        glyph = struct.unpack_from(">H", data, at)[0]
                        return (glyph + delta) & 0xFFFF if glyph else 0
        return 0

    def advance(self, glyph):
        hmtx = self.tables["hmtx"][0]
        return struct.unpack_from(">H", self.data, hmtx + 4 * min(glyph, self.metric_count - 1))[0]

    def contours(self, glyph):
        """The glyph's outline as closed polygons in font units, curves flattened."""
        data, loca = self.data, self.tables["loca"][0]
        if self.long_loca:
            start, end = struct.unpack_from(">II", data, loca + 4 * glyph)
        else:
            start, end = (2 * v for v in struct.unpack_from(">HH", data, loca + 2 * glyph))
        if start == end:
            return []
        at = self.tables["glyf"][0] + start
        count = struct.unpack_from(">h", data, at)[0]
        if count < 0:
            raise ValueError("composite glyphs are not needed for the wordmark")
        ends = struct.unpack_from(">%dH" % count, data, at + 10)
        points = ends[-1] + 1
        at += 10 + 2 * count
        at += 2 + struct.unpack_from(">H", data, at)[0]
        flags = []
        while len(flags) < points:
            flag = data[at]
            at += 1
            repeat = 1
            if flag & 8:
                repeat += data[at]
                at += 1
            flags += [flag] * repeat

        def coords(short_bit, same_bit):
            nonlocal at
            values, value = [], 0
            for flag in flags:
                if flag & short_bit:
                    step = data[at]
                    at += 1
                    value += step if flag & same_bit else -step
                elif not flag & same_bit:
                    value += struct.unpack_from(">h", data, at)[0]
                    at += 2
                values.append(value)
            return values
        xs = coords(2, 16)
        ys = coords(4, 32)
        result, first = [], 0
        for last in ends:
            pts = [(xs[i], ys[i], flags[i] & 1) for i in range(first, last + 1)]
            first = last + 1
            result.append(self._flatten(pts))
        return result

    @staticmethod
    def _flatten(pts):
        # Insert the implied on-curve points, then walk quadratic segments.
        full = []
        for i, p in enumerate(pts):
            q = pts[(i + 1) % len(pts)]
            full.append(p)
            if not p[2] and not q[2]:
                full.append(((p[0] + q[0]) / 2.0, (p[1] + q[1]) / 2.0, 1))
        start = next(i for i, p in enumerate(full) if p[2])
        full = full[start:] + full[:start]
        poly, i = [], 0
        while i < len(full):
            p0 = full[i]
            p1 = full[(i + 1) % len(full)]
            if p1[2]:
                poly.append((p0[0], p0[1]))
                i += 1
                continue
            p2 = full[(i + 2) % len(full)]
            for k in range(8):
                t = k / 8.0
                poly.append(((1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t * t * p2[0],
                             (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t * t * p2[1]))
            i += 2
        return poly


def fill_polygons(width, height, polygons, samples=16):
    """Coverage 0..1 per pixel for polygons in pixel coordinates, non-zero winding,
    sampled on `samples` sub-scanlines per row with exact horizontal span coverage."""
    cover = [0.0] * (width * height)
    edges = []
    for poly in polygons:
        for i, (x0, y0) in enumerate(poly):
            x1, y1 = poly[(i + 1) % len(poly)]
            if y0 != y1:
                edges.append((x0, y0, x1, y1))
    for row in range(height):
        for k in range(samples):
            y = row + (k + 0.5) / samples
            hits = []
            for x0, y0, x1, y1 in edges:
                if (y0 <= y < y1) or (y1 <= y < y0):
                    hits.append((x0 + (y - y0) * (x1 - x0) / (y1 - y0), 1 if y1 > y0 else -1))
            hits.sort()
            winding = 0
            for i, (x, w) in enumerate(hits[:-1]):
                winding += w
                if winding != 0:
                    _add_span(cover, row * width, width, x, hits[i + 1][0], 1.0 / samples)
    return cover


def _add_span(cover, base, width, xa, xb, weight):
    xa, xb = max(0.0, xa), min(float(width), xb)
    if xb <= xa:
        return
    ia, ib = int(xa), int(xb)
    if ia == ib:
        cover[base + ia] += (xb - xa) * weight
        return
    cover[base + ia] += (ia + 1 - xa) * weight
    for x in range(ia + 1, ib):
        cover[base + x] += weight
    if ib < width:
        cover[base + ib] += (xb - ib) * weight


def wordmark_png(font_path, text="BRISALTO", width=500, height=80):
    with open(font_path, "rb") as f:
        font = TrueTypeFont(f.read())
    cap_px = 46.0
    scale = cap_px / font.cap_height
    tracking = 0.16 * font.units_per_em
    glyphs = [font.glyph_index(c) for c in text]
    advances = [font.advance(g) + tracking for g in glyphs]
    total = (sum(advances) - tracking) * scale
    pen = (width - total) / 2.0
    baseline = (height + cap_px) / 2.0
    polygons = []
    for glyph, advance in zip(glyphs, advances):
        for contour in font.contours(glyph):
            polygons.append([(pen + x * scale, baseline - y * scale) for x, y in contour])
        pen += advance * scale
    cover = fill_polygons(width, height, polygons)
    out = bytearray()
    for c in cover:
        a = round(clamp01(c) * 255.0)
        out += bytes((255, 255, 255, a)) if a else b"\0\0\0\0"
    return png_bytes(width, height, bytes(out))


# ----------------------------------------------------------------------------------------------


def file_names():
    names = ["toggle_on.png", "toggle_off.png"]
    names += ["knob_large_%02d.png" % i for i in range(FRAMES)]
    names += ["knob_small_%02d.png" % i for i in range(FRAMES)]
    names += ["segment_on.png", "segment_below_centre.png", "segment_off.png"]
    names += [name + ".png" for name, _ in LED_COLOURS]
    names += ["wordmark.png"]
    return names


def render_all(font_path):
    images = {}
    for name, shade in (("toggle_on", toggle_on), ("toggle_off", toggle_off)):
        image = Image(108, 108)
        image.render(shade, 54.0, 54.0, 50.0)
        images[name + ".png"] = image
    for i, frame in enumerate(knob_strip(168, large_body, PLATE_RADIUS + 11.0)):
        images["knob_large_%02d.png" % i] = frame
    for i, frame in enumerate(knob_strip(136, small_body, 67.0)):
        images["knob_small_%02d.png" % i] = frame
    pngs = {name: image.png() for name, image in images.items()}
    pngs["segment_on.png"] = segment_png(rgb8("71F7FC"), rgb8("3AF3FB"))
    pngs["segment_below_centre.png"] = segment_png(rgb8("FBCD76"), rgb8("FAB446"))
    pngs["segment_off.png"] = segment_png(rgb8("0F0F0F"), None)
    for name, colour in LED_COLOURS:
        image = Image(48, 48)
        image.render(led_shader(colour), 24.0, 24.0, 22.0)
        pngs[name + ".png"] = image.png()
    pngs["wordmark.png"] = wordmark_png(font_path)
    return pngs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action="store_true", help="print the file names and stop")
    parser.add_argument("--out", help="folder to write the images into")
    parser.add_argument("--font", help="Roboto Medium TrueType file, for the wordmark")
    parser.add_argument("--stamp", help="file to touch when every image is written")
    args = parser.parse_args()
    if args.list:
        print("\n".join(file_names()))
        return 0
    if not args.out or not args.font:
        parser.error("--out and --font are needed")
    os.makedirs(args.out, exist_ok=True)
    pngs = render_all(args.font)
    assert sorted(pngs) == sorted(file_names())
    for name, data in pngs.items():
        path = os.path.join(args.out, name)
        # Unchanged files keep their time stamps, so nothing downstream rebuilds for them.
        if os.path.exists(path):
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        with open(path, "wb") as f:
            f.write(data)
    if args.stamp:
        with open(args.stamp, "w") as f:
            f.write("%d images\n" % len(pngs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
