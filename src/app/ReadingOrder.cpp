// The reading-order layout.
#include "ReadingOrder.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace {

// A word in the frame of its direction: x runs along its baseline, y up.
struct TItem {
  double X0, X1, Y0, Y1;
  double Size;
  const std::string* Text;
  uint32_t Source;  // the word it was made from
  bool Flat = false;  // its box had no height: the usual one stands in
  bool Whole = false;  // a word of its own (a recognised word)
  double CenterY() const { return (Y0 + Y1) / 2; }
};

using TRegion = std::vector<uint32_t>;

// Regions are split this deep at most; below that a region is read as one
// block. Each level costs O(n log n) over its words, so the bound keeps every
// page linear-logarithmic whatever its shape.
constexpr int MaxDepth = 40;

// Thresholds, in font sizes (the median size of a region's words).
constexpr double GutterWidth = 0.9;      // a white strip between columns
constexpr double BlockGap = 0.9;         // a white strip between blocks
constexpr double ColumnWidth = 10;       // narrower parts are always table cells
constexpr size_t MaxCellWords = 6;       // cells of wider parts have at most this many words a line
constexpr size_t MinRows = 3;            // the first column of a table beside prose has this many lines at least
constexpr double WordGap = 0.15;         // a gap this wide between words is a space
constexpr double MinSpanned = 5;         // columns under a title are at least this high
constexpr double SpannedWidth = 12;      // and at least this wide each
constexpr double MarginHeight = 2.5;     // a running head or foot at most this tall
constexpr double MarginGap = 1.5;        // set apart from the text by at least this
constexpr double Indent = 0.7;           // a first line indented this far
// Other measures.
constexpr double ParagraphSpacing = 1.4;  // times the block's line spacing
constexpr double TallWord = 1.5;          // times the usual height of a block's words
constexpr size_t StackWindow = 8;         // words before a word checked for standing above it
constexpr double RunGap = 1.0;            // font sizes between words of one run at most
constexpr double StackDistance = 0.9;     // font sizes between the middles of stacked words at least

class TReader {
 public:
  explicit TReader(std::vector<TItem> Items) : FItems(std::move(Items)) {}

  // A line of a block: its words, each the items shown without a gap
  // between them, left to right.
  struct TLineOut {
    std::vector<std::vector<uint32_t>> Words;
    bool ParagraphStart = false;
  };
  // A block: its lines; Margin for a running head or foot; Columns: the
  // bounds between the columns of the table it belongs to (empty for text).
  struct TBlockOut {
    std::vector<TLineOut> Lines;
    bool Margin = false;
    std::vector<double> Columns;
  };

  // The blocks of the region in reading order.
  void Cut(TRegion R, int Depth);
  const std::vector<TItem>& Items() const { return FItems; }
  const std::vector<TBlockOut>& Blocks() const { return FBlocks; }

 private:
  struct TStrip {
    double From, To;  // a white (or nearly white) interval
    size_t Crossers;  // items crossing it
  };

  double MedianSize(const TRegion& R) const;
  // The best strip of the x-projection at least MinWidth wide with at least
  // MinSide items wholly on each side: the fewest items crossing it (at most
  // MaxCrossers, and at most a tenth of the smaller side), the widest among
  // those.
  bool FindGutter(const TRegion& R, double MinWidth, size_t MaxCrossers, size_t MinSide, TStrip& Best) const;
  // Whether the parts between white vertical strips are table cells rather
  // than columns: each narrow or of short lines, lines that line up.
  bool LooksLikeTable(const std::vector<TRegion>& Parts, double Size) const;
  // Whether a part's lines have few words (at most MaxCellWords, the median),
  // none broken by a hyphen at its end, and, if Ragged, mostly leave the
  // part's width unfilled.
  bool ShortLines(const TRegion& Part, double Size, bool Ragged) const;
  // Whether most words stand on a baseline that another part has too.
  bool Aligned(const std::vector<TRegion>& Parts, double Size) const;
  // The lines (baselines) of part A, within the height both parts span,
  // that part B has no line beside; and (Lines) how many lines A has there.
  size_t Unpartnered(const TRegion& A, const TRegion& B, double Size, size_t* Lines = nullptr) const;
  // Whether wide parts run on independently, as the columns of an index or
  // a list do: each has lines beside a gap of its neighbour (the gaps
  // between an index's letter groups fall at other heights in each column).
  bool FlowingColumns(const std::vector<TRegion>& Parts, double Size) const;
  // The items above the part's first wide horizontal gap, and their extent.
  TRegion TopBlock(const TRegion& Part, double Size, double& Lo, double& Hi) const;
  // Reads a table over the top of columns first and takes it out of Parts.
  bool SplitSharedTop(std::vector<TRegion>& Parts, int Depth, double Size);
  // Columns, left to right, after a table over their tops.
  void CutColumns(std::vector<TRegion>& Parts, int Depth, double Size);
  bool SideBySide(const std::vector<TRegion>& Parts) const;
  bool SplitByGutter(const TRegion& R, int Depth, double Size);
  bool SplitBySpanners(const TRegion& R, int Depth, double Size);
  bool SplitByGaps(const TRegion& R, int Depth, double Size);
  bool PeelMargins(const TRegion& R, int Depth, double Size);
  void AddBlock(const TRegion& R);
  // A line's words (left to right) as one or more lines: the runs of a
  // piece set one above the other (a fraction's numerator and denominator,
  // the rows of a matrix) each on a line of their own, whole; one part when
  // nothing stands above anything.
  std::vector<std::vector<uint32_t>> SplitStacks(const std::vector<uint32_t>& Words, double Size) const;
  // The words of a line (left to right): the items between the gaps that
  // are spaces.
  std::vector<std::vector<uint32_t>> LineWords(const std::vector<uint32_t>& Items) const;

  std::vector<TItem> FItems;
  std::vector<TBlockOut> FBlocks;
  // Whether the blocks being cut are a running head or foot, and the column
  // bounds of the table they lie in (innermost last).
  bool FMargin = false;
  std::vector<std::vector<double>> FTables;
  // The column bounds of the last region that looked like a table.
  std::vector<double> FTableSeen;
};

double TReader::MedianSize(const TRegion& R) const {
  std::vector<double> Sizes;
  Sizes.reserve(R.size());
  for (uint32_t I : R) Sizes.push_back(FItems[I].Size);
  if (Sizes.empty()) return 1;
  auto Mid = Sizes.begin() + static_cast<std::ptrdiff_t>(Sizes.size() / 2);
  std::nth_element(Sizes.begin(), Mid, Sizes.end());
  return *Mid > 0 ? *Mid : 1;
}

