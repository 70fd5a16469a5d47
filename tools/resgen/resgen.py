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
