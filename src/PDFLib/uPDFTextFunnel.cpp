// The text funnel: positioned fragments joined into blocks, written as rows.
#include "uPDFTextFunnel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>

#include "uPDFExtra.h"

// ---------------------------------------------------------------------------
// Join index
//
// A fragment may only continue a block of its own font name, matrix key and
// colour whose end point P1 lies less than Size from the fragment's start. The
// blocks are therefore grouped by those three texts, and inside a group P1 is
// filed in a uniform grid of square cells. Their side is twice the first
// usable Size seen in the group, so that the window of a query (Size on either
// side of the fragment's start) mostly spans two cells on each axis. A query
// visits the cells of its window and picks, among the blocks filed there, the
// one with the lowest index that passes each distance test, which is the block
// a search of all blocks in creation order would pick: the grid only narrows
// the candidates, the tests are the same. Where the grid cannot help (no cell
// side yet, an infinite radius, a window of more cells than the group has
// blocks, a window beyond the cell numbers the grid files) the query scans the
// group's blocks in creation order. A block whose end cannot be filed is left
// out of the grid: it lies beyond every window the grid serves, and a scan
// still sees it.

namespace {

using TPoint = TPDFTextFunnel::TPoint;

// Cell numbers beyond this magnitude are not filed. Below it the rounding of
// the subtractions and divisions that place a point or a query window stays
// under 2^-10 of a cell, well inside the margin a query adds on each side.
constexpr double MaxCell = 1099511627776.0;  // 2^40
constexpr double CellMargin = 1.0 / 16;
constexpr uint32_t NoList = UINT32_MAX;

// Straight-line distance; the one formula both the indexed and the plain
// search measure with.
double Distance(const TPoint& A, const TPoint& B) {
  const double DX = A.X - B.X, DY = A.Y - B.Y;
  return std::sqrt(DX * DX + DY * DY);
}

// Cell number of coordinate V for cells of side Side; false when V is not
// finite or lies too far out to file.
bool CellOf(double V, double Side, int64_t& Cell) {
  const double C = std::floor(V / Side);
  if (!(C >= -MaxCell && C <= MaxCell)) return false;  // NaN fails both
  Cell = static_cast<int64_t>(C);
  return true;
}

// The bytes of Text between double quotes, with double quotes and backslashes
// escaped by a backslash; with ReplaceCR every CR is written as a space first.
void AppendQuoted(std::string& Out, std::string_view Text, bool ReplaceCR) {
  Out += '"';
  for (char C : Text) {
    if (C == '\r' && ReplaceCR) C = ' ';
    if (C == '"' || C == '\\') Out += '\\';
    Out += C;
  }
  Out += '"';
}

// The matrix key: the first four entries with 4 decimals, nothing between.
std::string MatrixKeyOf(const TPDFTextFunnel::TMatrix& M) {
  return FormatNumber(0, 4, M[0]) + FormatNumber(0, 4, M[1]) + FormatNumber(0, 4, M[2]) + FormatNumber(0, 4, M[3]);
}

// Whether the bottom edge S0-S1 of another fragment lies between a block's
// end P1 and a fragment's start Q0 on their baseline: U is the unit direction
// of the text, Size the fragment's size. Both ends of the edge must lie within
// a quarter of Size of the baseline through P1, and the edge must cover more
// than a hundredth of Size of the stretch from P1 to Q0 along U (so that an
// edge that only touches either end, or a kern's overlap, does not count).
bool LiesBetween(const TPoint& P1, const TPoint& Q0, const TPoint& U, double Size, const TPoint& S0,
                 const TPoint& S1) {
  const double L = (Q0.X - P1.X) * U.X + (Q0.Y - P1.Y) * U.Y;
  const double A = (S0.X - P1.X) * U.X + (S0.Y - P1.Y) * U.Y, C = (S1.X - P1.X) * U.X + (S1.Y - P1.Y) * U.Y;
  const double N0 = (S0.Y - P1.Y) * U.X - (S0.X - P1.X) * U.Y, N1 = (S1.Y - P1.Y) * U.X - (S1.X - P1.X) * U.Y;
  const double Tolerance = Size / 4;
  if (!(std::fabs(N0) <= Tolerance && std::fabs(N1) <= Tolerance)) return false;
  return std::min(std::max(A, C), L) - std::max(std::min(A, C), 0.0) > Size / 100;
}

// Whether Text is nothing but spaces and control bytes.
bool IsBlank(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) <= 0x20; });
}

}  // namespace

