#!/usr/bin/env python3
"""Writes examples/sample.pdf, the document ./run.sh extracts when given no file.

Needs Debian's python3-reportlab (only to regenerate the sample)."""
import os
from reportlab.lib.pagesizes import A4, letter
from reportlab.pdfgen import canvas

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "..", "examples", "sample.pdf")

c = canvas.Canvas(out, pagesize=letter, invariant=1, pageCompression=1)
c.setTitle("Vorlith sample")
c.setAuthor("Vorlith")

pages = [
    ("A sample document", [
        "This file is the bundled sample of the text extractor.",
        "It has three pages with plain text in a few fonts.",
        "Numbers: 1, 22, 333 and 4.5 and -6.",
    ]),
    ("Second page", [
        "Lines are placed at different heights",
        "and one line is written in two pieces",
    ]),
    ("Third page", [
        "Odd and even pages can be chosen separately.",
        "The end.",
    ]),
]
for number, (title, lines) in enumerate(pages, 1):
    c.setFont("Helvetica-Bold", 18)
    c.drawString(72, 720, title)
    c.setFont("Times-Roman", 12)
    y = 690
    for line in lines:
        c.drawString(72, y, line)
        y -= 18
    if number == 2:
        c.setFont("Courier", 12)
        c.drawString(72, y - 10, "left part,")
        c.drawString(160, y - 10, "right part")
    c.setFont("Helvetica", 9)
    c.drawCentredString(306, 40, "Page %d" % number)
    c.showPage()
c.save()
print(out)
