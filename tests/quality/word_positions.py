#!/usr/bin/env python3
"""Where `textextractor --page-text 3` puts its rows against where
`pdftotext -bbox` puts the words, on chosen pages of a file.

Each row's first word is looked up among pdftotext's words of the page with
the same text and a baseline within 6 points; the row counts as placed when
the nearest such word starts within TOLERANCE points (default 1) of the row's
start. Rows whose first word pdftotext does not have are not counted. Prints
the share of rows placed, per page and overall, and the worst misses.

Usage: tests/quality/word_positions.py FILE.pdf PAGE [PAGE ...]
           [--program TEXTEXTRACTOR] [--tolerance POINTS]
"""
import argparse
import csv
import html
import io
import os
import re
import subprocess
import sys
import tempfile

_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_PROGRAM = os.path.join(_ROOT, "build", "release", "src", "cli", "textextractor")


def our_rows(program, path, page):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "rows.txt")
        env = dict(os.environ, HOME=tmp)  # no stored settings
        subprocess.run([program, "--page-text", "3", "--encoding", "UTF-8", "-f", str(page), "-l", str(page),
                        "--every-page", "--header", "", "--footer", "", "-q", path, out],
                       check=True, env=env, capture_output=True)
        with open(out, encoding="utf-8", errors="replace") as f:
            text = f.read()
    rows = []
    for fields in csv.reader(io.StringIO(text)):
        if len(fields) < 12:
            continue
        words = fields[11].split()
        if words and len(words[0]) > 1:
            rows.append((words[0], float(fields[3]), float(fields[4])))
    return rows


def their_words(path, page):
    out = subprocess.run(["pdftotext", "-bbox", "-f", str(page), "-l", str(page), path, "-"],
                         check=True, capture_output=True).stdout.decode("utf-8", "replace")
    height = float(re.search(r'<page width="[\d.]+" height="([\d.]+)"', out).group(1))
    words = []
    for m in re.finditer(r'<word xMin="([\d.-]+)" yMin="([\d.-]+)" xMax="([\d.-]+)" yMax="([\d.-]+)">(.*?)</word>', out):
        words.append((html.unescape(m.group(5)), float(m.group(1)), height - float(m.group(4))))
    return words


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("pages", nargs="+", type=int)
    parser.add_argument("--program", default=DEFAULT_PROGRAM)
    parser.add_argument("--tolerance", type=float, default=1.0)
    args = parser.parse_args()
    placed = counted = 0
    misses = []
    for page in args.pages:
        words = their_words(args.file, page)
        page_placed = page_counted = 0
        for text, x, y in our_rows(args.program, args.file, page):
            candidates = [w for w in words if w[0] == text and abs(w[2] - y) < 6]
            if not candidates:
                continue
            best = min(candidates, key=lambda w: abs(w[1] - x))
            page_counted += 1
            if abs(best[1] - x) <= args.tolerance:
                page_placed += 1
            else:
                misses.append((abs(best[1] - x), page, text, x, best[1]))
        print("page %d: %d of %d rows start within %.1f pt" % (page, page_placed, page_counted, args.tolerance))
        placed += page_placed
        counted += page_counted
    print("all: %d of %d (%.1f%%)" % (placed, counted, 100.0 * placed / max(counted, 1)))
    for miss in sorted(misses, reverse=True)[:10]:
        print("  page %d %r: ours %.2f, pdftotext %.2f (%.2f pt)" % (miss[1], miss[2], miss[3], miss[4], miss[0]))


if __name__ == "__main__":
    sys.exit(main())
