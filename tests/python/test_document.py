"""The document API: vorlith.open, its pages, their words and dicts, the
document's JSON, and its use from threads."""
import ast
import json
import os
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest
import vorlith

from conftest import ENCRYPTED, SOURCE_DIR, raw_pdf, unknown_encryption_pdf

LAYOUTS = ["content", "reflow", "positioned", "reading"]
SCANNED = SOURCE_DIR / "tests" / "fixtures" / "images"


def _stream(body, entries=b""):
    return b"<< /Length %d %s>>\nstream\n" % (len(body), entries) + body + b"\nendstream"


def _three_pages(second, more=(), catalog=b""):
    """Three pages of text, "first page", SECOND (the content of page 2) and
    "third page"; MORE are objects from 10 on (page 2's form /X is 10), and
    CATALOG more entries of the catalog."""
    page = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R"
            b" /Resources << /Font << /F1 6 0 R >> /XObject << /X 10 0 R >> >> >>")
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R %s>>" % catalog,
        b"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
        page % 7, page % 8, page % 9,
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        _stream(b"BT /F1 12 Tf 72 700 Td (first page) Tj ET"),
        second,
        _stream(b"BT /F1 12 Tf 72 700 Td (third page) Tj ET"),
    ]
    return raw_pdf(objects + list(more))


def _slow_middle_pdf():
    """Page 2 draws a form that draws the next ten times, twelve levels deep
    (10**12 forms): its page budget stops it after some seconds."""
    forms = []
    depth = 12
    for level in range(depth):
        body = b"BT /F1 10 Tf 72 600 Td (level%d) Tj ET" % level
        resources = b"/Font << /F1 6 0 R >>"
        if level + 1 < depth:
            body += b" /X Do" * 10
            resources += b" /XObject << /X %d 0 R >>" % (11 + level)
        forms.append(_stream(body, b"/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << %s >> "
                             % resources))
    return _three_pages(_stream(b"/X Do"), forms)


def _broken_middle_pdf():
    """Page 2's content is no content: bytes of no operator, then a form
    whose Flate data is not Flate data."""
    return _three_pages(_stream(b"\xff\x00 ] ] >> << BT ET ET Tj Tj 1 2 ( /X Do"),
                        [_stream(b"x\x9c no zlib", b"/Subtype /Form /Filter /FlateDecode ")])


def _outlined_pdf():
    """Pages labelled i, ii and A-1, with an outline of a chapter (a UTF-16
    title) and its section, and an item that goes to a web page."""
    outline = [
        b"<< /Type /Outlines /First 11 0 R /Last 13 0 R /Count 3 >>",
        b"<< /Title <FEFF00430061006600E9> /Parent 10 0 R /Next 13 0 R /First 12 0 R /Last 12 0 R /Count 1"
        b" /Dest [3 0 R /XYZ 0 792 0] >>",
        b"<< /Title (Section \\(1.1\\)) /Parent 11 0 R /Dest [5 0 R /Fit] >>",
        b"<< /Title (Web) /Parent 10 0 R /Prev 11 0 R /A << /S /URI /URI (http://example.invalid/) >> >>",
    ]
    return _three_pages(_stream(b"BT /F1 12 Tf 72 700 Td (second page) Tj ET"), outline,
                        b"/Outlines 10 0 R /PageLabels << /Nums [0 << /S /r >> 2 << /S /D /P (A-) >>] >> ")


# Drawn by _write_words: (text, font, size, x, y) on each page, the page
# turned by ROTATIONS[page].
WORDS = [("Alpha", "Helvetica", 12, 100, 500), ("Beta", "Times-Bold", 20, 250, 300),
         ("Gamma", "Courier-Oblique", 9, 72, 120)]
ROTATIONS = [0, 90, 180, 270]


