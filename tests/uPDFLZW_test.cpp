// Unit tests of the LZW decoder.
#include "uPDFLZW.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// ============================================================ code packing
struct TCode {
  uint32_t Value;
  int Width;
};

// Packs codes into bytes, MSB or LSB first; the last byte's spare bits are 0.
std::string Pack(const std::vector<TCode>& Codes, bool Msb = true) {
  std::string Out;
  uint64_t Acc = 0;
  int Bits = 0;
  for (const TCode& C : Codes) {
    EXPECT_LT(C.Value, 1u << C.Width) << "code does not fit its width";
    if (Msb) {
      Acc = Acc << C.Width | C.Value;
      Bits += C.Width;
      while (Bits >= 8) Out += char(Acc >> (Bits -= 8));
    } else {
      Acc |= uint64_t(C.Value) << Bits;
      Bits += C.Width;
      for (; Bits >= 8; Bits -= 8, Acc >>= 8) Out += char(Acc);
    }
  }
  if (Bits > 0) Out += char(Msb ? Acc << (8 - Bits) : Acc);
  return Out;
}

// Codes all of one width.
std::vector<TCode> Codes(std::initializer_list<uint32_t> Values, int Width = 9) {
  std::vector<TCode> Out;
  for (uint32_t V : Values) Out.push_back({V, Width});
  return Out;
}

std::string Decode(std::string_view Data, bool EarlyChange, bool Msb = true, int Width = 9,
                   size_t MaxOutput = SIZE_MAX) {
  TPDFLZWDecompressor D;
  D.EarlyChange = EarlyChange;
  D.MsbFirst = Msb;
  D.InitialWidth = Width;
  return D.Decode(Data, MaxOutput);
}

// ============================================================ encoder
// A plain LZW encoder that follows the decoder's code widths code by code, so
// that its codes fit the widths a decoder with the same EarlyChange setting and
// initial width reads them with.
struct TEncodeOptions {
  int InitialWidth = 9;
  bool EarlyChange = true;
  bool LeadingClear = true;
  bool ClearWhenFull = true;  // false: stop adding entries once 4094 is made
  bool EndCode = true;
};

struct TEncoded {
  std::vector<TCode> Codes;
  std::string Tail;  // the string of the last data code
  int Width = 0;     // the decoder's code width after the last code
};

TEncoded Encode(std::string_view Data, const TEncodeOptions& O) {
  const uint32_t Clear = 1u << (O.InitialWidth - 1);
  TEncoded R;
  int Width = O.InitialWidth;
  uint32_t DecoderNext = Clear + 2;  // the decoder's next free code
  bool First = true;                 // its first code makes no entry
  auto Emit = [&](uint32_t Code) {
    R.Codes.push_back({Code, Width});
    if (First) {
      First = Code == Clear && R.Codes.size() == 1;
      return;
    }
    if (Code == Clear) {
      Width = O.InitialWidth;
      DecoderNext = Clear + 1;
      return;
    }
    uint32_t Mask = (1u << Width) - 1;
    if (DecoderNext == (O.EarlyChange ? Mask - 1 : Mask) && Width < 12) ++Width;
    if (DecoderNext < 4095) ++DecoderNext;
  };

  std::unordered_map<uint32_t, uint32_t> Dict;  // prefix code << 8 | byte -> code
  uint32_t Next = Clear + 2;
  if (O.LeadingClear) Emit(Clear);
  int64_t W = -1;
  for (unsigned char C : Data) {
    if (W < 0) {
      W = C;
      R.Tail = std::string(1, char(C));
      continue;
    }
    auto It = Dict.find(uint32_t(W) << 8 | C);
    if (It != Dict.end()) {
      W = It->second;
      R.Tail += char(C);
      continue;
    }
    Emit(uint32_t(W));
    if (Next <= 4094) {
      Dict[uint32_t(W) << 8 | C] = Next++;
    } else if (O.ClearWhenFull) {
      Emit(Clear);
      Dict.clear();
      Next = Clear + 2;
    }
    W = C;
    R.Tail = std::string(1, char(C));
  }
  if (W >= 0) Emit(uint32_t(W));
  if (O.EndCode) Emit(Clear + 1);
  R.Width = Width;
  return R;
}

