#!/usr/bin/env python3
"""Draws the program's button pictures and its icon as PNG files, and the icon
as an SVG file for the desktop's scalable icon.

The pictures are drawn here from a few geometric shapes, so they belong to the
program and can be changed by editing this script and running it again:

    python3 app/resources/make_pictures.py

Only the standard library is used: shapes are sampled 4 x 4 times per pixel for
smooth edges and the result is written as 8-bit RGBA PNG with zlib. The SVG
receives the same shapes as vector elements, so both show one drawing.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4  # per pixel and axis

# A small palette in the spirit of the classic 16-colour button glyphs.
BLACK = (0, 0, 0)
DARK = (64, 64, 64)
GREY = (128, 128, 128)
SILVER = (192, 192, 192)
WHITE = (255, 255, 255)
RED = (200, 24, 24)
DARK_RED = (128, 0, 0)
GREEN = (0, 160, 64)
DARK_GREEN = (0, 96, 32)
TRACE = (0, 204, 102)
YELLOW = (255, 214, 0)
ORANGE = (230, 120, 0)
BLUE = (32, 96, 208)
NAVY = (16, 40, 112)
BROWN = (140, 84, 36)
SLATE = (36, 44, 60)


class Canvas:
    """An RGBA picture in which shapes are given in a unit grid that is scaled
    to the picture's size, so one drawing serves several sizes."""

    def __init__(self, size, units):
        self.size = size
        self.scale = size / units
        self.pixels = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def shape(self, inside, box, color, alpha=1.0):
        """Paints color where inside(x, y) holds; x and y are in units, box is
        the shape's bounding box (x0, y0, x1, y1) in units."""
        s = self.scale
        x0 = max(0, int(math.floor(box[0] * s)) - 1)
        y0 = max(0, int(math.floor(box[1] * s)) - 1)
        x1 = min(self.size, int(math.ceil(box[2] * s)) + 1)
        y1 = min(self.size, int(math.ceil(box[3] * s)) + 1)
        step = 1.0 / SAMPLES
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (px + (sx + 0.5) * step) / s
                        y = (py + (sy + 0.5) * step) / s
                        if inside(x, y):
                            hits += 1
                if hits:
                    self._blend(px, py, color, alpha * hits / (SAMPLES * SAMPLES))

    def _blend(self, px, py, color, a):
        r, g, b, da = self.pixels[py][px]
        out = a + da * (1 - a)
        if out <= 0:
            return
        mix = lambda c, d: (c * a + d * da * (1 - a)) / out
        self.pixels[py][px] = (mix(color[0], r), mix(color[1], g), mix(color[2], b), out)

    # Shapes -----------------------------------------------------------------

    def polygon(self, points, color):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        self.shape(inside, (min(xs), min(ys), max(xs), max(ys)), color)

    def rect(self, x0, y0, x1, y1, color):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], color)

    def circle(self, cx, cy, r, color):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   (cx - r, cy - r, cx + r, cy + r), color)

    def ring(self, cx, cy, r, width, color, start=0.0, end=360.0):
        """An annulus of the given width around radius r; angles in degrees,
        counter-clockwise from the right, y pointing down on the screen."""

        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if abs(d - r) > width / 2:
                return False
            angle = math.degrees(math.atan2(cy - y, x - cx)) % 360.0
            if start <= end:
                return start <= angle <= end
            return angle >= start or angle <= end

        out = r + width / 2
        self.shape(inside, (cx - out, cy - out, cx + out, cy + out), color)

    def line(self, x0, y0, x1, y1, width, color):
        """A segment with round ends."""
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1e-12
        half = width / 2

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= half

        self.shape(inside, (min(x0, x1) - half, min(y0, y1) - half,
                            max(x0, x1) + half, max(y0, y1) + half), color)

    def polyline(self, points, width, color):
        for a, b in zip(points, points[1:]):
            self.line(a[0], a[1], b[0], b[1], width, color)

    def outlined(self, points, fill, edge, width):
        self.polygon(points, fill)
        self.polyline(points + [points[0]], width, edge)

    # Output -----------------------------------------------------------------

    def save(self, name):
        raw = bytearray()
        for row in self.pixels:
            raw.append(0)  # filter type: none
            for r, g, b, a in row:
                raw += bytes((round(r), round(g), round(b), round(a * 255)))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.size, self.size, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(png)