bool TReader::FindGutter(const TRegion& R, double MinWidth, size_t MaxCrossers, size_t MinSide, TStrip& Best) const {
  // The items crossing the strip [a, a + MinWidth]: those over a once each
  // item is widened to the left by MinWidth. Coverage of the x axis by the
  // widened items: +1 where one starts, -1 where it ends.
  std::vector<std::pair<double, int>> Events;
  Events.reserve(2 * R.size());
  for (uint32_t I : R) {
    Events.emplace_back(FItems[I].X0 - MinWidth, +1);
    Events.emplace_back(FItems[I].X1, -1);
  }
  std::sort(Events.begin(), Events.end());
  // Items wholly left of a position: ends seen; wholly right: starts not
  // yet seen.
  const size_t N = R.size();
  bool Found = false;
  long Count = 0;
  size_t Starts = 0, Ends = 0, StartsBefore = 0;
  // The current run of low coverage: the items wholly left of it and its
  // stretches (from, to, coverage). Its core is the widest stretch whose
  // coverage is near the run's lowest: a column's ragged edge lowers the
  // coverage only gradually, and a stray item may cross the middle.
  bool InRun = false;
  size_t RunLeft = 0;
  struct TStretch {
    double From, To;
    size_t Count;
  };
  std::vector<TStretch> Run;
  for (size_t E = 0; E < Events.size(); ++E) {
    if (E == 0 || Events[E - 1].first != Events[E].first) StartsBefore = Starts;
    if (Events[E].second > 0) {
      ++Count;
      ++Starts;
    } else {
      --Count;
      ++Ends;
    }
    const bool LastAtPosition = E + 1 == Events.size() || Events[E + 1].first != Events[E].first;
    if (!LastAtPosition) continue;
    const double At = Events[E].first;
    const bool Low = Count >= 0 && static_cast<size_t>(Count) <= MaxCrossers && E + 1 < Events.size();
    if (Low) {
      if (!InRun) {
        InRun = true;
        RunLeft = Ends;
        Run.clear();
      }
      Run.push_back({At, Events[E + 1].first, static_cast<size_t>(Count)});
      continue;
    }
    if (!InRun) continue;
    InRun = false;
    size_t Lowest = Run.front().Count;
    for (const auto& S : Run) Lowest = std::min(Lowest, S.Count);
    const size_t Limit = Lowest + std::max<size_t>(MaxCrossers ? 1 : 0, Lowest / 2);
    double CoreFrom = 0, CoreTo = 0, From = 0, To = -1e300;
    size_t CoreMax = 0, Max = 0;
    for (const auto& S : Run) {
      if (S.Count > Limit) {
        To = -1e300;
        continue;
      }
      if (To != S.From) {
        From = S.From;
        Max = 0;
      }
      To = S.To;
      Max = std::max(Max, S.Count);
      if (To - From > CoreTo - CoreFrom) {
        CoreFrom = From;
        CoreTo = To;
        CoreMax = Max;
      }
    }
    const size_t Right = N - StartsBefore;  // the items starting here or later
    const double Width = CoreTo + MinWidth - CoreFrom;
    // Crossing items must be few beside what the strip separates.
    const bool FewCrossers = CoreMax <= std::max<size_t>(MaxCrossers ? 3 : 0, std::min(RunLeft, Right) / 10);
    if (Width >= MinWidth && RunLeft >= MinSide && Right >= MinSide && FewCrossers &&
        (!Found || CoreMax < Best.Crossers || (CoreMax == Best.Crossers && Width > Best.To - Best.From))) {
      Best = {CoreFrom, CoreTo + MinWidth, CoreMax};
      Found = true;
    }
  }
  return Found;
}

bool TReader::ShortLines(const TRegion& Part, double Size, bool Ragged) const {
  // Lines by baseline: a column of prose has lines of many words that mostly
  // fill its width; cells have a few words, and (Ragged) widths that vary.
  double Lo = 1e300, Hi = -1e300;
  for (uint32_t I : Part) {
    Lo = std::min(Lo, FItems[I].X0);
    Hi = std::max(Hi, FItems[I].X1);
  }
  // Lines: the items by the middle of their height, a line while the middles
  // stay near its first; along each line a word starts where the gap to the
  // item before is a space (a word may come in pieces).
  TRegion Order = Part;
  std::sort(Order.begin(), Order.end(),
            [&](uint32_t A, uint32_t B) { return FItems[A].CenterY() > FItems[B].CenterY(); });
  std::vector<size_t> Words;
  size_t Full = 0, Hyphens = 0;
  std::vector<uint32_t> Line;
  for (size_t K = 0, First = 0; K < Order.size(); ++K) {
    Line.push_back(Order[K]);
    if (K + 1 < Order.size() &&
        FItems[Order[First]].CenterY() - FItems[Order[K + 1]].CenterY() <= 0.35 * Size)
      continue;
    std::sort(Line.begin(), Line.end(), [&](uint32_t A, uint32_t B) { return FItems[A].X0 < FItems[B].X0; });
    size_t Count = 1;
    double Right = FItems[Line.front()].X1;
    for (size_t J = 1; J < Line.size(); ++J) {
      if (FItems[Line[J]].Whole || FItems[Line[J]].X0 - Right > WordGap * Size) ++Count;
      Right = std::max(Right, FItems[Line[J]].X1);
    }
    Words.push_back(Count);
    if (Right - FItems[Line.front()].X0 >= 0.85 * (Hi - Lo)) ++Full;
    const std::string& Last = *FItems[Line.back()].Text;
    if (Last.size() > 2 && Last.back() == '-') ++Hyphens;
    Line.clear();
    First = K + 1;
  }
  // Words broken at line ends: prose, however short its lines.
  if (Hyphens >= 2) return false;
  if (Words.empty()) return false;
  auto Mid = Words.begin() + static_cast<std::ptrdiff_t>(Words.size() / 2);
  std::nth_element(Words.begin(), Mid, Words.end());
  return *Mid <= MaxCellWords && (!Ragged || 2 * Full < Words.size());
}

bool TReader::Aligned(const std::vector<TRegion>& Parts, double Size) const {
  // Most words stand on a baseline that another part has too.
  const double Step = 0.25 * Size;
  std::unordered_map<long, uint64_t> Owners;  // baseline -> the parts (a bit each) that have it
  auto Key = [&](uint32_t I) { return std::lround(FItems[I].Y0 / Step); };
  for (size_t P = 0; P < Parts.size(); ++P)
    for (uint32_t I : Parts[P]) Owners[Key(I)] |= uint64_t{1} << std::min<size_t>(P, 63);
  size_t Count = 0, All = 0;
  for (size_t P = 0; P < Parts.size(); ++P) {
    const uint64_t Own = uint64_t{1} << std::min<size_t>(P, 63);
    for (uint32_t I : Parts[P]) {
      ++All;
      uint64_t Others = 0;
      for (long K = Key(I) - 1; K <= Key(I) + 1; ++K)
        if (auto It = Owners.find(K); It != Owners.end()) Others |= It->second;
      if (Others & ~Own) ++Count;
    }
  }
  return Count * 5 >= All * 3;
}

size_t TReader::Unpartnered(const TRegion& A, const TRegion& B, double Size, size_t* Lines) const {
  const double Step = 0.25 * Size;
  auto Key = [&](uint32_t I) { return std::lround(FItems[I].Y0 / Step); };
  auto Range = [&](const TRegion& R, long& Lo, long& Hi) {
    Lo = LONG_MAX;
    Hi = LONG_MIN;
    for (uint32_t I : R) {
      Lo = std::min(Lo, Key(I));
      Hi = std::max(Hi, Key(I));
    }
  };
  long LoA, HiA, LoB, HiB;
  Range(A, LoA, HiA);
  Range(B, LoB, HiB);
  const long Lo = std::max(LoA, LoB), Hi = std::min(HiA, HiB);
  std::unordered_map<long, bool> Keys;  // A's baselines -> partnered
  for (uint32_t I : A)
    if (const long K = Key(I); K >= Lo && K <= Hi) Keys.emplace(K, false);
  for (uint32_t I : B)
    for (long K = Key(I) - 1; K <= Key(I) + 1; ++K)
      if (auto It = Keys.find(K); It != Keys.end()) It->second = true;
  // Neighbouring keys of one line (a baseline on a boundary) count once.
  const auto Clusters = [](std::vector<long>& Of) {
    std::sort(Of.begin(), Of.end());
    size_t Count = 0;
    for (size_t J = 0; J < Of.size(); ++J)
      if (J == 0 || Of[J] > Of[J - 1] + 1) ++Count;
    return Count;
  };
  std::vector<long> All, Alone;
  for (const auto& [K, Partnered] : Keys) {
    All.push_back(K);
    if (!Partnered) Alone.push_back(K);
  }
  if (Lines) *Lines = Clusters(All);
  return Clusters(Alone);
}

bool TReader::FlowingColumns(const std::vector<TRegion>& Parts, double Size) const {
  for (const TRegion& Part : Parts) {
    double Lo = 1e300, Hi = -1e300;
    for (uint32_t I : Part) {
      Lo = std::min(Lo, FItems[I].X0);
      Hi = std::max(Hi, FItems[I].X1);
    }
    if (Hi - Lo < ColumnWidth * Size) return false;
  }
  for (size_t P = 1; P < Parts.size(); ++P)
    if (Unpartnered(Parts[P - 1], Parts[P], Size) > 0 && Unpartnered(Parts[P], Parts[P - 1], Size) > 0) return true;
  return false;
}

