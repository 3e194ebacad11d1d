// Type 1 and CFF programs: built-in encodings, charsets and the width scale.
#include "uPDFType1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFonts.h"

namespace {

// ---------------------------------------------------------------- Type 1

std::string Encrypt(const std::string& Plain) {
  uint16_t R = 55665;
  std::string Out;
  for (unsigned char P : Plain) {
    const auto C = static_cast<unsigned char>(P ^ (R >> 8));
    Out += static_cast<char>(C);
    R = static_cast<uint16_t>((C + R) * 52845u + 22719u);
  }
  return Out;
}

const char* const OwnEncoding = R"(%!PS-AdobeFont-1.0: Test 001
%%Comment: a comment with dict and ( in it
FontDirectory/Test known{/Test findfont dup/UniqueID known{dup /UniqueID get 42 eq exch/FontType get 1 eq and}{pop false}ifelse {save true}{false}ifelse}{false}ifelse
11 dict begin
/FontInfo 7 dict dup begin
/version (1.0) readonly def
/Notice (Paren \) and (nested) dict end) readonly def
end readonly def
/FontName /Test def
/Binary 5 RD )<{[/ ND
/Encoding 256 array
0 1 255 {1 index exch /.notdef put} for
dup 65 /Gamma put
dup 300 /Ignored put
dup 66/Delta put
readonly def
/FontMatrix [0.001 0 0 0.001 0 0] readonly def
/FontBBox {0 0 1000 1000} readonly def
currentdict end
currentfile eexec
)";

TEST(TPDFType1Decoder, BuiltInEncodingOfTheClearText) {
  struct Case {
    const char* What;
    std::string Clear;
    std::string A, B, C;  // names of codes 65, 66, 67
  } Cases[] = {
      {"dup code name put pairs, over StandardEncoding", OwnEncoding, "Gamma", "Delta", "C"},
      {"StandardEncoding", "/FontName /T def 10 dict begin /Encoding StandardEncoding def end", "A", "B", "C"},
      {"no dictionary at all", "%!PS\n/Encoding 256 array dup 65 /Gamma put readonly def", "A", "B", "C"},
      {"an unterminated dictionary and array", "5 dict begin /Encoding 256 array dup 66 /Beta put", "A", "Beta", "C"},
      {"an encoding that is not an array", "5 dict begin /Encoding (x) def end", "A", "B", "C"},
  };
  for (const auto& C : Cases) {
    TPDFType1Decoder D;
    D.LoadType1Program(C.Clear + Encrypt("abcd/Private"), static_cast<int64_t>(C.Clear.size()), 12, 0);
    EXPECT_EQ(D.BuiltInEncoding[65], C.A) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[66], C.B) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[67], C.C) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[97], "a") << C.What;
    EXPECT_EQ(D.WidthScale(), 1.0);
  }
  // Deep nesting is closed in linear time and cut by the parser's depth limit.
  const std::string Deep = "9 dict begin /Encoding 256 array dup 65 /Gamma put " + std::string(200000, '[') +
                           std::string(100000, '}') + std::string(100000, ']') + " def end";
  TPDFType1Decoder Nested;
  Nested.LoadType1Program(Deep + "abcd", static_cast<int64_t>(Deep.size()), 4, 0);
  EXPECT_EQ(Nested.BuiltInEncoding[65], "Gamma");
  // The rewritten text keeps the font dictionary's pairs.
  const std::string Pdf = Type1ClearTextToPDF(OwnEncoding);
  EXPECT_EQ(Pdf.rfind("<< /FontInfo << /version (1.0) /Notice (Paren \\) and (nested) dict end) >> /FontName /Test /Binary () ", 0),
            0u)
      << Pdf;
}