struct TPDFTextFunnel::TIndex {
  struct TGroup {
    std::vector<uint32_t> Members;  // every block of the group, in creation order
    double Side = 0;                // cell side; 0 while no usable Size was seen
  };

  // The block ends filed at one point of a cell: one block, or (Extra is
  // not NoList) the blocks of Sets[Extra] in index order, when several ends
  // coincide. A query measures each point once, however many blocks end on
  // it, so that words drawn over and over at one spot cost no more than one.
  // The point is kept here so that a query reads only the cell lists.
  struct TEntry {
    TPoint P1;
    uint32_t Block;
    uint32_t Extra = NoList;
  };

  // Filed points are finite, so exact equality is the test.
  static bool SamePoint(const TPoint& A, const TPoint& B) { return A.X == B.X && A.Y == B.Y; }
  struct TPointHash {
    size_t operator()(const std::pair<uint64_t, uint64_t>& K) const {
      uint64_t H = K.first * 0x9E3779B97F4A7C15ull ^ (K.second + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
      return static_cast<size_t>(H ^ H >> 31);
    }
  };

  // One cell of a group in the open-addressing table; List indexes Lists.
  struct TCell {
    uint32_t Group = 0;
    int64_t X = 0, Y = 0;
    uint32_t List = NoList;  // NoList: a free slot of the table
  };

  // The group of block I of the funnel and the cell list its end is filed in.
  struct TSlot {
    uint32_t Group = 0;
    uint32_t List = NoList;  // NoList: not filed
    TPoint P1{};             // where it is filed
  };

  std::unordered_map<std::string, uint32_t> GroupIds;
  std::vector<TGroup> Groups;
  std::vector<TSlot> Slots;
  // The cells ever used, found through Table (a power-of-two size, at most
  // half full, linear probing). A cell that empties keeps its list.
  std::vector<TCell> Table;
  // The entries of one cell, the box they lie in (grown as points are
  // filed, never shrunk: a query whose window the box stays out of reads
  // none of them), and, once the list is long, where each point is in it,
  // so that filing finds a coinciding point without a scan. Ends crowded
  // into one cell (words drawn at one spot, each a hair apart) then cost
  // a query nothing while they are out of its reach.
  struct TList {
    std::vector<TEntry> Entries;
    double MinX = std::numeric_limits<double>::infinity(), MinY = std::numeric_limits<double>::infinity();
    double MaxX = -std::numeric_limits<double>::infinity(), MaxY = -std::numeric_limits<double>::infinity();
    std::unique_ptr<std::unordered_map<std::pair<uint64_t, uint64_t>, uint32_t, TPointHash>> Where;

    // Lists this long (none in the pages of real files) find their points
    // through Where.
    static constexpr size_t MapFrom = 256;

    // Whether an entry may lie nearer to Q than Reach: the box's distance
    // from Q is not more than any entry's, as it is measured with the same
    // formula on nearer coordinates.
    bool InReach(const TPoint& Q, double Reach) const {
      const double DX = std::max(MinX - Q.X, Q.X - MaxX), DY = std::max(MinY - Q.Y, Q.Y - MaxY);
      if (DX <= 0 && DY <= 0) return true;
      const double X = std::max(DX, 0.0), Y = std::max(DY, 0.0);
      return std::sqrt(X * X + Y * Y) < Reach;
    }
    static std::pair<uint64_t, uint64_t> KeyOf(const TPoint& P) {
      // Adding zero makes -0 into +0, which compare equal.
      return {std::bit_cast<uint64_t>(P.X + 0.0), std::bit_cast<uint64_t>(P.Y + 0.0)};
    }
    // The entry at point P, or null.
    TEntry* At(const TPoint& P) {
      if (Where) {
        const auto It = Where->find(KeyOf(P));
        return It == Where->end() ? nullptr : &Entries[It->second];
      }
      for (TEntry& E : Entries)
        if (SamePoint(E.P1, P)) return &E;
      return nullptr;
    }
    void Push(const TEntry& E) {
      Entries.push_back(E);
      MinX = std::min(MinX, E.P1.X);
      MinY = std::min(MinY, E.P1.Y);
      MaxX = std::max(MaxX, E.P1.X);
      MaxY = std::max(MaxY, E.P1.Y);
      if (Where) {
        Where->emplace(KeyOf(E.P1), static_cast<uint32_t>(Entries.size() - 1));
      } else if (Entries.size() > MapFrom) {
        Where = std::make_unique<std::unordered_map<std::pair<uint64_t, uint64_t>, uint32_t, TPointHash>>();
        for (uint32_t I = 0; I < Entries.size(); ++I) Where->emplace(KeyOf(Entries[I].P1), I);
      }
    }
    // Removes the entry E points at; the last takes its place.
    void Remove(TEntry* E) {
      if (Where) {
        const auto I = static_cast<uint32_t>(E - Entries.data());
        Where->erase(KeyOf(E->P1));
        if (I + 1 != Entries.size()) (*Where)[KeyOf(Entries.back().P1)] = I;
      }
      *E = Entries.back();
      Entries.pop_back();
    }
  };
  std::vector<TList> Lists;
  std::vector<std::set<uint32_t>> Sets;