bool TReader::LooksLikeTable(const std::vector<TRegion>& Parts, double Size) const {
  // Table cells: every part narrow or made of short ragged lines, lined up,
  // not running on each by itself. The last part may be prose (the
  // descriptions beside a list of names) when every line of each part
  // before it has a line of the prose beside it, and the first has a few:
  // its rows line up.
  if (FlowingColumns(Parts, Size)) return false;
  bool LastIsProse = false;
  for (size_t P = 0; P < Parts.size(); ++P) {
    double Lo = 1e300, Hi = -1e300;
    for (uint32_t I : Parts[P]) {
      Lo = std::min(Lo, FItems[I].X0);
      Hi = std::max(Hi, FItems[I].X1);
    }
    if (Hi - Lo >= ColumnWidth * Size && !ShortLines(Parts[P], Size, true)) {
      // Prose has lines of many words (a block of centred lines of a few,
      // an author's address, does not pass).
      if (P + 1 < Parts.size() || ShortLines(Parts[P], Size, false)) return false;
      LastIsProse = true;
    }
  }
  if (LastIsProse)
    for (size_t P = 0; P + 1 < Parts.size(); ++P) {
      size_t Lines = 0;
      if (Unpartnered(Parts[P], Parts.back(), Size, &Lines) > 0 || (P == 0 && Lines < MinRows)) return false;
    }
  return Aligned(Parts, Size);
}

TRegion TReader::TopBlock(const TRegion& Part, double Size, double& Lo, double& Hi) const {
  // The items above the part's first wide horizontal gap; empty without one.
  TRegion Order = Part;
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) { return FItems[A].Y1 > FItems[B].Y1; });
  Hi = FItems[Order[0]].Y1;
  Lo = FItems[Order[0]].Y0;
  for (size_t K = 1; K < Order.size(); ++K) {
    if (FItems[Order[K]].Y1 < Lo - BlockGap * Size) {
      Order.resize(K);
      return Order;
    }
    Lo = std::min(Lo, FItems[Order[K]].Y0);
  }
  return {};
}

void TReader::CutColumns(std::vector<TRegion>& Parts, int Depth, double Size) {
  SplitSharedTop(Parts, Depth, Size);
  for (auto& Part : Parts) Cut(std::move(Part), Depth + 1);
}

bool TReader::SplitSharedTop(std::vector<TRegion>& Parts, int Depth, double Size) {
  // A table across the columns at their top that the gutter runs through (a
  // table set over the whole width): its pieces begin and end at the same
  // heights, on common baselines, in short lines. It is read whole, before
  // the columns.
  double Top = -1e300;
  for (const TRegion& Part : Parts)
    for (uint32_t I : Part) Top = std::max(Top, FItems[I].Y1);
  std::vector<TRegion> Blocks;
  std::vector<size_t> Owners;
  double FirstLo = 0, FirstHi = 0;
  for (size_t P = 0; P < Parts.size(); ++P) {
    double Lo, Hi;
    TRegion Block = TopBlock(Parts[P], Size, Lo, Hi);
    if (Hi < Top - Size) continue;  // a part that starts lower (a page number)
    if (Block.empty() || !ShortLines(Block, Size, false)) return false;
    if (Blocks.empty()) {
      FirstLo = Lo;
      FirstHi = Hi;
    } else if (std::fabs(Hi - FirstHi) > 0.5 * Size || std::fabs(Lo - FirstLo) > Size) {
      return false;
    }
    Blocks.push_back(std::move(Block));
    Owners.push_back(P);
  }
  if (Blocks.size() < 2 || !Aligned(Blocks, Size)) return false;
  TRegion Shared;
  for (size_t K = 0; K < Blocks.size(); ++K) {
    Shared.insert(Shared.end(), Blocks[K].begin(), Blocks[K].end());
    // The rest of the part: what lies below its top block.
    TRegion& Part = Parts[Owners[K]];
    std::sort(Blocks[K].begin(), Blocks[K].end());
    Part.erase(std::remove_if(Part.begin(), Part.end(),
                              [&](uint32_t I) { return std::binary_search(Blocks[K].begin(), Blocks[K].end(), I); }),
               Part.end());
  }
  Cut(std::move(Shared), Depth + 1);
  return true;
}

bool TReader::SideBySide(const std::vector<TRegion>& Parts) const {
  // Columns stand beside each other: neighbours share most of the height of
  // the shorter. Parts one above the other are blocks, for the gaps to split.
  double PrevLo = 0, PrevHi = 0;
  for (size_t P = 0; P < Parts.size(); ++P) {
    double Lo = 1e300, Hi = -1e300;
    for (uint32_t I : Parts[P]) {
      Lo = std::min(Lo, FItems[I].Y0);
      Hi = std::max(Hi, FItems[I].Y1);
    }
    if (P > 0 && std::min(Hi, PrevHi) - std::max(Lo, PrevLo) < 0.5 * std::min(Hi - Lo, PrevHi - PrevLo))
      return false;
    PrevLo = Lo;
    PrevHi = Hi;
  }
  return true;
}

bool TReader::SplitByGutter(const TRegion& R, int Depth, double Size) {
  // The parts between white strips that run the height of the region, left
  // to right.
  TRegion Order = R;
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) { return FItems[A].X0 < FItems[B].X0; });
  std::vector<TRegion> Parts(1);
  double Right = FItems[Order[0]].X1;
  for (uint32_t I : Order) {
    if (!Parts.back().empty() && FItems[I].X0 >= Right + GutterWidth * Size) Parts.emplace_back();
    Parts.back().push_back(I);
    Right = Parts.back().size() == 1 ? FItems[I].X1 : std::max(Right, FItems[I].X1);
  }
  if (Parts.size() < 2) return false;
  if (LooksLikeTable(Parts, Size)) {
    // Read as blocks all the same; the bounds between its parts are its
    // columns.
    FTableSeen.clear();
    for (size_t P = 1; P < Parts.size(); ++P) {
      double Left = -1e300, Right = 1e300;
      for (uint32_t I : Parts[P - 1]) Left = std::max(Left, FItems[I].X1);
      for (uint32_t I : Parts[P]) Right = std::min(Right, FItems[I].X0);
      FTableSeen.push_back((Left + Right) / 2);
    }
    return false;
  }
  if (!SideBySide(Parts)) return false;
  CutColumns(Parts, Depth, Size);
  return true;
}

bool TReader::SplitBySpanners(const TRegion& R, int Depth, double Size) {
  // Columns under a title or around a caption: a gutter that only a few
  // items cross. Those items' lines become bands of their own, and the
  // parts between them are read band by band, top to bottom.
  // At any x inside a column, about as many words as the column has lines
  // cover it; a strip crossed by a fifth of that is no column.
  double Lo = 1e300, Hi = -1e300, Left = 1e300, Right = -1e300;
  for (uint32_t I : R) {
    Lo = std::min(Lo, FItems[I].Y0);
    Hi = std::max(Hi, FItems[I].Y1);
    Left = std::min(Left, FItems[I].X0);
    Right = std::max(Right, FItems[I].X1);
  }
  if (Hi - Lo < MinSpanned * Size) return false;
  const size_t MaxCrossers = std::max<size_t>(3, static_cast<size_t>((Hi - Lo) / (1.2 * Size) / 3));
  TStrip Gutter{};
  if (!FindGutter(R, GutterWidth * Size, MaxCrossers, std::max<size_t>(2, R.size() / 10), Gutter) ||
      Gutter.Crossers == 0)
    return false;
  // Columns are wide; a narrow strip beside a gutter is a piece of a formula
  // or of a table.
  if (Gutter.From - Left < SpannedWidth * Size || Right - Gutter.To < SpannedWidth * Size) return false;
  // The spanners: items over the middle of the strip (a word that only juts
  // into it belongs to its column), their lines merged into bands.
  const double Middle = (Gutter.From + Gutter.To) / 2;
  std::vector<std::pair<double, double>> Spans;  // y extents of the spanners
  for (uint32_t I : R)
    if (FItems[I].X0 < Middle && FItems[I].X1 > Middle) Spans.emplace_back(FItems[I].Y0, FItems[I].Y1);
  std::sort(Spans.begin(), Spans.end(), [](auto& A, auto& B) { return A.second > B.second; });
  std::vector<std::pair<double, double>> Bands;  // merged, top first
  for (const auto& S : Spans) {
    if (!Bands.empty() && S.second >= Bands.back().first - 0.3 * Size)
      Bands.back().first = std::min(Bands.back().first, S.first);
    else
      Bands.push_back(S);
  }
  // Band k is 2k + 1; the parts above, between and below the bands are the
  // even numbers. An item is in the first band whose bottom is not above it,
  // or above that band.
  const auto PartOf = [&](uint32_t I) {
    const double Y = FItems[I].CenterY();
    const auto B = std::partition_point(Bands.begin(), Bands.end(), [&](const auto& Band) { return Y < Band.first; });
    const size_t K = static_cast<size_t>(B - Bands.begin());
    return B == Bands.end() || Y > B->second ? 2 * K : 2 * K + 1;
  };
  // A band with words on one side only is a line of that column that runs
  // into the gutter (a long formula, a line of code): no band.
  std::vector<uint8_t> BandSides(Bands.size());  // bit 0 left of the strip, bit 1 right
  for (uint32_t I : R)
    if (const size_t P = PartOf(I); P % 2) {
      const double X = (FItems[I].X0 + FItems[I].X1) / 2;
      BandSides[P / 2] |= X < Gutter.From ? 1 : X > Gutter.To ? 2 : 0;
    }
  size_t Kept = 0;
  for (size_t B = 0; B < Bands.size(); ++B)
    if (BandSides[B] != 1 && BandSides[B] != 2) Bands[Kept++] = Bands[B];
  Bands.resize(Kept);
  if (Bands.empty()) {
    // Columns after all (the crossers only jut into the strip): each item on
    // the side where it starts (a line runs into the gutter from the left).
    std::vector<TRegion> Columns(2);
    for (uint32_t I : R) Columns[FItems[I].X0 < Middle ? 0 : 1].push_back(I);
    if (Columns[0].empty() || Columns[1].empty() || !SideBySide(Columns)) return false;
    CutColumns(Columns, Depth, Size);
    return true;
  }
  // The parts by the bands that are left.
  std::map<size_t, TRegion> Parts;
  for (uint32_t I : R) Parts[PartOf(I)].push_back(I);
  if (Parts.size() < 2) return false;
  for (auto& [Key, Part] : Parts) Cut(std::move(Part), Depth + 1);
  return true;
}

