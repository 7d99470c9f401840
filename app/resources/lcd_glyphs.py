#!/usr/bin/env python3
"""Writes the time display's glyphs: font_0 .. font_9 (seven segments) and font__
(the colon). Each glyph is an opaque LCD cell, so the display reads as one dark strip;
unlit segments stay faintly visible, as on a real vacuum-fluorescent display."""
import pathlib

W, H = 18, 30
CELL = "#0d110e"
LIT = "#ffb43c"
GHOST = "#2a2416"
T = 3.0  # segment thickness

# Segments a..g as (x1, y1, x2, y2) centre lines.
SEGMENTS = {
    "a": (5.2, 3.5, 12.8, 3.5), "g": (5.2, 15, 12.8, 15), "d": (5.2, 26.5, 12.8, 26.5),
    "f": (3, 5.7, 3, 12.8), "b": (15, 5.7, 15, 12.8),
    "e": (3, 17.2, 3, 24.3), "c": (15, 17.2, 15, 24.3),
}
DIGITS = ["abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"]


def hexagon(x1, y1, x2, y2):
    h = T / 2
    if y1 == y2:
        pts = [(x1 - h, y1), (x1, y1 - h), (x2, y1 - h), (x2 + h, y1), (x2, y1 + h), (x1, y1 + h)]
    else:
        pts = [(x1, y1 - h), (x1 + h, y1), (x1 + h, y2), (x1, y2 + h), (x1 - h, y2), (x1 - h, y1)]
    return " ".join(f"{x:g},{y:g}" for x, y in pts)


def svg(width, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{H}" '
            f'viewBox="0 0 {width} {H}">\n<rect width="{width}" height="{H}" fill="{CELL}"/>\n'
            f'{body}</svg>\n')


def main():
    out = pathlib.Path(__file__).parent
    for digit, lit in enumerate(DIGITS):
        body = "".join(
            f'<polygon points="{hexagon(*SEGMENTS[s])}" fill="{LIT if s in lit else GHOST}"/>\n'
            for s in "abcdefg")
        (out / f"font_{digit}.svg").write_text(svg(W, body))
    colon = "".join(f'<rect x="2.5" y="{y}" width="3" height="3" fill="{LIT}"/>\n' for y in (9.5, 18.5))
    (out / "font__.svg").write_text(svg(8, colon))


if __name__ == "__main__":
    main()
