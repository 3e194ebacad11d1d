#!/usr/bin/env python3
"""Word recall and order of `textextractor --layout content` against
`pdftotext -raw` (or of `--layout reflow` against plain `pdftotext`).

For every PDF file under the corpus folder, the words pdftotext finds are the
reference; the recall of a file is the share of those word occurrences (as a
multiset) that our program's output holds too. Both texts are normalized the
same way: UTF-8 with replacement, NFKC (which also splits ligatures), lower
case, punctuation as spaces, split into words; Chinese, Japanese and Korean
characters, written without spaces, count as one word each. The precision of
a file is the share of our words that the reference holds too.

Files pdftotext cannot read or finds no words in are skipped; a file our
program refuses (exit status 3) or that runs out of time counts with recall 0.

The order measure is the share of the reference's neighbouring word pairs
that our output holds as neighbours too.

Usage: tests/quality/word_recall.py [CORPUS_DIR] [TEXTEXTRACTOR]
           [--layout content|reflow] [--json FILE] [--jobs N] [--timeout SECONDS]
"""
import argparse
import collections
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata

_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_CORPUS = os.path.normpath(os.path.join(_ROOT, "..", "shared", "corpus"))
DEFAULT_PROGRAM = os.path.join(_ROOT, "build", "release", "src", "cli", "textextractor")
REFUSED = 3  # our program's exit status for a file it did not open

# User passwords of corpus files whose names do not carry them (from the
# corpus's MANIFEST.md), by path below the corpus folder.
KNOWN_PASSWORDS = {
    "pdfminer/encryption/rc4-40.pdf": "baz",
    "pdfminer/encryption/rc4-128.pdf": "baz",
    "pdfminer/encryption/aes-128.pdf": "baz",
    "pdfminer/encryption/aes-128-m.pdf": "baz",
    "pdfminer/encryption/aes-256.pdf": "baz",
    "pdfminer/encryption/aes-256-m.pdf": "baz",
    "pdfminer/encryption/aes-256-r6.pdf": "usersecret",
    "qpdf/unfilterable-with-crypt.pdf": "attachment",
    "qpdf/job-json-encrypt-128.pdf": "u",
}


def password_of(rel):
    """The user password of a corpus file, None for none."""
    if rel in KNOWN_PASSWORDS:
        return KNOWN_PASSWORDS[rel]
    m = re.search(r"(?:^|[,-])U=([^,]*?)(?:,|\.pdf$)", os.path.basename(rel), re.I)
    return m.group(1) if m else None


_PUNCT = None
# Ideographs, kana and hangul: one word per character.
_CJK = re.compile("[\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\U00020000-\U0003ffff]")


def tokens(data):
    """The normalized words of text bytes, in order."""
    global _PUNCT
    if _PUNCT is None:
        _PUNCT = {c: " " for c in range(sys.maxunicode + 1) if unicodedata.category(chr(c)).startswith("P")}
    text = unicodedata.normalize("NFKC", data.decode("utf-8", errors="replace")).lower()
    return _CJK.sub(r" \g<0> ", text.translate(_PUNCT)).split()


def words(data):
    """The normalized words of text bytes, as a multiset."""
    return collections.Counter(tokens(data))


def pairs(seq):
    """Neighbouring word pairs, as a multiset: the order measure counts how
    many of the reference's pairs our output holds as neighbours too."""
    return collections.Counter(zip(seq, seq[1:]))


def run(cmd, timeout, env=None):
    """(exit status, standard output); status None when the time ran out."""
    try:
        p = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=timeout, env=env)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return None, b""


