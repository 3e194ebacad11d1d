#!/usr/bin/env python3
"""Writes the ParseObject fuzz seeds: the object texts of a few corpus files
(the bytes after "N G obj" up to "stream" or "endobj"), plus a few hand-made
inputs for the parser's corner cases."""
import hashlib
import os
import re
import sys

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "..", "..", "shared", "corpus")
out = os.path.join(here, "..", "fuzz", "seeds", "fuzz_parse_object")
files = ["pdfminer/simple1.pdf", "pdfminer/simple2.pdf", "qpdf/minimal.pdf", "qpdf/lin0.pdf",
         "qpdf/annotations-rotated-180.pdf", "qpdf/need-appearances.pdf"]
os.makedirs(out, exist_ok=True)
seeds = set()
for name in files:
    path = os.path.join(corpus, name)
    if not os.path.exists(path):
        print("missing", name, file=sys.stderr)
        continue
    data = open(path, "rb").read()
    for m in re.finditer(rb"\d+\s+\d+\s+obj", data):
        body = data[m.end():m.end() + 2000]
        end = min([i for i in (body.find(b"endobj"), body.find(b"stream")) if i >= 0] or [len(body)])
        seeds.add(body[:end])
hand = [b"<</A 1 /A 2>>", b"[1 0 R 5]", b"1 2.5 R", b"(a\\)b(c)\\101\\q\r\n)", b"<48 65 6c6c 6F>",
        b"/A#42#4G", b"true]", b"[--3 1.2.3 .5 -.5 4.]", b"% c\r\n<<>>", b"[" * 600, b"<</A " * 400,
        b"2147483648 -2147483648", b"[(((((((((((" + b"(" * 100]
seeds.update(hand)
for s in sorted(seeds):
    if not s.strip():
        continue
    with open(os.path.join(out, hashlib.sha1(s).hexdigest()[:16]), "wb") as f:
        f.write(s)
print(len(seeds), "seeds in", out)
