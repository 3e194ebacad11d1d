#!/usr/bin/env python3
"""How many titles of a document's outline our Markdown shows as headings.

For every PDF file, the titles of the outline's first two levels (as
PyMuPDF's get_toc reads them, Debian's python3-fitz used as a black box) are
the reference; a title is found when a heading line of our Markdown ("#",
"##", ... and a space) matches it: both normalized (NFKC, lower case, the
backslashes of Markdown's escapes and all punctuation dropped, a leading
section number such as "2.1", "A.3" or "Chapter 4" dropped), the one holding
the other whole, or the two alike by difflib's ratio at 0.85 at least. The
figure of a file is the share of its titles found; the overall figure pools
the titles of all files. Files without an outline (or with one PyMuPDF cannot
read) are listed and left out.

Without files, the documentation files of the batch benchmark's list
(bench/batch-files.sh: R's manuals and TeX Live's package documentation) are
read. The Markdown comes from `textextractor --format markdown`, or from
another command given with --command, where {} stands for the file and
standard output holds the Markdown.

Usage: tests/quality/markdown_headings.py [FILE_OR_FOLDER ...]
           [--program TEXTEXTRACTOR] [--command 'CMD {}'] [--missed]
           [--jobs N] [--timeout SECONDS]
"""
import argparse
import concurrent.futures
import difflib
import gzip
import json
import lzma
import os
import re
import shlex
import subprocess
import sys
import tempfile
import unicodedata

_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_PROGRAM = os.path.join(_ROOT, "build", "release", "src", "cli", "textextractor")
LEVELS = 2
RATIO = 0.85


# Debian's python3-fitz is for Debian's Python.
PYTHON = "/usr/bin/python3"


def ensure_fitz():
    """Installs PyMuPDF through the project's package list if it is
    missing."""
    if subprocess.run([PYTHON, "-c", "import fitz"], stderr=subprocess.DEVNULL).returncode == 0:
        return
    script = os.path.join(_ROOT, "scripts", "ensure-packages.sh")
    subprocess.run(["bash", "-c", f'source "{script}" && ensure_packages "${{QUALITY_PACKAGES[@]}}"'], check=True)


def batch_documentation():
    """The documentation files of bench/batch-files.sh that exist (plain,
    .gz or .xz)."""
    script = os.path.join(_ROOT, "bench", "batch-files.sh")
    out = subprocess.run(["bash", "-c", f'cd "{_ROOT}" && source "{script}" && printf "%s\\n" "${{sources[@]}}"'],
                         check=True, stdout=subprocess.PIPE, text=True).stdout
    files = []
    for path in out.split("\n"):
        if not path.startswith("/usr/share/"):
            continue
        for candidate in (path, path + ".gz", path + ".xz"):
            if os.path.exists(candidate):
                files.append(candidate)
                break
    return files


def plain_copy(path, folder):
    """The path of a readable PDF file: compressed documentation is unpacked
    into folder."""
    opener = gzip.open if path.endswith(".gz") else lzma.open if path.endswith(".xz") else None
    if opener is None:
        return path
    dest = os.path.join(folder, f"{abs(hash(path))}-{os.path.basename(path).rsplit('.', 1)[0]}")
    with opener(path, "rb") as src, open(dest, "wb") as out:
        out.write(src.read())
    return dest


_NUMBER = re.compile(r"^(?:[0-9]+|[ivxl]{1,4}|[a-z])$")
_LABELS = {"chapter", "section", "appendix", "part"}


def normalized(text):
    """Lower case words without punctuation and without a leading section
    number."""
    text = unicodedata.normalize("NFKC", text).lower()
    text = re.sub(r"\\(.)", r"\1", text)
    words = re.sub(r"[\W_]+", " ", text).split()
    while len(words) > 1 and (words[0] in _LABELS or (_NUMBER.match(words[0]) and
                                                       (words[0].isdigit() or _NUMBER.match(words[1]) or
                                                        len(words) > 2))):
        words.pop(0)
    return " ".join(words)


