#!/usr/bin/env python3
"""Writes src/PDFLib/uPDFFontTables.inc, the constant encoding and metrics
tables of uPDFFontConst.cpp, and src/PDFLib/uPDFFontProgramTables.inc, the
name tables of the font program readers (CFF standard strings and encoding,
the Macintosh glyph names of TrueType post tables).

Sources: the data files in ../shared/data (latin-charset.tsv,
standard-widths.tsv, symbol-widths.tsv, cff-standard-strings.txt,
cff-standard-encoding.tsv, mac-glyph-names.txt), tools/builtin-encodings.tsv
(the Symbol and ZapfDingbats encodings, written by
tools/extract_builtin_encodings.py from Debian data; its header names the
sources) and the MacExpert table below.

    tools/gen_font_tables.py [DATA_DIR] [OUTPUT] [PROGRAM_OUTPUT]

The outputs are checked in; run this again only when a data file changes."""
import os
import re
import sys
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DEFAULT_DATA = os.path.join(ROOT, "..", "shared", "data")
DEFAULT_OUT = os.path.join(ROOT, "src", "PDFLib", "uPDFFontTables.inc")
DEFAULT_PROGRAM_OUT = os.path.join(ROOT, "src", "PDFLib", "uPDFFontProgramTables.inc")
CFF_STRINGS = 391
CFF_ENCODED_CODES = 149
MAC_NAMES = 258

LATIN_COLUMNS = ["Standard", "MacRoman", "WinAnsi", "PDFDoc"]
LATIN_COUNTS = [149, 207, 216, 229]  # codes present per column
LATIN_ROWS = 229
STANDARD_FONTS = [
    "Courier", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique",
    "Helvetica", "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
    "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic",
]
SYMBOL_ROWS = 189
BUILTIN_ROWS = {"Symbol": 189, "ZapfDingbats": 202}

# The only MacExpertEncoding codes the engine knows.
MAC_EXPERT = """
AEsmall 190, Aacutesmall 135, Acircumflexsmall 137, Acutesmall 39,
Adieresissmall 138, Agravesmall 136, Aringsmall 140, Asmall 97,
Atildesmall 139, Brevesmall 243, Bsmall 98, Caronsmall 174, Ccedillasmall 141,
Cedillasmall 201, Circumflexsmall 94, Csmall 99, Dieresissmall 172,
Dotaccentsmall 250, Dsmall 100, Eacutesmall 142, Ecircumflexsmall 144,
Edieresissmall 145, Egravesmall 143, Esmall 101, Ethsmall 68, Fsmall 102,
Gravesmall 96, Gsmall 103, Hsmall 104, Hungarumlautsmall 34, Iacutesmall 146,
Icircumflexsmall 148, Idieresissmall 149, Igravesmall 147, Ismall 105,
Jsmall 106, Ksmall 107, Lslashsmall 194, Lsmall 108, Macronsmall 244,
Msmall 109, Nsmall 110, Ntildesmall 150, OEsmall 207, Oacutesmall 151,
Ocircumflexsmall 153, Odieresissmall 154, Ogoneksmall 242, Ogravesmall 152,
Oslashsmall 191, Osmall 111, Otildesmall 155, Psmall 112, Qsmall 113,
Ringsmall 251, Rsmall 114, Scaronsmall 167, Ssmall 115, Thornsmall 185,
Tildesmall 126, Tsmall 116, Uacutesmall 156, Ucircumflexsmall 158,
Udieresissmall 159, Ugravesmall 157, Usmall 117, Vsmall 118, Wsmall 119,
Xsmall 120, Yacutesmall 180, seveninferior 166, sevenoldstyle 55,
sevensuperior 224, sixinferior 164, sixoldstyle 54, sixsuperior 223,
A0space 32, ssuperior 234, threeeighths 75, threeinferior 163,
threeoldstyle 51, threequarters 73, threequartersemdash 61,
threesuperior 220, tsuperior 230, twodotenleader 42, twoinferior 170,
twooldstyle 50, twosuperior 219, twothirds 79, zeroinferior 188,
zerooldstyle 48, zerosuperior 226
"""
MAC_EXPERT_ROWS = 93


def fail(message):
    sys.exit("gen_font_tables: " + message)


def read_tsv(path, header_fields):
    rows = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != header_fields:
                fail("%s:%d: %d fields, expected %d" % (path, number, len(fields), header_fields))
            rows.append(fields)
    return rows