// Text made of words from a small random vocabulary, so that it compresses
// well and fills the table quickly; bytes 'a'..'z' for an alphabet of 26, else
// bytes 0 to Alphabet - 1.
std::string RandomText(size_t Size, unsigned Seed, int Alphabet = 26) {
  std::mt19937 Rng(Seed);
  const int Base = Alphabet == 26 ? 'a' : 0;
  std::vector<std::string> Words;
  for (int I = 0; I < 200; ++I) {
    std::string W;
    for (int L = 1 + int(Rng() % 8); L > 0; --L) W += char(Base + int(Rng() % Alphabet));
    Words.push_back(W);
  }
  std::string S;
  while (S.size() < Size) S += Words[Rng() % Words.size()];
  S.resize(Size);
  return S;
}

// ============================================================ reference model
// The decoding algorithm in its most direct form, a table of whole strings, fed
// one code at a time. The decoder under test keeps references into its output
// instead; the model checks it where that difference matters (codes beyond the
// table, stale entries after a clear, the reused last entry).
class TModel {
 public:
  TModel(bool EarlyChange, int InitialWidth)
      : Early(EarlyChange), Width0(InitialWidth), Clear(1u << (InitialWidth - 1)), Table(4096) {
    for (uint32_t I = 0; I <= Clear + 1; ++I) Table[I] = std::string(1, char(I & 0xFF));
    SetWidth(Width0);
    Next = Clear + 2;
  }

  int Width() const { return W; }
  uint32_t NextCode() const { return Next; }
  uint32_t ClearCode() const { return Clear; }
  bool Done() const { return Ended; }
  std::string Output;

  void Feed(uint32_t Code) {
    if (Ended) return;
    if (!Started) {
      if (Code == Clear && !SkippedClear) {
        SkippedClear = true;
        return;
      }
      Ended = Code == Clear + 1;
      if (!Ended) Output += Table[Code];
      Prev = Code;
      Started = true;
      return;
    }
    if (Code == Clear + 1) {
      Ended = true;
      return;
    }
    if (Code == Clear) {
      SetWidth(Width0);
      Next = Clear + 1;
      return;
    }
    if (Code < Next) {
      std::string S = Table[Code];
      Output += S;
      if (!S.empty()) Table[Next] = Table[Prev] + S[0];
    } else {
      std::string S = Table[Prev];
      if (!S.empty()) S += S[0];
      Output += S;
      Table[Next] = S;
    }
    if (Next == Change && W < 12) SetWidth(W + 1);
    if (Next < 4095) ++Next;
    Prev = Code;
  }

  // Reads codes from Data as the decoder does, with three zero bytes appended.
  static std::string DecodeBytes(std::string_view Data, bool EarlyChange, bool Msb, int Width) {
    TModel M(EarlyChange, Width);
    std::string In(Data);
    In.append(3, '\0');
    size_t Pos = 1;  // 1-based
    int Bit = 0;
    auto At = [&](size_t I) -> uint32_t { return I <= In.size() ? uint8_t(In[I - 1]) : 0; };
    while (!M.Done()) {
      uint32_t Mask = (1u << M.Width()) - 1, Code;
      if (Msb ? Pos >= In.size() - 1 : Pos >= In.size()) {
        Code = M.Clear + 1;
      } else if (Msb) {
        Code = ((At(Pos) << 16 | At(Pos + 1) << 8 | At(Pos + 2)) >> (24 - Bit - M.Width())) & Mask;
      } else {
        Code = ((At(Pos) | At(Pos + 1) << 8 | At(Pos + 2) << 16) >> Bit) & Mask;
      }
      for (Bit += M.Width(); Bit > 7; Bit -= 8) ++Pos;
      M.Feed(Code);
    }
    return M.Output;
  }

