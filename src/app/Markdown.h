// The Markdown form of a document, from the reading-order layout's blocks,
// lines and words.
#pragma once

#include <memory>
#include <string>

#include "ReadingOrder.h"

// Collects a document's pages and writes them as Markdown. The decisions
// that need the whole document (the body's font size, which sizes are
// headings of which level, running heads and feet, words that are
// hyphenated) are made by Finish, so a page is kept until then in a compact
// form: its words' texts, sizes, styles and horizontal extents, its lines'
// boxes and its tables' cells (not the words' fonts and full boxes).
//
// What is written:
// - headings: short lines (at most three lines and twenty words together)
//   in a font clearly larger than the body's (the most common size, by
//   characters), ranked by size: the largest "#", the next "##", the rest
//   "###"; and short lines at the body's size that start a paragraph wholly
//   in bold (unless most of the body is bold), in capitals, in sans serif
//   over their paragraph in a serif body, or numbered and italic, one level
//   below the last size (at most "###");
// - paragraphs as one line each, a word cut by a hyphen at a line end joined
//   again (the hyphen kept after a digit, before a capital, and where the
//   document has the word with its hyphen elsewhere);
// - lines that open with a bullet or a number as list items ("- " and
//   "N. "; a letter or roman numeral is kept after "- "), nested by their
//   indent, their continuation lines joined;
// - tables as pipe tables, the first row as the header;
// - bold and italic runs of words as **...**, _..._ and **_..._**;
// - running heads and feet left out: the margin blocks of the layout (not
//   one in a heading's size, or of more words than a head has that repeat
//   nowhere), lines at a page's top or bottom whose text (digits aside, in
//   the same size) repeats there on other pages, and lines there that are
//   only a page number;
// - text that Markdown would read as markup escaped with a backslash.
// Blocks are separated by an empty line, and so are pages; a paragraph that
// runs on over a page's end is joined when nothing marks the pages.
// Linear in the document's words (with a hash set of its hyphenated words).
class TMarkdownWriter {
 public:
  TMarkdownWriter();
  ~TMarkdownWriter();
  TMarkdownWriter(TMarkdownWriter&&) noexcept;
  TMarkdownWriter& operator=(TMarkdownWriter&&) noexcept;

  // Adds the next page (pages in order).
  void AddPage(TReadingPage Page);
  // The document's Markdown: UTF-8 (bytes that are no UTF-8 as U+FFFD), LF
  // line ends, ending with one LF; empty when the pages hold no text and
  // there are no marks. PageMarks: each page opens with "<!-- page N -->"
  // (N its number) on a line of its own and an empty line. The pages stay,
  // so Finish may be called again.
  std::string Finish(bool PageMarks = false);

  // The pages as kept, and what is counted over them (Markdown.cpp).
  struct TData;

 private:
  std::unique_ptr<TData> FData;
};