_READ_OUTLINE = """
import json, sys
import fitz
doc = fitz.open(sys.argv[1])
print(json.dumps([[level, title] for level, title, *_ in doc.get_toc(simple=True)]))
"""


def outline_titles(path):
    """The normalized titles of the outline's first levels, without repeats;
    None when the outline cannot be read. Each file is read by a Python of
    its own: PyMuPDF's outline objects go wrong across documents."""
    p = subprocess.run([PYTHON, "-c", _READ_OUTLINE, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
    if p.returncode != 0:
        return None
    titles = []
    for level, title in json.loads(p.stdout):
        t = normalized(title)
        if level <= LEVELS and t and t not in titles:
            titles.append(t)
    return titles


def headings(markdown):
    """The normalized texts of the Markdown's heading lines."""
    found = []
    for line in markdown.split("\n"):
        m = re.match(r"^#{1,6} (.*)$", line)
        if m:
            h = normalized(m.group(1))
            if h:
                found.append(h)
    return found


def found_in(title, heads, whole):
    """Whether a heading matches the title."""
    padded = f" {title} "
    if padded in whole:
        return True
    for h in heads:
        if len(h) >= 0.5 * len(title) and f" {h} " in padded:
            return True
    for h in heads:
        m = difflib.SequenceMatcher(None, title, h, autojunk=False)
        if m.real_quick_ratio() >= RATIO and m.quick_ratio() >= RATIO and m.ratio() >= RATIO:
            return True
    return False


def measure(readable, titles, command, timeout):
    """One file's result against its titles: (found, missed titles, status)."""
    cmd = [part.replace("{}", readable) for part in command]
    try:
        p = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=timeout)
    except subprocess.TimeoutExpired:
        return 0, titles, "timeout"
    heads = headings(p.stdout.decode("utf-8", "replace"))
    # The headings inside spaces, for matches of whole words.
    whole = "".join(f" {h} " for h in heads)
    missed = [t for t in titles if not found_in(t, heads, whole)]
    return len(titles) - len(missed), missed, "" if p.returncode == 0 else f"exit {p.returncode}"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("paths", nargs="*", help="PDF files or folders of them (default: the batch list's documentation)")
    ap.add_argument("--program", default=DEFAULT_PROGRAM, help="the textextractor binary")
    ap.add_argument("--command", help="a command writing a file's Markdown to standard output; {} is the file")
    ap.add_argument("--missed", action="store_true", help="list the titles not found")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=float, default=300)
    args = ap.parse_args()
    ensure_fitz()
    files = []
    for p in args.paths or batch_documentation():
        if os.path.isdir(p):
            for dirpath, _, names in os.walk(p):
                files += [os.path.join(dirpath, n) for n in sorted(names)
                          if n.lower().endswith((".pdf", ".pdf.gz", ".pdf.xz"))]
        else:
            files.append(p)
    command = shlex.split(args.command) if args.command else \
        [args.program, "--format", "markdown", "--quiet", "--all-pages", "{}", "-"]
    total = found = 0
    with tempfile.TemporaryDirectory() as folder, concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        jobs = []
        for path in files:
            readable = plain_copy(path, folder)
            titles = outline_titles(readable)
            job = pool.submit(measure, readable, titles, command, args.timeout) if titles else None
            jobs.append((path, titles, job))
        for path, titles, job in jobs:
            name = os.path.basename(path)
            if not titles:
                print(f"{name:40} {'no outline' if titles is not None else 'outline unreadable'}")
                continue
            hits, missed, status = job.result()
            total += len(titles)
            found += hits
            print(f"{name:40} {hits:4}/{len(titles):<4} {100 * hits / len(titles):6.1f}%  {status}")
            if args.missed:
                for t in missed:
                    print(f"    missed: {t}")
    if total:
        print(f"{'overall':40} {found:4}/{total:<4} {100 * found / total:6.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())