TEST(TPDFType1Decoder, PortionsAndEexec) {
  const std::string Clear = OwnEncoding;
  const std::string Program = Clear + Encrypt("abcd/Private 8 dict") + "0000cleartomark";
  const auto Load = [&](int64_t L1, int64_t L2, int64_t L3) {
    TPDFType1Decoder D;
    D.LoadType1Program(Program, L1, L2, L3);
    return D;
  };
  const int64_t L1 = static_cast<int64_t>(Clear.size());
  const auto D = Load(L1, 19, 15);
  EXPECT_EQ(D.ClearText, Clear);
  EXPECT_EQ(D.PrivateText, "/Private 8 dict");
  EXPECT_EQ(D.Trailer, "0000cleartomark");
  EXPECT_EQ(D.BuiltInEncoding[65], "Gamma");
  // Without Length1 or Length2 nothing is read: StandardEncoding.
  for (auto [A, B] : {std::pair<int64_t, int64_t>{0, 19}, {L1, 0}, {-5, 19}}) {
    const auto E = Load(A, B, 0);
    EXPECT_TRUE(E.ClearText.empty());
    EXPECT_EQ(E.BuiltInEncoding[65], "A");
  }
  // Lengths beyond the data take what is there.
  const auto Long = Load(L1, 1 << 30, 1 << 30);
  EXPECT_EQ(Long.EncryptedPart, Program.substr(Clear.size()));
  EXPECT_EQ(Long.PrivateText.rfind("/Private 8 dict", 0), 0u);
  EXPECT_TRUE(Long.Trailer.empty());
  EXPECT_EQ(Load(int64_t{1} << 40, 5, 5).BuiltInEncoding[65], "Gamma");

  // eexec: binary or hexadecimal; fewer than four bytes give nothing.
  const std::string Cipher = Encrypt("abcdHello");
  std::string Hex;
  for (unsigned char C : Cipher) {
    char Buf[4];
    std::snprintf(Buf, sizeof Buf, "%02x", C);
    Hex += Buf;
    if (Hex.size() == 8) Hex += "\r\n";
  }
  EXPECT_EQ(DecryptEexec(Cipher), "Hello");
  EXPECT_EQ(DecryptEexec(Hex), "Hello");
  EXPECT_EQ(DecryptEexec("ab"), "");
  EXPECT_EQ(DecryptEexec(""), "");
}

TEST(TPDFType1Decoder, RealType1Programs) {
  const std::string Symbol = ReadWholeFile(std::string(UrwType1Dir) + "StandardSymbolsPS.t1");
  const std::string Roman = ReadWholeFile(std::string(UrwType1Dir) + "NimbusRoman-Regular.t1");
  if (Symbol.empty() || Roman.empty()) GTEST_SKIP() << "fonts-urw-base35 is not installed";
  const auto S = EmbedType1(Symbol);
  TPDFType1Decoder D;
  D.LoadType1Program(S.Data, S.Length1, S.Length2, S.Length3);
  EXPECT_EQ(D.BuiltInEncoding[65], "Alpha");
  EXPECT_EQ(D.BuiltInEncoding[97], "alpha");
  EXPECT_EQ(D.BuiltInEncoding[34], "universal");
  EXPECT_NE(D.PrivateText.find("/CharStrings"), std::string::npos);
  const auto R = EmbedType1(Roman);
  TPDFType1Decoder E;
  E.LoadType1Program(R.Data, R.Length1, R.Length2, R.Length3);
  EXPECT_EQ(E.BuiltInEncoding[34], "quotedbl");
  EXPECT_EQ(E.BuiltInEncoding[39], "quoteright");
}

// ---------------------------------------------------------------- CFF

// A CFF program of Glyphs glyphs with the given charset and encoding: each is
// the bytes of a custom table, or a one-byte predefined value ("\0", "\1").
struct TTestCFF {
  TTestCFF(int Glyphs = 4, std::string Charset = std::string(1, '\0'), std::string Encoding = std::string(1, '\0'),
           std::vector<std::string> Strings = {})
      : Glyphs(Glyphs), Charset(std::move(Charset)), Encoding(std::move(Encoding)), Strings(std::move(Strings)) {}
  int Glyphs;
  std::string Charset, Encoding;
  std::vector<std::string> Strings;
  std::string TopExtra;   // further operators of the top dictionary
  std::string SecondTop;  // a second top dictionary, when not empty
  bool CharStrings = true;
};

