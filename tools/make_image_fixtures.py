#!/usr/bin/python3
"""Writes the fixtures of the image decoders and of OCR (tests/fixtures/images/):

- pattern.gray: a 96 x 40 black-and-white test bitmap (8-bit gray samples,
  rows top first), and the same bitmap coded by each image codec:
  pattern-g4.fax (CCITT group 4), pattern-g3.fax (group 3, one-dimensional,
  with EOLs), pattern.jbig2 (a JBIG2 embedded stream written here by hand:
  page information, an immediate lossless generic region coded with MMR,
  end of page), pattern-gray.jpg, pattern-rgb.jpg, pattern-cmyk.jpg (PIL
  writes CMYK JPEGs in Adobe's inverted form), pattern.jp2 and pattern.j2k
  (lossless JPEG 2000), pattern-index4.j2k (the bitmap as 4-bit palette
  indices, 1 for black and 2 for white);
- the same bitmap as byte-aligned fax rows, coded here: pattern-g4-aligned.fax
  (group 4), pattern-g3-aligned.fax (modified Huffman rows without EOLs),
  pattern-g3-aligned-eol.fax (with EOLs), pattern-g32d-aligned.fax (K 2,
  with EOLs) and pattern-g32d-aligned-noeol.fax (K 2, without);
- the same bitmap as group 3 rows without EOLs, not aligned (which TIFF
  cannot hold): pattern-g3-noeol.fax (modified Huffman) and
  pattern-g32d-noeol.fax (K 2);
- runs-g4.fax and runs-g32d.fax (K 3, with EOLs), unaligned: a bitmap with
  runs that take every code of the fax tables (runs()), for comparing
  decoders;
- scanned-*.pdf: one A4 page whose only content is an image of printed
  English text at 300 dpi, coded with CCITT group 4, DCT, Flate (with a PNG
  predictor), JBIG2 and as an inline image, turned (scanned-turned.pdf) and
  stored upside down (scanned-flipped.pdf); scanned-chinese.pdf with Chinese
  text; scanned-with-text.pdf and scanned-inline-with-text.pdf with text
  of their own as well.

Needs Debian's python3-pil, fonts-liberation2 and fonts-wqy-microhei. PIL's
codecs are libtiff, libjpeg-turbo and OpenJPEG, so the files are the same on
every run of one Debian release."""
import io
import os
import struct
import zlib

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "fixtures", "images")
SANS = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"
CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

ENGLISH = [
    "Service Agreement",
    "This contract is made between the",
    "Supplier and the Customer named below.",
    "Invoice number 4711 is due in thirty days.",
]
CHINESE = ["合同编号与付款条款", "本合同自签字之日起生效"]


def pattern():
    img = Image.new("L", (96, 40), 255)
    d = ImageDraw.Draw(img)
    d.rectangle([4, 4, 27, 35], fill=0)
    d.rectangle([34, 8, 91, 11], fill=0)
    for x in range(34, 92, 6):
        d.rectangle([x, 16, x + 2, 35], fill=0)
    d.line([0, 39, 95, 0], fill=0)
    return img.point(lambda v: 0 if v < 128 else 255)


