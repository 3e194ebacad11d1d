"""The structured formats of the console program: the JSON validates against
the schema in the repository, on the fixtures and on real documents, and its
word boxes lie where the fixture's writer placed the words."""
import json
from pathlib import Path

import jsonschema
import pytest

from conftest import SOURCE_DIR

SCHEMA = json.loads((SOURCE_DIR / "schema" / "document.schema.json").read_text())
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)

# Real documents of Debian's documentation packages, where they are installed.
REAL = [Path(p) for p in ("/usr/share/R/doc/manual/R-FAQ.pdf", "/usr/share/doc/texlive-doc/bibtex/base/btxdoc.pdf")]


def document(console, path, *extra):
    result = console.run("-q", "--format", "json", "--all-pages", "--every-page", *extra, path, "-")
    return json.loads(result.stdout)


@pytest.mark.parametrize("name", ["columns", "unicode", "long", "sample"])
def test_fixtures_validate(console, pdfs, name):
    doc = document(console, pdfs[name])
    VALIDATOR.validate(doc)
    assert doc["file"] == str(pdfs[name])
    assert [p["number"] for p in doc["pages"]] == list(range(1, len(doc["pages"]) + 1))


@pytest.mark.parametrize("path", [p for p in REAL if p.exists()], ids=lambda p: p.name)
def test_real_documents_validate(console, path):
    doc = document(console, path, "--layout", "reading")
    VALIDATOR.validate(doc)
    assert sum(len(b["lines"]) for p in doc["pages"] for b in p["blocks"]) > 100


def test_the_schema_refuses_what_it_should(console, pdfs):
    doc = document(console, pdfs["columns"])
    word = doc["pages"][0]["blocks"][0]["lines"][0]["words"][0]
    for broken in ({**word, "bbox": [1, 2, 3]}, {**word, "bold": "yes"}, {k: v for k, v in word.items() if k != "font"}):
        doc["pages"][0]["blocks"][0]["lines"][0]["words"][0] = broken
        assert list(VALIDATOR.iter_errors(doc)), broken


def test_word_boxes_where_the_words_were_drawn(console, pdfs):
    # The columns fixture's page 1: "Report 1:" at (72, 740) in 16 pt
    # Helvetica-Bold, "col 1 line 1" at (72, 700) and "col 2 line 1" at
    # (320, 700) in 10 pt Times-Roman, on a letter page (792 high).
    page = document(console, pdfs["columns"])["pages"][0]
    words = [w for b in page["blocks"] for l in b["lines"] for w in l["words"]]

    def first(text, near_x):
        return min((w for w in words if w["text"] == text), key=lambda w: abs(w["bbox"][0] - near_x))

    for text, x, y, font, bold in (("Report", 72, 740, "Helvetica-Bold", True), ("col", 72, 700, "Times-Roman", False),
                                   ("col", 320, 700, "Times-Roman", False)):
        w = first(text, x)
        x0, y0, x1, y1 = w["bbox"]
        assert abs(x0 - x) <= 0.5, w
        assert y0 < 792 - y < y1, w  # the baseline, from the top, lies within the box
        assert (w["font"], w["bold"], w["italic"]) == (font, bold, False)
    report = first("Report", 72)
    assert report["size"] == 16
    # R e p o r t in Helvetica-Bold: 722 + 556 + 611 + 611 + 389 + 333 thousandths of 16 pt.
    assert report["bbox"][2] - report["bbox"][0] == pytest.approx(3.222 * 16, abs=0.5)
