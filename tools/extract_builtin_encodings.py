#!/usr/bin/env python3
"""Writes tools/builtin-encodings.tsv: the built-in encodings of the
standard Symbol and ZapfDingbats fonts, a row per code: the font, the code,
its glyph name, and the Unicode character it shows (hexadecimal).

Sources (Debian packages): the glyph names by code from the AFM files of
fonts-urw-base35 (StandardSymbolsPS.afm and D050000L.afm, URW's metric
clones of Symbol and ZapfDingbats); the characters by code from
python3-reportlab's "symbol" and "zapfdingbats" codecs.

    tools/extract_builtin_encodings.py [OUTPUT]

Run it once; tools/gen_font_tables.py turns the file into tables."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(HERE, "builtin-encodings.tsv")
AFM_DIR = "/usr/share/fonts/type1/urw-base35"
FONTS = (("Symbol", "StandardSymbolsPS.afm", "symbol"), ("ZapfDingbats", "D050000L.afm", "zapfdingbats"))


def main():
    from reportlab.pdfbase.rl_codecs import RL_Codecs
    RL_Codecs.register()
    target = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUT
    rows = []
    for font, afm, codec in FONTS:
        with open(os.path.join(AFM_DIR, afm), encoding="latin-1") as f:
            for line in f:
                m = re.match(r"C (\d+) ;.* N (\S+) ;", line)
                if not m:
                    continue
                code, name = int(m.group(1)), m.group(2)
                char = bytes([code]).decode(codec, "replace")
                if char == "\ufffd" or len(char) != 1:
                    continue
                rows.append((font, code, name, "%04X" % ord(char)))
    with open(target, "w", encoding="ascii", newline="\n") as f:
        f.write("# Written by tools/extract_builtin_encodings.py. Glyph names: fonts-urw-base35's\n"
                "# StandardSymbolsPS.afm and D050000L.afm (AGPL-3 with font exception); characters:\n"
                "# python3-reportlab's symbol and zapfdingbats codecs (BSD).\n"
                "# font\tcode\tglyph name\tUnicode\n")
        for row in rows:
            f.write("%s\t%d\t%s\t%s\n" % row)


if __name__ == "__main__":
    main()
