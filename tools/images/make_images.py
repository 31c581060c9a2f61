#!/usr/bin/env python3
"""Draws the console's images (data/Images/<number>.png) with ImageMagick.

Run from anywhere: python3 tools/images/make_images.py. The images are committed, so this only
needs to run again after a change here. Button images are horizontal strips of four equal
frames: normal, hover, pressed (or selected), disabled.
"""
import math
import os
import subprocess
import tempfile

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "Images")

TEAL = "#2E7D8C"
TEAL_DARK = "#1F5F6B"
TEAL_LIGHT = "#E3F1F3"
SLATE = "#2F3A45"
ICON = "#5B6770"
DISABLED = "#C2CAD2"
PAPER = "#F6F8FA"
LINE = "#D8DEE4"
WHITE = "#FFFFFF"

STATES = [  # (icon colour, background or None)
    (ICON, None),
    (TEAL, TEAL_LIGHT),
    (WHITE, TEAL),
    (DISABLED, None),
]


def run(args):
    subprocess.run(["convert"] + args, check=True)


def out(number):
    return os.path.join(OUT, "%d.png" % number)


def glyph(name, s, c):
    """Draw commands for a glyph in an s x s tile, stroke colour c."""
    m = s / 2.0
    w = max(1.6, s / 14.0)
    stroke = ["-fill", "none", "-stroke", c, "-strokewidth", "%.1f" % w]
    fill = ["-fill", c, "-stroke", "none"]
    k = s / 24.0  # glyphs are drawn on a 24-unit grid

    def p(x, y):
        return "%.1f,%.1f" % (x * k, y * k)

    if name == "minimize":
        return stroke + ["-draw", "line %s %s" % (p(7, 16), p(17, 16))]
    if name == "close":
        return stroke + ["-draw", "line %s %s" % (p(7, 7), p(17, 17)), "-draw", "line %s %s" % (p(17, 7), p(7, 17))]
    if name == "menu":
        return stroke + ["-draw", "line %s %s" % (p(6, 8), p(18, 8)), "-draw", "line %s %s" % (p(6, 12), p(18, 12)),
                         "-draw", "line %s %s" % (p(6, 16), p(18, 16))]
    if name == "network":
        return stroke + ["-draw", "circle %s %s" % (p(12, 12), p(12, 4.5)),
                         "-draw", "ellipse %s %.1f,%.1f 0,360" % (p(12, 12), 3.2 * k, 7.5 * k),
                         "-draw", "line %s %s" % (p(4.5, 12), p(19.5, 12))]
    if name == "home":
        return stroke + ["-draw", "polyline %s %s %s" % (p(4, 12), p(12, 5), p(20, 12)),
                         "-draw", "polyline %s %s %s %s" % (p(6.5, 10.5), p(6.5, 19), p(17.5, 19), p(17.5, 10.5)),
                         "-draw", "polyline %s %s %s" % (p(10.5, 19), p(10.5, 14.5), p(13.5, 14.5)),
                         "-draw", "line %s %s" % (p(13.5, 14.5), p(13.5, 19))]
    if name == "settings":
        cmds = stroke + ["-draw", "circle %s %s" % (p(12, 12), p(12, 9.2)),
                         "-draw", "circle %s %s" % (p(12, 12), p(12, 5.8))]
        for i in range(8):
            a = i * math.pi / 4
            cmds += ["-draw", "line %s %s" % (p(12 + 6.2 * math.cos(a), 12 + 6.2 * math.sin(a)),
                                              p(12 + 8.2 * math.cos(a), 12 + 8.2 * math.sin(a)))]
        return cmds
    if name == "favorite":
        pts = []
        for i in range(10):
            r = 8 if i % 2 == 0 else 3.6
            a = -math.pi / 2 + i * math.pi / 5
            pts.append(p(12 + r * math.cos(a), 12.6 + r * math.sin(a)))
        return stroke + ["-draw", "polygon " + " ".join(pts)]
    if name == "history":
        return stroke + ["-draw", "circle %s %s" % (p(12, 12), p(12, 4.5)),
                         "-draw", "polyline %s %s %s" % (p(12, 7.5), p(12, 12), p(15.5, 14))]
    if name == "waiting":
        cmds = fill
        for y in (7, 12, 17):
            cmds += ["-draw", "circle %s %s" % (p(6, y), p(6, y + 1.3))]
        cmds += stroke
        for y in (7, 12, 17):
            cmds += ["-draw", "line %s %s" % (p(9.5, y), p(19, y))]
        return cmds
    raise ValueError(name)