  // The font names, colours and matrix entries of recent fragments with their
  // matrix key and group, reused while they repeat: consecutive fragments
  // mostly share them, and a page mostly switches among a few. Last is the
  // latest fragment's; a new one replaces the oldest once there are
  // MaxLooks.
  struct TLook {
    double M[4];
    std::string FontName, Color, Key;
    uint32_t Group;
  };
  static constexpr size_t MaxLooks = 16;
  std::vector<TLook> Looks;
  size_t Last = 0, Oldest = 0;

  // The bottom edges of every fragment with text that is not blank, by
  // block, filed in a second grid (of all groups) under every cell their
  // bounding box touches, so that a join can see whether another block's
  // text lies in its gap. Edges that would touch more than MaxTextCells
  // cells, or come before any usable Size, are kept in Wide and always read
  // (as the blocks of a group are scanned where its grid cannot help). An
  // edge with a coordinate that is not finite never lies between anything
  // and is not kept.
  struct TTextEdge {
    uint32_t Block;
    TPoint S0, S1;
  };
  static constexpr double MaxTextCells = 256;
  std::vector<TTextEdge> Edges;
  std::vector<uint32_t> Wide;
  // The candidates of one Find, kept between calls so that a fragment costs
  // no allocation.
  mutable std::vector<uint32_t> ScratchFirst, ScratchSecond;
  mutable std::vector<const std::set<uint32_t>*> ScratchFirstSets, ScratchSecondSets;
  // Each cell's edges as a chain of nodes (the map holds the newest node's
  // index + 1), so that filing an edge allocates nothing but a new cell.
  struct TCellNode {
    uint32_t Edge, Next;
  };
  std::vector<TCellNode> CellNodes;
  // The cells' heads in an open-addressed table (a power of two in size,
  // at most half full), kept between pages so that a page allocates nothing
  // once the table has grown to its pages' size.
  struct TCellSlot {
    int64_t X = 0, Y = 0;
    uint32_t Head = 0;  // 0: an empty slot
  };
  std::vector<TCellSlot> CellSlots;
  size_t CellsUsed = 0;

  // The slot of cell (X, Y), or the empty slot where it would go.
  size_t CellSlot(int64_t X, int64_t Y) const {
    const size_t Mask = CellSlots.size() - 1;
    size_t I = Hash(0, X, Y) & Mask;
    while (CellSlots[I].Head != 0 && !(CellSlots[I].X == X && CellSlots[I].Y == Y)) I = (I + 1) & Mask;
    return I;
  }
  // The head of cell (X, Y), or null when it has none.
  const uint32_t* CellHead(int64_t X, int64_t Y) const {
    if (CellSlots.empty()) return nullptr;
    const TCellSlot& Slot = CellSlots[CellSlot(X, Y)];
    return Slot.Head != 0 ? &Slot.Head : nullptr;
  }
  // The head of cell (X, Y), made (0) when it is missing.
  uint32_t& CellHeadToFill(int64_t X, int64_t Y) {
    if ((CellsUsed + 1) * 2 > CellSlots.size()) GrowCells();
    TCellSlot& Slot = CellSlots[CellSlot(X, Y)];
    if (Slot.Head == 0) {
      Slot.X = X;
      Slot.Y = Y;
      ++CellsUsed;
    }
    return Slot.Head;
  }
  void GrowCells() {
    std::vector<TCellSlot> Old = std::move(CellSlots);
    CellSlots.assign(std::max<size_t>(64, Old.size() * 2), TCellSlot{});
    CellsUsed = 0;
    for (const TCellSlot& Slot : Old)
      if (Slot.Head != 0) CellHeadToFill(Slot.X, Slot.Y) = Slot.Head;
  }
  double EdgeSide = 0;