def _write_words(path):
    from reportlab.pdfgen import canvas

    c = canvas.Canvas(str(path), pagesize=(612, 792), invariant=1)
    c.setTitle("Words and boxes")
    c.setAuthor("Vorlith tests")
    c.setSubject("word positions")
    c.setKeywords("boxes, rotation")
    for rotation in ROTATIONS:
        c.setPageRotation(rotation)
        for text, font, size, x, y in WORDS:
            c.setFont(font, size)
            c.drawString(x, y, text)
        c.showPage()
    c.save()


@pytest.fixture(scope="module")
def files(pdfs, tmp_path_factory):
    folder = tmp_path_factory.mktemp("document")
    out = dict(pdfs)
    out["words"] = folder / "words.pdf"
    _write_words(out["words"])
    for name, write in (("slow", _slow_middle_pdf), ("broken", _broken_middle_pdf), ("outlined", _outlined_pdf)):
        out[name] = folder / f"{name}.pdf"
        out[name].write_bytes(write())
    return out


# ---------------------------------------------------------------- text and sources

@pytest.mark.parametrize("name", ["sample", "columns", "unicode", "words"])
def test_page_text_is_the_text_of_extract(files, name):
    path = files[name]
    with vorlith.open(path) as doc:
        assert len(doc) == vorlith.info(path)["pages"]
        for layout in LAYOUTS:
            assert [page.text(layout) for page in doc] == vorlith.extract(path, layout=layout), layout
        assert doc[0].text() == doc[0].text("reading")


def test_every_kind_of_source_opens_the_same_document(files, tmp_path):
    path = files["columns"]
    data = path.read_bytes()
    odd_name = tmp_path / os.fsdecode(b"caf\xe9.pdf")  # not UTF-8
    odd_name.write_bytes(data)
    expected = vorlith.extract(path, layout="reading")
    sources = [str(path), path, os.fsencode(str(path)), os.fsencode(str(odd_name)), data, bytearray(data),
               memoryview(data), memoryview(data[::-1])[::-1]]
    for source in sources:
        with vorlith.open(source) as doc:
            assert [page.text() for page in doc] == expected, type(source)
    # A NUL in a path is refused, not opened cut short.
    with pytest.raises(ValueError):
        vorlith.open(str(path) + "\0.txt")
    for bad in (None, 3, ["a.pdf"]):
        with pytest.raises(TypeError):
            vorlith.open(bad)


@pytest.mark.parametrize("source, password, error", [
    ("missing.pdf", None, vorlith.NotOpenedError),
    ("garbage.pdf", None, vorlith.NotOpenedError),
    (b"%PDF-1.4 nothing else", None, vorlith.NotOpenedError),
    (ENCRYPTED / "rc4-40.pdf", None, vorlith.PasswordError),
    (ENCRYPTED / "rc4-40.pdf", "wrong", vorlith.PasswordError),
    (ENCRYPTED / "aes-128.pdf", None, vorlith.PasswordError),
    ("other.pdf", None, vorlith.UnknownEncryptionError),
])
def test_open_errors(tmp_path, source, password, error):
    (tmp_path / "garbage.pdf").write_bytes(b"%PDF-1.4\nthis is not a PDF file at all\n")
    unknown_encryption_pdf(tmp_path / "other.pdf")
    if isinstance(source, str):
        source = tmp_path / source
    with pytest.raises(error):
        vorlith.open(source, password=password)


@pytest.mark.parametrize("options", [{"ocr": "sometimes"}, {"ocr": ""}, {"timeout": 0}, {"timeout": -1},
                                     {"timeout": float("nan")}])
def test_bad_options_raise_value_errors(files, options):
    with pytest.raises(ValueError):
        vorlith.open(files["sample"], **options)


def test_passwords_open_protected_documents():
    for name, password in [("rc4-40.pdf", "user"), ("rc4-128.pdf", "owner"), ("aes-128.pdf", "user")]:
        path = ENCRYPTED / name
        with vorlith.open(path, password=password) as doc:
            assert [page.text("content") for page in doc] == \
                vorlith.extract(path, layout="content", password=password)


@pytest.mark.parametrize("options, has_invoice", [({}, True), ({"ocr": "never"}, False),
                                                  ({"ocr_lang": "eng"}, True)])
