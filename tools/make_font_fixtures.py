#!/usr/bin/python3
"""Writes the CFF programs of the font tests into tests/fixtures/fonts/, from
Nimbus Sans (Debian package fonts-urw-base35) with python3-fonttools:

  nimbus-sans.cff          the font's own CFF table, cut to a few glyphs
  nimbus-sans-half.cff     the same with FontMatrix [0.0005 0 0 0.0005 0 0]
  nimbus-sans-expert.cff   the same with the predefined Expert encoding
  nimbus-sans-custom.cff   the same with a custom encoding: code 65 (A) names
                           the glyph Z, code 66 (B) names Y, no other codes

It also writes the seeds of the font program fuzz targets (fuzz/seeds/
fuzz_cff, fuzz_truetype and fuzz_type1): the CFF programs above, Liberation
Sans (fonts-liberation2) cut to a few glyphs with post tables of versions 2.0
and 3.0, and two Type 1 programs (a hand-made clear text, and the start of
StandardSymbolsPS), each after the four bytes of Length1 and Length2.

    tools/make_font_fixtures.py      (run it with Debian's /usr/bin/python3)

The outputs are checked in; run this again only to change them."""
import io
import os
import shutil
import struct

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


SEEDS = os.path.join(os.path.dirname(HERE), "fuzz", "seeds")
LIBERATION = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"
SYMBOL_T1 = "/usr/share/fonts/type1/urw-base35/StandardSymbolsPS.t1"
TYPE1_CLEAR = b"""%!PS-AdobeFont-1.0: Test
11 dict begin
/FontInfo 2 dict dup begin /Notice (a \\) b) readonly def end readonly def
/Encoding 256 array 0 1 255 {1 index exch /.notdef put} for dup 65 /Gamma put readonly def
/Binary 3 RD abc ND
currentdict end
currentfile eexec
"""


def write_seeds():
    for name in ("fuzz_cff", "fuzz_truetype", "fuzz_type1"):
        os.makedirs(os.path.join(SEEDS, name), exist_ok=True)
    for name in os.listdir(OUT):
        shutil.copy(os.path.join(OUT, name), os.path.join(SEEDS, "fuzz_cff", name))
    for name, post in (("liberation-sans-hello.ttf", 2.0), ("liberation-sans-post3.ttf", 3.0)):
        font = TTFont(LIBERATION)
        options = subset.Options()
        options.glyph_names = True
        options.notdef_outline = True
        subsetter = subset.Subsetter(options)
        subsetter.populate(text="Hello")
        subsetter.subset(font)
        font["post"].formatType = post
        buffer = io.BytesIO()
        font.save(buffer)
        with open(os.path.join(SEEDS, "fuzz_truetype", name), "wb") as f:
            f.write(buffer.getvalue())
    encrypted = bytes(range(1, 9)) * 4
    with open(os.path.join(SEEDS, "fuzz_type1", "own-encoding"), "wb") as f:
        f.write(struct.pack(">HH", len(TYPE1_CLEAR), len(encrypted)) + TYPE1_CLEAR + encrypted)
    with open(SYMBOL_T1, "rb") as f:
        data = f.read()
    cut = data.find(b"eexec") + 5
    with open(os.path.join(SEEDS, "fuzz_type1", "symbol-start"), "wb") as f:
        f.write(struct.pack(">HH", cut, 3000) + data[:cut + 3000])


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
    write_seeds()


if __name__ == "__main__":
    main()