 private:
  void SetWidth(int NewWidth) {
    W = NewWidth;
    uint32_t Mask = (1u << W) - 1;
    Change = Early ? Mask - 1 : Mask;
  }

  bool Early;
  int Width0;
  uint32_t Clear;
  std::vector<std::string> Table;
  int W = 0;
  uint32_t Next = 0, Change = 0, Prev = 0;
  bool Started = false, SkippedClear = false, Ended = false;
};

// ============================================================ fixed code sequences
struct TSequenceCase {
  const char* Name;
  std::vector<TCode> Codes;
  std::string Expected;
  bool Msb = true;
};

TEST(LZWDecode, CodeSequences) {
  using namespace std::string_literals;
  const TSequenceCase Cases[] = {
      {"KwKwK case", Codes({256, 65, 66, 258, 260, 257}), "ABABABA"},
      {"no leading clear", Codes({65, 66, 258, 260, 257}), "ABABABA"},
      {"LSB-first packing", Codes({256, 65, 66, 258, 260, 257}), "ABABABA", false},
      {"only clear and end", Codes({256, 257}), ""},
      // The decoder reads codes from three zero bytes appended to the data
      // while a code can start before the second of them: no data at all
      // still gives one code 0.
      {"empty input", {}, "\0"s},
      {"bytes after the end code are ignored", Codes({256, 65, 257, 66, 67}), "A"},
      // After a clear the next entry goes to 258 again: 258 is "BA", not "AB".
      {"clear restarts the table", Codes({256, 65, 66, 256, 66, 65, 258, 257}), "ABBABA"},
      // 300 is past the next free code 258: Prev's string plus its first byte,
      // and Prev becomes 300, whose entry is empty.
      {"code beyond the table", Codes({256, 65, 300, 66, 259, 257}), "AAABB"},
      {"first code beyond the table", Codes({256, 300, 65, 258, 257}), "AA"},
      // Only one leading clear is skipped; a second is output as its
      // one-byte entry (256 mod 256).
      {"two leading clears", Codes({256, 256, 65, 257}), "\0A"s},
      // No end code: 45 bits in 6 bytes. Codes are read while they start
      // before the second of the zero bytes the decoder appends, so the
      // last byte's spare bits begin two more zero codes.
      {"no end code, spare bits", Codes({256, 65, 66, 258, 260}), "ABABABA\0\0"s},
      // 72 bits end on a byte boundary: one code of zero bits follows.
      {"no end code, byte boundary", Codes({256, 65, 66, 258, 260, 67, 68, 69}),
       "ABABABACDE\0"s},
  };
  for (const TSequenceCase& C : Cases) {
    EXPECT_EQ(Decode(Pack(C.Codes, C.Msb), true, C.Msb), C.Expected) << C.Name;
    EXPECT_EQ(Decode(Pack(C.Codes, C.Msb), false, C.Msb), C.Expected) << C.Name;
  }
}

TEST(LZWDecode, InitialWidthOutOfRangeGivesNothing) {
  std::string Data = Pack(Codes({256, 65, 66, 257}));
  for (int Width : {-1, 0, 1, 13, 32}) EXPECT_EQ(Decode(Data, true, true, Width), "") << Width;
}

// ============================================================ code widths
// Literal codes only, so every code decodes to its own byte whatever the table
// holds; the widths are written out by hand at the switch points (first code
// of 10, 11 and 12 bits, counted from the code after the clear). With early
// change the widths grow when entries 510, 1022 and 2046 are made, without it
// one code later.
struct TSwitchCase {
  bool EarlyChange;
  int FirstWide[3];
};

