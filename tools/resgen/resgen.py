#!/usr/bin/env python3
"""Writes the authored resources into the build's resource tree.

Every picture, sound and property list the program ships is described here
as code, so that it is reviewable and byte-identical on every machine.
Standard library only.

    resgen.py --out <build>/resources [--source <repo>/resources] [--stamp FILE]

--source also copies the hand-written files below <source>/res/ (UI files
and the like; *.md notes excepted) into <out>/res/. Files are only
rewritten when their content changes.

To add resources: write a function that returns the file's bytes and list
it in RESOURCES with its path below the resource root.
"""

import argparse
import base64
import math
import os
import plistlib
import random
import shutil
import struct
import sys
import wave
import io
import zlib


# ---------------------------------------------------------------- writers

def png(width, height, pixel):
    """RGBA PNG; pixel(x, y) -> (r, g, b, a) with y = 0 the top row."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw.extend(pixel(x, y))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def wav(samples, rate=22050):
    """Mono 16-bit WAV from floats in -1..1."""
    buf = io.BytesIO()
    with wave.open(buf, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))
    return buf.getvalue()


def plist(value):
    """XML property list (the engine's FileUtils reads these)."""
    return plistlib.dumps(value, fmt=plistlib.FMT_XML, sort_keys=True)


# ---------------------------------------------------------------- pictures

def solid(w, h, rgba):
    return png(w, h, lambda x, y: rgba)


def framed(w, h, border, edge, centre):
    """A rectangle whose outer `border` pixels are `edge`, the rest `centre`."""
    def px(x, y):
        inside = border <= x < w - border and border <= y < h - border
        return centre if inside else edge
    return png(w, h, px)


def disc(size, rgba):
    r = size / 2.0
    def px(x, y):
        d = math.hypot(x + 0.5 - r, y + 0.5 - r)
        a = max(0.0, min(1.0, r - d))  # one pixel of soft edge
        # Straight alpha; the engine premultiplies on load.
        return (rgba[0], rgba[1], rgba[2], int(round(rgba[3] * a)))
    return png(size, size, px)


def quadrants(size, tl, tr, bl, br):
    h = size // 2
    def px(x, y):
        if y < h:
            return tl if x < h else tr
        return bl if x < h else br
    return png(size, size, px)


def check_mark(size, rgba):
    """A tick on transparent ground."""
    def px(x, y):
        u, v = x / size, y / size
        on = (abs(v - (u + 0.35)) < 0.12 and u < 0.45) or (abs(v - (1.25 - u * 1.15)) < 0.12 and u >= 0.35)
        return rgba if on and 0.1 < u < 0.95 else (0, 0, 0, 0)
    return png(size, size, px)


# ---------------------------------------------------------------- sounds

def dingdong():
    """A short two-tone chime: 880 Hz, then 660 Hz, each decaying."""
    rate = 22050
    out = []
    for freq, length in ((880.0, 0.35), (660.0, 0.55)):
        n = int(rate * length)
        for i in range(n):
            t = i / rate
            env = math.exp(-t * 5.0) * min(1.0, t * 200.0)
            out.append(0.5 * env * (math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t)))
    return wav(out, rate)


def waterfall():
    """A soft one-second swell of filtered noise: it rises and falls away."""
    rate = 22050
    rng = random.Random(1234)  # fixed seed: identical bytes everywhere
    n = rate
    out, low = [], 0.0
    for i in range(n):
        low += 0.08 * (rng.uniform(-1, 1) - low)  # one-pole low-pass noise
        swell = math.sin(math.pi * i / n) ** 2
        out.append(1.6 * low * swell)
    return wav(out, rate)


# ---------------------------------------------------------------- the list

RESOURCES = {
    # Sounds of the application shell (other code only plays them).
    "res/dingdong.wav": dingdong,
    "res/waterfall.wav": waterfall,
    # The engine demo's interface panel (tools/enginedemo/panel.csb).
    "demo/button_normal.png": lambda: framed(120, 40, 2, (20, 60, 140, 255), (40, 100, 200, 255)),
    "demo/button_pressed.png": lambda: framed(120, 40, 2, (150, 80, 10, 255), (230, 140, 30, 255)),
    "demo/button_disabled.png": lambda: solid(120, 40, (110, 110, 110, 255)),
    "demo/nine.png": lambda: framed(30, 30, 5, (200, 40, 40, 255), (240, 240, 240, 255)),
    "demo/check_bg.png": lambda: framed(32, 32, 2, (200, 200, 200, 255), (60, 60, 60, 255)),
    "demo/check_mark.png": lambda: check_mark(28, (40, 200, 60, 255)),
    "demo/slider_bar.png": lambda: solid(200, 12, (60, 60, 60, 255)),
    "demo/slider_progress.png": lambda: solid(200, 12, (0, 180, 220, 255)),
    "demo/slider_ball.png": lambda: disc(24, (255, 255, 255, 255)),
    "demo/image.png": lambda: quadrants(64, (220, 30, 30, 255), (30, 200, 30, 255),
                                        (30, 30, 220, 255), (230, 220, 30, 255)),
    # Widget toolkit: the scroll bar (stretched to 5 units wide).
    "UIRes/white.png": lambda: solid(4, 4, (255, 255, 255, 255)),
}


# ---------------------------------------------------------------- widget toolkit: overlays, text fields, pictures, menus

def spinner(size, rgb, spokes=12):
    """A ring of dots fading round the circle, so that its turning shows."""
    c = size / 2.0
    ring = size * 0.36
    dot = size * 0.085
    centres = []
    for i in range(spokes):
        a = 2 * math.pi * i / spokes
        centres.append((c + ring * math.sin(a), c - ring * math.cos(a), 0.15 + 0.85 * i / (spokes - 1)))
    def px(x, y):
        best = 0.0
        for cx, cy, alpha in centres:
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            cover = max(0.0, min(1.0, dot - d + 0.5))
            best = max(best, cover * alpha)
        return (rgb[0], rgb[1], rgb[2], int(round(255 * best)))
    return png(size, size, px)


def caret(rgb):
    """A text caret 20 pixels high and 2 wide."""
    return solid(2, 20, (rgb[0], rgb[1], rgb[2], 255))