bool TReader::SplitByGaps(const TRegion& R, int Depth, double Size) {
  // Horizontal white strips: the y-projection, top to bottom.
  TRegion Order = R;
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) { return FItems[A].Y1 > FItems[B].Y1; });
  std::vector<TRegion> Bands(1);
  double Low = FItems[Order[0]].Y0;
  for (uint32_t I : Order) {
    if (!Bands.back().empty() && FItems[I].Y1 < Low - BlockGap * Size) Bands.emplace_back();
    Bands.back().push_back(I);
    Low = Bands.back().size() == 1 ? FItems[I].Y0 : std::min(Low, FItems[I].Y0);
  }
  if (Bands.size() < 2) return false;
  for (auto& Band : Bands) Cut(std::move(Band), Depth + 1);
  return true;
}

bool TReader::PeelMargins(const TRegion& R, int Depth, double Size) {
  // Running heads and feet: a line or two at the top or the bottom of the
  // page, set apart by a gap wider than any within the text.
  TRegion Order = R;
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) { return FItems[A].Y1 > FItems[B].Y1; });
  const double MaxHeight = MarginHeight * Size, MinGap = MarginGap * Size;
  // The head: items from the top down to the first wide gap.
  size_t Head = 0;
  double Low = FItems[Order[0]].Y0;
  for (size_t K = 1; K < Order.size(); ++K) {
    if (FItems[Order[0]].Y1 - Low > MaxHeight) break;
    if (FItems[Order[K]].Y1 < Low - MinGap) {
      Head = K;
      break;
    }
    Low = std::min(Low, FItems[Order[K]].Y0);
  }
  // The foot: the same from the bottom up.
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) { return FItems[A].Y0 < FItems[B].Y0; });
  size_t Foot = 0;
  double High = FItems[Order[0]].Y1;
  for (size_t K = 1; K < Order.size(); ++K) {
    if (High - FItems[Order[0]].Y0 > MaxHeight) break;
    if (FItems[Order[K]].Y0 > High + MinGap) {
      Foot = K;
      break;
    }
    High = std::max(High, FItems[Order[K]].Y1);
  }
  if (Head == 0 && Foot == 0) return false;
  if (Head + Foot >= R.size()) return false;
  const double HeadBelow = Head ? Low : 1e300, FootAbove = Foot ? High : -1e300;
  TRegion Top, Body, Bottom;
  for (uint32_t I : R) {
    if (FItems[I].Y0 >= HeadBelow)
      Top.push_back(I);
    else if (FItems[I].Y1 <= FootAbove)
      Bottom.push_back(I);
    else
      Body.push_back(I);
  }
  FMargin = true;
  Cut(std::move(Top), Depth + 1);
  FMargin = false;
  Cut(std::move(Body), Depth + 1);
  FMargin = true;
  Cut(std::move(Bottom), Depth + 1);
  FMargin = false;
  return true;
}

void TReader::Cut(TRegion R, int Depth) {
  if (R.empty()) return;
  if (R.size() > 1 && Depth < MaxDepth) {
    const double Size = MedianSize(R);
    // Running heads and feet first (on the page only), then columns, then
    // blocks.
    if ((Depth == 0 && PeelMargins(R, Depth, Size))) return;
    FTableSeen.clear();
    if (SplitByGutter(R, Depth, Size)) return;
    // A table is cut into blocks like any region; they know its columns.
    const bool Table = !FTableSeen.empty();
    if (Table) FTables.push_back(std::move(FTableSeen));
    const bool Done = SplitBySpanners(R, Depth, Size) || SplitByGaps(R, Depth, Size);
    if (!Done) AddBlock(R);
    if (Table) FTables.pop_back();
    return;
  }
  AddBlock(R);
}

void TReader::AddBlock(const TRegion& R) {
  // Lines: words by the middle of their height, top first; a word whose
  // middle falls within the current line's extent joins it.
  TRegion Order = R;
  std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) {
    return FItems[A].CenterY() > FItems[B].CenterY() || (FItems[A].CenterY() == FItems[B].CenterY() && A < B);
  });
  struct TLine {
    std::vector<uint32_t> Words;
    double Lo, Hi;
    double Base = 0, Left = 0, Size = 0;
  };
  // A word much taller than the usual (a big operator, a bracket around
  // two lines) counts with the usual height about its middle, so that it
  // does not join the lines beside it into one.
  std::vector<double> Heights;
  Heights.reserve(R.size());
  for (uint32_t I : R) Heights.push_back(FItems[I].Y1 - FItems[I].Y0);
  auto Mid = Heights.begin() + static_cast<std::ptrdiff_t>(Heights.size() / 2);
  std::nth_element(Heights.begin(), Mid, Heights.end());
  const double Tall = TallWord * *Mid;
  std::vector<TLine> Lines;
  for (uint32_t I : Order) {
    const TItem& W = FItems[I];
    const bool IsTall = W.Y1 - W.Y0 > Tall;
    const double Y0 = IsTall ? W.CenterY() - *Mid / 2 : W.Y0, Y1 = IsTall ? W.CenterY() + *Mid / 2 : W.Y1;
    // Its middle within the line's extent, or most of its height beside it.
    const auto Joins = [&](const TLine& L) {
      if (W.CenterY() >= L.Lo && W.CenterY() <= L.Hi) return true;
      const double Overlap = std::min(Y1, L.Hi) - std::max(Y0, L.Lo);
      return Overlap > 0.5 * std::min(Y1 - Y0, L.Hi - L.Lo);
    };
    if (!Lines.empty() && Joins(Lines.back())) {
      TLine& L = Lines.back();
      L.Words.push_back(I);
      L.Lo = std::min(L.Lo, Y0);
      L.Hi = std::max(L.Hi, Y1);
    } else {
      Lines.push_back({{I}, Y0, Y1});
    }
  }
  TBlockOut Out;
  Out.Margin = FMargin;
  if (!FTables.empty()) Out.Columns = FTables.back();
  double Margin = 1e300;
  for (TLine& L : Lines) {
    std::sort(L.Words.begin(), L.Words.end(),
              [&](uint32_t A, uint32_t B) { return FItems[A].X0 < FItems[B].X0 || (FItems[A].X0 == FItems[B].X0 && A < B); });
    // The line's base and size: those of its widest word.
    const uint32_t Main = *std::max_element(L.Words.begin(), L.Words.end(), [&](uint32_t A, uint32_t B) {
      return FItems[A].X1 - FItems[A].X0 < FItems[B].X1 - FItems[B].X0;
    });
    L.Base = FItems[Main].Y0;
    L.Size = FItems[Main].Size;
    L.Left = FItems[L.Words.front()].X0;
    Margin = std::min(Margin, L.Left);
  }
  // Line spacing: the median distance between neighbouring bases.
  std::vector<double> Spacings;
  for (size_t I = 1; I < Lines.size(); ++I) Spacings.push_back(Lines[I - 1].Base - Lines[I].Base);
  double Spacing = 0;
  if (Spacings.size() >= 2) {
    auto Mid = Spacings.begin() + static_cast<std::ptrdiff_t>(Spacings.size() / 2);
    std::nth_element(Spacings.begin(), Mid, Spacings.end());
    Spacing = *Mid;
  }
  for (size_t I = 0; I < Lines.size(); ++I) {
    const TLine& L = Lines[I];
    bool Paragraph = false;
    if (I > 0) {
      const double Distance = Lines[I - 1].Base - L.Base;
      const bool Wide = Spacing > 0 ? Distance > ParagraphSpacing * Spacing : Distance > 1.8 * L.Size;
      // An indented first line: the line before starts at the margin, and
      // so does the one after (else it is a hanging indent or a list).
      auto AtMargin = [&](const TLine& Other) { return Other.Left <= Margin + 0.3 * Other.Size; };
      const bool Indented = L.Left > Margin + Indent * L.Size && AtMargin(Lines[I - 1]) &&
                            (I + 1 == Lines.size() || AtMargin(Lines[I + 1])) && Lines.size() >= 3;
      if (Wide || Indented) Paragraph = true;
    }
    for (const auto& Part : SplitStacks(L.Words, L.Size)) {
      Out.Lines.push_back({LineWords(Part), Paragraph});
      Paragraph = false;
    }
  }
  FBlocks.push_back(std::move(Out));
}