def measure(path, rel, program, timeout, env, layout="content"):
    """One file's result: a dict with status, words, matched and recall, and
    the neighbouring pairs of words (pairs, pairs_matched, order)."""
    result = {"file": rel, "status": "ok", "words": 0, "matched": 0, "recall": 0.0, "ours": 0, "precise": 0,
              "pairs": 0, "pairs_matched": 0, "order": 0.0}
    pw = password_of(rel)
    # The content layout is compared with pdftotext's content-stream order
    # (-raw), the reflow layout with its default reading order.
    ref_cmd = ["pdftotext"] + (["-raw"] if layout == "content" else []) + ["-enc", "UTF-8"] + \
        (["-upw", pw] if pw else []) + [path, "-"]
    rc, out = run(ref_cmd, timeout)
    ref_tokens = tokens(out) if rc == 0 else []
    ref = collections.Counter(ref_tokens)
    if not ref:
        result["status"] = "skipped"
        return result
    total = sum(ref.values())
    result["words"] = total
    ref_pairs = pairs(ref_tokens)
    result["pairs"] = sum(ref_pairs.values())
    ours_cmd = [program, "--layout", layout, "--quiet", "--encoding", "UTF-8", "--all-pages", "--header", "",
                "--footer", ""] + (["-p", pw] if pw else []) + [path, "-"]
    rc, out = run(ours_cmd, timeout, env)
    if rc is None:
        result["status"] = "timeout"
        return result
    if rc == REFUSED:
        result["status"] = "refused"
        return result
    if rc != 0:
        result["status"] = f"exit {rc}"  # what it wrote still counts
    our_tokens = tokens(out)
    ours = collections.Counter(our_tokens)
    matched = sum(min(n, ours[w]) for w, n in ref.items())
    result["matched"] = matched
    result["recall"] = matched / total
    result["ours"] = sum(ours.values())
    result["precise"] = sum(min(n, ref[w]) for w, n in ours.items())
    our_pairs = pairs(our_tokens)
    result["pairs_matched"] = sum(min(n, our_pairs[p]) for p, n in ref_pairs.items())
    result["order"] = result["pairs_matched"] / result["pairs"] if result["pairs"] else 1.0
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus", nargs="?", default=DEFAULT_CORPUS, help="folder searched for *.pdf")
    ap.add_argument("program", nargs="?", default=DEFAULT_PROGRAM, help="the textextractor binary")
    ap.add_argument("--json", metavar="FILE", help="write the results as JSON to FILE too")
    ap.add_argument("--jobs", "-j", type=int, default=os.cpu_count() or 1, help="files measured at once")
    ap.add_argument("--timeout", type=float, default=60, help="seconds per file and program (default 60)")
    ap.add_argument("--layout", choices=("content", "reflow"), default="content",
                    help="our layout: content (against pdftotext -raw) or reflow (against pdftotext's default)")
    args = ap.parse_args()

    if not shutil.which("pdftotext"):
        sys.exit("word_recall: pdftotext is missing (Debian package poppler-utils)")
    if not (os.path.isfile(args.program) and os.access(args.program, os.X_OK)):
        sys.exit(f"word_recall: no program at {args.program}")
    if not os.path.isdir(args.corpus):
        sys.exit(f"word_recall: no corpus folder {args.corpus}")
    program = os.path.abspath(args.program)
    files = sorted(os.path.relpath(os.path.join(d, f), args.corpus)
                   for d, _, fs in os.walk(args.corpus) for f in fs if f.lower().endswith(".pdf"))
    words(b"")  # builds the punctuation table before the threads start

    # The stored settings of whoever runs this must not change the output.
    with tempfile.TemporaryDirectory(prefix="word-recall-") as config:
        env = dict(os.environ, XDG_CONFIG_HOME=config)
        with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
            results = list(pool.map(
                lambda rel: measure(os.path.join(args.corpus, rel), rel, program, args.timeout, env, args.layout), files))

    by_status = collections.defaultdict(list)
    for r in results:
        by_status[r["status"]].append(r["file"])
    measured = [r for r in results if r["status"] != "skipped"]
    measured.sort(key=lambda r: (r["recall"], r["file"]))
    total = sum(r["words"] for r in measured)
    matched = sum(r["matched"] for r in measured)
    micro = matched / total if total else 0.0
    mean = sum(r["recall"] for r in measured) / len(measured) if measured else 0.0
    ours_total = sum(r["ours"] for r in measured)
    precise = sum(r["precise"] for r in measured)
    precision = precise / ours_total if ours_total else 0.0
    all_pairs = sum(r["pairs"] for r in measured)
    pairs_matched = sum(r["pairs_matched"] for r in measured)
    order = pairs_matched / all_pairs if all_pairs else 0.0
    mean_order = sum(r["order"] for r in measured) / len(measured) if measured else 0.0
    errors = sorted(f for s, fs in by_status.items() if s.startswith("exit ") for f in fs)

    print(f"{'recall':>7} {'order':>7} {'matched':>9} {'words':>9}  {'status':<10} file")
    for r in measured:
        print(f"{100 * r['recall']:6.1f}% {100 * r['order']:6.1f}% {r['matched']:9d} {r['words']:9d}  "
              f"{r['status']:<10} {r['file']}")
    print()
    print(f"files measured:          {len(measured)} of {len(files)}")
    print(f"recall, micro:           {100 * micro:.2f}% ({matched} of {total} words)")
    print(f"recall, mean per file:   {100 * mean:.2f}%")
    print(f"precision, micro:        {100 * precision:.2f}% ({precise} of {ours_total} words)")
    print(f"order, micro:            {100 * order:.2f}% ({pairs_matched} of {all_pairs} neighbouring pairs)")
    print(f"order, mean per file:    {100 * mean_order:.2f}%")
    print(f"skipped (pdftotext):     {len(by_status['skipped'])}")
    print(f"refused (exit 3):        {len(by_status['refused'])}")
    print(f"timed out:               {len(by_status['timeout'])}")
    print(f"other exit status:       {len(errors)}")
    for name, listed in (("refused", sorted(by_status["refused"])), ("timed out", sorted(by_status["timeout"])),
                         ("other exit status", errors)):
        for f in listed:
            print(f"  {name}: {f}")

    if args.json:
        report = {
            "corpus": os.path.abspath(args.corpus),
            "program": program,
            "files": measured,
            "layout": args.layout,
            "micro_recall": micro,
            "mean_recall": mean,
            "micro_order": order,
            "mean_order": mean_order,
            "words": total,
            "matched": matched,
            "skipped": sorted(by_status["skipped"]),
            "refused": sorted(by_status["refused"]),
            "timed_out": sorted(by_status["timeout"]),
            "other_exit_status": errors,
        }
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(report, f, indent=1, ensure_ascii=False)
            f.write("\n")


if __name__ == "__main__":
    main()