class SvgCanvas:
    """The same shapes as Canvas, written as SVG elements in the unit grid."""

    def __init__(self, units):
        self.units = units
        self.elements = []

    @staticmethod
    def _color(color):
        return "#%02x%02x%02x" % color

    @staticmethod
    def _points(points):
        return " ".join("%g,%g" % (round(x, 4), round(y, 4)) for x, y in points)

    def polygon(self, points, color):
        # Canvas fills by counting edge crossings: the even-odd rule.
        self.elements.append('<polygon points="%s" fill="%s" fill-rule="evenodd"/>'
                             % (self._points(points), self._color(color)))

    def rect(self, x0, y0, x1, y1, color):
        self.elements.append('<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>'
                             % (x0, y0, x1 - x0, y1 - y0, self._color(color)))

    def circle(self, cx, cy, r, color):
        self.elements.append('<circle cx="%g" cy="%g" r="%g" fill="%s"/>'
                             % (cx, cy, r, self._color(color)))

    def line(self, x0, y0, x1, y1, width, color):
        self.polyline([(x0, y0), (x1, y1)], width, color)

    def polyline(self, points, width, color):
        # Round ends on every segment, as Canvas draws them: round caps and
        # joins.
        self.elements.append(
            '<polyline points="%s" fill="none" stroke="%s" stroke-width="%g" '
            'stroke-linecap="round" stroke-linejoin="round"/>'
            % (self._points(points), self._color(color), width))

    def outlined(self, points, fill, edge, width):
        self.polygon(points, fill)
        self.polyline(points + [points[0]], width, edge)

    def save(self, name):
        text = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
                'viewBox="0 0 %d %d">\n' % (self.units, self.units, self.units, self.units))
        text += "".join("  %s\n" % element for element in self.elements)
        text += "</svg>\n"
        with open(os.path.join(HERE, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)


# The button pictures, drawn on an 18 x 18 grid ----------------------------------


def battery(c, x0, y0, x1, y1, level, fill):
    """An upright cell with its terminal on top, filled from below to level
    (0..1)."""
    mid = (x0 + x1) / 2
    c.rect(mid - 1.5, y0 - 1.6, mid + 1.5, y0 + 0.2, DARK)
    c.rect(x0, y0, x1, y1, DARK)
    c.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, WHITE)
    top = (y1 - 1) - level * (y1 - y0 - 2)
    c.rect(x0 + 1, top, x1 - 1, y1 - 1, fill)


def draw_discharge(c):
    battery(c, 2.5, 4, 9.5, 16.5, 0.3, ORANGE)
    c.rect(12.5, 2, 15, 10, RED)
    c.polygon([(10.5, 9.5), (17, 9.5), (13.75, 15.5)], RED)


def draw_charge(c):
    battery(c, 2.5, 4, 9.5, 16.5, 0.75, GREEN)
    c.outlined([(14.5, 1.5), (10.5, 9.5), (13.5, 9.5), (11.5, 16.5), (17, 7.5), (14, 7.5),
                (16.5, 1.5)], YELLOW, DARK, 0.8)


def draw_auto_cycle(c):
    c.ring(9, 9, 6, 2.2, BLUE, 20, 160)
    c.ring(9, 9, 6, 2.2, GREEN, 200, 340)
    # Arrow heads at the clockwise ends of both arcs.
    c.polygon([(1.2, 9.2), (6.8, 9.2), (4.0, 12.8)], BLUE)
    c.polygon([(11.2, 8.8), (16.8, 8.8), (14.0, 5.2)], GREEN)


def draw_resistance(c):
    zig = [(1, 9), (4, 9), (5, 5.5), (7, 12.5), (9, 5.5), (11, 12.5), (13, 5.5), (14, 9),
           (17, 9)]
    c.polyline(zig, 1.6, DARK)


def draw_monitor(c):
    c.rect(1, 2, 17, 13.5, GREY)
    c.rect(2, 3, 16, 12.5, BLACK)
    c.polyline([(3, 6), (6, 5.5), (9, 7), (12, 8), (15, 10.5)], 1.2, TRACE)
    c.rect(7.5, 13.5, 10.5, 15.5, GREY)
    c.rect(5, 15.5, 13, 16.8, DARK)


