#!/usr/bin/env python3
"""Levenshtein ratio of the reading layout of the GeoTopo lecture notes
(pypdf's sample 009-pdflatex-geotopo in the corpus) against a hand-checked
text of the whole document, such as the ground truth of the py-pdf text
extraction benchmark, and of pdftotext's and mutool's text against it.

The ground truth is not part of the project: give its path. Without it (or
when the file is missing) the script says so and scores our text against
mutool's and pdftotext's instead, a proxy only: both tools misread parts of
the document too.

Texts are compared with every run of white space as one space, so that line
ends and blank lines cost nothing. The ratio is Levenshtein's (python3-
levenshtein, installed by scripts/ensure-packages.sh when missing): 100% is
the same text.

Usage: tests/quality/geotopo_ratio.py [GROUND_TRUTH.txt] [--pdf FILE]
           [--program TEXTEXTRACTOR] [--layout reading|reflow|content]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import word_recall  # noqa: E402

_ROOT = word_recall._ROOT
DEFAULT_PDF = os.path.join(word_recall.DEFAULT_CORPUS, "pypdf-samples", "009-pdflatex-geotopo",
                           "GeoTopo-komprimiert.pdf")


def levenshtein():
    """The Levenshtein module, installed through the project's package list
    if it is missing."""
    try:
        import Levenshtein
        return Levenshtein
    except ImportError:
        pass
    script = os.path.join(_ROOT, "scripts", "ensure-packages.sh")
    subprocess.run(["bash", "-c", f'source "{script}" && ensure_packages "${{QUALITY_PACKAGES[@]}}"'], check=True)
    import Levenshtein
    return Levenshtein


def normalized(data):
    return re.sub(r"\s+", " ", data.decode("utf-8", "replace")).strip()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("truth", nargs="?", help="the hand-checked text of the whole document (UTF-8)")
    ap.add_argument("--pdf", default=DEFAULT_PDF, help="the GeoTopo PDF file")
    ap.add_argument("--program", default=word_recall.DEFAULT_PROGRAM, help="the textextractor binary")
    ap.add_argument("--layout", default="reading", choices=("reading", "reflow", "content"))
    ap.add_argument("--timeout", type=float, default=120)
    args = ap.parse_args()
    lev = levenshtein()
    if not os.path.isfile(args.pdf):
        sys.exit(f"geotopo_ratio: no such PDF file: {args.pdf}")
    with tempfile.TemporaryDirectory(prefix="geotopo-ratio-") as config:
        env = dict(os.environ, XDG_CONFIG_HOME=config)
        rc, ours = word_recall.run([args.program, "--layout", args.layout, "--quiet", "--encoding", "UTF-8",
                                    "--all-pages", "--header", "", "--footer", "", args.pdf, "-"], args.timeout, env)
    if rc != 0:
        sys.exit(f"geotopo_ratio: {args.program} failed (status {rc})")
    texts = {"ours (" + args.layout + ")": normalized(ours)}
    for name, command in (("pdftotext", ["pdftotext", "-enc", "UTF-8", args.pdf, "-"]),
                          ("mutool", ["mutool", "draw", "-q", "-F", "txt", "-o", "-", args.pdf])):
        rc, out = word_recall.run(command, args.timeout)
        if rc == 0:
            texts[name] = normalized(out)
        else:
            print(f"{name}: failed (status {rc}), left out")
    if args.truth and os.path.isfile(args.truth):
        with open(args.truth, "rb") as f:
            truth = normalized(f.read())
        print(f"against the ground truth {args.truth}:")
        for name, text in texts.items():
            print(f"  {name:<16} {100 * lev.ratio(text, truth):6.2f}%")
    else:
        print("no ground truth: " + (f"{args.truth} does not exist" if args.truth else "none given")
              + "; the ratios below are against the other tools only (a proxy)")
    names = list(texts)
    for k, first in enumerate(names):
        for second in names[k + 1:]:
            print(f"  {first} against {second:<10} {100 * lev.ratio(texts[first], texts[second]):6.2f}%")


if __name__ == "__main__":
    main()