def edit_frame(w, h, border, edge, centre):
    """Input frame with rounded corners (radius 6) for nine-slice drawing."""
    r = 6.0
    def px(x, y):
        cx = min(max(x + 0.5, r), w - r)
        cy = min(max(y + 0.5, r), h - r)
        d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
        if d > r:
            return (0, 0, 0, 0)
        if d > r - border or x < border or y < border or x >= w - border or y >= h - border:
            return edge
        return centre
    return png(w, h, px)


def no_picture(size):
    """Grey card with a crossed-out picture frame."""
    def px(x, y):
        u, v = x / (size - 1), y / (size - 1)
        frame = (0.2 <= u <= 0.8 and 0.25 <= v <= 0.75) and not (0.24 <= u <= 0.76 and 0.29 <= v <= 0.71)
        cross = 0.2 <= u <= 0.8 and 0.25 <= v <= 0.75 and (abs(u - 0.2 - (v - 0.25) * 1.2) < 0.025 or abs(0.8 - u - (v - 0.25) * 1.2) < 0.025)
        if frame or cross:
            return (200, 200, 200, 255)
        return (90, 90, 90, 255)
    return png(size, size, px)


def grey_cell(w, h):
    """Menu row background: dark grey with a lighter line at the bottom."""
    return png(w, h, lambda x, y: (120, 120, 120, 255) if y == h - 1 else (58, 58, 58, 255))


RESOURCES.update({
    "UIRes/rotation.png": lambda: spinner(100, (21, 130, 220)),
    "UIRes/cursorBlack.png": lambda: caret((0, 0, 0)),
    "UIRes/cursor.png": lambda: caret((255, 255, 255)),
    "editnormal.png": lambda: edit_frame(60, 40, 2, (150, 150, 150, 255), (255, 255, 255, 255)),
    "editfocus.png": lambda: edit_frame(60, 40, 3, (21, 170, 254, 255), (240, 250, 255, 255)),
    "UIRes/noPicture.png": lambda: no_picture(128),
    "UIRes/greyHigh.png": lambda: grey_cell(16, 16),
})


# ---------------------------------------------------------------- render windows and colour tables

def _ramp(points, i):
    """Piecewise-linear value at grey level i from (level, value) points."""
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        if x0 <= i <= x1:
            return int(round(y0 + (y1 - y0) * (i - x0) / float(x1 - x0))) if x1 > x0 else y1
    return points[-1][1]


# Each table: three lists of (grey level, value) points for red, green, blue,
# joined by straight lines; every array holds the colour shown for levels
# 0-255.
COLOUR_TABLES = {
    # Black, red, orange, yellow, white.
    "HotMetal": ([(0, 0), (95, 255), (255, 255)],
                 [(0, 0), (95, 0), (191, 255), (255, 255)],
                 [(0, 0), (191, 0), (255, 255)]),
    # Black, blue, cyan, green, yellow, red, white, in even steps.
    "Spectrum": ([(0, 0), (128, 0), (170, 255), (255, 255)],
                 [(0, 0), (43, 0), (85, 255), (170, 255), (213, 0), (255, 255)],
                 [(0, 0), (43, 255), (85, 255), (128, 0), (213, 0), (255, 255)]),
    # Black, blue, green, yellow, red: the usual perfusion scale.
    "Perfusion": ([(0, 0), (128, 0), (191, 255), (255, 255)],
                  [(0, 0), (64, 0), (128, 255), (191, 255), (255, 0)],
                  [(0, 0), (64, 255), (128, 0), (255, 0)]),
}

# Tables whose file stores "Red" and "Blue" exchanged (the viewers swap them
# back when they read the file).
SWAPPED_TABLES = {"Perfusion"}


def colour_table(name):
    """The colours shown, level by level."""
    red, green, blue = COLOUR_TABLES[name]
    return {"Red": [_ramp(red, i) for i in range(256)],
            "Green": [_ramp(green, i) for i in range(256)],
            "Blue": [_ramp(blue, i) for i in range(256)]}


def colour_table_file(name):
    """The table file: three arrays of 256 decimal texts."""
    table = colour_table(name)
    if name in SWAPPED_TABLES:
        table["Red"], table["Blue"] = table["Blue"], table["Red"]
    return plist({key: [str(v) for v in values] for key, values in table.items()})


