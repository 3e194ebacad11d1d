"""Fixtures of the Python tests: the built module, the console program and
PDF files written at test time with reportlab.

ctest sets PYTHONPATH (the built module), TEXTEXTRACTOR (the console
program), VORLITH_SOURCE_DIR and VORLITH_BUILD_DIR."""
import os
import subprocess
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ.get("VORLITH_SOURCE_DIR", Path(__file__).resolve().parents[2]))
ENCRYPTED = SOURCE_DIR / "tests" / "fixtures" / "encrypted"
LIBERATION = Path("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf")


def _env(name):
    value = os.environ.get(name)
    if not value:
        pytest.fail(f"{name} is not set; run the Python tests through ctest (./test.sh)")
    return value


@pytest.fixture(scope="session")
def textextractor():
    return _env("TEXTEXTRACTOR")


@pytest.fixture(scope="session")
def build_dir():
    return Path(_env("VORLITH_BUILD_DIR"))


class Console:
    """The console program with settings of its own and a fixed locale."""

    def __init__(self, program, home):
        self.program = program
        self.env = dict(os.environ, XDG_CONFIG_HOME=str(home), LC_ALL="C.UTF-8")
        self.env.pop("LANGUAGE", None)

    def run(self, *args, check=True):
        result = subprocess.run([self.program, *map(str, args)], env=self.env, capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=300)
        if check and result.returncode != 0:
            raise AssertionError(f"textextractor {args} exited {result.returncode}: {result.stderr!r}")
        return result

    def extract(self, path, layout="reflow", header="", footer="", password=None, extra=()):
        """The bytes the console program writes in UTF-8 for every page."""
        args = ["-q", "--encoding", "UTF-8", "--layout", layout, "--header", header, "--footer", footer,
                "--all-pages", "--every-page", *extra]
        if password is not None:
            args += ["--password", password]
        return self.run(*args, path, "-").stdout


@pytest.fixture(scope="session")
def console(textextractor, tmp_path_factory):
    return Console(textextractor, tmp_path_factory.mktemp("config"))


def joined(items):
    """The items as the console program writes them (each ends in CR LF)."""
    return "".join(item + "\r\n" for item in items).encode("utf-8", "surrogateescape")


def _write_columns(path):
    """Five pages: a title over two columns, a caption, text at baselines a
    little apart, commas and quotes, Latin-1 and WinAnsi characters, and an
    empty page."""
    from reportlab.lib.pagesizes import letter
    from reportlab.pdfgen import canvas

    c = canvas.Canvas(str(path), pagesize=letter, invariant=1, pageCompression=1)
    for page in range(1, 6):
        if page == 4:
            c.showPage()  # no text at all
            continue
        c.setFont("Helvetica-Bold", 16)
        c.drawString(72, 740, f"Report {page}: \u201cquoted\u201d, with commas")
        c.setFont("Times-Roman", 10)
        for column, x in enumerate((72, 320)):
            for line in range(12):
                c.drawString(x, 700 - 14 * line, f"col {column + 1} line {line + 1} caf\u00e9 \u20ac{line}.5 \u00c4\u00d6\u00dc\u00df")
        c.drawString(72, 500, "left piece")
        c.drawString(200, 501.5, "right piece, a little higher")
        c.setFont("Courier", 9)
        c.drawString(100, 480, 'a "quote", a \\ backslash and a, comma')
        c.showPage()
    c.save()


def _write_unicode(path):
    """Two pages in an embedded TrueType font (text through its ToUnicode
    map): Cyrillic, Greek and Latin."""
    from reportlab.lib.pagesizes import A4
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen import canvas

    pdfmetrics.registerFont(TTFont("Liberation", str(LIBERATION)))
    c = canvas.Canvas(str(path), pagesize=A4, invariant=1)
    texts = [["\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440", "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"],
             ["Stra\u00dfe \u0141\u00f3d\u017a \u0160koda", "\u00bd \u2013 \u2014 \u2026 \u2122"]]
    for lines in texts:
        c.setFont("Liberation", 14)
        for i, text in enumerate(lines):
            c.drawString(60, 760 - 30 * i, text)
        c.showPage()
    c.save()


def _write_long(path, pages=60):
    """Many pages of dense text, for the timing and thread tests."""
    from reportlab.lib.pagesizes import letter
    from reportlab.pdfgen import canvas

    c = canvas.Canvas(str(path), pagesize=letter, invariant=1, pageCompression=1)
    for page in range(1, pages + 1):
        c.setFont("Helvetica", 8)
        for line in range(70):
            c.drawString(40, 760 - 10 * line, f"page {page} line {line} " + "lorem ipsum dolor sit amet " * 3)
        c.showPage()
    c.save()


@pytest.fixture(scope="session")
def pdfs(tmp_path_factory):
    """name -> path of the fixture files (written once per session)."""
    folder = tmp_path_factory.mktemp("pdfs")
    files = {
        "columns": folder / "columns.pdf",
        "unicode": folder / "unicode.pdf",
        "long": folder / "long.pdf",
    }
    _write_columns(files["columns"])
    _write_unicode(files["unicode"])
    _write_long(files["long"])
    files["sample"] = SOURCE_DIR / "examples" / "sample.pdf"
    return files


def unknown_encryption_pdf(path):
    """Writes a one-page file protected by a security handler other than the
    standard one (which the engine reports as unknown) to path."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
               b"<< /Filter /OtherHandler /V 2 /R 3 /Length 128 >>"]
    file_id = b"<00112233445566778899aabbccddeeff>"
    path.write_bytes(raw_pdf(objects, b"/Encrypt 4 0 R /ID [%s %s] " % (file_id, file_id)))
    return path


def raw_pdf(objects, trailer=b""):
    """A PDF file of the given object bodies (object 1 is the catalog),
    numbered from 1, with its cross-reference table; TRAILER goes into the
    trailer dictionary."""
    out, offsets = b"%PDF-1.4\n", []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    return out + b"trailer\n<< /Size %d /Root 1 0 R %s>>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, trailer, xref)