def test_ocr_options_apply_to_every_page(options, has_invoice):
    with vorlith.open(SCANNED / "scanned-g4.pdf", **options) as doc:
        words = [word[4] for word in doc[0].words()]
        assert ("Invoice" in words) == has_invoice
        assert ("Invoice" in doc[0].text("content")) == has_invoice


# ---------------------------------------------------------------- pages

def test_indexes_and_iteration(files):
    with vorlith.open(files["columns"]) as doc:
        assert len(doc) == 5
        assert [page.number for page in doc] == [1, 2, 3, 4, 5]
        for index, number in [(0, 1), (4, 5), (-1, 5), (-5, 1)]:
            assert doc[index].number == number
        for index in (5, -6, 2 ** 70, -(2 ** 70)):
            with pytest.raises(IndexError):
                doc[index]
        for index in ("1", 1.0, None, slice(0, 2)):
            with pytest.raises(TypeError):
                doc[index]
        with pytest.raises(ValueError, match="layout"):
            doc[0].text("Reading")


def test_pages_are_read_only_when_asked(files):
    """Page 2 of the broken file gives nothing, of the slow one a TimeoutError:
    pages 1 and 3, the count, the sizes and the metadata are had without
    reading it."""
    for name, timeout in (("broken", None), ("slow", 0.2)):
        with vorlith.open(files[name], timeout=timeout) as doc:
            pages = list(doc)
            assert [page.size for page in pages] == [(612, 792)] * 3
            assert doc.metadata == {"version": "1.4", "tagged": False}
            assert pages[2].text() == "third page"
            assert [word[4] for word in pages[0].words()] == ["first", "page"]
            if name == "broken":
                assert pages[1].text("content") == "" and pages[1].words() == []
            else:
                with pytest.raises(vorlith.TimeoutError, match="page 2 of .* than 0.200 seconds"):
                    pages[1].text("content")
            # A page read that failed leaves the document as it was.
            assert doc[0].text("content") == "first page"


def test_page_sizes_as_seen():
    boxes = [(b"/MediaBox [0 0 200 100]", (200, 100)),
             (b"/MediaBox [0 0 200 100] /Rotate 90", (100, 200)),
             (b"/MediaBox [0 0 200 100] /Rotate -90", (100, 200)),
             (b"/MediaBox [0 0 200 100] /Rotate 180", (200, 100)),
             (b"/MediaBox [0 0 600 800] /CropBox [100 50 400 250]", (300, 200)),
             (b"/MediaBox [0 0 600 800] /CropBox [400 250 100 50] /Rotate 270", (200, 300))]
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>" % (
                   b" ".join(b"%d 0 R" % (3 + i) for i in range(len(boxes))), len(boxes))]
    objects += [b"<< /Type /Page /Parent 2 0 R %s >>" % box for box, _ in boxes]
    with vorlith.open(raw_pdf(objects)) as doc:
        assert [page.size for page in doc] == [size for _, size in boxes]
        assert [(page.to_dict()["width"], page.to_dict()["height"]) for page in doc] == [s for _, s in boxes]


def _seen(x, y, rotation, width, height):
    """A point of user space on a page of WIDTH x HEIGHT (its media box, from
    0, 0) as seen when the page is turned by ROTATION."""
    return {0: (x, height - y), 90: (y, x), 180: (width - x, y), 270: (height - y, width - x)}[rotation]


def test_word_boxes_are_where_reportlab_drew_them(files):
    from reportlab.pdfbase.pdfmetrics import getAscentDescent, stringWidth

    with vorlith.open(files["words"]) as doc:
        for page, rotation in zip(doc, ROTATIONS):
            # reportlab turns the media box of a page turned sideways.
            width, height = (792, 612) if rotation in (90, 270) else (612, 792)
            assert page.size == (612, 792)
            found = {word[4]: word[:4] for word in page.words()}
            assert set(found) == {text for text, *_ in WORDS}
            for text, font, size, x, y in WORDS:
                ascent, descent = getAscentDescent(font, size)
                right = x + stringWidth(text, font, size)
                corners = [_seen(cx, cy, rotation, width, height) for cx in (x, right)
                           for cy in (y + descent, y + ascent)]
                expected = (min(c[0] for c in corners), min(c[1] for c in corners),
                            max(c[0] for c in corners), max(c[1] for c in corners))
                assert found[text] == pytest.approx(expected, abs=0.5), (rotation, text)