def colour_table_icon(name, width=180, height=40):
    """The table as a horizontal strip, grey level 0 at the left (the colour-table menu's rows)."""
    if name in GREY_RAMPS:
        inverse = GREY_RAMPS[name]
        table = {k: [255 - i if inverse else i for i in range(256)] for k in ("Red", "Green", "Blue")}
    else:
        table = colour_table(name)
    def px(x, y):
        i = min(255, x * 256 // width)
        return (table["Red"][i], table["Green"][i], table["Blue"][i], 255)
    return png(width, height, px)


# The two tables the viewers build in (not files): name -> inverted.
GREY_RAMPS = {"bwInverse": True, "noClut": False}


def opacity_curve_icon(kind, width=180, height=40):
    """An opacity curve (opacity over grey level) in white on the dark plate of the tool pages."""
    def curve(u):
        if kind == "Log10":
            return math.log10(1 + 9 * u)
        if kind == "Log10Inv":
            return (10 ** u - 1) / 9
        return u
    margin = 4.0
    def px(x, y):
        cx, cy = x + 0.5, y + 0.5
        u = min(1.0, max(0.0, (cx - margin) / (width - 2 * margin)))
        # Distance to the curve, measured across it (slope taken into account).
        du = 1.0 / (width - 2 * margin)
        slope = (curve(min(1.0, u + du)) - curve(max(0.0, u - du))) / (2 * du) * (height - 2 * margin) / (width - 2 * margin)
        cy_curve = height - margin - curve(u) * (height - 2 * margin)
        d = abs(cy - cy_curve) / math.sqrt(1 + slope * slope)
        ink = _aa(1.2 - d) if margin - 1 <= cx <= width - margin + 1 else 0.0
        plate = (34, 38, 47)
        return tuple(int(round(p + (235 - p) * ink)) for p in plate) + (255,)
    return png(width, height, px)


RESOURCES.update({
    # Render window backgrounds (the white one also lies behind inverted grey).
    "UIRes/black22.png": lambda: solid(22, 22, (0, 0, 0, 255)),
    "UIRes/white22.png": lambda: solid(22, 22, (255, 255, 255, 255)),
    # Start texture of an image node before its first slice.
    "imageSDK/spriteExample.png": lambda: solid(4, 4, (128, 128, 128, 255)),
    # Colour tables, found through the "imageSDK" search path.
    "imageSDK/HotMetal.plist": lambda: colour_table_file("HotMetal"),
    "imageSDK/Spectrum.plist": lambda: colour_table_file("Spectrum"),
    "imageSDK/Perfusion.plist": lambda: colour_table_file("Perfusion"),
    "imgs/hotMetal.png": lambda: colour_table_icon("HotMetal"),
    "imgs/spectrum.png": lambda: colour_table_icon("Spectrum"),
    "imgs/perfusion.png": lambda: colour_table_icon("Perfusion"),
    "imgs/bwInverse.png": lambda: colour_table_icon("bwInverse"),
    "imgs/noClut.png": lambda: colour_table_icon("noClut"),
    # The opacity menu's three curves.
    "imgs/Linear.png": lambda: opacity_curve_icon("Linear"),
    "imgs/Log10.png": lambda: opacity_curve_icon("Log10"),
    "imgs/Log10Inv.png": lambda: opacity_curve_icon("Log10Inv"),
})


# ---------------------------------------------------------------- cine buttons over the render windows

def cine_symbol(kind, height=48):
    """White play, pause, left or right arrow on transparent, 48 high.

    Edges are anti-aliased by 4 x 4 supersampling so the symbols stay clean
    when the overlay scales them to its row height."""
    w = height

    def inside(x, y):
        m = 0.2 * height  # margin
        if kind == "pause":
            bar = 0.2 * height
            left = (w - 3 * bar) / 2
            return m <= y <= height - m and (left <= x <= left + bar or left + 2 * bar <= x <= left + 3 * bar)
        # Triangles: play and the right arrow point right, the left arrow left.
        px = x if kind != "left" else w - x
        x0, x1 = 0.28 * w, 0.78 * w
        if px < x0 or px > x1:
            return False
        half = (height / 2 - m) * (x1 - px) / (x1 - x0)
        return abs(y - height / 2) <= half

    def px(x, y):
        hits = 0
        for sy in range(4):
            for sx in range(4):
                if inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4):
                    hits += 1
        return (255, 255, 255, hits * 255 // 16)
    return png(w, height, px)


RESOURCES.update({
    "imageSDK/play.png": lambda: cine_symbol("play"),
    "imageSDK/pause.png": lambda: cine_symbol("pause"),
    "imageSDK/leftArrow.png": lambda: cine_symbol("left"),
    "imageSDK/rightArrow.png": lambda: cine_symbol("right"),
})


# ---------------------------------------------------------------- slice program of the shader image node

SHADER_SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "shaders")


def shader_text(name):
    """The GLSL source as base64 text, 76 characters a line."""
    with open(os.path.join(SHADER_SOURCES, name), "rb") as f:
        return base64.encodebytes(f.read())


RESOURCES.update({
    "i.v": lambda: shader_text("slice.vert"),
    "id.f": lambda: shader_text("slice.frag"),
})



# ---------------------------------------------------------------- query and retrieve screen

def finder_back(size=36, rgb=(255, 255, 255)):
    """A left-pointing chevron, drawn white so that the button's colour tints it."""
    def px(x, y):
        u, v = (x + 0.5) / size, (y + 0.5) / size
        # Two strokes meeting at (0.3, 0.5).
        d = abs(abs(v - 0.5) - (u - 0.3) * 1.1)
        on = 0.3 <= u <= 0.7 and abs(v - 0.5) <= 0.32 and d < 0.085
        return (rgb[0], rgb[1], rgb[2], 255 if on else 0)
    return png(size, size, px)


def finder_download(size=36, rgb=(255, 255, 255)):
    """A down arrow over a tray, white on transparent (tinted red while running)."""
    def px(x, y):
        u, v = (x + 0.5) / size, (y + 0.5) / size
        shaft = abs(u - 0.5) < 0.09 and 0.1 <= v <= 0.55
        head = 0.45 <= v <= 0.72 and abs(u - 0.5) <= (0.72 - v) * 1.1
        tray = (0.8 <= v <= 0.9 and 0.12 <= u <= 0.88) or (0.62 <= v <= 0.9 and (0.12 <= u <= 0.2 or 0.8 <= u <= 0.88))
        return (rgb[0], rgb[1], rgb[2], 255 if (shaft or head or tray) else 0)
    return png(size, size, px)


def finder_magnifier(size=96, rgb=(150, 160, 178)):
    """The picture of the empty result table: a magnifying glass."""
    c = size * 0.4
    r = size * 0.27
    def px(x, y):
        fx, fy = x + 0.5, y + 0.5
        d = math.hypot(fx - c, fy - c)
        ring = abs(d - r) < size * 0.045
        # The handle from the ring towards the bottom right.
        t = ((fx - c) + (fy - c)) / math.sqrt(2)
        n = abs((fx - c) - (fy - c)) / math.sqrt(2)
        handle = r <= t <= size * 0.62 and n < size * 0.06
        return (rgb[0], rgb[1], rgb[2], 255 if (ring or handle) else 0)
    return png(size, size, px)


RESOURCES.update({
    "dcmfind/back.png": lambda: finder_back(),
    "dcmfind/download.png": lambda: finder_download(),
    "dcmfind/help.png": lambda: finder_magnifier(),
    # The search button: a blue face with rounded corners for nine-slice drawing.
    "dcmfind/button.png": lambda: edit_frame(40, 40, 2, (16, 110, 200, 255), (28, 140, 235, 255)),
    "dcmfind/buttonPressed.png": lambda: edit_frame(40, 40, 2, (10, 80, 160, 255), (18, 110, 200, 255)),
})

# ---------------------------------------------------------------- send window: node and transfer tables

def _aa(d):
    """Coverage of a pixel whose centre lies d units inside an edge (0..1)."""
    return max(0.0, min(1.0, d + 0.5))


def _shape(size, cover, rgb):
    """size x size picture of one colour; cover(x, y) -> 0..1 at pixel centres."""
    def px(x, y):
        a = cover(x + 0.5, y + 0.5)
        return (rgb[0], rgb[1], rgb[2], int(round(255 * a)))
    return png(size, size, px)


