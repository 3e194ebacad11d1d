#!/usr/bin/env python3
"""Word recall and character error rate of the text recognised in the scanned
fixtures (tests/fixtures/images/scanned-*.pdf), against the text they were
drawn from (tools/make_image_fixtures.py).

Each fixture is read by the console in all four layouts and in the batch
form (--ocr auto, --format plain), and by the Python module when it can be
imported. Both texts are normalized the same way: NFKC, runs of white space
as one space, and no space at all between Chinese characters.
- word recall: the share of the known text's words (a multiset; each
  Chinese character a word) that the output holds;
- character error rate: the edit distance from the known text to the
  output's, over the known text's length in characters.

The fixtures with text of their own drawn beside the picture are left out:
their outputs hold more than the picture's words.

With --degraded, pages made here as a scanner at its worst would make them
are read as well: a longer English and Chinese text at 200 dpi, turned by
0.8 degrees, with noise, saved as a JPEG of quality 35 and as a thresholded
1-bit image; the tesseract command reads the same pixels (a PNG file) for
comparison.

Prints one row per fixture and reader, and exits 1 when a figure misses its
bound: recall at least 0.97 (English) and 0.95 (Chinese), error rate at most
2 % and 5 %.

With --rendered FILE.pdf:PAGE ..., real pages are scanned as a copier
would: each page rendered by pdftoppm at 300 dpi in gray and saved as a
JPEG of quality 60, wrapped in a PDF and read (reflow); the words pdftotext
finds in the born-digital page are the reference, compared loosely (lower
case, punctuation as spaces), and the tesseract command reads the same
JPEG for comparison. Only the recall is reported: the layouts and
pdftotext order a page's words differently.

The module ./test.sh builds (build/asan/python) is built with the
sanitizers: run the script with their runtimes preloaded, as
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)"
ASAN_OPTIONS=detect_leaks=0; the programs it starts run without them.

Usage: tests/quality/ocr_accuracy.py [TEXTEXTRACTOR] [--python-path DIR] [--degraded]
           [--rendered FILE.pdf:PAGE ...]
"""
import argparse
import collections
import importlib.util
import os
import re
import subprocess
import sys
import tempfile
import unicodedata
import zlib

_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_PROGRAM = os.path.join(_ROOT, "build", "release", "src", "cli", "textextractor")
FIXTURES = os.path.join(_ROOT, "tests", "fixtures", "images")
LAYOUTS = ["content", "reflow", "positioned", "reading"]
BOUNDS = {"eng": (0.97, 0.02), "chi_sim": (0.95, 0.05)}  # least recall, most error rate


DEGRADED_ENGLISH = [
    "The Supplier shall deliver the goods described in",
    "Schedule A to the premises of the Customer within",
    "fourteen days of the date of each order. Risk in the",
    "goods passes to the Customer on delivery, and title",
    "passes when the Customer has paid the price in full.",
    "Either party may end this agreement by written notice",
    "if the other party commits a material breach of its",
    "terms and fails to remedy it within thirty days.",
]
DEGRADED_CHINESE = [
    "供方应在每份订单日期起十四天内",
    "将附表所列货物交付至需方的场所",
    "货物的风险自交付时起转移给需方",
    "需方付清全部价款后取得货物所有权",
    "任何一方严重违约且未在三十日内",
    "纠正的另一方可书面通知终止本合同",
]


