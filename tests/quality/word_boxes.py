#!/usr/bin/python3
"""Word boxes of `textextractor --format json` against those of
`pdftotext -bbox` (poppler-utils), per file and overall.

    tests/quality/word_boxes.py TEXTEXTRACTOR FILE.pdf...

Words are matched per page by their text: each of our words takes the
nearest unmatched word of the same text. A matched word agrees when all four
sides lie within 1 pt; the share whose left and right sides do is given too
(heights differ where a font states no ascent and descent, or a tiny one:
the boxes then stand on the font's FontBBox or its own statement, where
pdftotext takes fixed proportions of the size). Prints, per file, the
matched words and the shares, then the totals."""
import html
import json
import re
import subprocess
import sys
from collections import defaultdict

WORD = re.compile(r'<word xMin="([^"]+)" yMin="([^"]+)" xMax="([^"]+)" yMax="([^"]+)">(.*?)</word>')
PAGE = re.compile(r"<page ")


def poppler_words(path, pages):
    out = subprocess.run(["pdftotext", "-bbox", "-l", str(pages), path, "-"], capture_output=True, timeout=600).stdout
    text = out.decode("utf-8", "replace")
    result = []
    for chunk in PAGE.split(text)[1:]:
        words = defaultdict(list)
        for m in WORD.finditer(chunk):
            words[html.unescape(m.group(5))].append(tuple(float(m.group(i)) for i in range(1, 5)))
        result.append(words)
    return result


def main():
    program, files = sys.argv[1], sys.argv[2:]
    total = agree = across = 0
    for path in files:
        run = subprocess.run([program, "-q", "--format", "json", "--all-pages", "--every-page", path, "-"],
                             capture_output=True, timeout=600)
        if run.returncode != 0:
            print(f"{path}: exit {run.returncode}")
            continue
        doc = json.loads(run.stdout)
        theirs = poppler_words(path, len(doc["pages"]))
        n = ok = wide = 0
        for page, words in zip(doc["pages"], theirs):
            for block in page["blocks"]:
                for line in block["lines"]:
                    for w in line["words"]:
                        candidates = words.get(w["text"])
                        if not candidates:
                            continue
                        box = w["bbox"]
                        best = min(candidates, key=lambda c: abs(c[0] - box[0]) + abs(c[1] - box[1]))
                        if abs(best[0] - box[0]) + abs(best[1] - box[1]) > 20:
                            continue
                        candidates.remove(best)
                        n += 1
                        if all(abs(a - b) <= 1 for a, b in zip(best, box)):
                            ok += 1
                        if abs(best[0] - box[0]) <= 1 and abs(best[2] - box[2]) <= 1:
                            wide += 1
        total += n
        agree += ok
        across += wide
        print(f"{path}: {n} matched, {ok / n if n else 0:.4f} within 1 pt, {wide / n if n else 0:.4f} in x")
    print(f"total: {total} matched, {agree / total if total else 0:.4f} within 1 pt, "
          f"{across / total if total else 0:.4f} in x")


if __name__ == "__main__":
    main()
