// The reading-order layout: a page's words in the order a person reads them,
// column by column, block by block, with paragraphs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "uPDFEngine.h"
#include "uPDFTextFunnel.h"

// The words of a page (as TPDFEngine::GetPageWords gives them) laid out in
// reading order:
// - words that run in one direction are read in their own frame; the
//   direction of most words comes first, each other direction after it;
// - a running head and foot (a line or two set apart at the top or the
//   bottom of the page) are read first and last;
// - the words are split recursively along wide white gutters: a gutter that
//   runs the height of a region splits it into columns (unless its sides
//   are narrow and their lines line up, as the cells of a table do, or they
//   stand one above the other), a gutter that a few spanning lines cross
//   splits it into bands, else a wide horizontal gap splits it into blocks;
//   regions are read top to bottom and left to right;
// - within a block, words whose vertical middles fall within a line's
//   extent join that line (so superscripts, subscripts and the raised and
//   lowered letters of logos stay in place); runs of a line set one above
//   the other (a fraction's numerator and denominator, the rows of cases)
//   go on lines of their own, each whole; words of a line are separated by
//   one space where their gap says so;
// - a vertical gap clearly larger than the block's line spacing, or an
//   indented first line, starts a new paragraph.
// Blocks and paragraphs are separated by an empty line; lines end with CR LF
// between them (none after the last). Linear-logarithmic in the number of
// words: the recursion is bounded in depth.
std::string ReadingOrderLayout(const std::vector<TPDFTextFunnel::TWord>& Words);

// The same layout as data, for the structured outputs. Boxes are in points
// on the page as it is seen: the page box's top left corner is the origin,
// y runs down, and the page's rotation is applied.

// A word: pieces shown without a gap between them, with the font (without
// its subset tag), size and style of its first piece.
struct TReadingWord {
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  std::string Text;
  std::string Font;
  double Size = 0;
  bool Bold = false, Italic = false;
};

// A line of a block: its words left to right in its own direction (DirX,
// DirY: the unit vector of its baseline on the page as seen).
struct TReadingLine {
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  double DirX = 1, DirY = 0;
  std::vector<TReadingWord> Words;
  // The line starts a paragraph other than its block's first.
  bool ParagraphStart = false;
};

enum class TReadingBlockKind : uint8_t { Text, Table };

// A block: its lines top to bottom; for a table also its rows of cells (the
// text of each column of a line; "" for an empty cell). Margin: a running
// head or foot.
struct TReadingBlock {
  TReadingBlockKind Kind = TReadingBlockKind::Text;
  bool Margin = false;
  double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  std::vector<TReadingLine> Lines;
  std::vector<std::vector<std::string>> Rows;
};

// A page: its number, its size as seen, its rotation and its blocks in
// reading order.
struct TReadingPage {
  int32_t Number = 0;
  double Width = 0, Height = 0;
  int Rotation = 0;
  std::vector<TReadingBlock> Blocks;
};

// The page's words (as ReadingOrderLayout takes them) as blocks, lines and
// words in reading order; Box places them on the page as seen.
TReadingPage ReadingOrderPage(const std::vector<TPDFTextFunnel::TWord>& Words, const TPDFPageBox& Box);
// The text of a page as ReadingOrderLayout writes it.
std::string ReadingOrderText(const TReadingPage& Page);

// A page as bytes, for another process, and back: false (with Page
// unspecified) when Bytes are not what PackReadingPage wrote.
std::string PackReadingPage(const TReadingPage& Page);
bool UnpackReadingPage(std::string_view Bytes, TReadingPage& Page);

// Whether a font's name says bold or italic (Helvetica-BoldOblique,
// Arial,BoldItalic, the TeX fonts cmbx10 and cmti10).
void FontStyle(std::string_view FontName, bool& Bold, bool& Italic);