TEST(LZWDecode, CodeWidthSwitchPoints) {
  const TSwitchCase Cases[] = {{true, {254, 766, 1790}}, {false, {255, 767, 1791}}};
  for (const TSwitchCase& C : Cases) {
    std::vector<TCode> Stream = Codes({256});
    std::string Expected;
    int Width = 9;
    for (int J = 0; J < 2100; ++J) {
      Width = 9 + (J >= C.FirstWide[0]) + (J >= C.FirstWide[1]) + (J >= C.FirstWide[2]);
      uint32_t Letter = 'a' + J % 26;
      Stream.push_back({Letter, Width});
      Expected += char(Letter);
    }
    Stream.push_back({257, Width});
    std::string Data = Pack(Stream);
    EXPECT_EQ(Decode(Data, C.EarlyChange), Expected) << "EarlyChange " << C.EarlyChange;
    EXPECT_NE(Decode(Data, !C.EarlyChange).substr(0, 2100), Expected)
        << "EarlyChange " << !C.EarlyChange;
  }
}

// ============================================================ round trips
struct TRoundTripCase {
  const char* Name;
  TEncodeOptions Options;
  bool Msb;
  size_t Size;
  int Alphabet;
};

TEST(LZWDecode, RoundTrips) {
  const TRoundTripCase Cases[] = {
      {"early change", {9, true, true, true, true}, true, 200000, 26},
      {"no early change", {9, false, true, true, true}, true, 200000, 26},
      {"no leading clear", {9, true, false, true, true}, true, 50000, 26},
      {"all byte values", {9, true, true, true, true}, true, 100000, 256},
      // Past 4094 entries the encoder adds no more and never clears: the
      // decoder stays at 12 bits and keeps reusing entry 4095.
      {"full table, no clear", {9, true, true, false, true}, true, 200000, 256},
      {"full table, no clear, no early change", {9, false, true, false, true}, true, 200000, 26},
      {"LSB first", {9, false, true, true, true}, false, 100000, 256},
      {"initial width 4", {4, false, true, true, true}, false, 50000, 8},
      {"initial width 3, early change", {3, true, true, true, true}, true, 50000, 4},
      {"initial width 12", {12, true, true, true, true}, true, 50000, 256},
      {"empty", {9, true, true, true, true}, true, 0, 26},
  };
  for (const TRoundTripCase& C : Cases) {
    std::string Data = RandomText(C.Size, 7, C.Alphabet);
    TEncoded E = Encode(Data, C.Options);
    std::string Out = Decode(Pack(E.Codes, C.Msb), C.Options.EarlyChange, C.Msb,
                             C.Options.InitialWidth);
    EXPECT_EQ(Out.size(), Data.size()) << C.Name;
    EXPECT_TRUE(Out == Data) << C.Name;
  }
}

// Once the table is full, a code 4095 is always the not-yet-defined code: it
// repeats Prev's string with its first byte added and stores that in 4095.
TEST(LZWDecode, FullTableReusesLastEntry) {
  std::string Data = RandomText(100000, 3, 256);
  TEncoded E = Encode(Data, {9, true, true, false, false});
  ASSERT_EQ(E.Width, 12);
  for (uint32_t Code : {4095, 4095, 4095, 65, 4095, 257}) E.Codes.push_back({Code, 12});
  std::string W = E.Tail, Z(1, W[0]);
  std::string Expected = Data + W + Z + W + Z + Z + W + Z + Z + Z + "A" + "AA";
  EXPECT_TRUE(Decode(Pack(E.Codes), true) == Expected);
}

// ============================================================ output limit
TEST(LZWDecode, OutputStopsAtTheLimit) {
  std::string Data = Pack(Codes({256, 65, 66, 258, 260, 257}));
  for (size_t Limit : {0, 1, 3, 6, 7, 100})
    EXPECT_EQ(Decode(Data, true, true, 9, Limit), std::string("ABABABA").substr(0, Limit))
        << Limit;

  // A bomb: with the table full, every code 4095 repeats the previous string
  // one byte longer, so n codes give about n * n / 2 bytes.
  std::string Text = RandomText(60000, 5, 256);
  TEncoded E = Encode(Text, {9, true, true, false, false});
  E.Codes.insert(E.Codes.end(), 40000, TCode{4095, 12});
  const size_t Limit = 1 << 20;
  std::string Out = Decode(Pack(E.Codes), true, true, 9, Limit);
  ASSERT_EQ(Out.size(), Limit);
  EXPECT_TRUE(Out.compare(0, Text.size(), Text) == 0);
  EXPECT_EQ(Out.substr(Text.size(), E.Tail.size()), E.Tail);
}