std::vector<std::vector<uint32_t>> TReader::SplitStacks(const std::vector<uint32_t>& Words, double Size) const {
  // Two words stand one above the other when they share most of the
  // narrower's width and their boxes do not meet in height (a sub- and a
  // superscript over the same place do meet). Each word is checked against
  // the few before it in x, so the check stays linear.
  const auto Stacked = [&](const TItem& A, const TItem& B) {
    const double Shared = std::min(A.X1, B.X1) - std::max(A.X0, B.X0);
    return Shared > 0.5 * std::min(A.X1 - A.X0, B.X1 - B.X0) && (A.Y0 >= B.Y1 || B.Y0 >= A.Y1);
  };
  // Only words in the line's size, their middles a line apart, start a
  // stack: a sub- and a superscript over one place, the limits of a sum in
  // a line, a small fraction stay in the line; so do the same glyph over
  // itself (the pieces of a tall bracket or bar, the dots of a vertical
  // ellipsis). A word of spaces stands over nothing.
  const auto Full = [&](const TItem& W) { return W.Size >= 0.8 * Size; };
  const auto Apart = [&](const TItem& A, const TItem& B) {
    const bool Piece = *A.Text == *B.Text && std::fabs(A.X0 - B.X0) <= 0.1 * Size;
    const auto Blank = [](const TItem& W) { return W.Text->find_first_not_of(' ') == std::string::npos; };
    return !Piece && !Blank(A) && !Blank(B) && Full(A) && Full(B) && std::fabs(A.CenterY() - B.CenterY()) >= StackDistance * Size &&
           Stacked(A, B);
  };
  std::vector<std::pair<size_t, size_t>> Pairs;  // positions in Words
  for (size_t K = 1; K < Words.size(); ++K)
    for (size_t J = K > StackWindow ? K - StackWindow : 0; J < K; ++J)
      if (Apart(FItems[Words[J]], FItems[Words[K]])) Pairs.emplace_back(J, K);
  if (Pairs.empty()) return {Words};

  // Runs: words left to right whose boxes share most of the lower one's
  // height, a gap of at most a font size apart. A word joins the run, among
  // the last few, whose last word it shares most height with.
  const auto SharedHeight = [](const TItem& A, const TItem& B) {
    const double Lower = std::min(A.Y1 - A.Y0, B.Y1 - B.Y0);
    return Lower > 0 ? (std::min(A.Y1, B.Y1) - std::max(A.Y0, B.Y0)) / Lower : 0.0;
  };
  const size_t N = Words.size();
  std::vector<size_t> RunOf(N), RunLast;  // a run's last word
  for (size_t K = 0; K < N; ++K) {
    const TItem& W = FItems[Words[K]];
    size_t Best = SIZE_MAX;
    double BestShare = 0.5;
    for (size_t R = RunLast.size(); R-- > 0 && RunLast.size() - R <= StackWindow;) {
      const TItem& Last = FItems[Words[RunLast[R]]];
      const double Share = SharedHeight(W, Last);
      if (Share >= BestShare && W.X0 - Last.X1 <= RunGap * std::max(W.Size, Last.Size)) {
        Best = R;
        BestShare = Share;
      }
    }
    if (Best == SIZE_MAX) {
      Best = RunLast.size();
      RunLast.push_back(K);
    }
    RunLast[Best] = K;
    RunOf[K] = Best;
  }
  const size_t Count = RunLast.size();
  // Pieces: runs joined by words that stand one above the other.
  std::vector<size_t> Parent(Count);
  std::iota(Parent.begin(), Parent.end(), size_t{0});
  const auto Find = [&](size_t R) {
    while (Parent[R] != R) R = Parent[R] = Parent[Parent[R]];
    return R;
  };
  for (const auto& [J, K] : Pairs) Parent[Find(RunOf[J])] = Find(RunOf[K]);
  std::vector<std::vector<size_t>> RunWords(Count), Members(Count);  // positions; runs by root
  for (size_t K = 0; K < N; ++K) RunWords[RunOf[K]].push_back(K);
  for (size_t R = 0; R < Count; ++R) Members[Find(R)].push_back(R);
  // Pieces left to right by their first word. A single run continues the
  // current line. A stack's runs in the line's size make rows, from the
  // top: each joins the first row whose height holds its middle and whose
  // words it stands over none of, or starts a row; smaller runs (scripts)
  // join the row nearest in height. The top row continues the current line,
  // each row below starts one, and the last goes on.
  std::vector<std::vector<size_t>> Parts(1);
  std::vector<uint8_t> Seen(Count);
  for (size_t K = 0; K < N; ++K) {
    const size_t Root = Find(RunOf[K]);
    if (Seen[Root]) continue;
    Seen[Root] = 1;
    const std::vector<size_t>& Stack = Members[Root];
    if (Stack.size() == 1) {
      Parts.back().insert(Parts.back().end(), RunWords[Root].begin(), RunWords[Root].end());
      continue;
    }
    struct TPlaced {
      double Lo, Hi, Middle;
      bool Large;
      size_t Run;
    };
    std::vector<TPlaced> Placed;
    for (size_t R : Stack) {
      TPlaced P{1e300, -1e300, 0, false, R};
      for (size_t At : RunWords[R]) {
        const TItem& W = FItems[Words[At]];
        P.Lo = std::min(P.Lo, W.Y0);
        P.Hi = std::max(P.Hi, W.Y1);
        P.Large = P.Large || Full(W);
      }
      P.Middle = (P.Lo + P.Hi) / 2;
      Placed.push_back(P);
    }
    std::stable_sort(Placed.begin(), Placed.end(), [](const TPlaced& A, const TPlaced& B) {
      return A.Large != B.Large ? A.Large : A.Middle > B.Middle;
    });
    struct TRow {
      double Lo, Hi;
      std::multimap<double, size_t> Words;  // positions by left edge
    };
    std::vector<TRow> Rows;
    // Whether a word stands over one of the row's neighbours in x.
    const auto Over = [&](const TRow& Row, size_t P) {
      const TItem& W = FItems[Words[P]];
      auto It = Row.Words.lower_bound(W.X0);
      for (int Step = 0; Step < 4 && It != Row.Words.begin(); ++Step) --It;
      for (int Step = 0; Step < 8 && It != Row.Words.end(); ++Step, ++It)
        if (Stacked(W, FItems[Words[It->second]])) return true;
      return false;
    };
    for (const TPlaced& P : Placed) {
      const std::vector<size_t>& Run = RunWords[P.Run];
      size_t Row = Rows.size();
      if (P.Large) {
        for (size_t R = Rows.size() > StackWindow ? Rows.size() - StackWindow : 0; R < Rows.size(); ++R)
          if (P.Middle >= Rows[R].Lo && P.Middle <= Rows[R].Hi &&
              std::none_of(Run.begin(), Run.end(), [&](size_t At) { return Over(Rows[R], At); })) {
            Row = R;
            break;
          }
        if (Row == Rows.size()) Rows.push_back({P.Lo, P.Hi, {}});
      } else if (Rows.empty()) {
        Row = 0;
        Rows.push_back({P.Lo, P.Hi, {}});
      } else {
        // Rows stand top to bottom: the nearest by a binary search.
        const auto It = std::partition_point(Rows.begin(), Rows.end(),
                                             [&](const TRow& R) { return (R.Lo + R.Hi) / 2 > P.Middle; });
        Row = static_cast<size_t>(It - Rows.begin());
        if (Row == Rows.size() ||
            (Row > 0 && (Rows[Row - 1].Lo + Rows[Row - 1].Hi) / 2 - P.Middle < P.Middle - (It->Lo + It->Hi) / 2))
          --Row;
      }
      for (size_t At : Run) Rows[Row].Words.emplace(FItems[Words[At]].X0, At);
    }
    for (size_t R = 0; R < Rows.size(); ++R) {
      if (R > 0) Parts.emplace_back();
      for (const auto& [X, At] : Rows[R].Words) Parts.back().push_back(At);
    }
  }
  // Each line's words left to right, as the line had them.
  std::vector<std::vector<uint32_t>> Out;
  for (auto& Part : Parts) {
    std::sort(Part.begin(), Part.end());
    Out.emplace_back();
    for (size_t P : Part) Out.back().push_back(Words[P]);
  }
  return Out;
}

