// The text funnel: positioned fragments joined into blocks, written as
// comma-separated rows.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uPDFExtra.h"

// Collects the fragments a content interpreter shows, joins each onto the
// earliest block that it continues (same font name, matrix key and colour,
// its start near the block's end), and writes one row per block.
// One thread at a time.
class TPDFTextFunnel {
 public:
  struct TPoint {
    double X = 0, Y = 0;
  };
  struct TBlock {
    TPoint P0, P1, P2, P3;  // bottom start, bottom end, top end, top start
    std::string Text;
    std::string FontName;
    std::string MatrixKey;
    std::string Color;
    double Size = 0;
  };
  // A fragment as it was shown, kept unjoined (KeepWords): its corners in
  // device space (bottom start, bottom end, top end, top start), its text,
  // font and font size; for a font that states no ascent and descent (its
  // box then has no height), the top and bottom of its FontBBox in font
  // sizes (0 and 0 when unknown).
  struct TWord {
    TPoint P0, P1, P2, P3;
    std::string Text;
    std::string FontName;
    double Size = 0;
    double BoxTop = 0, BoxBottom = 0;
    bool Whole = false;  // a word of its own, whatever the gap before it
  };
  // A row of GetRows as a reader gets it back: the start corner (P0) in
  // output units as its 4-decimal text reads (NumberAsWritten), and the text
  // with every CR a space.
  struct TRow {
    double X = 0, Y = 0;
    std::string Text;
  };
  using TMatrix = TPDFMatrix;

  TPDFTextFunnel();
  ~TPDFTextFunnel();
  TPDFTextFunnel(const TPDFTextFunnel&) = delete;
  TPDFTextFunnel& operator=(const TPDFTextFunnel&) = delete;

  // Output settings: the page corner taken as origin (0 bottom left, 1 top
  // left, 2 top right, 3 bottom right), the factor applied to coordinates, the
  // page size in output units (for mirroring), and one fragment per word.
  int Origin = 0;
  double Scale = 1.0;
  double PageWidth = 0;
  double PageHeight = 0;
  bool WordMode = false;
  // Keep every fragment as a word of its own (Words) instead of joining
  // fragments into blocks.
  bool KeepWords = false;

  // No blocks and no words, the next fragment free to join (as new).
  void Clear();
  void SetMergeEnabled(bool Value) { FMergeEnabled = Value; }
  bool MergeEnabled() const { return FMergeEnabled; }
  // Adds the fragment whose box X, Y, W, H (in its own coordinates) Matrix maps
  // to device space; Size is its font size in device space. BoxTop and
  // BoxBottom go with a kept word (TWord). A Whole fragment is a word of its
  // own (a recognised word): a block it joins gets a space before it.
  void AddFragment(const TMatrix& Matrix, std::string_view Text, std::string_view Color, std::string_view FontName,
                   double Size, double X, double Y, double W, double H, double BoxTop = 0, double BoxBottom = 0,
                   bool Whole = false);
  // One row per block: font, colour, size, the four corners, the text.
  std::string GetRows() const;
  // The rows of GetRows as values, one per block, in Rows (replaced), when
  // every row reads back whole: no font name, colour or text holds a zero
  // byte or an LF, no font name or colour a CR, and no colour a comma, quote
  // or backslash. The texts are moved out of the blocks. False, with Rows and
  // the blocks untouched, otherwise: the caller then reads GetRows.
  bool TakeRows(std::vector<TRow>& Rows);
  const std::vector<TBlock>& Blocks() const { return FBlocks; }
  const std::vector<TWord>& Words() const { return FWords; }
  std::vector<TWord> TakeWords() { return std::move(FWords); }

 private:
  struct TIndex;
  // A coordinate in output units: scaled, and mirrored for an origin on the
  // right (x) or at the top (y).
  double OutX(double V) const;
  double OutY(double V) const;
  std::vector<TBlock> FBlocks;
  std::vector<TWord> FWords;
  bool FMergeEnabled = true;
  std::unique_ptr<TIndex> FIndex;
};