std::string Index(const std::vector<std::string>& Items) {
  std::string Out;
  Out += static_cast<char>(Items.size() >> 8);
  Out += static_cast<char>(Items.size() & 0xFF);
  if (Items.empty()) return Out;
  Out += '\4';
  uint32_t Offset = 1;
  auto Put = [&](uint32_t V) {
    for (int Shift = 24; Shift >= 0; Shift -= 8) Out += static_cast<char>(V >> Shift & 0xFF);
  };
  Put(Offset);
  for (const auto& I : Items) Put(Offset += static_cast<uint32_t>(I.size()));
  for (const auto& I : Items) Out += I;
  return Out;
}

std::string Int(int32_t V) {
  std::string Out(1, '\x1D');
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out += static_cast<char>(static_cast<uint32_t>(V) >> Shift & 0xFF);
  return Out;
}

// A real operand from its text ("0.0005", "-1.5E-3").
std::string Real(const std::string& Text) {
  std::vector<int> Nibbles;
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C >= '0' && C <= '9') Nibbles.push_back(C - '0');
    if (C == '.') Nibbles.push_back(0xA);
    if (C == '-') Nibbles.push_back(0xE);
    if (C == 'E') {
      const bool Minus = I + 1 < Text.size() && Text[I + 1] == '-';
      Nibbles.push_back(Minus ? 0xC : 0xB);
      if (Minus) ++I;
    }
  }
  Nibbles.push_back(0xF);
  if (Nibbles.size() % 2) Nibbles.push_back(0xF);
  std::string Out(1, '\x1E');
  for (size_t I = 0; I < Nibbles.size(); I += 2) Out += static_cast<char>(Nibbles[I] << 4 | Nibbles[I + 1]);
  return Out;
}

std::string MakeCFF(const TTestCFF& F) {
  const std::string Header("\1\0\4\4", 4);
  const std::string Names = Index({"Test"});
  const std::string Strings = Index(F.Strings);
  const std::string Subrs = Index({});
  std::vector<std::string> Glyphs(F.Glyphs, std::string("\x0E"));  // endchar
  const std::string CharStrings = Index(Glyphs);
  const bool CustomCharset = F.Charset.size() > 1, CustomEncoding = F.Encoding.size() > 1;
  // The top dictionary has a fixed size: its offsets are five-byte integers.
  const auto Top = [&](uint32_t Base) {
    std::string D = F.TopExtra;
    const uint32_t CharsetAt = Base + static_cast<uint32_t>(CharStrings.size());
    const uint32_t EncodingAt = CharsetAt + static_cast<uint32_t>(CustomCharset ? F.Charset.size() : 0);
    D += Int(CustomCharset ? static_cast<int32_t>(CharsetAt) : F.Charset[0]) + '\x0F';
    D += Int(CustomEncoding ? static_cast<int32_t>(EncodingAt) : F.Encoding[0]) + '\x10';
    if (F.CharStrings) D += Int(static_cast<int32_t>(Base)) + '\x11';
    return D;
  };
  const auto Tops = [&](uint32_t Base) {
    return F.SecondTop.empty() ? Index({Top(Base)}) : Index({Top(Base), F.SecondTop});
  };
  const size_t TopSize = Tops(0).size();
  const uint32_t Base = static_cast<uint32_t>(Header.size() + Names.size() + TopSize + Strings.size() + Subrs.size());
  std::string Out = Header + Names + Tops(Base) + Strings + Subrs + CharStrings;
  if (CustomCharset) Out += F.Charset;
  if (CustomEncoding) Out += F.Encoding;
  return Out;
}

