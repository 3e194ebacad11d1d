#!/usr/bin/python3
"""Writes the fixtures of the golden outputs (tests/golden/) that no other
fixture covers:

- tests/fixtures/golden/chinese.pdf: Chinese text in reportlab's STSong-Light
  (UniGB-UCS2-H, no font program, no ToUnicode map: the text comes from the
  CMaps of poppler-data), mixed with Latin text, on two pages, the second in
  two columns;
- tests/fixtures/golden/damaged.pdf: examples/sample.pdf with its
  cross-reference table overwritten and its startxref pointing nowhere, so
  that it opens only by a rebuild.

Needs Debian's python3-reportlab. The files come out the same on every run
(reportlab's invariant mode); the checksums in tests/golden/manifest.tsv
name them, so a change here is a change of the golden outputs too."""
import os
import re

from reportlab.lib.pagesizes import A4
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.cidfonts import UnicodeCIDFont
from reportlab.pdfgen import canvas

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..")
out_dir = os.path.join(root, "tests", "fixtures", "golden")
os.makedirs(out_dir, exist_ok=True)


def chinese():
    pdfmetrics.registerFont(UnicodeCIDFont("STSong-Light"))
    c = canvas.Canvas(os.path.join(out_dir, "chinese.pdf"), pagesize=A4, invariant=1, pageCompression=1)
    c.setTitle("Golden Chinese fixture")
    width, height = A4
    c.setFont("STSong-Light", 20)
    c.drawString(72, height - 90, "文本提取测试")
    c.setFont("STSong-Light", 12)
    lines = [
        "这是一个用于测试的中文文档。",
        "第二行包含数字 123 和英文 Latin text。",
        "标点符号：逗号，句号。问号？",
    ]
    y = height - 130
    for line in lines:
        c.drawString(72, y, line)
        y -= 20
    c.setFont("Helvetica", 12)
    c.drawString(72, y - 10, "A line in Helvetica after the Chinese lines.")
    c.showPage()

    c.setFont("STSong-Light", 16)
    c.drawString(72, height - 80, "两栏页面")
    left = ["左栏第一行文字", "左栏第二行文字", "左栏第三行文字", "左栏第四行文字"]
    right = ["右栏第一行文字", "右栏第二行文字", "右栏第三行文字", "右栏第四行文字"]
    c.setFont("STSong-Light", 11)
    for i, (l, r) in enumerate(zip(left, right)):
        y = height - 120 - i * 16
        c.drawString(72, y, l)
        c.drawString(320, y, r)
    c.save()


def damaged():
    with open(os.path.join(root, "examples", "sample.pdf"), "rb") as f:
        data = f.read()
    start = data.rindex(b"\nxref") + 1
    # The table's lines become blanks of the same length, and startxref
    # points past the end of the file.
    table_end = data.index(b"trailer", start)
    data = data[:start] + b" " * (table_end - start) + data[table_end:]
    data = re.sub(rb"startxref\s+\d+", b"startxref\n999999", data)
    with open(os.path.join(out_dir, "damaged.pdf"), "wb") as f:
        f.write(data)


chinese()
damaged()