@pytest.mark.parametrize("name", ["sample", "columns", "unicode", "words", "long", "outlined"])
def test_words_and_dicts_are_the_json_of_the_document(files, name):
    path = files[name]
    with vorlith.open(path) as doc:
        document = json.loads(doc.to_json())
        assert doc.to_json().endswith("}\n")
        assert document["file"] == str(path)
        metadata = doc.metadata
        assert document["metadata"] == {k: v for k, v in metadata.items() if k != "page_labels"}
        assert [page.get("label") for page in document["pages"]] == \
            metadata.get("page_labels", [None] * len(doc))
        assert document.get("outline", []) == [{"level": level, "title": title, "page": page or 0}
                                               for level, title, page in doc.outline]
        assert len(document["pages"]) == len(doc)
        for page, expected in zip(doc, document["pages"]):
            layout = page.to_dict()
            assert layout == expected
            assert layout["number"] == page.number
            # Each word tuple names its place in the dict.
            words = page.words()
            places = [(b, l, w) for b, block in enumerate(layout["blocks"])
                      for l, line in enumerate(block["lines"]) for w in range(len(line["words"]))]
            assert [word[5:] for word in words] == places
            for x0, y0, x1, y1, text, b, l, w in words:
                word = layout["blocks"][b]["lines"][l]["words"][w]
                assert word["text"] == text
                assert word["bbox"] == pytest.approx([x0, y0, x1, y1], abs=0.005)
            # The reading-order text is made of the same words.
            assert page.text().split() == " ".join(word[4] for word in words).split()


# A document's whole forms and the console's options that write them.
FORMS = [(lambda doc: doc.to_json(), ["--format", "json"]),
         (lambda doc: doc.markdown(), ["--format", "markdown"]),
         (lambda doc: doc.markdown(page_marks=True), ["--format", "markdown", "--page-marks"])]


@pytest.mark.parametrize("name", ["sample", "columns", "unicode", "words", "outlined"])
def test_json_and_markdown_are_the_console_programs(console, files, name):
    path = files[name]
    with vorlith.open(path) as doc:
        for form, options in FORMS:
            written = form(doc).encode("utf-8", "surrogateescape")
            assert written == console.run("-q", *options, "--all-pages", "--every-page", path, "-").stdout, options


def test_json_of_bytes_has_no_file_name(files):
    data = files["sample"].read_bytes()
    with vorlith.open(data) as doc, vorlith.open(files["sample"]) as named:
        from_bytes, from_file = json.loads(doc.to_json()), json.loads(named.to_json())
    assert from_bytes["file"] == ""
    assert from_bytes["pages"] == from_file["pages"]


def test_outline_and_page_labels(files):
    with vorlith.open(files["outlined"]) as doc:
        assert doc.outline == [(1, "Caf\u00e9", 1), (2, "Section (1.1)", 3), (1, "Web", None)]
        assert doc.metadata["page_labels"] == ["i", "ii", "A-1"]
        assert [page.to_dict()["label"] for page in doc] == ["i", "ii", "A-1"]
    with vorlith.open(files["sample"]) as doc:
        assert doc.outline == [] and "page_labels" not in doc.metadata
        assert "label" not in doc[0].to_dict()


def test_metadata_holds_what_the_document_has(files):
    with vorlith.open(files["words"]) as doc:
        metadata = doc.metadata
    assert metadata["title"] == "Words and boxes"
    assert metadata["author"] == "Vorlith tests"
    assert metadata["keywords"] == "boxes, rotation"
    assert metadata["tagged"] is False and metadata["version"] == "1.3"
    assert metadata["creation_date"].startswith("2000-01-01")


