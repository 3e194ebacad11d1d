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
- scanned-*.pdf: one A4 page whose only content is an image of printed
  English text at 300 dpi, coded with CCITT group 4, DCT, Flate (with a PNG
  predictor), JBIG2 and as an inline image; scanned-chinese.pdf with Chinese
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

    zh = text_page(CHINESE, CJK, 60).point(lambda v: 0 if v < 160 else 255).convert("1")
    zg4 = tiff_strip(zh, "group4")
    write("scanned-chinese.pdf", pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                                     b"/BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d "
                                     b"/Rows %d >> /Length %d >>" % (w, h, w, h, len(zg4)), zg4))


if __name__ == "__main__":
    main()