def draw_setup(c):
    teeth = 8
    points = []
    for i in range(teeth * 4):
        angle = 2 * math.pi * i / (teeth * 4) + math.pi / (teeth * 4)
        r = 7.8 if (i % 4) in (0, 1) else 5.6
        points.append((9 + r * math.cos(angle), 9 + r * math.sin(angle)))
    c.outlined(points, SILVER, DARK, 0.9)
    c.circle(9, 9, 2.6, DARK)
    c.circle(9, 9, 1.7, WHITE)


def draw_save(c):
    c.polygon([(1.5, 1.5), (14, 1.5), (16.5, 4), (16.5, 16.5), (1.5, 16.5)], NAVY)
    c.rect(4.5, 1.5, 12.5, 6.5, SILVER)
    c.rect(10, 2.5, 11.8, 5.5, NAVY)
    c.rect(3.5, 9, 14.5, 16.5, WHITE)
    c.rect(5, 11, 13, 11.8, GREY)
    c.rect(5, 13.2, 13, 14, GREY)


def draw_exit(c):
    c.rect(2, 1.5, 11, 16.5, DARK)
    c.rect(3, 2.5, 10, 16.5, SILVER)
    c.polygon([(3, 2.5), (7.5, 4), (7.5, 17.5), (3, 16.5)], BROWN)
    c.circle(6.5, 10, 0.7, YELLOW)
    c.rect(10, 8, 14, 10.5, GREEN)
    c.polygon([(13.5, 5.5), (17.5, 9.25), (13.5, 13)], GREEN)


def draw_stop(c):
    points = []
    for i in range(8):
        angle = math.pi / 8 + i * math.pi / 4
        points.append((9 + 8 * math.cos(angle), 9 + 8 * math.sin(angle)))
    c.outlined(points, RED, DARK_RED, 0.9)
    c.rect(4, 7.6, 14, 10.4, WHITE)


def draw_start(c):
    c.outlined([(5, 2.5), (15.5, 9), (5, 15.5)], GREEN, DARK_GREEN, 1.0)


def draw_cancel(c):
    c.line(4, 4, 14, 14, 3, RED)
    c.line(14, 4, 4, 14, 3, RED)


# The program's icon, drawn on a 64 x 64 grid -----------------------------------


def draw_icon(c):
    # A dark rounded tile, a cell lying on its side, and the green trace of a
    # discharge falling across it, as the graph shows it.
    c.rect(6, 2, 58, 62, SLATE)
    c.rect(2, 6, 62, 58, SLATE)
    for cx, cy in ((6, 6), (58, 6), (6, 58), (58, 58)):
        c.circle(cx, cy, 4, SLATE)
    c.rect(9, 18, 51, 46, SILVER)
    c.rect(12, 21, 48, 43, BLACK)
    c.rect(51, 26, 56, 38, SILVER)
    trace = [(14, 26), (19, 25), (24, 26.5), (30, 27.5), (36, 29), (41, 31), (44, 34),
             (46, 40)]
    c.polyline(trace, 2.6, TRACE)
    c.outlined([(33, 4), (26, 16), (31, 16), (27, 27), (38, 12.5), (33, 12.5), (37, 4)],
               YELLOW, DARK, 1.2)


PICTURES = {
    "discharge": draw_discharge,
    "charge": draw_charge,
    "autocycle": draw_auto_cycle,
    "resistance": draw_resistance,
    "monitor": draw_monitor,
    "setup": draw_setup,
    "save": draw_save,
    "exit": draw_exit,
    "stop": draw_stop,
    "start": draw_start,
    "cancel": draw_cancel,
}


def main():
    for name, draw in PICTURES.items():
        canvas = Canvas(18, 18)
        draw(canvas)
        canvas.save(name + ".png")
    # The tall Stop button carries a larger sign.
    canvas = Canvas(32, 18)
    draw_stop(canvas)
    canvas.save("stop-32.png")
    # The icon at the sizes of the desktop's icon theme (hicolor), and as the
    # theme's scalable icon.
    for size in (16, 24, 32, 48, 64, 128, 256):
        canvas = Canvas(size, 64)
        draw_icon(canvas)
        canvas.save("voltrex2-%d.png" % size)
    svg = SvgCanvas(64)
    draw_icon(svg)
    svg.save("voltrex2.svg")


if __name__ == "__main__":
    main()