def _box(x, y, x0, y0, x1, y1):
    return min(_aa(x - x0), _aa(x1 - x), _aa(y - y0), _aa(y1 - y))


def device_icon(kind, size=40):
    """Device pictograms: phone (android, ios), laptop (mac), monitor (pc)."""
    rgb = {"android": (120, 200, 80), "ios": (200, 204, 212), "mac": (190, 196, 206), "pc": (21, 170, 254)}[kind]
    def cover(x, y):
        if kind in ("android", "ios"):
            body = _box(x, y, 11, 3, 29, 37)
            screen = _box(x, y, 13, 7, 27, 31)
            dot = _aa(1.6 - math.hypot(x - 20, y - 34))
            return max(0.0, body - screen - dot)
        if kind == "mac":
            lid = _box(x, y, 8, 8, 32, 27) - _box(x, y, 10, 10, 30, 25)
            base = _box(x, y, 4, 28, 36, 32)
            return max(lid, base)
        frame = _box(x, y, 5, 6, 35, 27) - _box(x, y, 8, 9, 32, 24)
        stand = max(_box(x, y, 18, 27, 22, 32), _box(x, y, 12, 32, 28, 35))
        return max(frame, stand)
    return _shape(size, cover, rgb)


def wifi_icon(rgb, size=32):
    """Three arcs over a dot, opening upwards."""
    cx, cy = size / 2, size - 6
    def cover(x, y):
        r = math.hypot(x - cx, y - cy)
        ang = math.degrees(math.atan2(cy - y, x - cx))
        if r < 3.2:
            return _aa(3 - r)
        if not 45 <= ang <= 135:
            return 0.0
        return max(min(_aa(r - rr + 1.6), _aa(rr + 1.6 - r)) for rr in (9, 16, 23))
    return _shape(size, cover, rgb)


def star(filled, size=36):
    """Five-pointed star, filled or outlined, in amber."""
    cx, cy, outer, inner = size / 2, size / 2 + 1, size / 2 - 2, (size / 2 - 2) * 0.42
    pts = []
    for i in range(10):
        r = outer if i % 2 == 0 else inner
        a = math.radians(-90 + 36 * i)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    def inside(x, y):
        n = False
        for i in range(10):
            (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % 10]
            if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                n = not n
        return n
    def edge(x, y):
        best = 1e9
        for i in range(10):
            (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % 10]
            dx, dy = x1 - x0, y1 - y0
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
            best = min(best, math.hypot(x - x0 - t * dx, y - y0 - t * dy))
        return best
    def cover(x, y):
        d = edge(x, y)
        if filled:
            return 1.0 if inside(x, y) else _aa(0.5 - d)
        return _aa(1.3 - d)
    return _shape(size, cover, (250, 196, 40) if filled else (150, 160, 175))


def back_arrow(rgb, size=44):
    """A chevron pointing left."""
    def seg(x, y, x0, y0, x1, y1):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy)
    def cover(x, y):
        d = min(seg(x, y, 27, 9, 15, 22), seg(x, y, 15, 22, 27, 35))
        return _aa(2.5 - d)
    return _shape(size, cover, rgb)


def rounded(w, h, radius, rgb):
    def px(x, y):
        qx = min(x + 0.5, w - x - 0.5)
        qy = min(y + 0.5, h - y - 0.5)
        if qx < radius and qy < radius:
            a = _aa(radius - math.hypot(radius - qx, radius - qy))
        else:
            a = 1.0
        return (rgb[0], rgb[1], rgb[2], int(round(255 * a)))
    return png(w, h, px)


def retry_icon(rgb, size=44):
    """A circular arrow: three quarters of a ring with a head."""
    c = size / 2
    def cover(x, y):
        r = math.hypot(x - c, y - c)
        ang = math.degrees(math.atan2(c - y, x - c)) % 360
        ring = min(_aa(r - 10), _aa(16 - r)) if not 60 < ang < 120 else 0.0
        # Head at the ring's end (angle 60), pointing clockwise.
        hx, hy = c + 13 * math.cos(math.radians(60)), c - 13 * math.sin(math.radians(60))
        tri = [(hx - 7, hy - 6), (hx + 7, hy - 6), (hx + 1, hy + 7)]
        def side(p, q):
            return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
        s = [side(tri[i], tri[(i + 1) % 3]) for i in range(3)]
        head = 1.0 if all(v >= 0 for v in s) or all(v <= 0 for v in s) else 0.0
        return max(ring, head)
    return _shape(size, cover, rgb)


def node_help(w=420, h=250):
    """The transfer table's empty-state picture: a node list with a chosen
    row, an arrow to the send button, and a progress bar below."""
    blue, grey, dark, line = (21, 170, 254, 255), (120, 130, 145, 255), (44, 49, 59, 0), (90, 98, 112, 255)
    def px(x, y):
        if _box(x + .5, y + .5, 20, 20, 300, 150) > 0.5:
            if _box(x + .5, y + .5, 24, 60, 296, 104) > 0.5:
                return (21, 170, 254, 110)
            if y in (58, 106) or _box(x + .5, y + .5, 22, 22, 298, 148) < 0.5:
                return line
            if _box(x + .5, y + .5, 40, 76, 200, 88) > 0.5:
                return blue
            if _box(x + .5, y + .5, 40, 30, 160, 42) > 0.5 or _box(x + .5, y + .5, 40, 120, 180, 132) > 0.5:
                return grey
            return dark
        # Arrow from the chosen row to the send button.
        if _box(x + .5, y + .5, 300, 79, 350, 85) > 0.5:
            return blue
        if 350 <= x <= 368 and abs(y - 82) <= (368 - x) * 0.8:
            return blue
        if _box(x + .5, y + .5, 372, 62, 410, 102) > 0.5:
            return blue
        # Progress bar.
        if _box(x + .5, y + .5, 20, 190, 410, 206) > 0.5:
            return blue if x < 260 else grey
        return dark
    return png(w, h, px)


