#!/usr/bin/env python3
"""Word order and recall of a layout against pdftotext's default (reading
order) mode, for multi-column files.

For every PDF file under the folder, the words of `pdftotext` are the
reference. The order of a file is the length of the longest common
subsequence of the two word sequences as a share of the reference's words;
its recall is the share of the reference's word occurrences (as a multiset)
that our output holds. Words are normalized as tests/quality/word_recall.py
does, after a word cut by a hyphen at a line end of our output is joined with
its rest, as pdftotext joins it. Pooled figures add up the files' words.

With `--reference mutool` the reference is `mutool draw -F txt` instead: the
two tools disagree with each other on many multi-column pages, so a second
reference tells a misordering of ours from one of the reference.

Usage: tests/quality/reading_order.py [FOLDER] [TEXTEXTRACTOR]
           [--layout reading|reflow] [--reference pdftotext|mutool]
           [--jobs N] [--timeout SECONDS]
"""
import argparse
import collections
import concurrent.futures
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import word_recall  # noqa: E402


_HYPHEN = None


def dehyphenate(data):
    """Joins a word cut by a hyphen at a line end with its rest on the next
    line, as pdftotext does, so that a kept hyphen costs no word."""
    global _HYPHEN
    if _HYPHEN is None:
        _HYPHEN = re.compile(rb"([^\W\d_])-[ \t]*\r?\n+[ \t]*(?=[a-z])")
    return _HYPHEN.sub(rb"\1", data)


def lcs_length(a, b):
    """The longest common subsequence of two sequences, bit-parallel over a
    (Hyyrö's formula): linear in len(b) big-integer steps."""
    if not a or not b:
        return 0
    masks = {}
    for i, w in enumerate(a):
        masks[w] = masks.get(w, 0) | (1 << i)
    full = (1 << len(a)) - 1
    v = full
    for w in b:
        u = v & masks.get(w, 0)
        v = ((v + u) | (v - u)) & full
    return len(a) - bin(v).count("1")


REFERENCES = {
    "pdftotext": lambda path: ["pdftotext", "-enc", "UTF-8", path, "-"],
    "mutool": lambda path: ["mutool", "draw", "-q", "-F", "txt", "-o", "-", path],
}


def measure(path, rel, program, layout, timeout, env, reference="pdftotext"):
    result = {"file": rel, "status": "ok", "words": 0, "common": 0, "matched": 0}
    rc, out = word_recall.run(REFERENCES[reference](path), timeout)
    ref = word_recall.tokens(out) if rc == 0 else []
    if not ref:
        result["status"] = "skipped"
        return result
    rc, out = word_recall.run([program, "--layout", layout, "--quiet", "--encoding", "UTF-8", "--all-pages",
                               "--header", "", "--footer", "", path, "-"], timeout, env)
    if rc is None:
        result["status"] = "timeout"
    elif rc != 0:
        result["status"] = f"exit {rc}"
    ours = word_recall.tokens(dehyphenate(out))
    result["words"] = len(ref)
    result["common"] = lcs_length(ref, ours)
    ref_c, our_c = collections.Counter(ref), collections.Counter(ours)
    result["matched"] = sum(min(n, our_c[w]) for w, n in ref_c.items())
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("folder", help="folder searched for *.pdf")
    ap.add_argument("program", nargs="?", default=word_recall.DEFAULT_PROGRAM, help="the textextractor binary")
    ap.add_argument("--layout", default="reading", choices=("reading", "reflow", "content"))
    ap.add_argument("--reference", default="pdftotext", choices=sorted(REFERENCES))
    ap.add_argument("--jobs", "-j", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--timeout", type=float, default=120)
    args = ap.parse_args()
    files = sorted(os.path.relpath(os.path.join(d, f), args.folder)
                   for d, _, fs in os.walk(args.folder, followlinks=True) for f in fs if f.lower().endswith(".pdf"))
    word_recall.words(b"")
    with tempfile.TemporaryDirectory(prefix="reading-order-") as config:
        env = dict(os.environ, XDG_CONFIG_HOME=config)
        with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
            results = list(pool.map(lambda rel: measure(os.path.join(args.folder, rel), rel,
                                                        os.path.abspath(args.program), args.layout, args.timeout,
                                                        env, args.reference), files))
    measured = [r for r in results if r["status"] != "skipped"]
    measured.sort(key=lambda r: r["common"] / r["words"])
    print(f"{'order':>7} {'recall':>7} {'words':>8}  {'status':<8} file")
    for r in measured:
        print(f"{100 * r['common'] / r['words']:6.1f}% {100 * r['matched'] / r['words']:6.1f}% {r['words']:8d}  "
              f"{r['status']:<8} {r['file']}")
    words = sum(r["words"] for r in measured)
    if words:
        print(f"\npooled over {len(measured)} files ({words} words): "
              f"order {100 * sum(r['common'] for r in measured) / words:.2f}%, "
              f"recall {100 * sum(r['matched'] for r in measured) / words:.2f}%")


if __name__ == "__main__":
    main()
