#!/usr/bin/python3
"""Writes the CFF programs of the font tests into tests/fixtures/fonts/, from
Nimbus Sans (Debian package fonts-urw-base35) with python3-fonttools:

  nimbus-sans.cff          the font's own CFF table, cut to a few glyphs
  nimbus-sans-half.cff     the same with FontMatrix [0.0005 0 0 0.0005 0 0]
  nimbus-sans-expert.cff   the same with the predefined Expert encoding
  nimbus-sans-custom.cff   the same with a custom encoding: code 65 (A) names
                           the glyph Z, code 66 (B) names Y, no other codes

    tools/make_font_fixtures.py      (run it with Debian's /usr/bin/python3)

The outputs are checked in; run this again only to change them."""
import io
import os

from fontTools import subset
from fontTools.ttLib import TTFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "tests", "fixtures", "fonts")
SOURCE = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf"
TEXT = "Hello World ABYZ"


def subset_font():
    font = TTFont(SOURCE)
    options = subset.Options()
    options.glyph_names = True
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=TEXT)
    subsetter.subset(font)
    return font


def cff_bytes(font, change=None):
    cff = font["CFF "].cff
    top = cff.topDictIndex[0]
    if change:
        change(top)
    buffer = io.BytesIO()
    cff.compile(buffer, font)
    return buffer.getvalue()


def main():
    os.makedirs(OUT, exist_ok=True)
    variants = {
        "nimbus-sans.cff": None,
        "nimbus-sans-half.cff": lambda top: setattr(top, "FontMatrix", [0.0005, 0, 0, 0.0005, 0, 0]),
        "nimbus-sans-expert.cff": lambda top: setattr(top, "Encoding", "ExpertEncoding"),
        "nimbus-sans-custom.cff": lambda top: setattr(top, "Encoding", [".notdef"] * 65 + ["Z", "Y"] + [".notdef"] * 189),
    }
    for name, change in variants.items():
        data = cff_bytes(subset_font(), change)
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
        print(name, len(data), "bytes")


if __name__ == "__main__":
    main()