// ============================================================ against the model
// Random code streams chosen with the decoder's own widths: mostly defined
// codes, some not yet defined, some beyond the table, clears at a given rate.
struct TStreamProfile {
  const char* Name;
  bool EarlyChange;
  int InitialWidth;
  bool Msb;
  double Clear, Beyond, NextFree;
  int Count;
};

TEST(LZWDecode, MatchesModelOnRandomCodeStreams) {
  const TStreamProfile Profiles[] = {
      {"ordinary", true, 9, true, 0.002, 0.01, 0.1, 20000},
      {"table runs full", false, 9, true, 0.0, 0.01, 0.1, 9000},
      {"table runs full, early change", true, 9, true, 0.0, 0.05, 0.2, 9000},
      // Frequent clears followed by codes beyond the table read the stale
      // entries of the table before the clear.
      {"stale entries", true, 9, true, 0.02, 0.3, 0.05, 40000},
      {"stale entries, LSB", false, 9, false, 0.05, 0.4, 0.05, 20000},
      {"width 12", true, 12, true, 0.001, 0.05, 0.1, 10000},
      {"width 4", false, 4, false, 0.01, 0.1, 0.1, 10000},
      {"width 2", true, 2, true, 0.01, 0.1, 0.1, 5000},
  };
  for (const TStreamProfile& P : Profiles) {
    for (unsigned Seed = 1; Seed <= 4; ++Seed) {
      std::mt19937 Rng(Seed);
      std::uniform_real_distribution<double> U(0, 1);
      TModel M(P.EarlyChange, P.InitialWidth);
      const uint32_t Clear = M.ClearCode();
      std::vector<TCode> Stream;
      for (int I = 0; I < P.Count; ++I) {
        uint32_t Mask = (1u << M.Width()) - 1, Next = M.NextCode(), Code;
        double R = U(Rng);
        if (R < P.Clear) {
          Code = Clear;
        } else if (R < P.Clear + P.Beyond && Next < Mask) {
          Code = Next + 1 + Rng() % (Mask - Next);
        } else if (R < P.Clear + P.Beyond + P.NextFree && Next <= Mask && Next != Clear + 1) {
          Code = Next;
        } else {
          do Code = Rng() % std::min(Next, Mask + 1);
          while (Code == Clear + 1);
        }
        Stream.push_back({Code, M.Width()});
        M.Feed(Code);
      }
      Stream.push_back({Clear + 1, M.Width()});
      M.Feed(Clear + 1);
      std::string Data = Pack(Stream, P.Msb);
      std::string Out = Decode(Data, P.EarlyChange, P.Msb, P.InitialWidth);
      EXPECT_TRUE(Out == M.Output) << P.Name << " seed " << Seed << ": " << Out.size() << " vs "
                                   << M.Output.size() << " bytes";
      size_t Limit = Rng() % (M.Output.size() + 1);
      EXPECT_TRUE(Decode(Data, P.EarlyChange, P.Msb, P.InitialWidth, Limit) ==
                  M.Output.substr(0, Limit))
          << P.Name << " seed " << Seed << " limit " << Limit;
    }
  }
}

// Arbitrary bytes, read exactly as the model reads them (including the codes
// that start in the zero bytes after the data).
TEST(LZWDecode, MatchesModelOnRandomBytes) {
  std::mt19937 Rng(11);
  for (int Width = 2; Width <= 12; ++Width) {
    for (int Round = 0; Round < 120; ++Round) {
      std::string Data(Rng() % 400, '\0');
      for (char& C : Data) C = char(Rng());
      bool Early = Round & 1, Msb = Round & 2;
      std::string Expected = TModel::DecodeBytes(Data, Early, Msb, Width);
      EXPECT_TRUE(Decode(Data, Early, Msb, Width) == Expected)
          << "width " << Width << " round " << Round;
    }
  }
}

}  // namespace
