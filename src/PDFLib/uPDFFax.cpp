// CCITT fax decoding (modified Huffman, group 3 and group 4 rows) for the image reader.
#include "uPDFFax.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace {

// ------------------------------------------------ code tables

// A code as its bits, first bit first, and the run length or mode it stands for.
struct TCode {
  const char* Bits;
  int16_t Value;
};

// Runs of white: the terminating codes (0-63), then the makeup codes (64-1728).
constexpr TCode WhiteCodes[] = {
    {"00110101", 0},     {"000111", 1},       {"0111", 2},         {"1000", 3},         {"1011", 4},
    {"1100", 5},         {"1110", 6},         {"1111", 7},         {"10011", 8},        {"10100", 9},
    {"00111", 10},       {"01000", 11},       {"001000", 12},      {"000011", 13},      {"110100", 14},
    {"110101", 15},      {"101010", 16},      {"101011", 17},      {"0100111", 18},     {"0001100", 19},
    {"0001000", 20},     {"0010111", 21},     {"0000011", 22},     {"0000100", 23},     {"0101000", 24},
    {"0101011", 25},     {"0010011", 26},     {"0100100", 27},     {"0011000", 28},     {"00000010", 29},
    {"00000011", 30},    {"00011010", 31},    {"00011011", 32},    {"00010010", 33},    {"00010011", 34},
    {"00010100", 35},    {"00010101", 36},    {"00010110", 37},    {"00010111", 38},    {"00101000", 39},
    {"00101001", 40},    {"00101010", 41},    {"00101011", 42},    {"00101100", 43},    {"00101101", 44},
    {"00000100", 45},    {"00000101", 46},    {"00001010", 47},    {"00001011", 48},    {"01010010", 49},
    {"01010011", 50},    {"01010100", 51},    {"01010101", 52},    {"00100100", 53},    {"00100101", 54},
    {"01011000", 55},    {"01011001", 56},    {"01011010", 57},    {"01011011", 58},    {"01001010", 59},
    {"01001011", 60},    {"00110010", 61},    {"00110011", 62},    {"00110100", 63},    {"11011", 64},
    {"10010", 128},      {"010111", 192},     {"0110111", 256},    {"00110110", 320},   {"00110111", 384},
    {"01100100", 448},   {"01100101", 512},   {"01101000", 576},   {"01100111", 640},   {"011001100", 704},
    {"011001101", 768},  {"011010010", 832},  {"011010011", 896},  {"011010100", 960},  {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344},
    {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600}, {"011000", 1664},
    {"010011011", 1728},
};

// Runs of black: the terminating codes, then the makeup codes.
constexpr TCode BlackCodes[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},
    {"011", 4},            {"0011", 5},           {"0010", 6},           {"00011", 7},
    {"000101", 8},         {"000100", 9},         {"0000100", 10},       {"0000101", 11},
    {"0000111", 12},       {"00000100", 13},      {"00000111", 14},      {"000011000", 15},
    {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},
    {"00000010111", 24},   {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},
    {"000011001100", 28},  {"000011001101", 29},  {"000001101000", 30},  {"000001101001", 31},
    {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},  {"000011010011", 35},
    {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},
    {"000001010100", 44},  {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},
    {"000001100100", 48},  {"000001100101", 49},  {"000001010010", 50},  {"000001010011", 51},
    {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},  {"000000100111", 55},
    {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280},
    {"0000001010011", 1344}, {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536},
    {"0000001011011", 1600}, {"0000001100100", 1664}, {"0000001100101", 1728},
};