RESOURCES.update({
    "imgs/device_Android.png": lambda: device_icon("android"),
    "imgs/device_iOS.png": lambda: device_icon("ios"),
    "imgs/device_Mac.png": lambda: device_icon("mac"),
    "imgs/device_PC.png": lambda: device_icon("pc"),
    "imgs/Wi-Fi-Green.png": lambda: wifi_icon((60, 200, 90)),
    "imgs/Wi-Fi-Red.png": lambda: wifi_icon((230, 60, 60)),
    "imgs/favierate.png": lambda: star(True),
    "imgs/favierateNone.png": lambda: star(False),
    "imgs/kqNodeHelp.png": node_help,
    "imgs/dcmBack.png": lambda: back_arrow((255, 255, 255)),
    "imgs/dcmBackPressed.png": lambda: back_arrow((21, 170, 254)),
    "imgs/dcmSendButton.png": lambda: rounded(40, 40, 8, (21, 140, 230)),
    "imgs/dcmSendButtonPressed.png": lambda: rounded(40, 40, 8, (12, 95, 170)),
    "imgs/dcmRetry.png": lambda: retry_icon((250, 150, 40)),
    "imgs/dcmRetryPressed.png": lambda: retry_icon((200, 110, 20)),
    "imgs/dcmDelete.png": lambda: solid(16, 16, (220, 50, 50, 255)),
})


# ---------------------------------------------------------------- favourite badge

RESOURCES.update({
    # The viewer screen's count of new favourites: a red disc (drawn at scale
    # 2) under a white number.
    "imgs/newFiles.png": lambda: disc(16, (225, 45, 45, 255)),
})


# ---------------------------------------------------------------- window editor

RESOURCES.update({
    # The back button of the window width and level editor.
    "editww/back.png": lambda: back_arrow((255, 255, 255)),
    "editww/backPressed.png": lambda: back_arrow((21, 170, 254)),
})


# ---------------------------------------------------------------- account panel

def login_background(w=250, h=520):
    """Dark blue, lighter towards the top and the right edge: mirrored copies
    meet at equal colours, so the stretched panel shows no seam."""
    def px(x, y):
        t = y / float(h - 1)
        s = x / float(w - 1)
        r = int(22 + 18 * (1 - t) + 8 * s)
        g = int(34 + 26 * (1 - t) + 10 * s)
        b = int(56 + 40 * (1 - t) + 14 * s)
        return (r, g, b, 255)
    return png(w, h, px)


RESOURCES.update({
    # Nine-slice face of the panel's blue buttons (insets 5, 5, 20, 20).
    "UIRes/blueBtn.png": lambda: rounded(30, 30, 6, (21, 120, 220)),
    "login/bk.png": login_background,
})


# ---------------------------------------------------------------- quick tool bar over the render windows

