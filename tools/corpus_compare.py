#!/usr/bin/env python3
"""Compares `textextractor --info` with qpdf and pdfinfo over the corpus.

For every file that `qpdf --check` passes without warnings, the page count must
match `qpdf --show-npages` and the MediaBox sizes those of
`pdfinfo -box -f 1 -l N`. Prints one line per difference and a summary.
Usage: tools/corpus_compare.py [BUILD_DIR] [CORPUS_DIR]"""
import os
import re
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "release")
corpus = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "..", "shared", "corpus")
exe = os.path.join(build, "src", "cli", "textextractor")


def run(cmd):
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=120)
        return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")
    except subprocess.TimeoutExpired:
        return -1, "", "timeout"


files = sorted(os.path.join(d, f) for d, _, fs in os.walk(corpus) for f in fs if f.lower().endswith(".pdf"))
clean = same = differ = 0
for path in files:
    rc, out, err = run(["qpdf", "--check", path])
    if rc != 0 or "WARNING" in out + err:
        continue
    clean += 1
    rc, npages, _ = run(["qpdf", "--show-npages", path])
    expected = int(npages.strip() or 0)
    rc, info, err = run([exe, "--info", path])
    rel = os.path.relpath(path, corpus)
    if rc != 0:
        print(f"{rel}: not loaded ({err.strip()}); qpdf: {expected} pages")
        differ += 1
        continue
    m = re.match(r"Pages: (\d+)", info)
    got = int(m.group(1)) if m else -1
    problems = []
    if got != expected:
        problems.append(f"pages {got} != {expected}")
    if got == expected and got > 0:
        last = min(got, 50)
        _, boxes, _ = run(["pdfinfo", "-box", "-f", "1", "-l", str(last), path])
        for num, x1, y1, x2, y2 in re.findall(r"Page\s+(\d+) MediaBox:\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+)", boxes):
            w, h = abs(float(x2) - float(x1)), abs(float(y2) - float(y1))
            mm = re.search(rf"^Page {num}: (\S+) x (\S+)$", info, re.M)
            if not mm or abs(float(mm.group(1)) - w) > 0.01 or abs(float(mm.group(2)) - h) > 0.01:
                problems.append(f"page {num}: {mm.group(0) if mm else '?'} vs {w:.2f} x {h:.2f}")
                break
    if problems:
        differ += 1
        print(f"{rel}: " + "; ".join(problems))
    else:
        same += 1
print(f"{clean} files pass qpdf --check cleanly: {same} agree, {differ} differ")