  void Clear() {
    Edges.clear();
    Wide.clear();
    if (CellsUsed != 0) std::fill(CellSlots.begin(), CellSlots.end(), TCellSlot{});
    CellsUsed = 0;
    CellNodes.clear();
    EdgeSide = 0;
    GroupIds.clear();
    Groups.clear();
    Slots.clear();
    Table.clear();
    Lists.clear();
    Sets.clear();
    Looks.clear();
    Last = Oldest = 0;
  }

  // The matrix key of the latest fragment (after GroupOf).
  const std::string& LastKey() const { return Looks[Last].Key; }

  static size_t Hash(uint32_t Group, int64_t X, int64_t Y) {
    uint64_t H = Group * 0x9E3779B97F4A7C15ull;
    H ^= static_cast<uint64_t>(X) * 0xC2B2AE3D27D4EB4Full;
    H = (H << 31 | H >> 33) ^ static_cast<uint64_t>(Y) * 0x165667B19E3779F9ull;
    H ^= H >> 29;
    H *= 0xBF58476D1CE4E5B9ull;
    H ^= H >> 32;
    return static_cast<size_t>(H);
  }

  // The table slot of the cell, or the free slot where it would go.
  size_t Probe(uint32_t Group, int64_t X, int64_t Y) const {
    const size_t Mask = Table.size() - 1;
    size_t I = Hash(Group, X, Y) & Mask;
    while (Table[I].List != NoList && (Table[I].Group != Group || Table[I].X != X || Table[I].Y != Y))
      I = (I + 1) & Mask;
    return I;
  }

  // The list of the cell, or null when it was never used.
  const TList* FindList(uint32_t Group, int64_t X, int64_t Y) const {
    if (Table.empty()) return nullptr;
    const TCell& C = Table[Probe(Group, X, Y)];
    return C.List == NoList ? nullptr : &Lists[C.List];
  }

  // The list index of the cell, which is added when new.
  uint32_t ListOf(uint32_t Group, int64_t X, int64_t Y) {
    if ((Lists.size() + 1) * 2 > Table.size()) {
      std::vector<TCell> Old(Table.empty() ? 64 : Table.size() * 2);
      Old.swap(Table);
      for (const TCell& C : Old)
        if (C.List != NoList) Table[Probe(C.Group, C.X, C.Y)] = C;
    }
    TCell& C = Table[Probe(Group, X, Y)];
    if (C.List == NoList) {
      C = TCell{Group, X, Y, static_cast<uint32_t>(Lists.size())};
      Lists.emplace_back();
    }
    return C.List;
  }

  // The group of a fragment's font name, colour and matrix key, created when
  // new; the key is left in LastKey.
  uint32_t GroupOf(const TMatrix& M, std::string_view FontName, std::string_view Color) {
    // Equal values write equal text (and NaN is never equal).
    const auto Same = [&](const TLook& L) {
      return M[0] == L.M[0] && M[1] == L.M[1] && M[2] == L.M[2] && M[3] == L.M[3] && FontName == L.FontName &&
             Color == L.Color;
    };
    if (!Looks.empty() && Same(Looks[Last])) return Looks[Last].Group;
    for (size_t I = 0; I < Looks.size(); ++I)
      if (Same(Looks[I])) return Looks[Last = I].Group;
    std::string Key = MatrixKeyOf(M);
    // The ids count the length of the first two texts so that no two triples
    // share one.
    std::string Id;
    Id.reserve(FontName.size() + Key.size() + Color.size() + 24);
    Id += std::to_string(FontName.size());
    Id += ':';
    Id += FontName;
    Id += std::to_string(Key.size());
    Id += ':';
    Id += Key;
    Id += Color;
    auto [It, Added] = GroupIds.try_emplace(std::move(Id), static_cast<uint32_t>(Groups.size()));
    if (Added) Groups.emplace_back();
    TLook Look{{M[0], M[1], M[2], M[3]}, std::string(FontName), std::string(Color), std::move(Key), It->second};
    if (Looks.size() < MaxLooks) {
      Last = Looks.size();
      Looks.push_back(std::move(Look));
    } else {
      Last = Oldest;
      Looks[Last] = std::move(Look);
      Oldest = (Oldest + 1) % MaxLooks;
    }
    return It->second;
  }