# ---------------------------------------------------------------- closing

def test_closed_documents_and_their_pages_raise(files):
    with vorlith.open(files["columns"]) as doc:
        page = doc[1]
        read = doc[0]
        read.words()
        assert not doc.closed
    assert doc.closed
    doc.close()  # again: nothing
    calls = [len, lambda d: d[0], iter, lambda d: d.metadata, lambda d: d.outline, lambda d: d.to_json(),
             lambda d: d.markdown(), lambda d: d.__enter__(),
             lambda d: page.text(), lambda d: page.words(), lambda d: page.size, lambda d: page.to_dict(),
             lambda d: read.words()]
    for call in calls:
        with pytest.raises(ValueError, match="closed"):
            call(doc)
    assert page.number == 2 and "closed" in repr(doc)


def test_without_with_and_pages_keep_their_document(files):
    doc = vorlith.open(files["sample"])
    expected = doc[2].text()
    doc.close()
    page = vorlith.open(files["sample"])[2]  # the document object is gone at once
    assert page.text() == expected
    pages = iter(vorlith.open(files["sample"]))
    assert [page.number for page in pages] == [1, 2, 3]


# ---------------------------------------------------------------- threads

def _read_all(path):
    with vorlith.open(path) as doc:
        return [(page.words(), page.text("reflow")) for page in doc]


def test_threads_on_their_own_documents(files):
    paths = [files[name] for name in ("sample", "columns", "unicode", "long")] * 3
    expected = [_read_all(path) for path in paths]
    with ThreadPoolExecutor(max_workers=4) as pool:
        assert list(pool.map(_read_all, paths)) == expected


def test_a_second_thread_on_one_document_is_refused(files):
    """While one thread reads the slow page (seconds), another thread's calls
    on the document raise RuntimeError: that thread runs meanwhile, so the
    reader does not hold the GIL either."""
    doc = vorlith.open(files["slow"])
    first = doc[0].text()
    reader_done = threading.Event()
    # What the reader got, and which of the other thread's calls were refused.
    outcomes = {"reader": None, "other": set()}

    def reader():
        while outcomes["reader"] is None:
            try:
                outcomes["reader"] = doc[1].text("content")[:6]
            except RuntimeError:  # the other thread was inside: again
                pass
        reader_done.set()

    def other():
        calls = [lambda: doc.metadata, lambda: doc[0].size, lambda: doc[2].words(), lambda: doc[0].text(),
                 lambda: doc.to_json()]
        n = 0
        while not reader_done.is_set():
            try:
                calls[n % len(calls)]()
            except RuntimeError as error:
                assert "in use by another thread" in str(error)
                outcomes["other"].add(n % len(calls))
            n += 1

    threads = [threading.Thread(target=reader), threading.Thread(target=other)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert outcomes["reader"] == "level0"
    assert outcomes["other"], "no call of the other thread was refused"
    assert doc[0].text() == first
    doc.close()


# ---------------------------------------------------------------- the module's help and stubs

def _stub_names():
    tree = ast.parse((Path(vorlith.__file__).parent / "vorlith.pyi").read_text())
    names = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)) and not node.name.startswith("_"):
            names[node.name] = {item.name for item in node.body
                                if isinstance(item, ast.FunctionDef)} if isinstance(node, ast.ClassDef) else None
    return names


def test_stubs_and_docstrings_cover_the_module():
    stub = _stub_names()
    public = {name for name in dir(vorlith) if not name.startswith("_")}
    assert set(stub) == public
    special = {"__len__", "__getitem__", "__iter__", "__next__", "__enter__", "__exit__"}
    for name in public:
        item = getattr(vorlith, name)
        assert (item.__doc__ or "").strip(), name
        if isinstance(item, type) and not issubclass(item, BaseException):
            members = {m for m in vars(item) if not m.startswith("_") or m in special}
            assert members == stub[name] - {"__init__"}, name
            for member in members:
                assert (getattr(item, member).__doc__ or "").strip(), (name, member)
