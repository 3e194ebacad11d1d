// The reading-order layout: a page's words in the order a person reads them,
// column by column, block by block, with paragraphs.
#pragma once

#include <string>
#include <vector>

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