  // Files the end P1 of block Index in the cell it lies in, when its group has
  // cells and the point can be filed (a point that is not finite is never
  // within any distance of a fragment).
  void File(uint32_t Index, const TPoint& P1) {
    TSlot& S = Slots[Index];
    const double Side = Groups[S.Group].Side;
    int64_t X, Y;
    if (Side != 0 && CellOf(P1.X, Side, X) && CellOf(P1.Y, Side, Y)) {
      S.List = ListOf(S.Group, X, Y);
      S.P1 = P1;
      TList& List = Lists[S.List];
      if (TEntry* E = List.At(P1)) {
        if (E->Extra == NoList) {
          E->Extra = static_cast<uint32_t>(Sets.size());
          Sets.push_back({E->Block});
        }
        Sets[E->Extra].insert(Index);
        return;
      }
      List.Push(TEntry{P1, Index});
    } else {
      S.List = NoList;
    }
  }

  void Unfile(uint32_t Index) {
    TSlot& S = Slots[Index];
    if (S.List == NoList) return;
    TList& List = Lists[S.List];
    if (TEntry* E = List.At(S.P1)) {
      bool Empty = E->Block == Index;
      if (E->Extra != NoList) {
        Sets[E->Extra].erase(Index);
        Empty = Sets[E->Extra].empty();
      }
      if (Empty) List.Remove(E);
    }
    S.List = NoList;
  }


  // Block Index was just appended to Blocks in group Group.
  void Add(uint32_t Index, uint32_t Group, const TPoint& P1) {
    Slots.push_back(TSlot{Group, NoList});
    Groups[Group].Members.push_back(Index);
    File(Index, P1);
  }

  void Move(uint32_t Index, const TPoint& P1) {
    Unfile(Index);
    File(Index, P1);
  }

  // Gives the group its cells once a usable Size shows up, and files the
  // blocks it already holds.
  void SetSide(uint32_t Group, double Size, const std::vector<TBlock>& Blocks) {
    TGroup& G = Groups[Group];
    if (G.Side != 0 || !(Size > 0) || !std::isfinite(Size * 2)) return;
    G.Side = Size * 2;
    for (uint32_t I : G.Members) File(I, Blocks[I].P1);
  }

  // The cell range of the box from (LoX, LoY) to (HiX, HiY) in the edge grid;
  // false when a bound is not finite or beyond the cell numbers filed.
  bool EdgeCellRange(double LoX, double LoY, double HiX, double HiY, int64_t R[4]) const {
    return EdgeSide != 0 && CellOf(LoX, EdgeSide, R[0]) && CellOf(LoY, EdgeSide, R[1]) &&
           CellOf(HiX, EdgeSide, R[2]) && CellOf(HiY, EdgeSide, R[3]);
  }

  // Files the bottom edge of a fragment of block Block.
  void AddEdge(uint32_t Block, const TPoint& S0, const TPoint& S1, double Size) {
    if (EdgeSide == 0 && Size > 0 && std::isfinite(Size * 2)) EdgeSide = Size * 2;
    if (!std::isfinite(S0.X) || !std::isfinite(S0.Y) || !std::isfinite(S1.X) || !std::isfinite(S1.Y)) return;
    int64_t R[4];
    const bool Filed =
        EdgeCellRange(std::min(S0.X, S1.X), std::min(S0.Y, S1.Y), std::max(S0.X, S1.X), std::max(S0.Y, S1.Y), R) &&
        (static_cast<double>(R[2]) - R[0] + 1) * (static_cast<double>(R[3]) - R[1] + 1) <= MaxTextCells;
    const uint32_t Index = static_cast<uint32_t>(Edges.size());
    Edges.push_back(TTextEdge{Block, S0, S1});
    if (!Filed) {
      Wide.push_back(Index);
      return;
    }
    for (int64_t Y = R[1]; Y <= R[3]; ++Y)
      for (int64_t X = R[0]; X <= R[2]; ++X) {
        uint32_t& Head = CellHeadToFill(X, Y);
        CellNodes.push_back(TCellNode{Index, Head});
        Head = static_cast<uint32_t>(CellNodes.size());
      }
  }

