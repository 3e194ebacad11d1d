// The fax decoder: hand-made rows of each kind, the test bitmap's aligned
// codings cut short, garbage, and libtiff's reading of unaligned data.
#include "uPDFFax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "uPDFImage.h"
#include "uPDFStructure.h"

namespace {

std::string Fixture(const std::string& Name) {
  std::ifstream In(std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/images/" + Name, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// Bytes of a string of '0' and '1' (spaces ignored), zero bits after the last.
std::string Pack(const std::string& Bits) {
  std::string Out;
  int N = 0;
  for (char C : Bits) {
    if (C != '0' && C != '1') continue;
    if (N % 8 == 0) Out += '\0';
    if (C == '1') Out.back() = static_cast<char>(Out.back() | 0x80 >> (N % 8));
    ++N;
  }
  return Out;
}

// Decoded rows as strings of '.' (white) and 'X' (black).
std::vector<std::string> Decode(const std::string& Data, const TFaxParams& P) {
  std::string Bits, Error;
  EXPECT_TRUE(DecodeFaxRows(Data, P, Bits, Error)) << Error;
  const size_t RowBytes = (static_cast<size_t>(P.Columns) + 7) / 8;
  EXPECT_EQ(Bits.size(), RowBytes * P.Rows);
  std::vector<std::string> Rows;
  for (int32_t Y = 0; Y < P.Rows && Bits.size() == RowBytes * P.Rows; ++Y) {
    std::string Row;
    for (int32_t X = 0; X < P.Columns; ++X)
      Row += static_cast<uint8_t>(Bits[Y * RowBytes + X / 8]) >> (7 - X % 8) & 1 ? 'X' : '.';
    Rows.push_back(Row);
  }
  return Rows;
}

// The test bitmap (pattern.gray, 96 x 40) as rows of '.' and 'X'.
std::vector<std::string> Pattern() {
  const std::string Gray = Fixture("pattern.gray");
  std::vector<std::string> Rows;
  for (size_t Y = 0; Y < 40; ++Y) {
    std::string Row;
    for (size_t X = 0; X < 96; ++X) Row += static_cast<uint8_t>(Gray[Y * 96 + X]) < 128 ? 'X' : '.';
    Rows.push_back(Row);
  }
  return Rows;
}

const std::string EOL = "000000000001 ";

// Rows coded by hand: each kind of row, its ends and its faults. The codes
// used: white 0 00110101, 2 0111, 3 1000, 5 1100, 12 001000; black 2 11,
// 4 011, 6 0010, 8 000101, 9 000100; horizontal 001, V0 1, VL1 010,
// VL3 0000010, uncompressed mode 0000001111.
TEST(Fax, HandMadeRows) {
  const std::string Row1D = "1000 11 1100 ";  // ...XX.....
  const std::string Row2D = "001 1000 11 1 ";  // the same against a white row
  struct TCase {
    const char* Name;
    int32_t K;
    bool Align, EndOfLine;
    std::string Bits;
    std::vector<std::string> Rows;
  } Cases[] = {
      {"one-dimensional rows", 0, false, false, Row1D + "00110101 011 1110",
       {"...XX.....", "XXXX......"}},
      // A white run past the last column ends its row there; a black one too.
      {"runs past the last column", 0, false, false, "001000  0111 000101  1100 000100",
       {"..........", "..XXXXXXXX", ".....XXXXX"}},
      {"rows after EOLs, filled so that each ends a byte", 0, true, true,
       "0000" + EOL + Row1D + "00" + EOL + "00110101 011 1110",
       {"...XX.....", "XXXX......"}},
      {"EOLs found without EndOfLine", 0, false, false, EOL + Row1D + EOL + Row1D, {"...XX.....", "...XX....."}},
      // Six EOLs end group 3 data: what follows is not read.
      {"RTC", 0, false, false, EOL + Row1D + EOL + EOL + EOL + EOL + EOL + EOL + Row1D,
       {"...XX.....", ".........."}},
      // Group 4: each row against the one above; V0 V0 V0 repeats it, VL1
      // moves its first edge left.
      {"two-dimensional rows", -1, false, false, Row2D + "1 1 1" + "010 1 1",
       {"...XX.....", "...XX.....", "..XXX....."}},
      {"aligned two-dimensional rows", -1, true, false, Row2D + "000000 1 1 1 00000",
       {"...XX.....", "...XX....."}},
      // An EOFB (two EOLs) ends the block: the ones bits after it are not
      // read as V0 codes.
      {"EOFB", -1, true, false, Row2D + "000000" + EOL + EOL + "11111111",
       {"...XX.....", ".........."}},
      // K > 0: a tag bit before each row says 1D (1) or 2D (0).
      {"mixed rows, aligned without EOLs", 2, true, false, "1" + Row1D + "00000" + "0 010 1 1",
       {"...XX.....", "..XXX....."}},
      {"mixed rows after EOLs", 2, false, true, EOL + "1" + Row1D + EOL + "0 010 1 1" + EOL + "1" + EOL + "1",
       {"...XX.....", "..XXX.....", ".........."}},
      // A fault leaves its row and the rest white, the rows before kept.
      {"data cut in a row", 0, false, false, Row1D + "1000 1", {"...XX.....", "..........", ".........."}},
      {"uncompressed mode refused", -1, false, false, Row2D + "0000001111 1 1 1", {"...XX.....", ".........."}},
      // VL3 would put a1 (column 2) left of a0 (column 3); read on, the
      // codes after it would paint columns 6 to 8.
      {"a1 left of a0", -1, false, false, Row2D + "1 0000010 001 1011 10 1", {"...XX.....", ".........."}},
      {"not a code", 0, false, false, Row1D + "000000001", {"...XX.....", ".........."}},
      {"no data", -1, false, false, "", {".........."}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TFaxParams P;
    P.K = C.K;
    P.Columns = static_cast<int32_t>(C.Rows[0].size());
    P.Rows = static_cast<int32_t>(C.Rows.size());
    P.EncodedByteAlign = C.Align;
    P.EndOfLine = C.EndOfLine;
    EXPECT_EQ(Decode(Pack(C.Bits), P), C.Rows);
  }
}

// Runs longer than 1728 take the makeup codes of both colours (1792-2560),
// several in a row past 2560; a row of aligned modified Huffman runs may
// start with seven zero bits after the zeros that align it, and is no EOL.
TEST(Fax, LongRuns) {
  TFaxParams P;
  P.K = 0;
  P.Columns = 5300;
  P.Rows = 1;
  // White 2560 + 2560 + 128 + 2 (0111), then black 50 (000001010010).
  const std::string Long = "000000011111 000000011111 10010 0111 000001010010";
  EXPECT_EQ(Decode(Pack(Long), P), std::vector<std::string>{std::string(5250, '.') + std::string(50, 'X')});

  P.Columns = 1800;
  P.Rows = 3;
  P.EncodedByteAlign = true;
  // White 2, black 1792 + 6 (19 bits and five of fill); white 1792 + 8.
  const std::string Edge = "0111 00000001000 0010";
  const std::string Blank = "00000001000 10011";
  const std::string Row = ".." + std::string(1798, 'X');
  EXPECT_EQ(Decode(Pack(Edge + "00000" + Blank + Edge), P),
            (std::vector<std::string>{Row, std::string(1800, '.'), Row}));
}

// Each aligned coding of the test bitmap gives it back; cut short, it gives
// the rows before the cut and white after them.
TEST(Fax, AlignedCodingsCutShort) {
  const std::vector<std::string> Expected = Pattern();
  const std::vector<std::string> White(40, std::string(96, '.'));
  struct TCase {
    const char* File;
    int32_t K;
    bool EndOfLine;
  } Cases[] = {
      {"pattern-g4-aligned.fax", -1, false},      {"pattern-g3-aligned.fax", 0, false},
      {"pattern-g3-aligned-eol.fax", 0, true},    {"pattern-g32d-aligned.fax", 2, true},
      {"pattern-g32d-aligned-noeol.fax", 2, false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    TFaxParams P;
    P.K = C.K;
    P.Columns = 96;
    P.Rows = 40;
    P.EncodedByteAlign = true;
    P.EndOfLine = C.EndOfLine;
    const std::string Data = Fixture(C.File);
    ASSERT_FALSE(Data.empty());
    EXPECT_EQ(Decode(Data, P), Expected);
    for (size_t Cut : {size_t{0}, size_t{5}, Data.size() / 2, Data.size() - 20}) {
      SCOPED_TRACE(Cut);
      const std::vector<std::string> Got = Decode(Data.substr(0, Cut), P);
      ASSERT_EQ(Got.size(), 40u);
      size_t Kept = 0;
      while (Kept < 40 && Got[Kept] == Expected[Kept]) ++Kept;
      for (size_t Y = Kept; Y < 40; ++Y) EXPECT_EQ(Got[Y], White[Y]) << "row " << Y;
      if (Cut >= Data.size() / 2) {
        EXPECT_GE(Kept, 10u);
      }
    }
  }
}

// The decoder reads unaligned data as libtiff does (through DecodeImage):
// the runs bitmap takes every code of the tables.
TEST(Fax, AgreesWithLibtiff) {
  struct TCase {
    const char* File;
    int32_t K, Columns, Rows;
  } Cases[] = {
      {"runs-g4.fax", -1, 2700, 165},
      {"runs-g32d.fax", 3, 2700, 165},
      {"pattern-g4.fax", -1, 96, 40},
      {"pattern-g3.fax", 0, 96, 40},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    const std::string Data = Fixture(C.File);
    TPDFStructure S;
    TPDFStream* Stream = S.NewStream(Data);
    auto* D = As<TPDFDictionary>(S.ParseObject(
        "<< /Type /XObject /Subtype /Image /Width " + std::to_string(C.Columns) + " /Height " + std::to_string(C.Rows) +
        " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K " +
        std::to_string(C.K) + " /Columns " + std::to_string(C.Columns) + " >> >>"));
    ASSERT_NE(D, nullptr);
    Stream->SetDictionary(D);
    const TPDFImageResult R = DecodeImage(*Stream);
    ASSERT_TRUE(R.Ok()) << R.Error;
    std::vector<std::string> Libtiff;
    size_t Black = 0;
    for (int32_t Y = 0; Y < C.Rows; ++Y) {
      std::string Row;
      for (int32_t X = 0; X < C.Columns; ++X) Row += R.Image.Pixels[Y * C.Columns + X] == '\0' ? 'X' : '.';
      Black += std::count(Row.begin(), Row.end(), 'X');
      Libtiff.push_back(Row);
    }
    EXPECT_GT(Black, static_cast<size_t>(C.Columns));
    TFaxParams P;
    P.K = C.K;
    P.Columns = C.Columns;
    P.Rows = C.Rows;
    EXPECT_EQ(Decode(Data, P), Libtiff);
  }
}

// Garbage of every kind, under every setting: never a read outside the
// data (the sanitizers watch), always the bitmap's size.
TEST(Fax, GarbageStaysInBounds) {
  std::vector<std::string> Inputs = {std::string(64, '\xFF'), std::string(64, '\0'), std::string(64, '\x01'),
                                     std::string(1, '\x80'), Fixture("runs-g4.fax")};
  uint32_t Seed = 12345;
  for (int N = 1; N < 200; N += 13) {
    std::string R;
    for (int I = 0; I < N; ++I) R += static_cast<char>((Seed = Seed * 1103515245 + 12345) >> 16);
    Inputs.push_back(R);
  }
  for (const std::string& Data : Inputs)
    for (int32_t K : {-1, 0, 1})
      for (int Flags = 0; Flags < 4; ++Flags)
        for (int32_t Columns : {1, 9, 2700}) {
          TFaxParams P;
          P.K = K;
          P.Columns = Columns;
          P.Rows = 7;
          P.EncodedByteAlign = Flags & 1;
          P.EndOfLine = Flags & 2;
          std::string Bits, Error;
          ASSERT_TRUE(DecodeFaxRows(Data, P, Bits, Error));
          ASSERT_EQ(Bits.size(), (Columns + 7) / 8 * 7u);
          // Bits past the last column stay clear.
          if (Columns == 9) {
            for (int Y = 0; Y < 7; ++Y) EXPECT_EQ(Bits[Y * 2 + 1] & 0x7F, 0);
          }
        }
}

TEST(Fax, NoPixelsIsAnError) {
  for (auto [Columns, Rows] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 5}}) {
    TFaxParams P;
    P.Columns = Columns;
    P.Rows = Rows;
    std::string Bits, Error;
    EXPECT_FALSE(DecodeFaxRows("\xFF", P, Bits, Error));
    EXPECT_NE(Error.find("no pixels"), std::string::npos);
  }
}

}  // namespace
