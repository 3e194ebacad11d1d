#!/usr/bin/env python3
"""Writes the seeds of fuzz/fuzz_reading.cpp into fuzz/seeds/fuzz_reading:
pages of words in its nine-byte form (two columns under a title with a page
number, a table of short cells, rotated and upside-down words, and a page of
what Markdown marks: headings by size and bold, list items, a word cut at a
line's end, italic words, a running head and a page number)."""
import os
import struct


def word(x, y, text, size=10.0, angle=0, flag=0, font=0):
    """A word; font (0 plain, 1 bold, 2 italic, 3 small capitals) is told by
    the low bits of x and y, an eighth of a point each."""
    x += font / 8
    text = text.encode()[:15]
    w = min(255, int(0.5 * size * len(text) * 4))
    return struct.pack("<hhBBBBB", int(x * 8), int(y * 8), w, int(size * 8 * 0.95), int(size * 8), angle,
                       flag | len(text) << 4) + text


def column(x, top, name, lines):
    out = b""
    for line in range(lines):
        y = top - 14 * line
        out += word(x, y, name) + b"".join(word(a, y, "text") for a in range(x + 25, x + 220, 25))
    return out


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "seeds", "fuzz_reading")
    os.makedirs(folder, exist_ok=True)
    seeds = {
        "two-columns": word(200, 716, "Title") + word(230, 716, "across") + word(285, 716, "page") +
        column(50, 700, "Left", 12) + column(320, 700, "Right", 12) + word(292, 40, "7"),
        "table": b"".join(word(50 + 60 * c, 700 - 12 * r, "c%d%d" % (r, c)) for r in range(6) for c in range(4)),
        "directions": word(30, 500, "Up", angle=64) + word(300, 500, "down", angle=128) + word(60, 700, "body") +
        word(60, 686, "nan", flag=1) + word(60, 672, "flat", flag=4),
        "markdown": word(250, 760, "Guide") + word(60, 720, "Title", 20) + word(60, 690, "Bold", font=1) +
        word(60, 670, "Some") + word(90, 670, "inter-") + word(60, 658, "national") + word(110, 658, "text", font=2) +
        word(60, 640, "\u2022") + word(70, 640, "item") + word(78, 628, "\u25e6") + word(88, 628, "sub") +
        word(60, 616, "1.") + word(72, 616, "first") + word(60, 600, "SMALL", font=3) + word(300, 40, "3"),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