def fixture_script():
    spec = importlib.util.spec_from_file_location("fixtures", os.path.join(_ROOT, "tools", "make_image_fixtures.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def known_texts():
    """The fixtures' drawn lines, from the script that drew them."""
    module = fixture_script()
    return module.ENGLISH, module.CHINESE


def gray_jpeg_pdf(module, jpeg, w, h, **page_size):
    """A page of the fixture script's PDF writer drawing the gray JPEG
    (w x h pixels) over it."""
    return module.pdf(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                      b"/BitsPerComponent 8 /Filter /DCTDecode /Length %d >>" % (w, h, len(jpeg)), jpeg, **page_size)


def degraded_pages(folder):
    """Writes the degraded pages into Folder: (PDF path, PNG path, language,
    known text) for each."""
    import io
    from PIL import Image, ImageFilter
    module = fixture_script()
    out = []
    for lang, lines, font, size in [("eng", DEGRADED_ENGLISH, module.SANS, 33),
                                    ("chi_sim", DEGRADED_CHINESE, module.CJK, 40)]:
        page = module.text_page(lines, font, size, dpi=200).rotate(0.8, fillcolor=255, resample=Image.BICUBIC)
        noise = Image.effect_noise(page.size, 40).point(lambda v: v - 128)
        noisy = Image.blend(page, Image.new("L", page.size, 128), 0.15)
        noisy = Image.composite(noisy, noise.point(lambda v: 255 if v > 60 else 0), noise.point(lambda v: 255 if v < 120 else 0))
        noisy = noisy.filter(ImageFilter.GaussianBlur(0.7))
        w, h = noisy.size
        buf = io.BytesIO()
        noisy.save(buf, "JPEG", quality=35)
        jpeg = buf.getvalue()
        bw = Image.open(io.BytesIO(jpeg)).convert("L").point(lambda v: 0 if v < 140 else 255).convert("1")
        flate = zlib.compress(bw.tobytes(), 9)
        for kind, pixels, pdf in [
                ("jpeg", Image.open(io.BytesIO(jpeg)), gray_jpeg_pdf(module, jpeg, w, h)),
                ("1-bit", bw, module.pdf(
                    b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray /BitsPerComponent 1 "
                    b"/Decode [0 1] /Filter /FlateDecode /Length %d >>" % (w, h, len(flate)), flate))]:
            name = os.path.join(folder, f"degraded-{lang}-{kind}")
            with open(name + ".pdf", "wb") as f:
                f.write(pdf)
            pixels.save(name + ".png", dpi=(200, 200))
            out.append((name + ".pdf", name + ".png", lang, " ".join(lines)))
    return out


def tesseract(image, lang):
    """The tesseract command's text of an image file, on one thread."""
    out = subprocess.run(["tesseract", image, "-", "-l", lang], capture_output=True, check=False,
                         env=plain_env(OMP_THREAD_LIMIT="1"))
    return out.stdout.decode("utf-8", "replace")


def is_cjk(ch):
    return "\u3000" <= ch <= "\u9fff" or "\uf900" <= ch <= "\ufaff" or "\uff00" <= ch <= "\uffef"


def normalize(text):
    text = unicodedata.normalize("NFKC", text)
    text = re.sub(r"\s+", " ", text).strip()
    # No space next to a Chinese character: Tesseract and the layouts may
    # put one where the picture has none.
    return re.sub(r"(?<=[\u3000-\u9fff]) | (?=[\u3000-\u9fff])", "", text)


def words(text):
    out = []
    for token in text.split(" "):
        run = ""
        for ch in token:
            if is_cjk(ch):
                if run:
                    out.append(run)
                    run = ""
                out.append(ch)
            else:
                run += ch
        if run:
            out.append(run)
    return out


def recall(known, got, split=words):
    want = collections.Counter(split(known))
    have = collections.Counter(split(got))
    total = sum(want.values())
    return sum(min(n, have[w]) for w, n in want.items()) / total if total else 1.0


def edit_distance(a, b):
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        prev, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (ca != cb))
    return row[len(b)]


def error_rate(known, got):
    return edit_distance(known, got) / len(known) if known else 0.0


def plain_env(**extra):
    """The environment for the programs run: without the sanitizer runtime
    preloaded for an ASan-built vorlith module."""
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    env.update(extra)
    return env


def text_of(output, layout):
    """The words of an output: the positioned layout's rows are
    @X=...,Y=...@TEXT@ENDTEXT@, the others plain text."""
    if layout == "positioned":
        return "\n".join(re.findall(r"@X=[^@]*@(.*?)@ENDTEXT@", output))
    return output


def console(program, path, layout):
    out = subprocess.run([program, "-q", "--format", "plain", "--encoding", "UTF-8", "--layout", layout, path, "-"],
                         capture_output=True, check=False, env=plain_env())
    return text_of(out.stdout.decode("utf-8", "replace"), layout)


def batch(program, path, layout):
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([program, "-q", "--format", "plain", "--encoding", "UTF-8", "--layout", layout, "-o", tmp, path],
                       capture_output=True, check=False, env=plain_env())
        name = os.path.splitext(os.path.basename(path))[0] + ".txt"
        try:
            with open(os.path.join(tmp, name), encoding="utf-8", errors="replace") as f:
                return text_of(f.read(), layout)
        except OSError:
            return ""


def loose_words(text):
    text = unicodedata.normalize("NFKC", text).lower()
    return words(normalize(re.sub(r"[^\w\s]", " ", text)))


def rendered_pages(program, folder, pages):
    """Scans each FILE:PAGE as a copier would and prints the recall and the
    precision (the share of the words read that the page holds) of ours and
    of the tesseract command against pdftotext's words of the page."""
    module = fixture_script()
    print(f"{'page':<32} {'words':>6} {'ours':>14} {'tesseract':>14}")
    totals = collections.Counter()
    for spec in pages:
        path, page = spec.rsplit(":", 1)
        base = os.path.join(folder, f"{os.path.basename(path)}-{page}")
        subprocess.run(["pdftoppm", "-r", "300", "-gray", "-jpeg", "-jpegopt", "quality=60", "-f", page, "-l", page,
                        "-singlefile", path, base], check=True, env=plain_env())
        with open(base + ".jpg", "rb") as f:
            jpeg = f.read()
        from PIL import Image
        w, h = Image.open(base + ".jpg").size
        with open(base + ".pdf", "wb") as f:
            f.write(gray_jpeg_pdf(module, jpeg, w, h, w_pt=w * 72 / 300, h_pt=h * 72 / 300))
        known = subprocess.run(["pdftotext", "-f", page, "-l", page, path, "-"], capture_output=True,
                               check=False, env=plain_env()).stdout.decode("utf-8", "replace")
        ours = console(program, base + ".pdf", "reflow")
        theirs = tesseract(base + ".jpg", "eng+chi_sim")
        row = [recall(a, b, loose_words) for a, b in [(known, ours), (ours, known), (known, theirs), (theirs, known)]]
        n = len(loose_words(known))
        for i, v in enumerate(row):
            totals[i] += v * n
        totals["n"] += n
        print(f"{os.path.basename(path) + ' p. ' + page:<32} {n:>6} {row[0]:>6.3f} / {row[1]:.3f} "
              f"{row[2]:>6.3f} / {row[3]:.3f}")
    if totals["n"]:
        t = [totals[i] / totals["n"] for i in range(4)]
        print(f"{'all (by words)':<32} {totals['n']:>6} {t[0]:>6.3f} / {t[1]:.3f} {t[2]:>6.3f} / {t[3]:.3f}")
    print("(recall / precision)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?", default=DEFAULT_PROGRAM)
    parser.add_argument("--python-path", help="the folder holding the vorlith module")
    parser.add_argument("--degraded", action="store_true", help="read the degraded pages too")
    parser.add_argument("--rendered", nargs="+", metavar="FILE.pdf:PAGE", help="scan real pages as a copier would")
    args = parser.parse_args()
    english, chinese = known_texts()
    cases = [(name, "eng", " ".join(english)) for name in
             ["scanned-g4.pdf", "scanned-dct.pdf", "scanned-flate.pdf", "scanned-jbig2.pdf", "scanned-inline.pdf",
              "scanned-strips.pdf", "scanned-turned.pdf", "scanned-flipped.pdf"]]
    cases.append(("scanned-chinese.pdf", "chi_sim", " ".join(chinese)))

    vorlith = None
    if args.python_path:
        sys.path.insert(0, args.python_path)
    try:
        import vorlith  # noqa: F811
    except ImportError:
        pass

    tmp = tempfile.TemporaryDirectory()
    if args.rendered:
        rendered_pages(args.program, tmp.name, args.rendered)
        return 0
    cases = [(os.path.join(FIXTURES, name), None, lang, text) for name, lang, text in cases]
    if args.degraded:
        cases += degraded_pages(tmp.name)

    failed = False
    worst = {}
    print(f"{'fixture':<26} {'reader':<18} {'recall':>7} {'error':>7}")
    for path, png, lang, text in cases:
        name = os.path.basename(path)
        known = normalize(text)
        readers = [(layout, lambda layout=layout: console(args.program, path, layout)) for layout in LAYOUTS]
        readers.append(("batch reading", lambda: batch(args.program, path, "reading")))
        if vorlith:
            readers.append(("python reflow", lambda: "\n".join(vorlith.extract(path))))
        if png:
            readers.append(("tesseract command", lambda: tesseract(png, lang)))
        for reader, read in readers:
            got = normalize(read())
            r, e = recall(known, got), error_rate(known, got)
            least, most = BOUNDS[lang]
            bad = r < least or e > most
            failed |= bad
            w = worst.setdefault(lang, [1.0, 0.0])
            w[0], w[1] = min(w[0], r), max(w[1], e)
            print(f"{name:<26} {reader:<18} {r:7.3f} {e:7.3%}{'  below the bound' if bad else ''}")
    for lang, (r, e) in worst.items():
        print(f"{lang}: least recall {r:.3f} (bound {BOUNDS[lang][0]}), most error rate {e:.2%} "
              f"(bound {BOUNDS[lang][1]:.0%})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