def byte_order(name):
    # The order of std::string_view comparison.
    return name.encode("ascii")


def check_unique(what, values):
    seen = set()
    for v in values:
        if v in seen:
            fail("%s: %r occurs twice" % (what, v))
        seen.add(v)


def read_latin(data):
    rows = read_tsv(os.path.join(data, "latin-charset.tsv"), 5)
    if len(rows) != LATIN_ROWS:
        fail("latin-charset.tsv: %d rows, expected %d" % (len(rows), LATIN_ROWS))
    check_unique("latin-charset.tsv", [r[0] for r in rows])
    latin = []
    for r in rows:
        codes = []
        for text in r[1:]:
            code = -1 if text == "-" else int(text)
            if not -1 <= code <= 255:
                fail("latin-charset.tsv: code %d of %s" % (code, r[0]))
            codes.append(code)
        latin.append((r[0], codes))
    for column, (title, expected) in enumerate(zip(LATIN_COLUMNS, LATIN_COUNTS)):
        codes = [c[column] for _, c in latin if c[column] >= 0]
        if len(codes) != expected:
            fail("latin-charset.tsv: %d %s codes, expected %d" % (len(codes), title, expected))
        check_unique("latin-charset.tsv " + title, codes)
    return latin


def read_widths(data, names):
    rows = read_tsv(os.path.join(data, "standard-widths.tsv"), 1 + len(STANDARD_FONTS))
    widths = {}
    for r in rows:
        if r[0] in widths:
            fail("standard-widths.tsv: %s twice" % r[0])
        widths[r[0]] = [int(v) for v in r[1:]]
    if set(widths) != set(names):
        fail("standard-widths.tsv does not list the glyphs of latin-charset.tsv")
    return widths


def read_symbol(data):
    rows = read_tsv(os.path.join(data, "symbol-widths.tsv"), 2)
    if len(rows) != SYMBOL_ROWS:
        fail("symbol-widths.tsv: %d rows, expected %d" % (len(rows), SYMBOL_ROWS))
    check_unique("symbol-widths.tsv", [r[0] for r in rows])
    return [(r[0], int(r[1])) for r in rows]


def read_builtin(data, font):
    rows = [r for r in read_tsv(os.path.join(HERE, "builtin-encodings.tsv"), 4) if r[0] == font]
    if len(rows) != BUILTIN_ROWS[font]:
        fail("builtin-encodings.tsv: %d rows of %s, expected %d" % (len(rows), font, BUILTIN_ROWS[font]))
    check_unique("builtin-encodings.tsv %s codes" % font, [r[1] for r in rows])
    check_unique("builtin-encodings.tsv %s names" % font, [r[2] for r in rows])
    result = [(int(r[1]), r[2], int(r[3], 16)) for r in rows]
    if any(not 0 < c < 256 for c, _, _ in result):
        fail("builtin-encodings.tsv: a %s code out of 1..255" % font)
    return sorted(result, key=lambda r: byte_order(r[1]))


def read_mac_expert():
    rows = []
    for item in MAC_EXPERT.replace("\n", " ").split(","):
        name, code = item.split()
        rows.append((name, int(code)))
    if len(rows) != MAC_EXPERT_ROWS:
        fail("MacExpert table: %d rows, expected %d" % (len(rows), MAC_EXPERT_ROWS))
    check_unique("MacExpert names", [n for n, _ in rows])
    check_unique("MacExpert codes", [c for _, c in rows])
    return rows