  // Whether the text of a block other than Block lies between Block's end P1
  // and Q0 (LiesBetween), for text in direction U.
  bool TextBetween(uint32_t Block, const TPoint& P1, const TPoint& Q0, const TPoint& U, double Size) const {
    const double L = (Q0.X - P1.X) * U.X + (Q0.Y - P1.Y) * U.Y;
    if (!(L > Size / 100)) return false;  // no stretch for anything to cover
    auto Test = [&](uint32_t I) {
      const TTextEdge& E = Edges[I];
      return E.Block != Block && LiesBetween(P1, Q0, U, Size, E.S0, E.S1);
    };
    for (uint32_t I : Wide)
      if (Test(I)) return true;
    // Every edge that LiesBetween accepts has a point within Size + Size / 4
    // of both P1 and Q0 on each axis.
    const double Reach = Size * 1.25 + EdgeSide * CellMargin;
    int64_t R[4];
    if (!EdgeCellRange(std::min(P1.X, Q0.X) - Reach, std::min(P1.Y, Q0.Y) - Reach, std::max(P1.X, Q0.X) + Reach,
                       std::max(P1.Y, Q0.Y) + Reach, R) ||
        (static_cast<double>(R[2]) - R[0] + 1) * (static_cast<double>(R[3]) - R[1] + 1) >
            static_cast<double>(Edges.size())) {
      for (uint32_t I = 0; I < Edges.size(); ++I)
        if (Test(I)) return true;
      return false;
    }
    for (int64_t Y = R[1]; Y <= R[3]; ++Y)
      for (int64_t X = R[0]; X <= R[2]; ++X) {
        const uint32_t* Head = CellHead(X, Y);
        if (!Head) continue;
        for (uint32_t Node = *Head; Node != 0; Node = CellNodes[Node - 1].Next)
          if (Test(CellNodes[Node - 1].Edge)) return true;
      }
    return false;
  }