std::vector<std::vector<uint32_t>> TReader::LineWords(const std::vector<uint32_t>& Words) const {
  std::vector<std::vector<uint32_t>> Out;
  const TItem* Prev = nullptr;
  for (uint32_t W : Words) {
    const TItem& Item = FItems[W];
    if (Prev) {
      // The same word drawn twice over itself (a bold effect) shows once:
      // its twin repeats its text within a tenth of its advance in start,
      // end and base, in a size within a tenth. A letter that follows
      // itself (the two l of "will" drawn one by one) lies a whole
      // advance on and stays.
      const double Near = 0.1 * std::max(Item.X1 - Item.X0, Prev->X1 - Prev->X0);
      if (*Item.Text == *Prev->Text && std::fabs(Item.X0 - Prev->X0) <= Near &&
          std::fabs(Item.X1 - Prev->X1) <= Near && std::fabs(Item.Y0 - Prev->Y0) <= Near &&
          std::fabs(Item.Size - Prev->Size) <= 0.1 * std::max(Item.Size, Prev->Size))
        continue;
      // A raised mark that opens a line (a footnote's number or star)
      // stands apart from the word it marks.
      const bool Mark = Prev == &FItems[Words.front()] && Prev->Size < 0.8 * Item.Size &&
                        Prev->Y0 > Item.Y0 + 0.2 * Item.Size;
      if (Mark || Item.Whole || Item.X0 - Prev->X1 > WordGap * std::max(Item.Size, 1e-9)) Out.emplace_back();
    } else {
      Out.emplace_back();
    }
    Out.back().push_back(W);
    Prev = &Item;
  }
  return Out;
}

}  // namespace

namespace {

// The words of a page in each direction, read: the directions of most words
// first.
struct TDirectionRead {
  long Degrees;
  TReader Reader;
};

std::vector<TDirectionRead> ReadDirections(const std::vector<TPDFTextFunnel::TWord>& Words) {
  // Words by direction (whole degrees); each direction in its own frame.
  std::map<long, std::vector<TItem>> Directions;
  for (size_t Index = 0; Index < Words.size(); ++Index) {
    const auto& W = Words[Index];
    double DX = W.P1.X - W.P0.X, DY = W.P1.Y - W.P0.Y;
    if (std::hypot(DX, DY) < 1e-9) {
      // No advance: the direction is the one the box's height stands on.
      DX = W.P3.Y - W.P0.Y;
      DY = -(W.P3.X - W.P0.X);
    }
    double Length = std::hypot(DX, DY);
    if (!(Length > 1e-9) || !std::isfinite(Length)) {
      DX = 1;
      DY = 0;
      Length = 1;
    }
    long Degrees = std::lround(std::atan2(DY, DX) * 180 / M_PI);
    Degrees = ((Degrees % 360) + 360) % 360;
    const double A = static_cast<double>(Degrees) * M_PI / 180;
    const double CX = std::cos(A), SX = std::sin(A);
    TItem Item{1e300, -1e300, 1e300, -1e300, W.Size, &W.Text, static_cast<uint32_t>(Index)};
    Item.Whole = W.Whole;
    for (const auto* P : {&W.P0, &W.P1, &W.P2, &W.P3}) {
      const double X = P->X * CX + P->Y * SX, Y = -P->X * SX + P->Y * CX;
      if (!std::isfinite(X) || !std::isfinite(Y)) continue;
      Item.X0 = std::min(Item.X0, X);
      Item.X1 = std::max(Item.X1, X);
      Item.Y0 = std::min(Item.Y0, Y);
      Item.Y1 = std::max(Item.Y1, Y);
    }
    if (Item.X0 > Item.X1 || Item.Y0 > Item.Y1) continue;
    if (!(Item.Size > 0) || !std::isfinite(Item.Size)) Item.Size = std::max(Item.Y1 - Item.Y0, 1e-6);
    // A font that states no ascent and descent gives boxes without height:
    // the usual ones stand in for them.
    if (Item.Y1 - Item.Y0 < 0.3 * Item.Size) {
      Item.Y0 -= 0.2 * Item.Size;
      Item.Y1 = Item.Y0 + 0.95 * Item.Size;
      Item.Flat = true;
    }
    Directions[Degrees].push_back(Item);
  }
  // The direction of most words first.
  std::vector<std::pair<long, std::vector<TItem>*>> Order;
  for (auto& [Degrees, Items] : Directions) Order.emplace_back(Degrees, &Items);
  std::stable_sort(Order.begin(), Order.end(), [](auto& A, auto& B) { return A.second->size() > B.second->size(); });
  std::vector<TDirectionRead> Out;
  Out.reserve(Order.size());
  for (auto& [Degrees, Items] : Order) {
    TRegion All(Items->size());
    std::iota(All.begin(), All.end(), 0u);
    Out.push_back({Degrees, TReader(std::move(*Items))});
    Out.back().Reader.Cut(std::move(All), 0);
  }
  return Out;
}

// A word's text: its items' texts one after the other.
std::string WordText(const std::vector<TItem>& Items, const std::vector<uint32_t>& Word) {
  std::string Text;
  for (uint32_t I : Word) Text += *Items[I].Text;
  return Text;
}

// Lines end with CR LF between them, a paragraph break is an empty line, and
// blocks are separated by one.
void AppendBlockText(std::string& Out, const std::vector<std::string>& Lines, const std::vector<bool>& Breaks) {
  if (!Out.empty()) Out += "\r\n\r\n";
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (I) Out += Breaks[I] ? "\r\n\r\n" : "\r\n";
    Out += Lines[I];
  }
}

// The font name without a subset tag ("ABCDEF+Times-Roman").
std::string_view BaseFontName(std::string_view Name) {
  if (Name.size() > 7 && Name[6] == '+' &&
      std::all_of(Name.begin(), Name.begin() + 6, [](char C) { return C >= 'A' && C <= 'Z'; }))
    Name.remove_prefix(7);
  return Name;
}

// A box that grows to hold the points added to it.
struct TBox {
  double X0 = 1e300, Y0 = 1e300, X1 = -1e300, Y1 = -1e300;
  void Add(double X, double Y) {
    if (!std::isfinite(X) || !std::isfinite(Y)) return;
    X0 = std::min(X0, X);
    Y0 = std::min(Y0, Y);
    X1 = std::max(X1, X);
    Y1 = std::max(Y1, Y);
  }
  void Add(const TBox& B) {
    if (B.X0 > B.X1) return;
    Add(B.X0, B.Y0);
    Add(B.X1, B.Y1);
  }
  template <typename T>
  void Set(T& Into) const {
    if (X0 > X1) return;
    Into.X0 = X0;
    Into.Y0 = Y0;
    Into.X1 = X1;
    Into.Y1 = Y1;
  }
};
}  // namespace