def runs():
    """A 2700 x 165 bitmap with runs of every terminating and makeup code of
    both colours: rows of runs of 1 to 63 pixels and of 64 x j + (13 x j mod
    64), a white and a black row (the longest runs), each row followed by
    two drawn from it, one by moving its edges up to three pixels, one by
    dropping a run as well (every mode of the two-dimensional code)."""
    import random
    rnd = random.Random(7)
    w, h = 2700, 165
    wanted = list(range(1, 64)) + [64 * j + 13 * j % 64 for j in range(1, 41)]
    queue = {0: list(wanted), 1: list(reversed(wanted))}
    packed = [[], [0]]  # the edges of each row (white first): all white, all black
    while queue[0] or queue[1]:
        edges, x, colour = [], 0, 0
        # A run of 5 stands for the colour whose lengths are all placed.
        while x + (queue[colour] or [5])[0] < w:
            x += queue[colour].pop(0) if queue[colour] else 5
            edges.append(x)
            colour = 1 - colour
        packed.append(edges)
    rows = []
    for edges in packed:
        moved = sorted({min(w - 1, max(1, e + rnd.randint(-3, 3))) for e in edges})
        dropped = moved[:len(moved) // 2] + moved[len(moved) // 2 + 2:]
        rows += [edges, moved, dropped]
    if len(rows) != h:
        raise SystemExit("runs(): %d rows" % len(rows))
    img = Image.new("L", (w, h), 255)
    d = ImageDraw.Draw(img)
    for y, edges in enumerate(rows):
        # Black from each odd edge to the next even one.
        bounds = [0] + edges + [w]
        for i in range(1, len(bounds) - 1, 2):
            d.rectangle([bounds[i], y, bounds[i + 1] - 1, y], fill=0)
    return img


def tiff_strip(img, compression):
    # PIL writes 1-bit TIFF files as BlackIsZero, and libtiff's fax coder
    # takes 1 bits for black: the bitmap goes in inverted.
    buf = io.BytesIO()
    img.convert("L").point(lambda v: 255 - v).convert("1").save(
        buf, "TIFF", compression=compression, strip_size=1 << 30)
    buf.seek(0)
    t = Image.open(buf)
    (offset,), (count,) = t.tag_v2[273], t.tag_v2[279]  # one strip: the whole image
    return buf.getvalue()[offset:offset + count]


def jbig2(img):
    """A JBIG2 embedded stream: the bitmap as one generic region, MMR-coded
    (the same code as CCITT group 4, 1 marking black)."""
    mmr = tiff_strip(img, "group4")
    w, h = img.size

    def segment(number, kind, data):
        return struct.pack(">IBBBI", number, kind, 0, 1, len(data)) + data

    page = struct.pack(">IIIIBH", w, h, 0, 0, 0, 0)
    region = struct.pack(">IIIIB", w, h, 0, 0, 0) + bytes([1]) + mmr
    return segment(0, 48, page) + segment(1, 39, region) + segment(2, 49, b"")


def jpeg(img, mode):
    buf = io.BytesIO()
    img.convert(mode).save(buf, "JPEG", quality=95)
    return buf.getvalue()


def jpeg2000(img, kind):
    buf = io.BytesIO()
    img.convert("RGB").save(buf, "JPEG2000", irreversible=False, no_jp2=(kind == "j2k"))
    return buf.getvalue()


def jpeg2000_index4(img):
    """A one-component 4-bit codestream of the indices 1 (black) and 2
    (white). PIL writes 8-bit samples only: it codes 121 and 122, losslessly,
    and the SIZ marker is then made to say 4 bits. The samples' level shift
    goes from 128 to 8 with it, so the decoder gives 1 and 2."""
    buf = io.BytesIO()
    img.convert("L").point(lambda v: 122 if v else 121).save(buf, "JPEG2000", irreversible=False, no_jp2=True)
    data = bytearray(buf.getvalue())
    siz = data.index(b"\xff\x51")
    assert data[siz + 40] == 7  # Ssiz of the one component: 8 bits, unsigned
    data[siz + 40] = 3
    return bytes(data)


def text_page(lines, font_path, size, dpi=300):
    """An A4 page at dpi with lines of text near its top."""
    w, h = int(8.27 * dpi), int(11.69 * dpi)
    img = Image.new("L", (w, h), 255)
    d = ImageDraw.Draw(img)
    font = ImageFont.truetype(font_path, size)
    y = int(1.0 * dpi)
    for line in lines:
        d.text((int(0.9 * dpi), y), line, font=font, fill=0)
        y += int(size * 1.6)
    return img


def pdf(image_dict, image_data, w_pt=595.0, h_pt=842.0, inline=None, extra_content=b"", strips=None, cm=None,
        first_content=b""):
    """A one-page PDF whose content draws image /Im1 over the whole page
    (or the inline image Inline, a BI ... EI block; or Strips, a list of
    (dictionary, data, y, height) drawn as /S0, /S1, ... across the page),
    between First_content and Extra_content; Cm, when given, is the matrix
    that draws /Im1 instead of the page's size."""
    objs = []
    objs.append(b"<< /Type /Catalog /Pages 2 0 R >>")
    objs.append(b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    xobjects = b""
    if image_dict:
        xobjects = b"/Im1 5 0 R "
    for i, _ in enumerate(strips or []):
        xobjects += b"/S%d %d 0 R " % (i, 7 + i)
    res = b"<< /Font << /F1 6 0 R >> " + (b"/XObject << " + xobjects + b">> " if xobjects else b"") + b">>"
    objs.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /Resources " % (w_pt, h_pt) + res +
                b" /Contents 4 0 R >>")
    if inline is not None:
        content = first_content + b"q %.2f 0 0 %.2f 0 0 cm\n" % (w_pt, h_pt) + inline + b"\nQ\n" + extra_content
    elif strips:
        content = first_content + b"".join(b"q %.2f 0 0 %.4f 0 %.4f cm /S%d Do Q\n" % (w_pt, hgt, y, i)
                           for i, (_, _, y, hgt) in enumerate(strips)) + extra_content
    else:
        content = first_content + (b"q " + (cm or b"%.2f 0 0 %.2f 0 0" % (w_pt, h_pt)) + b" cm /Im1 Do Q\n") + extra_content
    objs.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    if image_dict:
        objs.append(image_dict + b"\nstream\n" + image_data + b"\nendstream")
    else:
        objs.append(b"null")
    objs.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    for d, data, _, _ in strips or []:
        objs.append(d + b"\nstream\n" + data + b"\nendstream")
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, o in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + o + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for o in offsets:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    return bytes(out)


def png_predicted(img):
    """Gray rows each behind a PNG Up filter byte, then deflated."""
    w, h = img.size
    raw = img.tobytes()
    rows = bytearray()
    prev = bytes(w)
    for y in range(h):
        row = raw[y * w:(y + 1) * w]
        rows.append(2)
        rows += bytes((row[i] - prev[i]) & 0xFF for i in range(w))
        prev = row
    return zlib.compress(bytes(rows), 9)


# ---------------------------------------------------------------- CCITT fax coder
# Written here so that the rows can be byte-aligned, which libtiff's coder
# does not do for group 4; its unaligned output is checked against libtiff's
# reading (check_fax).

WHITE_CODES = [
    "00110101", "000111", "0111", "1000", "1011", "1100", "1110", "1111", "10011", "10100", "00111", "01000",
    "001000", "000011", "110100", "110101", "101010", "101011", "0100111", "0001100", "0001000", "0010111",
    "0000011", "0000100", "0101000", "0101011", "0010011", "0100100", "0011000", "00000010", "00000011",
    "00011010", "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010", "00001011",
    "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000", "01011001", "01011010",
    "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"]
WHITE_MAKEUP = [  # 64, 128, ... 1728
    "11011", "10010", "010111", "0110111", "00110110", "00110111", "01100100", "01100101", "01101000",
    "01100111", "011001100", "011001101", "011010010", "011010011", "011010100", "011010101", "011010110",
    "011010111", "011011000", "011011001", "011011010", "011011011", "010011000", "010011001", "010011010",
    "011000", "010011011"]
BLACK_CODES = [
    "0000110111", "010", "11", "10", "011", "0011", "0010", "00011", "000101", "000100", "0000100", "0000101",
    "0000111", "00000100", "00000111", "000011000", "0000010111", "0000011000", "0000001000", "00001100111",
    "00001101000", "00001101100", "00000110111", "00000101000", "00000010111", "00000011000", "000011001010",
    "000011001011", "000011001100", "000011001101", "000001101000", "000001101001", "000001101010",
    "000001101011", "000011010010", "000011010011", "000011010100", "000011010101", "000011010110",
    "000011010111", "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101", "000001010010",
    "000001010011", "000000100100", "000000110111", "000000111000", "000000100111", "000000101000",
    "000001011000", "000001011001", "000000101011", "000000101100", "000001011010", "000001100110",
    "000001100111"]
BLACK_MAKEUP = [
    "0000001111", "000011001000", "000011001001", "000001011011", "000000110011", "000000110100",
    "000000110101", "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101"]
LONG_MAKEUP = [  # 1792, 1856, ... 2560, both colours
    "00000001000", "00000001100", "00000001101", "000000010010", "000000010011", "000000010100",
    "000000010101", "000000010110", "000000010111", "000000011100", "000000011101", "000000011110",
    "000000011111"]
EOL = "000000000001"
PASS, HORIZONTAL = "0001", "001"
VERTICAL = {0: "1", 1: "011", 2: "000011", 3: "0000011", -1: "010", -2: "000010", -3: "0000010"}


def run_code(n, black):
    """A run of n pixels: makeup codes, then a terminating code."""
    out = ""
    while n > 2560 + 63:
        out += LONG_MAKEUP[-1]
        n -= 2560
    if n >= 64:
        m = n // 64 * 64
        out += LONG_MAKEUP[m // 64 - 28] if m >= 1792 else (BLACK_MAKEUP if black else WHITE_MAKEUP)[m // 64 - 1]
        n -= m
    return out + (BLACK_CODES if black else WHITE_CODES)[n]


def fax_rows(img):
    """The bitmap as rows of 0 (white) and 1 (black)."""
    w, h = img.size
    px = img.convert("L").tobytes()
    return [[1 if px[y * w + x] < 128 else 0 for x in range(w)] for y in range(h)]


def code_1d(row):
    """Row as runs, white first (of no pixels, when the row starts black)."""
    out, x, colour = "", 0, 0
    while x < len(row):
        end = x
        while end < len(row) and row[end] == colour:
            end += 1
        out += run_code(end - x, colour)
        x, colour = end, 1 - colour
    return out


def code_2d(row, ref):
    """Row coded against the row above it (pass, vertical and horizontal modes)."""
    w = len(row)

    def change_to(line, start, colour):
        # The first column from start whose pixel is colour and whose left
        # neighbour (white before the first column) is not.
        for x in range(max(start, 0), w):
            if line[x] == colour and (line[x - 1] if x else 0) != colour:
                return x
        return w

    out, a0, colour = "", -1, 0
    while a0 < w:
        a1 = change_to(row, a0 + 1, 1 - colour)
        b1 = change_to(ref, a0 + 1, 1 - colour)
        b2 = change_to(ref, b1 + 1, colour)
        if b2 < a1:
            out += PASS
            a0 = b2
        elif abs(a1 - b1) <= 3:
            out += VERTICAL[a1 - b1]
            a0, colour = a1, 1 - colour
        else:
            a2 = change_to(row, a1 + 1, colour)
            out += HORIZONTAL + run_code(a1 - max(a0, 0), colour) + run_code(a2 - a1, 1 - colour)
            a0 = a2
    return out


def pack_bits(bits):
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def fax(img, k, align=False, eol=False):
    """img coded as CCITTFaxDecode reads it with /K k, /EncodedByteAlign
    align and /EndOfLine eol: group 4 (k < 0) ends with an EOFB; rows
    after EOLs end with an RTC. Aligned rows begin on a byte boundary, or
    with EOLs, zero fill makes each EOL end on one."""
    rows = fax_rows(img)
    bits, ref = "", [0] * img.size[0]
    for y, row in enumerate(rows):
        if eol:
            if align:
                bits += "0" * (-(len(bits) + len(EOL)) % 8)
            bits += EOL
        elif align:
            bits += "0" * (-len(bits) % 8)
        if k < 0:
            bits += code_2d(row, ref)
        elif k == 0:
            bits += code_1d(row)
        else:
            one_d = y % k == 0
            bits += ("1" + code_1d(row)) if one_d else ("0" + code_2d(row, ref))
        ref = row
    if k < 0:
        if align:
            bits += "0" * (-len(bits) % 8)
        bits += EOL + EOL
    elif eol:
        bits += (EOL + ("1" if k > 0 else "")) * 6
    return pack_bits(bits)


def check_fax(img, data, compression, t4options=0):
    """That libtiff (through PIL) reads data, one strip of a TIFF file, as img."""
    w, h = img.size
    tags = [(256, 4, w), (257, 4, h), (258, 3, 1), (259, 3, compression), (262, 3, 0), (266, 3, 1),
            (273, 4, 0), (277, 3, 1), (278, 4, h), (279, 4, len(data))]
    if compression == 3:
        tags.append((292, 4, t4options))
    start = 8 + 2 + 12 * len(tags) + 4
    ifd = struct.pack("<H", len(tags)) + b"".join(
        struct.pack("<HHI", t, kind, 1) + (struct.pack("<I", start if t == 273 else v) if kind == 4
                                           else struct.pack("<HH", v, 0)) for t, kind, v in tags) + struct.pack("<I", 0)
    read = Image.open(io.BytesIO(b"II*\0" + struct.pack("<I", 8) + ifd + data))
    # WhiteIsZero: 1 bits (black) read as 0.
    if read.convert("L").tobytes() != img.convert("L").tobytes():
        raise SystemExit("the fax coder disagrees with libtiff (compression %d)" % compression)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    p = pattern()
    write("pattern.gray", p.tobytes())
    write("pattern-g4.fax", tiff_strip(p, "group4"))
    write("pattern-g3.fax", tiff_strip(p, "group3"))
    write("pattern.jbig2", jbig2(p))
    # The fax coder writes group 4 as libtiff does, and libtiff reads the
    # other forms it knows (fill bits before EOLs: option 4; TIFF's
    # compression 2 is modified Huffman rows without EOLs).
    r = runs()
    if fax(p, -1) != tiff_strip(p, "group4") or fax(r, -1) != tiff_strip(r, "group4"):
        raise SystemExit("the fax coder's group 4 differs from libtiff's")
    for img in (p, r):
        check_fax(img, fax(img, 0, eol=True), 3, 0)
        check_fax(img, fax(img, 3, eol=True), 3, 1)
        check_fax(img, fax(img, 0, align=True), 2)
        check_fax(img, fax(img, 0, align=True, eol=True), 3, 4)
        check_fax(img, fax(img, 2, align=True, eol=True), 3, 5)
    write("pattern-g4-aligned.fax", fax(p, -1, align=True))
    write("pattern-g3-aligned.fax", fax(p, 0, align=True))
    write("pattern-g3-aligned-eol.fax", fax(p, 0, align=True, eol=True))
    write("pattern-g32d-aligned.fax", fax(p, 2, align=True, eol=True))
    write("pattern-g32d-aligned-noeol.fax", fax(p, 2, align=True))
    write("pattern-g3-noeol.fax", fax(p, 0))
    write("pattern-g32d-noeol.fax", fax(p, 2))
    write("runs-g4.fax", fax(r, -1))
    write("runs-g32d.fax", fax(r, 3, eol=True))
    write("pattern-gray.jpg", jpeg(p, "L"))
    write("pattern-rgb.jpg", jpeg(p, "RGB"))
    write("pattern-cmyk.jpg", jpeg(p, "CMYK"))
    write("pattern.jp2", jpeg2000(p, "jp2"))
    write("pattern.j2k", jpeg2000(p, "j2k"))
    write("pattern-index4.j2k", jpeg2000_index4(p))

    page = text_page(ENGLISH, SANS, 50)
    w, h = page.size
    bw = page.point(lambda v: 0 if v < 160 else 255).convert("1")
    g4 = tiff_strip(bw, "group4")
    write("scanned-g4.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                b"/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d "
                                b"/Rows %d >> /Length %d >>" % (w, h, w, h, len(g4)), g4))
    jpg = jpeg(page, "L")
    write("scanned-dct.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                 b"/BitsPerComponent 8 /Filter /DCTDecode /Length %d >>" % (w, h, len(jpg)), jpg))
    fl = png_predicted(page)
    write("scanned-flate.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                   b"/BitsPerComponent 8 /Filter /FlateDecode /DecodeParms << /Predictor 12 "
                                   b"/Colors 1 /Columns %d >> /Length %d >>" % (w, h, w, len(fl)), fl))
    jb = jbig2(bw)
    write("scanned-jbig2.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                   b"/BitsPerComponent 1 /Filter /JBIG2Decode /Length %d >>" % (w, h, len(jb)), jb))
    # A half-resolution (150 dpi) inline image, ASCII85 over Flate, in
    # abbreviated keys and names.
    half = page.resize((w // 2, h // 2), Image.LANCZOS).point(lambda v: 0 if v < 160 else 255).convert("1")
    import base64
    a85 = base64.a85encode(zlib.compress(half.tobytes(), 9)) + b"~>"
    inline = (b"BI /W %d /H %d /CS /G /BPC 1 /F [/A85 /Fl] ID\n" % half.size) + a85 + b"\nEI"
    write("scanned-inline.pdf", pdf(None, None, inline=inline))
    write("scanned-inline-with-text.pdf", pdf(None, None, inline=inline,
                                              first_content=b"BT /F1 10 Tf 72 800 Td (Page header drawn as text) Tj ET\n",
                                              extra_content=b"BT /F1 10 Tf 72 40 Td (Page footer drawn as text) Tj ET\n"))
    write("scanned-with-text.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace "
                                       b"/DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 "
                                       b"/Columns %d /Rows %d >> /Length %d >>" % (w, h, w, h, len(g4)), g4,
                                       extra_content=b"BT /F1 10 Tf 72 40 Td (Page footer drawn as text) Tj ET\n"))

    # Strips of 24 rows, the top one first, each an image of its own.
    rows = 24
    parts = []
    for top in range(0, h, rows):
        band = page.crop((0, top, w, min(h, top + rows)))
        data = zlib.compress(band.tobytes(), 9)
        bh = band.size[1]
        parts.append((b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                      b"/BitsPerComponent 8 /Filter /FlateDecode /Length %d >>" % (w, bh, len(data)), data,
                      842.0 * (h - top - bh) / h, 842.0 * bh / h))
    write("scanned-strips.pdf", pdf(None, None, strips=parts))

    # Stored sideways (turned a quarter counterclockwise: the lines run up
    # the picture) and drawn upright by its matrix.
    turned = bw.rotate(90, expand=True)
    tg4 = tiff_strip(turned, "group4")
    write("scanned-turned.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                    b"/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d "
                                    b"/Rows %d >> /Length %d >>" % (h, w, h, w, len(tg4)), tg4,
                                    cm=b"0 -842 595 0 0 842"))

    # Stored bottom row first and drawn upside down by its matrix, as
    # pictures written from bottom-up bitmaps are: upright on the page.
    flipped = bw.transpose(Image.FLIP_TOP_BOTTOM)
    fg4 = tiff_strip(flipped, "group4")
    write("scanned-flipped.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                     b"/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d "
                                     b"/Rows %d >> /Length %d >>" % (w, h, w, h, len(fg4)), fg4,
                                     cm=b"595 0 0 -842 0 842"))

    zh = text_page(CHINESE, CJK, 60).point(lambda v: 0 if v < 160 else 255).convert("1")
    zg4 = tiff_strip(zh, "group4")
    write("scanned-chinese.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                     b"/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d "
                                     b"/Rows %d >> /Length %d >>" % (w, h, w, h, len(zg4)), zg4))


if __name__ == "__main__":
    main()
