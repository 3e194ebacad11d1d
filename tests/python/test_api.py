"""The module's API against the console program's output."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
import vorlith

from conftest import ENCRYPTED, joined, raw_pdf, unknown_encryption_pdf

LAYOUTS = ["content", "reflow", "positioned", "reading"]
FRAMES = [("", ""), ("Page &p of &a - &n", "-- &P / &A --"), ("only a header: &f", ""),
          ("", "Seite &p \u2013 \u00dcbersicht \u4e2d\u6587 &&p")]


# ---------------------------------------------------------------- equality

@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("name", ["sample", "columns", "unicode"])
def test_every_layout_gives_the_console_text(console, pdfs, name, layout):
    path = str(pdfs[name])
    for header, footer in FRAMES:
        items = vorlith.extract(path, layout=layout, header=header, footer=footer)
        assert joined(items) == console.extract(path, layout, header, footer), (header, footer)
    assert len(items) == vorlith.info(path)["pages"]


@pytest.mark.parametrize("name, password", [
    ("rc4-40.pdf", "user"),
    ("rc4-128.pdf", "owner"),
    ("rc4-128-objstm.pdf", "user"),
    ("rc4-128-long-password.pdf", "0123456789abcdefghijklmnopqrstuvWXYZWXYZ"),
    ("rc4-40-empty-user.pdf", None),
    ("rc4-40-empty-user.pdf", "a password not needed"),
])
def test_encrypted_files_give_the_console_text(console, name, password):
    path = str(ENCRYPTED / name)
    for layout in ("content", "reflow"):
        items = vorlith.extract(path, layout=layout, password=password, footer="[&p]")
        assert joined(items) == console.extract(path, layout, "", "[&p]", password=password)
        assert "sample" in items[0]


def test_text_is_utf8_and_non_ascii_survives(pdfs):
    reflow = vorlith.extract(str(pdfs["unicode"]))
    assert "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440" in reflow[0]
    assert "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1" in reflow[0]
    columns = vorlith.extract(str(pdfs["columns"]), layout="content")
    assert "caf\u00e9 \u20ac0.5 \u00c4\u00d6\u00dc\u00df" in columns[0]


def test_framing_and_macros(pdfs):
    path = str(pdfs["sample"])
    plain = vorlith.extract(path)
    framed = vorlith.extract(path, header="H &p/&a &n", footer="F &P")
    for page, (text, item) in enumerate(zip(plain, framed), start=1):
        assert item == f"H {page}/3 sample.pdf\n\r{text}\n\rF {page}"
    # No LF CR without a header or footer; an empty page still gets its frame.
    assert not plain[0].startswith("\n\r") and not plain[0].endswith("\n\r")
    empty = vorlith.extract(str(pdfs["columns"]), pages=[4], header="&p", footer="&a")
    assert empty == ["4\n\r\n\r5"]
    assert vorlith.extract(path, pages=[1], header="&f")[0].startswith(path + "\n\r")


# ---------------------------------------------------------------- pages

def test_page_selection(console, pdfs):
    path = str(pdfs["columns"])
    every = vorlith.extract(path, layout="positioned", header="&p")
    cases = [
        (None, every),
        ([], []),
        ([3, 1, 3], [every[2], every[0], every[2]]),
        (range(2, 6, 2), [every[1], every[3]]),
        ((p for p in (5, 4)), [every[4], every[3]]),
    ]
    for pages, expected in cases:
        assert vorlith.extract(path, layout="positioned", header="&p", pages=pages) == expected, pages
    # The console program's odd pages and a range.
    odd = vorlith.extract(path, pages=range(1, 6, 2), header="&p")
    assert joined(odd) == console.extract(path, "reflow", "&p", "", extra=["--odd"])
    some = vorlith.extract(path, pages=[2, 3, 4], footer="&p")
    assert joined(some) == console.extract(path, "reflow", "", "&p", extra=["-f", "2", "-l", "4"])


@pytest.mark.parametrize("pages, error", [
    ([0], ValueError), ([6], ValueError), ([-1], ValueError), ([2 ** 70], ValueError),
    ([1, 7], ValueError), (["1"], TypeError), ([True], TypeError), ([1.0], TypeError), (5, TypeError),
])
def test_bad_pages_raise(pdfs, pages, error):
    with pytest.raises(error):
        vorlith.extract(str(pdfs["columns"]), pages=pages)


@pytest.mark.parametrize("layout", ["", "Reflow", "text", "0", "reading "])
def test_unknown_layout_raises(pdfs, layout):
    with pytest.raises(ValueError, match="layout"):
        vorlith.extract(str(pdfs["sample"]), layout=layout)


# ---------------------------------------------------------------- scanned pages

SCANNED = Path(__file__).resolve().parents[1] / "fixtures" / "images"


@pytest.mark.parametrize("layout", LAYOUTS)
def test_scanned_pages_give_their_words_as_the_console_does(console, layout):
    path = str(SCANNED / "scanned-g4.pdf")
    items = vorlith.extract(path, layout=layout)
    assert "Invoice number 4711 is due in thirty days." in items[0]
    assert joined(items) == console.extract(path, layout, "", "")
    assert vorlith.extract(path, layout=layout, ocr="never") == [""]


def test_ocr_settings():
    path = str(SCANNED / "scanned-with-text.pdf")
    assert "Invoice" not in vorlith.extract(path, layout="content")[0]
    always = vorlith.extract(path, layout="content", ocr="always", ocr_lang="eng")[0]
    assert always.index("Invoice number 4711") < always.index("Page footer drawn as text")
    # A language that is missing leaves the page as it is.
    assert vorlith.extract(str(SCANNED / "scanned-g4.pdf"), ocr_lang="xx_none") == [""]
    for bad in ["", "Auto", "sometimes"]:
        with pytest.raises(ValueError, match="ocr"):
            vorlith.extract(path, ocr=bad)


# ---------------------------------------------------------------- bytes and paths

def test_strided_views_are_read_in_their_order_and_nul_paths_refused(pdfs, tmp_path):
    data = pdfs["sample"].read_bytes()
    expected = vorlith.extract_bytes(data)
    # A reversed view of the reversed bytes, and every second byte of a
    # doubled copy, are the file itself: read in order, never past the end.
    reversed_twice = memoryview(data[::-1])[::-1]
    doubled = bytes(b for byte in data for b in (byte, 0))
    for view in (reversed_twice, memoryview(doubled)[::2]):
        assert vorlith.extract_bytes(view) == expected
    with pytest.raises(vorlith.NotOpenedError):
        vorlith.extract_bytes(memoryview(data)[::-1])  # the bytes backwards are no PDF
    # A path with a NUL byte is refused, not opened cut short at the NUL.
    for path in (str(pdfs["sample"]) + "\0.txt", os.fsencode(str(pdfs["sample"])) + b"\0x"):
        with pytest.raises(ValueError):
            vorlith.extract(path)
        with pytest.raises(ValueError):
            vorlith.info(path)


def test_bytes_and_path_kinds_give_the_same_text(pdfs, tmp_path):
    path = pdfs["columns"]
    data = path.read_bytes()
    expected = vorlith.extract(str(path), layout="reading", header="&p/&a")
    for source in (data, bytearray(data), memoryview(data)):
        assert vorlith.extract_bytes(source, layout="reading", header="&p/&a") == expected
    assert vorlith.extract(path, layout="reading", header="&p/&a") == expected  # os.PathLike
    assert vorlith.extract(os.fsencode(str(path)), layout="reading", header="&p/&a") == expected
    # &f and &n stand for the name given with the bytes, else for nothing.
    assert vorlith.extract_bytes(data, pages=[1], header="[&n]")[0].startswith("[]\n\r")
    assert vorlith.extract_bytes(data, pages=[1], header="[&n]", name="/x/y.pdf")[0].startswith("[y.pdf]\n\r")
    assert vorlith.info_bytes(data) == vorlith.info(str(path))
    # A file name that is not UTF-8 round-trips through the macros.
    odd_name = tmp_path / os.fsdecode(b"caf\xe9.pdf")
    shutil.copy(path, odd_name)
    item = vorlith.extract(odd_name, pages=[1], header="&n")[0]
    assert item.split("\n\r")[0].encode("utf-8", "surrogateescape") == b"caf\xe9.pdf"


# ---------------------------------------------------------------- info

def _console_info(console, path, password=None):
    """The console's --info; for a document it cannot open without the
    password (status 3) only the encryption lines, pages None."""
    args = ["--info", path] + (["--password", password] if password is not None else [])
    result = console.run(*args, check=False)
    assert result.returncode in (0, 3), result.stderr
    out = result.stdout.decode()
    if result.returncode == 3:
        encrypted = int(re.search(r"^Encrypted: (\d+)$", out, re.M).group(1))
        security = [int(v) for v in re.search(r"^Security:(.*)$", out, re.M).group(1).split()]
        return None, encrypted, security, []
    pages = int(re.search(r"^Pages: (\d+)$", out, re.M).group(1))
    encrypted = int(re.search(r"^Encrypted: (\d+)$", out, re.M).group(1))
    security = [int(v) for v in re.search(r"^Security:(.*)$", out, re.M).group(1).split()]
    sizes = [(w, h) for w, h in re.findall(r"^Page \d+: (\S+) x (\S+)$", out, re.M)]
    return pages, encrypted, security, sizes


@pytest.mark.parametrize("name, password", [
    ("sample", None), ("unicode", None), ("rc4-40.pdf", "user"), ("rc4-40.pdf", None),
    ("rc4-128.pdf", "owner"), ("rc4-128-no-permissions.pdf", "user"), ("rc4-40-empty-user.pdf", None),
    ("aes-128.pdf", None),
])
def test_info_gives_the_console_facts(console, pdfs, name, password):
    path = str(pdfs[name]) if name in pdfs else str(ENCRYPTED / name)
    info = vorlith.info(path, password=password)
    assert set(info) == {"pages", "encrypted", "security", "page_sizes"}
    pages, encrypted, security, sizes = _console_info(console, path, password)
    if pages is None:  # locked: the console says what it knows and no pages
        assert info["encrypted"] == encrypted and info["security"] == security
        assert security[1] == 3  # a password is needed
        return
    assert info["pages"] == pages == len(info["page_sizes"])
    assert info["encrypted"] == encrypted
    assert info["security"] == security and len(security) == 11
    assert [(f"{w:.2f}", f"{h:.2f}") for w, h in info["page_sizes"]] == sizes


def test_info_values(tmp_path):
    plain = vorlith.info(str(ENCRYPTED.parent.parent.parent / "examples" / "sample.pdf"))
    assert plain == {"pages": 3, "encrypted": 0, "security": [0, 2, 2, 4, 6, 6, 6, 6, 6, 6, 11],
                     "page_sizes": [(612.0, 792.0)] * 3}
    locked = vorlith.info(str(ENCRYPTED / "rc4-40.pdf"))
    assert locked["encrypted"] == 1 and locked["security"][1] == 3  # a password is needed
    assert vorlith.info(str(ENCRYPTED / "aes-128.pdf"))["encrypted"] == 1
    assert vorlith.info(str(unknown_encryption_pdf(tmp_path / "other.pdf")))["security"] == [9] * 11


# ---------------------------------------------------------------- errors

def test_error_classes():
    assert issubclass(vorlith.PDFError, Exception)
    for cls in (vorlith.NotOpenedError, vorlith.PasswordError, vorlith.UnknownEncryptionError):
        assert issubclass(cls, vorlith.PDFError)
    assert len({vorlith.NotOpenedError, vorlith.PasswordError, vorlith.UnknownEncryptionError}) == 3


def _error_cases(tmp_path):
    garbage = tmp_path / "garbage.pdf"
    garbage.write_bytes(b"%PDF-1.4\nthis is not a PDF file at all\n")
    empty = tmp_path / "empty.pdf"
    empty.write_bytes(b"")
    return [
        (tmp_path / "missing.pdf", None, vorlith.NotOpenedError),
        (tmp_path, None, vorlith.NotOpenedError),  # a folder
        (garbage, None, vorlith.NotOpenedError),
        (empty, None, vorlith.NotOpenedError),
        (ENCRYPTED / "rc4-40.pdf", None, vorlith.PasswordError),
        (ENCRYPTED / "rc4-40.pdf", "", vorlith.PasswordError),
        (ENCRYPTED / "rc4-40.pdf", "wrong", vorlith.PasswordError),
        (ENCRYPTED / "rc4-128.pdf", "User", vorlith.PasswordError),
        (ENCRYPTED / "aes-128.pdf", None, vorlith.PasswordError),
        (ENCRYPTED / "aes-128.pdf", "wrong", vorlith.PasswordError),
        (unknown_encryption_pdf(tmp_path / "other.pdf"), None, vorlith.UnknownEncryptionError),
        (tmp_path / "other.pdf", "user", vorlith.UnknownEncryptionError),
    ]


def test_errors_raise_their_class(tmp_path):
    for path, password, error in _error_cases(tmp_path):
        with pytest.raises(error) as caught:
            vorlith.extract(path, password=password)
        assert str(caught.value), path
        if os.path.isfile(path):
            with pytest.raises(error):
                vorlith.extract_bytes(path.read_bytes(), password=password)
    # info raises only when the document does not load or a password is wrong.
    with pytest.raises(vorlith.NotOpenedError):
        vorlith.info(tmp_path / "missing.pdf")
    with pytest.raises(vorlith.NotOpenedError):
        vorlith.info_bytes(b"")
    with pytest.raises(vorlith.PasswordError):
        vorlith.info(ENCRYPTED / "rc4-40.pdf", password="wrong")


def test_bad_arguments_raise_type_errors():
    for call in (lambda: vorlith.extract(None), lambda: vorlith.extract_bytes("text"),
                 lambda: vorlith.extract_bytes(None), lambda: vorlith.info(3)):
        with pytest.raises(TypeError):
            call()


BAD_FILES_SCRIPT = r"""
import random, sys, vorlith
random.seed(20)
sources = [open(p, "rb").read() for p in sys.argv[1:]]
variants = []
for data in sources:
    for cut in (0, 1, 8, 64, len(data) // 3, len(data) // 2, len(data) - 30, len(data) - 1):
        variants.append(data[:max(cut, 0)])
    for _ in range(25):
        mutated = bytearray(data)
        for _ in range(random.randint(1, 20)):
            mutated[random.randrange(len(mutated))] = random.randrange(256)
        variants.append(bytes(mutated))
    variants.append(data.replace(b"/Length", b"/Lenght"))
    variants.append(data.replace(b"endobj", b""))
    variants.append(data.replace(b"xref", b"xrex"))
outcomes = {"text": 0, "error": 0}
for data in variants:
    for layout in ("content", "reflow", "positioned", "reading"):
        try:
            vorlith.extract_bytes(data, layout=layout, header="&p", password="user")
            outcomes["text"] += 1
        except vorlith.PDFError:
            outcomes["error"] += 1
    try:
        vorlith.info_bytes(data)
    except vorlith.PDFError:
        pass
print(len(variants), outcomes)
"""


def test_bad_files_never_crash(pdfs):
    """Truncated and damaged files give text or a PDFError, in a child
    process, so that a crash fails the test instead of ending pytest."""
    files = [pdfs["sample"], pdfs["columns"], pdfs["unicode"], ENCRYPTED / "rc4-40.pdf",
             ENCRYPTED / "rc4-128-objstm.pdf"]
    result = subprocess.run([sys.executable, "-c", BAD_FILES_SCRIPT, *map(str, files)],
                            capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stderr[-3000:]
    assert "'text'" in result.stdout, result.stdout


def _form_chain_pdf(depth, fan_out):
    """A page that draws a form, which draws the next FAN_OUT times, DEPTH
    levels deep: fan_out ** depth forms in all."""
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R"
        b" /Resources << /Font << /F1 4 0 R >> /XObject << /X 6 0 R >> >> >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        b"<< /Length 5 >>\nstream\n/X Do\nendstream",
    ]
    for level in range(depth):
        body = b"BT /F1 10 Tf 72 700 Td (level%d) Tj ET" % level
        resources = b"/Font << /F1 4 0 R >>"
        if level + 1 < depth:
            body += b" /X Do" * fan_out
            resources += b" /XObject << /X %d 0 R >>" % (7 + level)
        objects.append(b"<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << " + resources
                       + b" >> /Length %d >>\nstream\n" % len(body) + body + b"\nendstream")
    return raw_pdf(objects)


def test_timeout_ends_a_call_and_budgets_keep_a_hostile_page_short():
    assert issubclass(vorlith.TimeoutError, vorlith.PDFError)
    endless = _form_chain_pdf(12, 10)  # 10**12 forms
    for layout in ("content", "reflow"):
        with pytest.raises(vorlith.TimeoutError) as caught:
            vorlith.extract_bytes(endless, layout=layout, timeout=0.5)
        assert "took longer than 0.500 seconds" in str(caught.value)
    for bad in (0, -1, float("nan")):
        with pytest.raises(ValueError):
            vorlith.extract_bytes(endless, timeout=bad)
    # Within the page's budgets a page of 100,000 forms is read whole.
    text = vorlith.extract_bytes(_form_chain_pdf(6, 10), layout="content")[0]
    assert "level0" in text and "level5" in text


@pytest.mark.parametrize("layout", LAYOUTS)
def test_threads_over_the_pages_give_the_same_text(pdfs, layout):
    for name in ("long", "columns"):
        one = vorlith.extract(pdfs[name], layout=layout)
        assert vorlith.extract(pdfs[name], layout=layout, jobs=3) == one
        data = pdfs[name].read_bytes()
        assert vorlith.extract_bytes(data, layout=layout, pages=[3, 1, 2], jobs=2) == \
            vorlith.extract_bytes(data, layout=layout, pages=[3, 1, 2])
    for bad in (0, -2):
        with pytest.raises(ValueError):
            vorlith.extract(pdfs["long"], jobs=bad)