std::string ReadingOrderLayout(const std::vector<TPDFTextFunnel::TWord>& Words) {
  std::string Out;
  for (const TDirectionRead& Direction : ReadDirections(Words)) {
    const std::vector<TItem>& Items = Direction.Reader.Items();
    for (const auto& Block : Direction.Reader.Blocks()) {
      std::vector<std::string> Lines;
      std::vector<bool> Breaks;
      for (const auto& Line : Block.Lines) {
        std::string Text;
        for (size_t W = 0; W < Line.Words.size(); ++W) {
          if (W) Text += ' ';
          for (uint32_t I : Line.Words[W]) Text += *Items[I].Text;
        }
        Lines.push_back(std::move(Text));
        Breaks.push_back(Line.ParagraphStart);
      }
      AppendBlockText(Out, Lines, Breaks);
    }
  }
  return Out;
}

void FontStyle(std::string_view FontName, bool& Bold, bool& Italic) {
  std::string Name(BaseFontName(FontName));
  for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  const auto Has = [&](std::string_view Part) { return Name.find(Part) != std::string::npos; };
  Bold = Has("bold") || Has("black") || Has("heavy") || Has("demi") || Has("-medi") || Has("semibold");
  Italic = Has("italic") || Has("oblique") || Has("ital") || Has("slant") || Has("kursiv");
  // The black (hei) faces of Chinese, its bold: SimHei, FandolHei, STHeiti;
  // not the sans serif faces named after them (Microsoft YaHei, WenQuanYi
  // Zen Hei and Micro Hei).
  if (Has("hei") && !Has("yahei") && !Has("zenhei") && !Has("zen hei") && !Has("microhei") && !Has("micro hei"))
    Bold = true;
  // The TeX fonts say it in their short names: cmbx10 (bold extended),
  // cmb10, cmti10 (text italic), cmsl10 (slanted), cmbxti10, and the same
  // after ss (sans serif: cmssbx10, cmssi10) or tt (typewriter: cmsltt10),
  // in EC's and cm-super's names too (ecbx1000, sfbx1200, sfti1000); the
  // math italic cmmi is the letters of formulas, not emphasis.
  std::string_view Short = Name;
  if (Short.substr(0, 2) == "cm" || Short.substr(0, 2) == "ec" || Short.substr(0, 2) == "tc" ||
      Short.substr(0, 2) == "sf") {
    Short.remove_prefix(2);
    // cm-super (sf) and EC: sx sans bold extended, si sans italic.
    if (Short.substr(0, 2) == "sx") Bold = true;
    if (Short.substr(0, 2) == "si") Italic = true;
    if (Short.substr(0, 2) == "ss" || Short.substr(0, 2) == "tt") Short.remove_prefix(2);
    if (Short.substr(0, 2) == "bx" || (Short.size() > 1 && Short[0] == 'b' && std::isdigit(static_cast<unsigned char>(Short[1]))))
      Bold = true;
    if (Short.substr(0, 2) == "bx") Short.remove_prefix(2);
    if (Short.substr(0, 2) == "ti" || Short.substr(0, 2) == "sl" || Short.substr(0, 2) == "it" ||
        (Short.size() > 1 && Short[0] == 'i' && std::isdigit(static_cast<unsigned char>(Short[1]))))
      Italic = true;
  }
  // Libertine and Biolinum in letters after T (Type 1) or O (OpenType):
  // LinLibertineTB bold, LinLibertineTI italic, LinLibertineTZ semibold,
  // LinLibertineTBI both.
  for (std::string_view Family : {"linlibertine", "linbiolinum"}) {
    if (Short.substr(0, Family.size()) != Family) continue;
    std::string_view Letters = Short.substr(Family.size());
    if (!Letters.empty() && (Letters[0] == '_' || Letters[0] == 't' || Letters[0] == 'o')) Letters.remove_prefix(1);
    if (!Letters.empty() && Letters[0] == 'r') Letters.remove_prefix(1);
    if (Letters.find_first_not_of("bizk") == std::string_view::npos) {
      Bold = Bold || Letters.find_first_of("bz") != std::string_view::npos;
      Italic = Italic || Letters.find('i') != std::string_view::npos;
    }
  }
  // Karl Berry's short names of PostScript fonts: foundry, family, weight
  // (b bold, d demibold, s semibold, x extra bold, h heavy, c black), an
  // i or o for italic and oblique, the encoding (ptmb8r, phvro8t, ptmri7t).
  const auto Letter = [](char C) { return C >= 'a' && C <= 'z'; };
  if (Short.size() >= 6 && Short.size() <= 7 && std::isdigit(static_cast<unsigned char>(Short[Short.size() - 2])) &&
      Letter(Short.back()) && std::all_of(Short.begin(), Short.end() - 2, Letter)) {
    const std::string_view Shape = Short.substr(3, Short.size() - 5);
    if (std::strchr("bdsxhc", Shape[0])) Bold = true;
    if (Shape.size() == 2 && (Shape[1] == 'i' || Shape[1] == 'o')) Italic = true;
  }
}

TReadingPage ReadingOrderPage(const std::vector<TPDFTextFunnel::TWord>& Words, const TPDFPageBox& Box) {
  TReadingPage Page;
  Page.Rotation = Box.Rotation;
  const double W = Box.Right - Box.Left, H = Box.Top - Box.Bottom;
  const bool Sideways = Box.Rotation == 90 || Box.Rotation == 270;
  Page.Width = Sideways ? H : W;
  Page.Height = Sideways ? W : H;
  // A point of default user space on the page as seen: from the box's top
  // left corner, y down, turned as the page is shown.
  const auto Seen = [&](double X, double Y, double& SX, double& SY) {
    const double U = X - Box.Left, V = Box.Top - Y;
    switch (Box.Rotation) {
      case 90: SX = H - V; SY = U; break;
      case 180: SX = W - U; SY = H - V; break;
      case 270: SX = V; SY = W - U; break;
      default: SX = U; SY = V; break;
    }
  };

  struct {
    bool Known = false;
    std::string Name, Font;
    bool Bold = false, Italic = false;
  } Style;
  for (const TDirectionRead& Direction : ReadDirections(Words)) {
    const std::vector<TItem>& Items = Direction.Reader.Items();
    const double A = static_cast<double>(Direction.Degrees) * M_PI / 180;
    const double CosA = std::cos(A), SinA = std::sin(A);
    double DX0, DY0, DX1, DY1;
    Seen(0, 0, DX0, DY0);
    Seen(std::cos(A), std::sin(A), DX1, DY1);
    // Rounded, so that a level line says (1, 0) and not a cosine's crumbs.
    const double DirX = std::round((DX1 - DX0) * 1e4) / 1e4, DirY = std::round((DY1 - DY0) * 1e4) / 1e4;
    for (const auto& B : Direction.Reader.Blocks()) {
      TReadingBlock Block;
      Block.Margin = B.Margin;
      Block.Lines.reserve(B.Lines.size());
      TBox BlockBox;
      // A table's rows: each line's words by the column their middle falls
      // in; a block of the table region is a table when it has rows over
      // two columns at least.
      std::vector<std::vector<std::string>> Rows;
      std::vector<uint8_t> Used(B.Columns.size() + 1);
      for (const auto& L : B.Lines) {
        TReadingLine Line;
        Line.ParagraphStart = L.ParagraphStart;
        Line.DirX = DirX;
        Line.DirY = DirY;
        TBox LineBox;
        std::vector<std::string> Cells(B.Columns.empty() ? 0 : B.Columns.size() + 1);
        Line.Words.reserve(L.Words.size());
        for (const auto& Word : L.Words) {
          TReadingWord Out;
          Out.Text = WordText(Items, Word);
          const auto& First = Words[Items[Word.front()].Source];
          // Words of one font mostly follow each other: its name and style
          // are worked out once per run of them.
          if (!Style.Known || First.FontName != Style.Name) {
            Style.Known = true;
            Style.Name = First.FontName;
            Style.Font = BaseFontName(First.FontName);
            FontStyle(Style.Font, Style.Bold, Style.Italic);
          }
          Out.Font = Style.Font;
          Out.Bold = Style.Bold;
          Out.Italic = Style.Italic;
          Out.Size = First.Size;
          TBox WordBox;
          for (uint32_t I : Word) {
            const TItem& Item = Items[I];
            const auto& Source = Words[Item.Source];
            if (!Item.Flat) {
              for (const auto* P : {&Source.P0, &Source.P1, &Source.P2, &Source.P3}) {
                double SX, SY;
                Seen(P->X, P->Y, SX, SY);
                WordBox.Add(SX, SY);
              }
              continue;
            }
            // A box without height: the font's FontBBox about the baseline
            // when it has one, else the usual height the layout gave it;
            // in the direction's frame, turned back onto the page.
            double Y0 = Item.Y0, Y1 = Item.Y1;
            if (Source.BoxTop > Source.BoxBottom) {
              const double Base = Item.Y0 + 0.2 * Item.Size;
              Y0 = Base + Source.BoxBottom * Item.Size;
              Y1 = Base + Source.BoxTop * Item.Size;
            }
            for (const auto& [FX, FY] : {std::pair{Item.X0, Y0}, {Item.X1, Y0}, {Item.X1, Y1}, {Item.X0, Y1}}) {
              double SX, SY;
              Seen(FX * CosA - FY * SinA, FX * SinA + FY * CosA, SX, SY);
              WordBox.Add(SX, SY);
            }
          }
          WordBox.Set(Out);
          LineBox.Add(WordBox);
          if (!B.Columns.empty()) {
            const double Middle = (Items[Word.front()].X0 + Items[Word.back()].X1) / 2;
            const size_t Column =
                static_cast<size_t>(std::upper_bound(B.Columns.begin(), B.Columns.end(), Middle) - B.Columns.begin());
            std::string& Cell = Cells[Column];
            if (!Cell.empty()) Cell += ' ';
            Cell += Out.Text;
            Used[Column] = 1;
          }
          Line.Words.push_back(std::move(Out));
        }
        LineBox.Set(Line);
        BlockBox.Add(LineBox);
        Block.Lines.push_back(std::move(Line));
        if (!B.Columns.empty()) Rows.push_back(std::move(Cells));
      }
      BlockBox.Set(Block);
      if (Rows.size() >= 2 && std::count(Used.begin(), Used.end(), 1) >= 2) {
        Block.Kind = TReadingBlockKind::Table;
        // Columns no row uses are left out.
        for (auto& Row : Rows) {
          size_t Kept = 0;
          for (size_t C = 0; C < Row.size(); ++C)
            if (Used[C]) {
              if (Kept != C) Row[Kept] = std::move(Row[C]);
              ++Kept;
            }
          Row.resize(Kept);
        }
        Block.Rows = std::move(Rows);
      }
      Page.Blocks.push_back(std::move(Block));
    }
  }
  return Page;
}