std::string Bytes(std::initializer_list<int> Values) {
  std::string Out;
  for (int V : Values) Out += static_cast<char>(V);
  return Out;
}

TPDFType1Decoder LoadCFF(const std::string& Data) {
  TPDFType1Decoder D;
  D.LoadCFFProgram(Data);
  return D;
}

TEST(TPDFType1Decoder, CFFCharsetsAndEncodings) {
  // SIDs: 34 A, 35 B, 36 C, 391 the first own string.
  struct Case {
    const char* What;
    TTestCFF Font;
    std::vector<std::string> GlyphNames;
    std::string At65, At66, At67, At97;
  } Cases[] = {
      {"format 0 charset and encoding; a SID beyond the strings is empty",
       {4, Bytes({0, 0, 34, 1, 135, 1, 244}), Bytes({0, 3, 65, 66, 67}), {"mine"}},
       {".notdef", "A", "mine", ""}, "A", "mine", "", ".notdef"},
      {"format 1 ranges", {4, Bytes({1, 0, 34, 2}), Bytes({1, 1, 97, 1})}, {".notdef", "A", "B", "C"}, ".notdef",
       ".notdef", ".notdef", "A"},
      {"format 2 ranges with two-byte counts", {4, Bytes({2, 0, 34, 0, 2}), Bytes({0, 3, 65, 66, 67})},
       {".notdef", "A", "B", "C"}, "A", "B", "C", ".notdef"},
      {"a supplement names a further code", {3, Bytes({0, 0, 34, 0, 35}), Bytes({0x80, 1, 65, 1, 66, 0, 36})},
       {".notdef", "A", "B"}, "A", "C", ".notdef", ".notdef"},
      {"an unknown encoding format", {3, Bytes({0, 0, 34, 0, 35}), Bytes({2, 1, 65})}, {".notdef", "A", "B"},
       ".notdef", ".notdef", ".notdef", ".notdef"},
      {"ISOAdobe charset, standard encoding", {40}, {}, "A", "B", "C", "a"},
      {"the Expert encoding names nothing", {40, std::string(1, '\0'), std::string(1, '\1')}, {}, "", "", "", ""},
      {"the Expert charsets have no names", {3, std::string(1, '\1'), Bytes({0, 2, 65, 66})}, {"", "", ""}, "", "",
       ".notdef", ".notdef"},
  };
  for (const auto& C : Cases) {
    const auto D = LoadCFF(MakeCFF(C.Font));
    if (!C.GlyphNames.empty()) {
      EXPECT_EQ(D.GlyphNames, C.GlyphNames) << C.What;
    }
    EXPECT_EQ(D.BuiltInEncoding[65], C.At65) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[66], C.At66) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[67], C.At67) << C.What;
    EXPECT_EQ(D.BuiltInEncoding[97], C.At97) << C.What;
    EXPECT_FALSE(D.IsCIDKeyed);
  }
  const auto Iso = LoadCFF(MakeCFF(TTestCFF(40)));
  EXPECT_EQ(Iso.GlyphNames[34], "A");
  // Without CharStrings: no charset and no encoding.
  TTestCFF NoGlyphs;
  NoGlyphs.CharStrings = false;
  EXPECT_EQ(LoadCFF(MakeCFF(NoGlyphs)).BuiltInEncoding[65], "");
}