  // The block of group Group that a fragment starting at Q0 with size Size
  // joins: the lowest index whose P1 is nearer than Size / 5, else the lowest
  // nearer than Size, in each pass only a block with no other block's text
  // between its end and Q0 (TextBetween, for text in direction U). Pass1
  // tells which. -1 for none.
  long Find(uint32_t Group, const TPoint& Q0, const TPoint& U, double Size, const std::vector<TBlock>& Blocks,
            bool& Pass1) const {
    Pass1 = false;
    // No distance is below a Size that is negative, zero or NaN, and a start
    // that is not finite has no finite distance to anything.
    if (!(Size > 0) || !std::isfinite(Q0.X) || !std::isfinite(Q0.Y)) return -1;
    const double Size5 = Size / 5;
    const TGroup& G = Groups[Group];

    bool UseGrid = G.Side != 0 && std::isfinite(Size);
    double LoX = 0, HiX = 0, LoY = 0, HiY = 0;
    if (UseGrid) {
      LoX = std::floor((Q0.X - Size) / G.Side - CellMargin);
      HiX = std::floor((Q0.X + Size) / G.Side + CellMargin);
      LoY = std::floor((Q0.Y - Size) / G.Side - CellMargin);
      HiY = std::floor((Q0.Y + Size) / G.Side + CellMargin);
      UseGrid = LoX >= -MaxCell && HiX <= MaxCell && LoY >= -MaxCell && HiY <= MaxCell &&
                (HiX - LoX + 1) * (HiY - LoY + 1) <= static_cast<double>(G.Members.size());
    }

    // The candidates of each pass by distance, then in creation order until
    // one has nothing between.
    std::vector<uint32_t>& First = ScratchFirst;
    std::vector<uint32_t>& Second = ScratchSecond;
    std::vector<const std::set<uint32_t>*>& FirstSets = ScratchFirstSets;
    std::vector<const std::set<uint32_t>*>& SecondSets = ScratchSecondSets;
    First.clear();
    Second.clear();
    FirstSets.clear();
    SecondSets.clear();
    if (!UseGrid) {
      for (uint32_t I : G.Members) {
        const double D = Distance(Blocks[I].P1, Q0);
        if (D < Size5) First.push_back(I);
        else if (D < Size) Second.push_back(I);
      }
    } else {
      for (int64_t Y = static_cast<int64_t>(LoY); Y <= static_cast<int64_t>(HiY); ++Y) {
        for (int64_t X = static_cast<int64_t>(LoX); X <= static_cast<int64_t>(HiX); ++X) {
          const TList* List = FindList(Group, X, Y);
          if (!List || !List->InReach(Q0, Size)) continue;
          for (const TEntry& E : List->Entries) {
            const double D = Distance(E.P1, Q0);
            if (!(D < Size)) continue;
            if (E.Extra != NoList) (D < Size5 ? FirstSets : SecondSets).push_back(&Sets[E.Extra]);
            else (D < Size5 ? First : Second).push_back(E.Block);
          }
        }
      }
      std::sort(First.begin(), First.end());
      std::sort(Second.begin(), Second.end());
    }
    const auto Free = [&](uint32_t I) { return !TextBetween(I, Blocks[I].P1, Q0, U, Size); };
    long Found = FirstFree(First, FirstSets, Free);
    if (Found >= 0) {
      Pass1 = true;
      return Found;
    }
    return FirstFree(Second, SecondSets, Free);
  }