def generate(data):
    latin = read_latin(data)
    widths = read_widths(data, [n for n, _ in latin])
    symbol = sorted(read_symbol(data), key=lambda r: byte_order(r[0]))
    expert = read_mac_expert()
    if [n for n, _ in latin] != sorted((n for n, _ in latin), key=byte_order):
        fail("latin-charset.tsv is not in byte order of the glyph names")

    out = []
    out.append("// Encoding and metrics tables of the simple fonts, written by tools/gen_font_tables.py.")
    out.append("// Do not edit: change the data files and run the generator again.")
    out.append("")
    comment = ("The Latin character set: glyph name, its code in StandardEncoding, "
               "MacRomanEncoding, WinAnsiEncoding and PDFDocEncoding (-1: none), and its "
               "width in " + ", ".join(STANDARD_FONTS) + " (standard fonts 1 to 12). "
               "Sorted by name (byte order).")
    out.extend("// " + line for line in textwrap.wrap(comment, 77, break_on_hyphens=False))
    out.append("constexpr TLatinGlyph LatinGlyphs[%d] = {" % len(latin))
    for name, codes in latin:
        out.append('    {"%s", {%s}, {%s}},' % (name, ", ".join(str(c) for c in codes),
                                               ", ".join(str(w) for w in widths[name])))
    out.append("};")
    out.append("")
    out.append("// The Symbol font's glyphs and widths (its space glyph is A0space), sorted by")
    out.append("// name (byte order).")
    out.append("constexpr TNamedValue SymbolWidths[%d] = {" % len(symbol))
    for name, width in symbol:
        out.append('    {"%s", %d},' % (name, width))
    out.append("};")
    out.append("")
    for font, table in (("Symbol", "SymbolEncoding"), ("ZapfDingbats", "DingbatsEncoding")):
        rows = read_builtin(data, font)
        out.append("// The %s font's built-in encoding: glyph name, code and the Unicode" % font)
        out.append("// character it shows, sorted by name (byte order).")
        out.append("constexpr TBuiltInGlyph %s[%d] = {" % (table, len(rows)))
        for code, name, char in rows:
            out.append('    {"%s", %d, 0x%04X},' % (name, code, char))
        out.append("};")
        out.append("")
    out.append("// The MacExpertEncoding codes the engine knows.")
    out.append("constexpr TNamedValue MacExpertCodes[%d] = {" % len(expert))
    for name, code in expert:
        out.append('    {"%s", %d},' % (name, code))
    out.append("};")
    return "\n".join(out) + "\n"


def read_lines(path, expected):
    with open(path, encoding="ascii") as f:
        lines = [line.rstrip("\r\n") for line in f if line.strip()]
    if len(lines) != expected:
        fail("%s: %d names, expected %d" % (path, len(lines), expected))
    for line in lines:
        if not re.fullmatch(r"[!-~]+", line) or '"' in line or "\\" in line:
            fail("%s: unexpected name %r" % (path, line))
    return lines


def string_table(out, declaration, names):
    out.append("constexpr const char* %s = {" % declaration)
    row = "   "
    for name in names:
        item = ' "%s",' % name
        if len(row) + len(item) > 100:
            out.append(row)
            row = "   "
        row += item
    out.append(row)
    out.append("};")


def generate_program_tables(data):
    strings = read_lines(os.path.join(data, "cff-standard-strings.txt"), CFF_STRINGS)
    rows = read_tsv(os.path.join(data, "cff-standard-encoding.tsv"), 3)
    if len(rows) != CFF_ENCODED_CODES:
        fail("cff-standard-encoding.tsv: %d codes, expected %d" % (len(rows), CFF_ENCODED_CODES))
    sids = [0] * 256
    for code, sid, name in rows:
        code, sid = int(code), int(sid)
        if not 0 <= code <= 255 or not 0 < sid < CFF_STRINGS or strings[sid] != name or sids[code]:
            fail("cff-standard-encoding.tsv: bad row %d %d %s" % (code, sid, name))
        sids[code] = sid
    mac = read_lines(os.path.join(data, "mac-glyph-names.txt"), MAC_NAMES)

    out = []
    out.append("// Name tables of the font program readers, written by tools/gen_font_tables.py.")
    out.append("// Do not edit: change the data files and run the generator again.")
    out.append("")
    out.append("// The standard strings of CFF programs, by SID (0 to 390).")
    string_table(out, "CffStandardStrings[%d]" % CFF_STRINGS, strings)
    out.append("")
    out.append("// The SID that the CFF Standard Encoding gives each code (0: .notdef).")
    out.append("constexpr uint16_t CffStandardEncoding[256] = {")
    for start in range(0, 256, 16):
        out.append("    " + " ".join("%d," % v for v in sids[start:start + 16]))
    out.append("};")
    out.append("")
    out.append("// The standard Macintosh glyph names of TrueType post tables, by index.")
    string_table(out, "MacGlyphNames[%d]" % MAC_NAMES, mac)
    return "\n".join(out) + "\n"


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_DATA
    target = sys.argv[2] if len(sys.argv) > 2 else DEFAULT_OUT
    program_target = sys.argv[3] if len(sys.argv) > 3 else DEFAULT_PROGRAM_OUT
    for path, text in ((target, generate(data)), (program_target, generate_program_tables(data))):
        with open(path, "w", encoding="ascii", newline="\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