TEST(TPDFType1Decoder, CFFTopDictionary) {
  TTestCFF Cid{3, Bytes({0, 0, 100, 0, 200})};
  Cid.TopExtra = Int(391) + Int(392) + Int(0) + "\x0C\x1E";  // ROS
  const auto D = LoadCFF(MakeCFF(Cid));
  EXPECT_TRUE(D.IsCIDKeyed);
  EXPECT_EQ(D.GlyphNames, (std::vector<std::string>{"CID:0", "CID:100", "CID:200"}));

  // Each top dictionary gives ROS and FontMatrix; the names come from the
  // one with glyphs.
  TTestCFF Two(3, Bytes({0, 0, 100, 0, 200}));
  Two.SecondTop = Int(391) + Int(392) + Int(0) + "\x0C\x1E" + Real("0.0005") + "\x0C\x07";
  const auto Both = LoadCFF(MakeCFF(Two));
  EXPECT_TRUE(Both.IsCIDKeyed);
  EXPECT_EQ(Both.WidthScale(), 0.5);
  EXPECT_EQ(Both.GlyphNames, (std::vector<std::string>{".notdef", "yen", "aacute"}));  // SIDs 100 and 200

  struct Case {
    std::string Matrix;
    double Scale;
  } Cases[] = {{Real("0.0005") + Int(0) + Int(0) + Real("0.0005") + Int(0) + Int(0), 0.5},
               {Real("0.001") + Int(0) + Int(0) + Real("0.001") + Int(0) + Int(0), 1.0},
               {Int(0) + Int(0) + Int(0) + Int(0) + Int(0) + Int(0), 1.0},  // 0 becomes 1
               {Real("-2.5E-3"), -2.5},
               {"", 1.0}};
  for (const auto& C : Cases) {
    TTestCFF F;
    F.TopExtra = C.Matrix + "\x0C\x07";
    EXPECT_DOUBLE_EQ(LoadCFF(MakeCFF(F)).WidthScale(), C.Scale);
  }
}

TEST(TPDFType1Decoder, RealCFFPrograms) {
  const std::string Dir = VORLITH_SOURCE_DIR "/tests/fixtures/fonts/";
  const auto Plain = LoadCFF(ReadWholeFile(Dir + "nimbus-sans.cff"));
  EXPECT_FALSE(Plain.IsCIDKeyed);
  EXPECT_EQ(Plain.WidthScale(), 1.0);
  EXPECT_EQ(Plain.BuiltInEncoding[72], "H");
  EXPECT_NE(std::find(Plain.GlyphNames.begin(), Plain.GlyphNames.end(), "W"), Plain.GlyphNames.end());
  EXPECT_EQ(LoadCFF(ReadWholeFile(Dir + "nimbus-sans-half.cff")).WidthScale(), 0.5);
  const auto Expert = LoadCFF(ReadWholeFile(Dir + "nimbus-sans-expert.cff"));
  EXPECT_TRUE(std::all_of(Expert.BuiltInEncoding.begin(), Expert.BuiltInEncoding.end(),
                          [](const std::string& N) { return N.empty(); }));
  const auto Custom = LoadCFF(ReadWholeFile(Dir + "nimbus-sans-custom.cff"));
  EXPECT_EQ(Custom.BuiltInEncoding[65], "Z");
  EXPECT_EQ(Custom.BuiltInEncoding[66], "Y");
  EXPECT_EQ(Custom.BuiltInEncoding[67], ".notdef");
}

TEST(TPDFType1Decoder, DamagedCFFProgramsReadWhatTheyHold) {
  const std::string Good = MakeCFF(TTestCFF(4, Bytes({1, 0, 34, 2}), Bytes({0, 3, 65, 66, 67})));
  for (size_t N = 0; N <= Good.size(); ++N) LoadCFF(Good.substr(0, N));
  // An INDEX whose offsets claim gigabytes, and one claiming 65535 items.
  std::string Far = Good;
  const size_t NameOffsets = 4 + 3;
  Far[NameOffsets + 4] = '\x7F';
  LoadCFF(Far);
  std::string Many = Good;
  Many[4] = Many[5] = '\xFF';
  EXPECT_EQ(LoadCFF(Many).BuiltInEncoding[65], "");
  // A header size pointing past the end.
  std::string Header = Good;
  Header[2] = '\xFF';
  EXPECT_EQ(LoadCFF(Header).BuiltInEncoding[65], "");
}

}  // namespace