def strip(number, name, size, rounded=True):
    frames = []
    with tempfile.TemporaryDirectory() as tmp:
        for i, (colour, back) in enumerate(STATES):
            f = os.path.join(tmp, "%d.png" % i)
            args = ["-size", "%dx%d" % (size, size), "xc:none"]
            if back:
                r = size / 5.0 if rounded else 0
                args += ["-fill", back, "-stroke", "none",
                         "-draw", "roundrectangle 1,1 %d,%d %.1f,%.1f" % (size - 2, size - 2, r, r)]
            args += glyph(name, size, colour) + [f]
            run(args)
            frames.append(f)
        run(frames + ["+append", out(number)])


def frame(number, header):
    # The window: rounded panel with a header (title area, 44 px) and a footer (54 px).
    w, h = 484, 621
    run(["-size", "%dx%d" % (w, h), "xc:none",
         "-fill", PAPER, "-stroke", LINE, "-strokewidth", "1",
         "-draw", "roundrectangle 0.5,0.5 %.1f,%.1f 10,10" % (w - 1.5, h - 1.5),
         "-fill", header, "-stroke", "none",
         "-draw", "roundrectangle 0.5,0.5 %.1f,54 10,10" % (w - 1.5),
         "-draw", "rectangle 0.5,30 %.1f,44" % (w - 1.5),
         "-fill", WHITE, "-draw", "rectangle 13,44 %d,%d" % (w - 14, h - 55),
         "-fill", "#EEF2F5", "-draw", "rectangle 1,%d %d,%d" % (h - 54, w - 2, h - 11),
         "-draw", "roundrectangle 1,%d %d,%d 10,10" % (h - 30, w - 2, h - 2),
         "-fill", WHITE, "-font", "DejaVu-Sans-Bold", "-pointsize", "15",
         "-draw", "text 18,28 'Helvora Agent'",
         out(number)])


def logo(number, size, background=TEAL):
    r = size * 0.22
    k = size / 64.0
    run(["-size", "%dx%d" % (size, size), "xc:none",
         "-fill", background, "-draw", "roundrectangle 0,0 %d,%d %.1f,%.1f" % (size - 1, size - 1, r, r),
         "-fill", "none", "-stroke", WHITE, "-strokewidth", "%.1f" % (6 * k),
         # an "H" whose bar is a link between two peers
         "-draw", "line %.1f,%.1f %.1f,%.1f" % (20 * k, 16 * k, 20 * k, 48 * k),
         "-draw", "line %.1f,%.1f %.1f,%.1f" % (44 * k, 16 * k, 44 * k, 48 * k),
         "-draw", "line %.1f,%.1f %.1f,%.1f" % (20 * k, 32 * k, 44 * k, 32 * k),
         "-fill", WHITE, "-stroke", "none",
         "-draw", "circle %.1f,%.1f %.1f,%.1f" % (32 * k, 32 * k, 32 * k, 37 * k),
         out(number)])


def spinner(number, size, lit):
    """One frame of a ring of 12 dots; the dot `lit` is brightest and the trail fades."""
    args = ["-size", "%dx%d" % (size, size), "xc:none", "-stroke", "none"]
    c = size / 2.0
    ring = size * 0.36
    dot = size * 0.07
    for i in range(12):
        age = (lit - i) % 12
        alpha = max(0.15, 1.0 - age * 0.16)
        a = -math.pi / 2 + i * math.pi / 6
        x, y = c + ring * math.cos(a), c + ring * math.sin(a)
        args += ["-fill", "rgba(46,125,140,%.2f)" % alpha,
                 "-draw", "circle %.1f,%.1f %.1f,%.1f" % (x, y, x, y + dot)]
    run(args + [out(number)])


def main():
    os.makedirs(OUT, exist_ok=True)
    logo(128, 256)                     # program icon
    logo(2059, 32)                     # tray icon
    logo(2058, 16)                     # tray icon, older systems
    frame(2000, TEAL)                  # main window, active
    frame(2002, "#6F8A93")             # main window, inactive
    strip(1011, "minimize", 24)
    strip(1014, "close", 24)
    strip(2004, "network", 24)
    strip(2007, "menu", 24)
    for number, name in zip(range(2040, 2045), ["home", "settings", "favorite", "history", "waiting"]):
        strip(number, name, 40)        # side tabs
    for i in range(12):
        spinner(1260 + i, 64, i)       # progress window animation, 83 ms per frame
    spinner(1277, 48, 0)               # busy overlay


if __name__ == "__main__":
    main()