def _qt_seg(x, y, x0, y0, x1, y1):
    """Distance from (x, y) to the segment (x0, y0)-(x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy or 1.0)))
    return math.hypot(x - x0 - t * dx, y - y0 - t * dy)


def _qt_lines(x, y, points, width):
    """Coverage of a polyline stroked `width` wide."""
    d = min(_qt_seg(x, y, *points[i], *points[i + 1]) for i in range(len(points) - 1))
    return _aa(width / 2 - d)


def _qt_in_polygon(x, y, pts):
    inside = False
    for i in range(len(pts)):
        (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            inside = not inside
    return inside


def _qt_polygon(x, y, pts, grow=0.0):
    """Coverage of a filled polygon, optionally grown by `grow` units."""
    d = min(_qt_seg(x, y, *pts[i], *pts[(i + 1) % len(pts)]) for i in range(len(pts)))
    return 1.0 if _qt_in_polygon(x, y, pts) else _aa(grow - d)


def _qt_star_points(cx, cy, outer):
    pts = []
    for i in range(10):
        r = outer if i % 2 == 0 else outer * 0.42
        a = math.radians(-90 + 36 * i)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def _qt_capsule_ring(x, y, x0, y0, x1, y1, radius, width):
    """Outline of a capsule (a chain link) around the segment."""
    return _aa(width / 2 - abs(_qt_seg(x, y, x0, y0, x1, y1) - radius))


QT_PLATE = (16, 20, 28)
QT_WHITE = (240, 244, 250)
QT_BLUE = (21, 170, 254)
QT_GREY = (150, 158, 170)
QT_AMBER = (250, 196, 40)


def quick_icon(layers, size=56):
    """A glyph of the quick tool bar on a dark, half-transparent rounded
    plate, so that it reads over any image at half size. `layers` are
    (cover(x, y) -> 0..1, rgb) pairs painted in order over the plate."""
    radius = 12.0
    def px(x, y):
        cx, cy = x + 0.5, y + 0.5
        qx, qy = min(cx, size - cx), min(cy, size - cy)
        plate = _aa(radius - math.hypot(radius - qx, radius - qy)) if qx < radius and qy < radius else 1.0
        r, g, b = QT_PLATE
        a = 0.55 * plate
        for cover, rgb in layers:
            c = cover(cx, cy)
            if c <= 0.0:
                continue
            out = c + a * (1.0 - c)
            r = (rgb[0] * c + r * a * (1.0 - c)) / out
            g = (rgb[1] * c + g * a * (1.0 - c)) / out
            b = (rgb[2] * c + b * a * (1.0 - c)) / out
            a = out
        return (int(round(r)), int(round(g)), int(round(b)), int(round(255 * a)))
    return png(size, size, px)


def quick_fullscreen(exit_):
    """Four corner brackets: pointing out (maximise) or in (restore)."""
    if not exit_:
        corners = [[(10, 22), (10, 10), (22, 10)], [(34, 10), (46, 10), (46, 22)],
                   [(46, 34), (46, 46), (34, 46)], [(22, 46), (10, 46), (10, 34)]]
    else:
        corners = [[(10, 22), (22, 22), (22, 10)], [(34, 10), (34, 22), (46, 22)],
                   [(46, 34), (34, 34), (34, 46)], [(22, 46), (22, 34), (10, 34)]]
    return quick_icon([(lambda x, y: max(_qt_lines(x, y, c, 4.5) for c in corners), QT_WHITE)])


def quick_favourite():
    """Keeps a picture of the view: a framed photograph (hills and sun)
    with a favourites star on its corner."""
    frame = [(7, 17), (41, 17), (41, 47), (7, 47), (7, 17)]
    hill = [(10, 45), (21, 29), (31, 45)]
    small = [(25, 45), (31, 36), (38, 45)]
    star = _qt_star_points(41, 16, 12)
    return quick_icon([
        (lambda x, y: _qt_lines(x, y, frame, 3.5), QT_BLUE),
        (lambda x, y: max(_qt_polygon(x, y, hill), _qt_polygon(x, y, small)), QT_BLUE),
        (lambda x, y: _aa(3.5 - math.hypot(x - 16, y - 24)), QT_BLUE),
        (lambda x, y: _qt_polygon(x, y, star, 2.5), QT_PLATE),
        (lambda x, y: _qt_polygon(x, y, star), QT_AMBER),
    ])


def quick_capture():
    """Keeps the image data: a stack of slices, the front one showing a
    body section (outline and a bright spine)."""
    def sheet(x0, y0):
        return [(x0, y0), (x0 + 26, y0), (x0 + 26, y0 + 26), (x0, y0 + 26), (x0, y0)]
    back, middle, front = sheet(22, 8), sheet(15, 15), (8, 22)
    def front_fill(x, y):
        return _box(x, y, front[0], front[1], front[0] + 26, front[1] + 26)
    def front_gap(x, y):
        return _box(x, y, front[0] - 3, front[1] - 3, front[0] + 29, front[1] + 29)
    def section(x, y):
        e = math.hypot((x - 21) / 9.0, (y - 36) / 6.5)
        return max(0.0, min(1.0, (1.0 - e) * 7.0))
    return quick_icon([
        (lambda x, y: _qt_lines(x, y, back, 3.0), QT_BLUE),
        (lambda x, y: _box(x, y, 12.5, 12.5, 43.5, 43.5), QT_PLATE),
        (lambda x, y: _qt_lines(x, y, middle, 3.0), QT_BLUE),
        (lambda x, y: front_gap(x, y), QT_PLATE),
        (front_fill, QT_BLUE),
        (section, QT_PLATE),
        (lambda x, y: _aa(2.2 - math.hypot(x - 21, y - 40)), QT_WHITE),
    ])


def quick_info():
    """The DICOM menu: a lower-case i in a ring."""
    return quick_icon([
        (lambda x, y: _aa(2.5 - abs(math.hypot(x - 28, y - 28) - 19)), QT_BLUE),
        (lambda x, y: max(_aa(4.0 - math.hypot(x - 28, y - 17)), _box(x, y, 24.5, 23.5, 31.5, 41)), QT_BLUE),
    ])


def quick_link(linked):
    """Two chain links: joined (linked), or apart with break marks in grey
    (unlinked)."""
    if linked:
        links = [(13, 43, 25, 31), (31, 25, 43, 13)]
        return quick_icon([(lambda x, y: max(_qt_capsule_ring(x, y, *l, 8, 4.0) for l in links), QT_WHITE)])
    links = [(9, 47, 18, 38), (38, 18, 47, 9)]
    marks = [[(23, 23), (18, 18)], [(33, 33), (38, 38)]]
    return quick_icon([
        (lambda x, y: max(_qt_capsule_ring(x, y, *l, 8, 4.0) for l in links), QT_GREY),
        (lambda x, y: max(_qt_lines(x, y, m, 2.5) for m in marks), QT_GREY),
    ])


RESOURCES.update({
    "res/fullscreen.png": lambda: quick_fullscreen(False),
    "res/fullscreen_exit.png": lambda: quick_fullscreen(True),
    "res/favoriteBlue.png": quick_favourite,
    "res/cameraBlue.png": quick_capture,
    "res/dcmInfoBlue.png": quick_info,
    "res/link.png": lambda: quick_link(True),
    "res/unlink.png": lambda: quick_link(False),
})


# ---------------------------------------------------------------- viewer screen: tool pages, top bar, 4-D strip

# One hue per section of the tool pages, so that a section reads as a group.
TP_SECTION = {
    "tiling": (64, 200, 190),
    "tools": (21, 170, 254),
    "cine": (110, 210, 90),
    "window": (250, 180, 40),
    "measure": (235, 100, 190),
    "capture": (225, 230, 238),
    "view": (160, 130, 250),
}
TP_PLATE = (44, 49, 60)
TP_PLATE_EDGE = (70, 78, 94)
TP_INK_PRESSED = (250, 252, 255)


def _tp_ring(x, y, cx, cy, r, width):
    return _aa(width / 2 - abs(math.hypot(x - cx, y - cy) - r))


def _tp_disc(x, y, cx, cy, r):
    return _aa(r - math.hypot(x - cx, y - cy))


def _tp_rect(x, y, x0, y0, x1, y1, width):
    """Outline of a rectangle stroked `width` wide."""
    return _qt_lines(x, y, [(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)], width)


def _tp_grid(cols, rows):
    """A tiling: the outer frame and the cell dividers."""
    x0, y0, x1, y1 = 14, 14, 50, 50
    def cover(x, y):
        c = _tp_rect(x, y, x0, y0, x1, y1, 3.5)
        for i in range(1, cols):
            xi = x0 + (x1 - x0) * i / cols
            c = max(c, _qt_lines(x, y, [(xi, y0), (xi, y1)], 3.0))
        for j in range(1, rows):
            yj = y0 + (y1 - y0) * j / rows
            c = max(c, _qt_lines(x, y, [(x0, yj), (x1, yj)], 3.0))
        return c
    return [cover]


def _tp_arrow_heads(x, y, tips):
    """Small filled triangles, each given by its three corners."""
    return max(_qt_polygon(x, y, t) for t in tips)


def _tp_letter(points_list):
    return [lambda x, y: max(_qt_lines(x, y, p, 5.0) for p in points_list)]


TP_LETTERS = {
    "S": [[(43, 19), (37, 14), (27, 14), (21, 19), (21, 26), (27, 31), (37, 33), (43, 38), (43, 45), (37, 50),
           (27, 50), (21, 45)]],
    "I": [[(32, 14), (32, 50)], [(25, 14), (39, 14)], [(25, 50), (39, 50)]],
    "A": [[(19, 50), (32, 14), (45, 50)], [(24, 38), (40, 38)]],
    "P": [[(23, 50), (23, 14), (37, 14), (43, 19), (43, 28), (37, 33), (23, 33)]],
    "R": [[(23, 50), (23, 14), (37, 14), (43, 19), (43, 28), (37, 33), (23, 33)], [(33, 33), (44, 50)]],
    "L": [[(24, 14), (24, 50), (42, 50)]],
}


def _tp_cube(plane):
    """A wire cube with one plane filled: axial (horizontal), sagittal
    (side to side) or coronal (front to back)."""
    front = [(12, 24), (40, 24), (40, 52), (12, 52), (12, 24)]
    back = [(24, 12), (52, 12), (52, 40), (24, 40), (24, 12)]
    edges = [[(12, 24), (24, 12)], [(40, 24), (52, 12)], [(40, 52), (52, 40)], [(12, 52), (24, 40)]]
    planes = {
        "axial": [(12, 38), (40, 38), (52, 26), (24, 26)],
        "sagittal": [(26, 24), (38, 12), (38, 40), (26, 52)],
        "coronal": [(18, 18), (46, 18), (46, 46), (18, 46)],
    }
    def wire(x, y):
        return max(_qt_lines(x, y, front, 2.2), _qt_lines(x, y, back, 2.2),
                   max(_qt_lines(x, y, e, 2.2) for e in edges))
    return [(wire, 0.55), lambda x, y: _qt_polygon(x, y, planes[plane])]


def _tp_glyph(cmd):
    """The layers of a command's glyph in a 64-unit square: cover functions,
    or (cover, strength) pairs drawn fainter."""
    P = _qt_polygon
    L = _qt_lines
    if cmd.startswith("tile"):
        return _tp_grid(int(cmd[6]), int(cmd[4]))  # "tile<rows>x<columns>"
    if cmd.startswith("ori"):
        return _tp_letter(TP_LETTERS[cmd[3]])
    if cmd in ("axial", "sagittal", "coronal"):
        return _tp_cube(cmd)
    glyphs = {
        "vr": [lambda x, y: _tp_disc(x, y, 32, 32, 19),
               (lambda x, y: _tp_disc(x, y, 26, 25, 8), -0.6)],
        "selection": [lambda x, y: P(x, y, [(20, 10), (20, 48), (29, 39), (36, 54), (42, 51), (35, 36), (47, 36)])],
        "move": [lambda x, y: max(L(x, y, [(32, 14), (32, 50)], 3.5), L(x, y, [(14, 32), (50, 32)], 3.5),
                                  _tp_arrow_heads(x, y, [[(32, 6), (24, 16), (40, 16)], [(32, 58), (24, 48), (40, 48)],
                                                         [(6, 32), (16, 24), (16, 40)], [(58, 32), (48, 24), (48, 40)]]))],
        "zoom": [lambda x, y: max(_tp_ring(x, y, 27, 27, 13, 4.0), L(x, y, [(37, 37), (51, 51)], 7.0),
                                  L(x, y, [(21, 27), (33, 27)], 3.0), L(x, y, [(27, 21), (27, 33)], 3.0))],
        "rotate": [lambda x, y: max(_tp_ring(x, y, 32, 32, 17, 4.0) * (0.0 if (x > 32 and y < 30) else 1.0),
                                    P(x, y, [(34, 8), (48, 15), (35, 24)]))],
        "play": [lambda x, y: P(x, y, [(20, 12), (50, 32), (20, 52)])],
        "pause": [lambda x, y: max(P(x, y, [(18, 13), (28, 13), (28, 51), (18, 51)]),
                                   P(x, y, [(36, 13), (46, 13), (46, 51), (36, 51)]))],
        "prior": [lambda x, y: max(P(x, y, [(14, 14), (20, 14), (20, 50), (14, 50)]), P(x, y, [(48, 14), (48, 50), (22, 32)]))],
        "next": [lambda x, y: max(P(x, y, [(44, 14), (50, 14), (50, 50), (44, 50)]), P(x, y, [(16, 14), (16, 50), (42, 32)]))],
        "wl": [lambda x, y: _tp_ring(x, y, 32, 32, 18, 3.5),
               lambda x, y: _tp_disc(x, y, 32, 32, 18) * (1.0 if x < 32 else 0.0)],
        "clut": [(lambda x, y: _box(x, y, 12, 16, 24, 48), 0.35), (lambda x, y: _box(x, y, 26, 16, 38, 48), 0.65),
                 lambda x, y: _box(x, y, 40, 16, 52, 48)],
        "wlOpacity": [(lambda x, y: max(L(x, y, [(10, 52), (54, 52)], 2.0), L(x, y, [(10, 52), (10, 10)], 2.0)), 0.55),
                      lambda x, y: L(x, y, [(12, 48), (24, 48), (40, 18), (52, 18)], 4.0),
                      lambda x, y: max(_tp_disc(x, y, 24, 48, 4), _tp_disc(x, y, 40, 18, 4))],
        "point": [lambda x, y: max(_tp_disc(x, y, 32, 32, 6), L(x, y, [(32, 10), (32, 22)], 3.0),
                                   L(x, y, [(32, 42), (32, 54)], 3.0), L(x, y, [(10, 32), (22, 32)], 3.0),
                                   L(x, y, [(42, 32), (54, 32)], 3.0))],
        "line": [lambda x, y: max(L(x, y, [(14, 50), (50, 14)], 3.5), _tp_disc(x, y, 14, 50, 5.5), _tp_disc(x, y, 50, 14, 5.5))],
        "angle": [lambda x, y: max(L(x, y, [(52, 16), (12, 50), (54, 50)], 3.5),
                                   _tp_ring(x, y, 12, 50, 18, 2.5) * (1.0 if (x > 12 and y < 50) else 0.0))],
        "polygon": [lambda x, y: L(x, y, [(32, 10), (53, 26), (45, 52), (19, 52), (11, 26), (32, 10)], 3.5),
                    lambda x, y: max(_tp_disc(x, y, px, py, 4) for px, py in ((32, 10), (53, 26), (45, 52), (19, 52), (11, 26)))],
        "circle": [lambda x, y: _tp_ring(x, y, 32, 32, 19, 3.5), lambda x, y: _tp_disc(x, y, 32, 32, 3)],
        "removeROI": [(lambda x, y: _tp_ring(x, y, 26, 26, 13, 3.0), 0.5),
                      lambda x, y: max(L(x, y, [(34, 34), (52, 52)], 5.0), L(x, y, [(52, 34), (34, 52)], 5.0))],
        "capture": [lambda x, y: max(_qt_lines(x, y, [(10, 22), (22, 22), (26, 15), (38, 15), (42, 22), (54, 22),
                                                      (54, 50), (10, 50), (10, 22)], 3.5),
                                     _tp_ring(x, y, 32, 36, 9, 3.5))],
    }
    return glyphs[cmd]


def tool_button(cmd, section, pressed, size=64):
    """A tool-page button: the command's glyph in its section's hue on a dark
    rounded plate; pressed, the plate takes the hue and the glyph turns white."""
    hue = TP_SECTION[section]
    plate = hue if pressed else TP_PLATE
    ink = (TP_INK_PRESSED if sum(hue) < 600 else TP_PLATE) if pressed else hue  # dark ink on a light plate
    k = 64.0 / size
    radius = 10.0 / k
    layers = []
    for layer in _tp_glyph(cmd):
        cover, strength = layer if isinstance(layer, tuple) else (layer, 1.0)
        layers.append((cover, strength))
    def px(x, y):
        cx, cy = x + 0.5, y + 0.5
        qx, qy = min(cx, size - cx), min(cy, size - cy)
        inside = _aa(radius - math.hypot(radius - qx, radius - qy)) if qx < radius and qy < radius else 1.0
        edge = 1.0 - _aa(min(qx, qy) - 1.5) if inside > 0 else 0.0
        r, g, b = [p + (e - p) * edge for p, e in zip(plate, TP_PLATE_EDGE if not pressed else plate)]
        for cover, strength in layers:
            c = cover(cx * k, cy * k)
            if c <= 0.0:
                continue
            if strength < 0:  # a highlight
                c, col = c * -strength, (255, 255, 255)
            else:
                c, col = c * strength, ink
            r, g, b = r + (col[0] - r) * c, g + (col[1] - g) * c, b + (col[2] - b) * c
        return (int(round(r)), int(round(g)), int(round(b)), int(round(255 * inside)))
    return png(size, size, px)


# Command -> (picture stem, section).
TOOL_BUTTONS = {
    "tile1x1": "tiling", "tile1x2": "tiling", "tile2x1": "tiling", "tile2x2": "tiling",
    "selection": "tools", "move": "tools", "zoom": "tools", "rotate": "tools",
    "play": "cine", "prior": "cine", "next": "cine",
    "wl": "window", "clut": "window", "wlOpacity": "window",
    "point": "measure", "line": "measure", "angle": "measure", "polygon": "measure", "circle": "measure",
    "removeROI": "measure",
    "capture": "capture",
    "axial": "view", "sagittal": "view", "coronal": "view", "vr": "view",
    "oriS": "view", "oriI": "view", "oriA": "view", "oriP": "view", "oriR": "view", "oriL": "view",
}


def arrow_down(size=24, rgb=(225, 230, 238)):
    """A small filled triangle pointing down (opens a menu)."""
    return _shape(size, lambda x, y: _qt_polygon(x, y, [(size * 0.2, size * 0.35), (size * 0.8, size * 0.35),
                                                        (size * 0.5, size * 0.72)]), rgb)


def bar_line(w, h, rgb):
    return rounded(w, h, h / 2.0, rgb)


RESOURCES.update({name: (lambda c=cmd, s=sec, p=pressed: tool_button(c, s, p))
                  for cmd, sec in TOOL_BUTTONS.items()
                  for pressed, name in ((False, "tools/%s.png" % cmd), (True, "tools/%sPressed.png" % cmd))})
RESOURCES.update({
    # The play button swaps between these while a series plays.
    "imgs/play.png": lambda: tool_button("play", "cine", False),
    "imgs/pause.png": lambda: tool_button("pause", "cine", False),
    "res/arrowDown.png": arrow_down,
    # Slice slider: track, filled part and handle.
    "tools/sliderBar.png": lambda: bar_line(240, 10, (70, 78, 94)),
    "tools/sliderProgress.png": lambda: bar_line(240, 10, TP_SECTION["cine"]),
    "tools/sliderBall.png": lambda: disc(28, (240, 244, 250, 255)),
    # Nine-slice panel face (insets 12, 12, 16, 16), a section rule and the
    # top bar's marker line.
    "tools/panel.png": lambda: rounded(40, 40, 10, (34, 38, 47)),
    "tools/sectionRule.png": lambda: solid(8, 2, (70, 78, 94, 255)),
    "tools/selectLine.png": lambda: solid(8, 3, TP_SECTION["tools"] + (255,)),
    "tools/barDivider.png": lambda: solid(2, 36, (70, 78, 94, 255)),
    # 4-D strip: phase back and forward.
    "tools/phasePrior.png": lambda: tool_button("prior", "cine", False, 40),
    "tools/phasePriorPressed.png": lambda: tool_button("prior", "cine", True, 40),
    "tools/phaseNext.png": lambda: tool_button("next", "cine", False, 40),
    "tools/phaseNextPressed.png": lambda: tool_button("next", "cine", True, 40),
    "tools/phaseMenu.png": lambda: rounded(30, 30, 6, TP_PLATE),
    "tools/phaseMenuPressed.png": lambda: rounded(30, 30, 6, (60, 68, 84)),
    # Top bar buttons.
    "tools/toolbox.png": lambda: tool_button("tile2x2", "tools", False, 44),
    "tools/toolboxPressed.png": lambda: tool_button("tile2x2", "tools", True, 44),
})


def write_if_changed(path, data):
    if os.path.exists(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return True


def copy_hand_written(source, out):
    res = os.path.join(source, "res")
    for folder, _dirs, files in os.walk(res):
        for name in sorted(files):
            if name.endswith(".md"):
                continue
            src = os.path.join(folder, name)
            rel = os.path.relpath(src, source)
            if rel in RESOURCES:
                sys.exit("resgen: %s is both generated and hand-written" % rel)
            with open(src, "rb") as f:
                write_if_changed(os.path.join(out, rel), f.read())


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", required=True)
    ap.add_argument("--source")
    ap.add_argument("--stamp")
    args = ap.parse_args()
    for rel, make in sorted(RESOURCES.items()):
        write_if_changed(os.path.join(args.out, rel), make())
    if args.source:
        copy_hand_written(args.source, args.out)
    if args.stamp:
        with open(args.stamp, "w") as f:
            f.write("\n".join(sorted(RESOURCES)) + "\n")


if __name__ == "__main__":
    main()