  // The lowest block of Singles (sorted) and the sets of Many for which Free
  // holds, or -1; the blocks are visited in index order and only until one
  // is free.
  template <typename TFree>
  static long FirstFree(const std::vector<uint32_t>& Singles, const std::vector<const std::set<uint32_t>*>& Many,
                        const TFree& Free) {
    if (Many.empty()) {
      for (uint32_t I : Singles)
        if (Free(I)) return I;
      return -1;
    }
    std::vector<std::pair<std::set<uint32_t>::const_iterator, std::set<uint32_t>::const_iterator>> Cursors;
    for (const std::set<uint32_t>* Set : Many) Cursors.emplace_back(Set->begin(), Set->end());
    size_t Next = 0;
    for (;;) {
      long Lowest = Next < Singles.size() ? static_cast<long>(Singles[Next]) : -1;
      size_t From = Cursors.size();
      for (size_t C = 0; C < Cursors.size(); ++C)
        if (Cursors[C].first != Cursors[C].second && (Lowest < 0 || *Cursors[C].first < Lowest)) {
          Lowest = *Cursors[C].first;
          From = C;
        }
      if (Lowest < 0) return -1;
      if (From < Cursors.size()) ++Cursors[From].first;
      else ++Next;
      if (Free(static_cast<uint32_t>(Lowest))) return Lowest;
    }
  }
};

// ---------------------------------------------------------------------------
// TPDFTextFunnel

TPDFTextFunnel::TPDFTextFunnel() : FIndex(std::make_unique<TIndex>()) {}

TPDFTextFunnel::~TPDFTextFunnel() = default;

void TPDFTextFunnel::Clear() {
  FBlocks.clear();
  FWords.clear();
  FIndex->Clear();
  FMergeEnabled = true;
}

void TPDFTextFunnel::AddFragment(const TMatrix& Matrix, std::string_view Text, std::string_view Color,
                                 std::string_view FontName, double Size, double X, double Y, double W, double H,
                                 double BoxTop, double BoxBottom, bool Whole) {
  const TMatrix& M = Matrix;
  auto Map = [&M](double PX, double PY) { return TPoint{M[0] * PX + M[2] * PY + M[4], M[1] * PX + M[3] * PY + M[5]}; };
  const TPoint Q0 = Map(X, Y), Q1 = Map(X + W, Y), Q2 = Map(X + W, Y + H), Q3 = Map(X, Y + H);
  if (KeepWords) {
    FWords.push_back({Q0, Q1, Q2, Q3, std::string(Text), std::string(FontName), Size, BoxTop, BoxBottom, Whole});
    FMergeEnabled = true;
    return;
  }
  const uint32_t Group = FIndex->GroupOf(Matrix, FontName, Color);
  FIndex->SetSide(Group, Size, FBlocks);

  // The direction of the text in device space.
  TPoint U{M[0], M[1]};
  const double Length = std::hypot(U.X, U.Y);
  if (Length > 0 && std::isfinite(Length)) U = TPoint{U.X / Length, U.Y / Length};
  else U = TPoint{0, 0};

  long Found = -1;
  bool Pass1 = false;
  if (FMergeEnabled) Found = FIndex->Find(Group, Q0, U, Size, FBlocks, Pass1);

  if (Found >= 0) {
    TBlock& Block = FBlocks[Found];
    if (!Pass1 || Whole) Block.Text += ' ';
    Block.Text += Text;
    Block.P1 = Q1;
    Block.P2 = Q2;
    FIndex->Move(static_cast<uint32_t>(Found), Q1);
  } else {
    TBlock Block;
    Block.P0 = Q0;
    Block.P1 = Q1;
    Block.P2 = Q2;
    Block.P3 = Q3;
    Block.Text = Text;
    Block.FontName = FontName;
    Block.MatrixKey = FIndex->LastKey();
    Block.Color = Color;
    Block.Size = Size;
    FBlocks.push_back(std::move(Block));
    FIndex->Add(static_cast<uint32_t>(FBlocks.size() - 1), Group, Q1);
    Found = static_cast<long>(FBlocks.size() - 1);
  }
  if (!IsBlank(Text)) FIndex->AddEdge(static_cast<uint32_t>(Found), Q0, Q1, Size);
  FMergeEnabled = true;
}

double TPDFTextFunnel::OutX(double V) const {
  V *= Scale;
  return Origin == 2 || Origin == 3 ? PageWidth - V : V;
}

double TPDFTextFunnel::OutY(double V) const {
  V *= Scale;
  return Origin == 1 || Origin == 2 ? PageHeight - V : V;
}

std::string TPDFTextFunnel::GetRows() const {
  std::string Rows;
  for (const TBlock& Block : FBlocks) {
    AppendQuoted(Rows, Block.FontName, false);
    Rows += ',';
    Rows += Block.Color;
    Rows += ',';
    Rows += FormatNumber(0, 2, Block.Size);
    for (const TPoint* P : {&Block.P0, &Block.P1, &Block.P2, &Block.P3}) {
      Rows += ',';
      Rows += FormatNumber(0, 4, OutX(P->X));
      Rows += ',';
      Rows += FormatNumber(0, 4, OutY(P->Y));
    }
    Rows += ',';
    AppendQuoted(Rows, Block.Text, true);
    Rows += "\r\n";
  }
  return Rows;
}

bool TPDFTextFunnel::TakeRows(std::vector<TRow>& Rows) {
  // A zero byte ends the rows, CR and LF end a row (a CR of the text is
  // written as a space), and the colour is written unquoted: the bytes that
  // break a field (bit 1: font name, 2: colour, 4: text).
  static constexpr auto Breaks = [] {
    std::array<uint8_t, 256> T{};
    T['\0'] = 1 | 2 | 4;
    T['\n'] = 1 | 2 | 4;
    T['\r'] = 1 | 2;
    T[','] = T['"'] = T['\\'] = 2;
    return T;
  }();
  const auto Whole = [](std::string_view Text, uint8_t Field) {
    for (char C : Text)
      if (Breaks[static_cast<unsigned char>(C)] & Field) return false;
    return true;
  };
  for (const TBlock& Block : FBlocks)
    if (!Whole(Block.FontName, 1) || !Whole(Block.Color, 2) || !Whole(Block.Text, 4)) return false;
  Rows.clear();
  Rows.reserve(FBlocks.size());
  for (TBlock& Block : FBlocks) {
    TRow Row{NumberAsWritten(OutX(Block.P0.X)), NumberAsWritten(OutY(Block.P0.Y)), std::move(Block.Text)};
    std::replace(Row.Text.begin(), Row.Text.end(), '\r', ' ');
    Rows.push_back(std::move(Row));
  }
  return true;
}