// The makeup codes of long runs, the same for both colours.
constexpr TCode LongMakeupCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},  {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

// The modes of two-dimensional rows. Vertical modes carry a1 - b1 (-3 to 3).
enum : int16_t { ModePass = 100, ModeHorizontal = 101, ModeExtension = 102 };
constexpr TCode ModeCodes[] = {
    {"0001", ModePass}, {"001", ModeHorizontal}, {"1", 0},        {"011", 1},           {"000011", 2},
    {"0000011", 3},     {"010", -1},             {"000010", -2},  {"0000010", -3},      {"0000001", ModeExtension},
};

// The longest code of a table (black makeup codes: 13 bits; modes: 7).
constexpr int RunLookupBits = 13;
constexpr int ModeLookupBits = 7;

// A table read by the next LookupBits bits: the code that starts them and
// its length (0: no code starts so).
struct TLookupEntry {
  uint8_t Length = 0;
  int16_t Value = 0;
};

template <int LookupBits>
struct TLookup {
  std::array<TLookupEntry, size_t{1} << LookupBits> Entries{};

  void Add(const TCode& C) {
    uint32_t Prefix = 0;
    int Length = 0;
    for (const char* B = C.Bits; *B; ++B, ++Length) Prefix = Prefix << 1 | (*B == '1' ? 1u : 0u);
    const int Free = LookupBits - Length;
    for (uint32_t Tail = 0; Tail < (1u << Free); ++Tail)
      Entries[Prefix << Free | Tail] = {static_cast<uint8_t>(Length), C.Value};
  }
};

struct TTables {
  TLookup<RunLookupBits> White, Black;
  TLookup<ModeLookupBits> Modes;

  TTables() {
    for (const TCode& C : WhiteCodes) White.Add(C);
    for (const TCode& C : BlackCodes) Black.Add(C);
    for (const TCode& C : LongMakeupCodes) White.Add(C), Black.Add(C);
    for (const TCode& C : ModeCodes) Modes.Add(C);
  }
};

const TTables& Tables() {
  static const TTables T;
  return T;
}

// ------------------------------------------------ bits

// The data's bits, most significant bit of each byte first. Reads past the
// end see zero bits; Fits tells whether a code of some length is all inside.
class TBitReader {
 public:
  explicit TBitReader(std::string_view Data) : Data_(Data), Total_(Data.size() * 8) {}

  size_t Pos() const { return Pos_; }
  size_t Left() const { return Total_ - Pos_; }
  bool Fits(size_t Bits) const { return Bits <= Left(); }

  uint32_t Peek(int Bits) const {
    uint32_t V = 0;
    size_t Byte = Pos_ >> 3;
    const int Skip = static_cast<int>(Pos_ & 7);
    // Up to 4 bytes cover 13 bits at any offset.
    for (int I = 0; I < 4; ++I, ++Byte) V = V << 8 | (Byte < Data_.size() ? static_cast<uint8_t>(Data_[Byte]) : 0u);
    return (V << Skip) >> (32 - Bits);
  }
  void Skip(size_t Bits) { Pos_ = std::min(Total_, Pos_ + Bits); }
  void AlignToByte() { Skip((8 - (Pos_ & 7)) & 7); }

  // The zero bits from here to the next one bit (or to the end).
  size_t ZerosAhead() const {
    size_t P = Pos_;
    while (P < Total_) {
      if ((P & 7) == 0 && Data_[P >> 3] == 0) {
        P += 8;
        continue;
      }
      if (static_cast<uint8_t>(Data_[P >> 3]) >> (7 - (P & 7)) & 1) break;
      ++P;
    }
    return std::min(P, Total_) - Pos_;
  }

 private:
  std::string_view Data_;
  size_t Total_;
  size_t Pos_ = 0;
};

// An EOL is eleven zero bits or more (the zeros of fill included) and a one:
// no code of a row starts with more than seven zero bits.
constexpr size_t EolZeros = 11;

bool BeginsWithEol(const TBitReader& In) {
  const size_t Zeros = In.ZerosAhead();
  return Zeros >= EolZeros && In.Fits(Zeros + 1);
}

// ------------------------------------------------ rows

class TFaxDecoder {
 public:
  TFaxDecoder(std::string_view Data, const TFaxParams& P, std::string& Bits)
      : In_(Data), P_(P), Bits_(Bits), RowBytes_((static_cast<size_t>(P.Columns) + 7) / 8) {
    // The row above the first is white: Reference_ starts with no changes.
    Reference_.reserve(64);
    Current_.reserve(64);
  }

  void Run() {
    Eols_ = P_.EndOfLine || BeginsWithEol(In_);
    for (int32_t Row = 0; Row < P_.Rows; ++Row) {
      if (!StartRow()) return;
      bool TwoD = P_.K < 0;
      if (P_.K > 0) {
        if (!In_.Fits(1)) return;
        TwoD = In_.Peek(1) == 0;
        In_.Skip(1);
      }
      Current_.clear();
      if (!(TwoD ? ReadTwoDimensional() : ReadOneDimensional())) return;
      Paint(Row);
      Reference_.swap(Current_);
    }
  }

 private:
  TBitReader In_;
  const TFaxParams& P_;
  std::string& Bits_;
  size_t RowBytes_;
  // The columns where the colour changes, white to black first: the row
  // above (the reference) and the row being read.
  std::vector<int32_t> Reference_, Current_;
  // Rows come after EOLs: EndOfLine says so, or the data begin with one.
  // Aligned rows without EOLs are read otherwise: the zero bits before a
  // row and the zeros that its first code starts with could pass for one.
  bool Eols_ = false;

  // Moves to where the next row's code begins, past its EOL if it has one.
  // False where only zero bits are left. A second EOL, the end of the block
  // (the group 4 EOFB, the group 3 RTC), is no code that a row can begin
  // with: the rows end there.
  bool StartRow() {
    // Aligned rows without EOLs begin on a byte boundary. With EOLs, the
    // zero fill before each EOL is skipped with the EOL's own zeros.
    if (P_.EncodedByteAlign && !Eols_) In_.AlignToByte();
    const size_t Zeros = In_.ZerosAhead();
    if (!In_.Fits(Zeros + 1)) return false;
    const bool Eol = Zeros >= EolZeros;
    if (Eol)
      In_.Skip(Zeros + 1);
    else if (P_.EncodedByteAlign)
      In_.AlignToByte();  // an EOL missing, or rows without them
    return true;
  }

  // A run length of Colour (0 white, 1 black): makeup codes, then a
  // terminating code. -1 for a bad code or the data's end.
  int64_t ReadRun(int Colour) {
    const TLookup<RunLookupBits>& T = Colour ? Tables().Black : Tables().White;
    int64_t Run = 0;
    // Valid data need no more makeup codes than the row has columns / 64.
    for (int32_t Makeups = 0; Makeups <= P_.Columns / 64 + 2; ++Makeups) {
      const TLookupEntry& E = T.Entries[In_.Peek(RunLookupBits)];
      if (E.Length == 0 || !In_.Fits(E.Length)) return -1;
      In_.Skip(E.Length);
      Run += E.Value;
      if (E.Value < 64) return Run;
    }
    return -1;
  }

  // Records a change of colour at column X (columns from Columns on need
  // none); two changes at one column cancel.
  void Change(int32_t X) {
    if (X >= P_.Columns) return;
    if (!Current_.empty() && Current_.back() == X)
      Current_.pop_back();
    else
      Current_.push_back(X);
  }

  int32_t Clamp(int64_t X) const { return static_cast<int32_t>(std::min<int64_t>(X, P_.Columns)); }

  // A row of runs, white first. Runs past the last column are cut there.
  bool ReadOneDimensional() {
    int32_t X = 0;
    int Colour = 0;
    // Valid rows have no more runs than columns and the white one before
    // the first: runs of no pixels cannot go on for ever.
    for (int64_t Runs = 0; Runs <= static_cast<int64_t>(P_.Columns) + 1; ++Runs) {
      const int64_t Run = ReadRun(Colour);
      if (Run < 0) return false;
      X = Clamp(X + Run);
      if (X >= P_.Columns) return true;
      Change(X);
      Colour ^= 1;
    }
    return false;
  }

  // A row coded against the reference row: a0 is the column the coding has
  // reached (-1 before the first), b1 the reference row's first change
  // after a0 to the colour that is not a0's, b2 the change after b1.
  bool ReadTwoDimensional() {
    const int32_t Columns = P_.Columns;
    const auto& Ref = Reference_;
    const size_t N = Ref.size();
    int32_t A0 = -1;
    int Colour = 0;
    size_t J = 0;  // the first reference change after a0
    // Each code but the first moves a0 on or changes colour once; twice the
    // columns and a few more are all valid data can hold.
    for (int64_t Codes = 0; A0 < Columns; ++Codes) {
      if (Codes > 2 * static_cast<int64_t>(Columns) + 8) return false;
      const TLookupEntry& E = Tables().Modes.Entries[In_.Peek(ModeLookupBits)];
      if (E.Length == 0 || E.Value == ModeExtension || !In_.Fits(E.Length)) return false;
      In_.Skip(E.Length);
      while (J < N && Ref[J] <= A0) ++J;
      // Changes to black sit at even places, to white at odd ones.
      const size_t I1 = J + ((J & 1) != static_cast<size_t>(Colour) ? 1 : 0);
      const int32_t B1 = I1 < N ? Ref[I1] : Columns;
      const int32_t B2 = I1 + 1 < N ? Ref[I1 + 1] : Columns;
      const int32_t From = std::max(A0, 0);
      if (E.Value == ModePass) {
        A0 = B2;
      } else if (E.Value == ModeHorizontal) {
        const int64_t Run1 = ReadRun(Colour);
        if (Run1 < 0) return false;
        const int64_t Run2 = ReadRun(Colour ^ 1);
        if (Run2 < 0) return false;
        const int32_t A1 = Clamp(From + Run1);
        const int32_t A2 = Clamp(A1 + Run2);
        Change(A1);
        Change(A2);
        A0 = A2;
      } else {
        const int32_t A1 = Clamp(std::max<int64_t>(int64_t{B1} + E.Value, 0));
        if (A1 < From) return false;
        Change(A1);
        A0 = A1;
        Colour ^= 1;
      }
    }
    return true;
  }

  // Writes row Row's black runs (between each change to black and the next
  // change to white).
  void Paint(int32_t Row) {
    char* Out = Bits_.data() + static_cast<size_t>(Row) * RowBytes_;
    for (size_t I = 0; I < Current_.size(); I += 2) {
      const int32_t From = Current_[I];
      const int32_t To = I + 1 < Current_.size() ? Current_[I + 1] : P_.Columns;
      for (int32_t X = From; X < To;) {
        if ((X & 7) == 0 && To - X >= 8) {
          Out[X >> 3] = static_cast<char>(0xFF);
          X += 8;
        } else {
          Out[X >> 3] = static_cast<char>(Out[X >> 3] | 0x80 >> (X & 7));
          ++X;
        }
      }
    }
  }
};

}  // namespace

bool DecodeFaxRows(std::string_view Data, const TFaxParams& P, std::string& Bits, std::string& Error) {
  if (P.Columns <= 0 || P.Rows <= 0) {
    Error = "CCITT: no pixels (" + std::to_string(P.Columns) + " x " + std::to_string(P.Rows) + ")";
    return false;
  }
  Bits.assign((static_cast<size_t>(P.Columns) + 7) / 8 * static_cast<size_t>(P.Rows), '\0');
  TFaxDecoder(Data, P, Bits).Run();
  return true;
}

bool FaxDataBeginWithEOL(std::string_view Data) { return BeginsWithEol(TBitReader(Data)); }
