#!/usr/bin/python3
"""The words of every page with their boxes: vorlith's page.words() against
PyMuPDF's page.get_text("words") (Debian python3-fitz), over the 40 files of
bench/batch-files.sh (bench/batch.sh's list). Each reader runs once, in a
process of its own, after one read of every file into the page cache; the
time is that of the loop over the files (open, every page's words, close),
without Python's start and the import. Prints the seconds of each, the
pages and words each found, and the ratio of ours to PyMuPDF's.

    bench/words.py [BUILD_DIR]        (default build/release)

Installs the packages it needs when missing, and builds the module in
BUILD_DIR (Release)."""
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
PYTHON = "/usr/bin/python3"
DOC_PACKAGES = ["r-doc-pdf", "gnuplot-doc", "texlive-base", "texlive-publishers-doc", "texlive-lang-chinese",
                "texlive-lang-cjk"]

# Run in a child, with MODULE and WORDS filled in: prints "seconds pages
# words" for the files named on the command line.
READER = r"""
import sys, time, MODULE
started = time.perf_counter()
pages = words = 0
for path in sys.argv[1:]:
    with MODULE.open(path) as doc:
        for page in doc:
            words += len(page.WORDS)
            pages += 1
print(time.perf_counter() - started, pages, words)
"""
OURS = READER.replace("MODULE", "vorlith").replace("WORDS", "words()")
PYMUPDF = READER.replace("MODULE", "fitz").replace("WORDS", 'get_text("words")')


def shell(script):
    subprocess.run(["bash", "-c", script], cwd=ROOT, check=True)


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build/release")
    build = build if build.is_absolute() else ROOT / build
    shell("source scripts/ensure-packages.sh && ensure_packages \"${BUILD_PACKAGES[@]}\" \"${PYTHON_PACKAGES[@]}\" "
          "python3-fitz " + " ".join(DOC_PACKAGES))
    subprocess.run(["cmake", "-S", ".", "-B", str(build), "-DCMAKE_BUILD_TYPE=Release", "-DVORLITH_PYTHON=ON"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "--target", "vorlith", f"-j{os.cpu_count()}"], cwd=ROOT,
                   check=True, stdout=subprocess.DEVNULL)

    data = ROOT / "build" / "bench-data" / "words"
    subprocess.run(["rm", "-rf", str(data)], check=True)
    data.mkdir(parents=True)
    shell(f"source bench/batch-files.sh && link_batch_files '{data}'")
    files = sorted(str(p) for p in data.glob("*.pdf"))
    for path in files:  # into the page cache, for both alike
        Path(path).read_bytes()

    env = dict(os.environ, PYTHONPATH=str(build / "python"))
    results = {}
    for name, code in (("vorlith page.words()", OURS), ("PyMuPDF get_text(\"words\")", PYMUPDF)):
        out = subprocess.run([PYTHON, "-c", code, *files], env=env, check=True, capture_output=True, text=True)
        seconds, pages, words = out.stdout.split()
        results[name] = float(seconds)
        print(f"{name:28} {float(seconds):8.2f} s  {int(pages):6} pages  {int(words):9} words")
    ours, theirs = results.values()
    print(f"{len(files)} files; ratio of ours to PyMuPDF's: {ours / theirs:.2f}")


if __name__ == "__main__":
    main()