std::string ReadingOrderText(const TReadingPage& Page) {
  std::string Out;
  for (const auto& Block : Page.Blocks) {
    std::vector<std::string> Lines;
    std::vector<bool> Breaks;
    for (const auto& Line : Block.Lines) {
      std::string Text;
      for (size_t W = 0; W < Line.Words.size(); ++W) {
        if (W) Text += ' ';
        Text += Line.Words[W].Text;
      }
      Lines.push_back(std::move(Text));
      Breaks.push_back(Line.ParagraphStart);
    }
    AppendBlockText(Out, Lines, Breaks);
  }
  return Out;
}

namespace {

// The bytes of a packed page: numbers as their bytes, strings and lists
// after their length.
class TPacker {
 public:
  std::string Out;
  template <typename T>
  void Put(T Value) {
    Out.append(reinterpret_cast<const char*>(&Value), sizeof Value);
  }
  void Put(const std::string& Text) {
    Put(static_cast<uint64_t>(Text.size()));
    Out += Text;
  }
  template <typename T>
  void PutBox(const T& B) {
    Put(B.X0);
    Put(B.Y0);
    Put(B.X1);
    Put(B.Y1);
  }
};

class TUnpacker {
 public:
  explicit TUnpacker(std::string_view Bytes) : FIn(Bytes) {}
  bool Ok = true;
  template <typename T>
  T Get() {
    T Value{};
    if (FIn.size() < sizeof Value) {
      Ok = false;
      return Value;
    }
    std::memcpy(&Value, FIn.data(), sizeof Value);
    FIn.remove_prefix(sizeof Value);
    return Value;
  }
  std::string Text() {
    const uint64_t Size = Get<uint64_t>();
    if (Size > FIn.size()) {
      Ok = false;
      return {};
    }
    std::string Out(FIn.substr(0, Size));
    FIn.remove_prefix(Size);
    return Out;
  }
  // A count of items that take at least Each bytes: no more than the bytes
  // left can hold.
  size_t Count(size_t Each) {
    const uint64_t N = Get<uint64_t>();
    if (N > FIn.size() / std::max<size_t>(Each, 1)) Ok = false;
    return Ok ? static_cast<size_t>(N) : 0;
  }
  template <typename T>
  void GetBox(T& B) {
    B.X0 = Get<double>();
    B.Y0 = Get<double>();
    B.X1 = Get<double>();
    B.Y1 = Get<double>();
  }
  bool Done() const { return Ok && FIn.empty(); }

 private:
  std::string_view FIn;
};

}  // namespace

std::string PackReadingPage(const TReadingPage& Page) {
  TPacker P;
  P.Put(Page.Number);
  P.Put(Page.Width);
  P.Put(Page.Height);
  P.Put(static_cast<int32_t>(Page.Rotation));
  P.Put(static_cast<uint64_t>(Page.Blocks.size()));
  for (const TReadingBlock& B : Page.Blocks) {
    P.Put(static_cast<uint8_t>(B.Kind));
    P.Put(static_cast<uint8_t>(B.Margin));
    P.PutBox(B);
    P.Put(static_cast<uint64_t>(B.Lines.size()));
    for (const TReadingLine& L : B.Lines) {
      P.PutBox(L);
      P.Put(L.DirX);
      P.Put(L.DirY);
      P.Put(static_cast<uint8_t>(L.ParagraphStart));
      P.Put(static_cast<uint64_t>(L.Words.size()));
      for (const TReadingWord& W : L.Words) {
        P.PutBox(W);
        P.Put(W.Text);
        P.Put(W.Font);
        P.Put(W.Size);
        P.Put(static_cast<uint8_t>(W.Bold | (W.Italic << 1)));
      }
    }
    P.Put(static_cast<uint64_t>(B.Rows.size()));
    for (const auto& Row : B.Rows) {
      P.Put(static_cast<uint64_t>(Row.size()));
      for (const std::string& Cell : Row) P.Put(Cell);
    }
  }
  return std::move(P.Out);
}

bool UnpackReadingPage(std::string_view Bytes, TReadingPage& Page) {
  TUnpacker U(Bytes);
  Page = {};
  Page.Number = U.Get<int32_t>();
  Page.Width = U.Get<double>();
  Page.Height = U.Get<double>();
  Page.Rotation = U.Get<int32_t>();
  Page.Blocks.resize(U.Count(2 + 32 + 16));
  for (TReadingBlock& B : Page.Blocks) {
    B.Kind = static_cast<TReadingBlockKind>(U.Get<uint8_t>() != 0);
    B.Margin = U.Get<uint8_t>() != 0;
    U.GetBox(B);
    B.Lines.resize(U.Count(32 + 16 + 1 + 8));
    for (TReadingLine& L : B.Lines) {
      U.GetBox(L);
      L.DirX = U.Get<double>();
      L.DirY = U.Get<double>();
      L.ParagraphStart = U.Get<uint8_t>() != 0;
      L.Words.resize(U.Count(32 + 16 + 8 + 1));
      for (TReadingWord& W : L.Words) {
        U.GetBox(W);
        W.Text = U.Text();
        W.Font = U.Text();
        W.Size = U.Get<double>();
        const uint8_t Style = U.Get<uint8_t>();
        W.Bold = Style & 1;
        W.Italic = (Style & 2) != 0;
      }
    }
    B.Rows.resize(U.Count(8));
    for (auto& Row : B.Rows) {
      Row.resize(U.Count(8));
      for (std::string& Cell : Row) Cell = U.Text();
    }
  }
  return U.Done();
}
