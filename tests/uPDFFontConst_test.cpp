// Encoding and metrics tables of the simple fonts and the width sources of font dictionaries.
#include "uPDFFontConst.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CodePage.h"
#include "uPDFStructure.h"

namespace {

// ---------------------------------------------------------------- helpers

// Windows-1252 itself: every WinAnsiEncoding byte stays as it is.
class TFakeCP1252 : public TCodePage {
 public:
  TFakeCP1252() {
    for (int B = 0; B < 256; ++B) FBytes[B] = std::string(1, static_cast<char>(B));
  }
  const std::string& Name() const override { return FName; }
  bool IsWinAnsi() const override { return true; }
  const std::string& FromUTF16(uint16_t) const override { return FQuestion; }
  const std::string& FromWinAnsi(unsigned char Byte) const override { return FBytes[Byte]; }

 private:
  std::string FName = "CP1252", FQuestion = "?";
  std::string FBytes[256];
};

// UTF-8: Windows-1252 bytes as their characters, the five undefined ones "?".
class TFakeUTF8 : public TCodePage {
 public:
  TFakeUTF8() {
    static constexpr uint16_t High[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int B = 0; B < 256; ++B) {
      uint32_t U = B >= 0x80 && B < 0xA0 ? High[B - 0x80] : B;
      FBytes[B] = U == 0 && B != 0 ? "?" : Encode(U);
    }
  }
  const std::string& Name() const override { return FName; }
  bool IsWinAnsi() const override { return false; }
  const std::string& FromUTF16(uint16_t) const override { return FQuestion; }
  const std::string& FromWinAnsi(unsigned char Byte) const override { return FBytes[Byte]; }

 private:
  static std::string Encode(uint32_t U) {
    std::string S;
    if (U < 0x80) {
      S += static_cast<char>(U);
    } else if (U < 0x800) {
      S += static_cast<char>(0xC0 | (U >> 6));
      S += static_cast<char>(0x80 | (U & 0x3F));
    } else {
      S += static_cast<char>(0xE0 | (U >> 12));
      S += static_cast<char>(0x80 | ((U >> 6) & 0x3F));
      S += static_cast<char>(0x80 | (U & 0x3F));
    }
    return S;
  }
  std::string FName = "UTF-8", FQuestion = "?";
  std::string FBytes[256];
};

const TFakeCP1252 CP1252;
const TFakeUTF8 UTF8;

constexpr TPDFBaseEncoding Std = TPDFBaseEncoding::encStandard;
constexpr TPDFBaseEncoding Mac = TPDFBaseEncoding::encMacRoman;
constexpr TPDFBaseEncoding Win = TPDFBaseEncoding::encWinAnsi;
constexpr TPDFBaseEncoding Doc = TPDFBaseEncoding::encPDFDoc;
constexpr TPDFBaseEncoding Expert = TPDFBaseEncoding::encMacExpert;

TPDFGlyphNames NamesOf(TPDFBaseEncoding Encoding) {
  TPDFGlyphNames Names;
  GetEncodingGlyphNames(Encoding, Names);
  return Names;
}

// A structure whose references N 0 R resolve to the objects parsed from the
// texts given for N.
struct TObjects {
  TPDFStructure S;
  std::map<int32_t, TPDFObject*> Numbered;
  explicit TObjects(const std::map<int32_t, std::string>& Texts = {}) {
    for (const auto& [Number, Text] : Texts) Numbered[Number] = S.ParseObject(Text);
    S.OnResolveReference = [this](TPDFIndRef*, int32_t Number, int32_t) -> TPDFObject* {
      auto It = Numbered.find(Number);
      return It == Numbered.end() ? nullptr : It->second;
    };
  }
  TPDFObject* Parse(std::string_view Text) { return S.ParseObject(Text); }
};

// "[ First First+1 ... ]" of Count numbers.
std::string NumberArray(int First, int Count) {
  std::string Text = "[";
  for (int I = 0; I < Count; ++I) Text += " " + std::to_string(First + I);
  return Text + " ]";
}

// ---------------------------------------------------------------- encodings

TEST(GetEncodingGlyphNames, NamesOfTellingCodes) {
  struct Case {
    TPDFBaseEncoding Encoding;
    int Code;
    const char* Name;
  } Cases[] = {
      {Std, 32, "space"},       {Std, 39, "quoteright"},  {Std, 96, "quoteleft"},  {Std, 169, "quotesingle"},
      {Std, 183, "bullet"},     {Std, 232, "Lslash"},     {Std, 0, ".notdef"},     {Std, 127, ".notdef"},
      {Std, 160, ".notdef"},    {Mac, 202, "space"},      {Mac, 138, "adieresis"}, {Mac, 212, "quoteleft"},
      {Mac, 0, ".notdef"},      {Mac, 127, ".notdef"},    {Win, 160, "A0space"},   {Win, 173, "hyphen"},
      {Win, 45, "hyphen"},      {Win, 127, "bullet"},     {Win, 129, "bullet"},    {Win, 141, "bullet"},
      {Win, 143, "bullet"},     {Win, 144, "bullet"},     {Win, 157, "bullet"},    {Win, 149, "bullet"},
      {Win, 128, "Euro"},       {Win, 152, "tilde"},      {Win, 0, ".notdef"},     {Win, 31, ".notdef"},
      {Win, 32, "space"},       {Doc, 24, "breve"},       {Doc, 138, "minus"},     {Doc, 160, "Euro"},
      {Doc, 0, ".notdef"},      {Doc, 202, "Ecircumflex"}, {Expert, 32, "A0space"}, {Expert, 97, "Asmall"},
      {Expert, 190, "AEsmall"}, {Expert, 65, ".notdef"},  {Expert, 226, "zerosuperior"},
  };
  for (const auto& C : Cases) {
    TPDFGlyphNames Names = NamesOf(C.Encoding);
    EXPECT_EQ(Names[C.Code], C.Name) << "encoding " << static_cast<int>(C.Encoding) << " code " << C.Code;
  }
}

TEST(GetEncodingGlyphNames, EveryTableIsComplete) {
  // Distinct glyph names besides .notdef: the character set's count per
  // encoding (WinAnsiEncoding adds A0space at 160; MacRomanEncoding's 202
  // repeats "space"), and the 93 rows of the MacExpert table.
  struct Case {
    TPDFBaseEncoding Encoding;
    size_t Distinct, NotDef;
  } Cases[] = {
      {Std, 149, 107}, {Mac, 207, 48}, {Win, 216 + 1, 32}, {Doc, 229, 27}, {Expert, 93, 163},
  };
  for (const auto& C : Cases) {
    TPDFGlyphNames Names = NamesOf(C.Encoding);
    std::set<std::string> Distinct;
    size_t NotDef = 0;
    for (const auto& Name : Names) {
      ASSERT_FALSE(Name.empty());
      if (Name == ".notdef")
        ++NotDef;
      else
        Distinct.insert(Name);
    }
    EXPECT_EQ(Distinct.size(), C.Distinct) << "encoding " << static_cast<int>(C.Encoding);
    EXPECT_EQ(NotDef, C.NotDef) << "encoding " << static_cast<int>(C.Encoding);
  }
}

TEST(GetEncodingGlyphNames, OverwritesEveryCode) {
  TPDFGlyphNames Names;
  Names.fill("stale");
  GetEncodingGlyphNames(Std, Names);
  for (const auto& Name : Names) EXPECT_NE(Name, "stale");
}

TEST(EncodingFromName, ExactNamesOnly) {
  struct Case {
    const char* Name;
    TPDFBaseEncoding Expected;
  } Cases[] = {
      {"StandardEncoding", Std},  {"MacRomanEncoding", Mac}, {"WinAnsiEncoding", Win},
      {"PDFDocEncoding", Doc},    {"MacExpertEncoding", Expert},
      {"winansiencoding", Std},   {"WinAnsiEncoding ", Std}, {"Identity-H", Std},
      {"GBK-EUC-H", Std},         {"", Std},
  };
  for (const auto& C : Cases) EXPECT_EQ(EncodingFromName(C.Name), C.Expected) << '"' << C.Name << '"';
}

TEST(ApplyDifferences, NumbersSetTheCodeAndNamesAdvanceIt) {
  struct Case {
    const char* Differences;
    std::vector<std::pair<int, const char*>> Expected;  // code, name afterwards
  } Cases[] = {
      {"[ 39 /quotesingle /parenleft ]", {{39, "quotesingle"}, {40, "parenleft"}, {41, "parenright"}}},
      // a later number restarts the count
      {"[ 1 /a /b 10 /c 2 /d ]", {{1, "a"}, {2, "d"}, {3, ".notdef"}, {10, "c"}, {11, ".notdef"}}},
      // the count starts at 0; other kinds are skipped without advancing it
      {"[ /first 65 (str) /A 2 0 R /B true /C null [ /x ] << /K /V >> /D ]",
       {{0, "first"}, {65, "A"}, {66, "B"}, {67, "C"}, {68, "D"}, {69, "E"}}},
      // codes outside 0..255 are not stored, but count
      {"[ 254 /x /y /z ]", {{254, "x"}, {255, "y"}, {0, ".notdef"}}},
      {"[ -2 /m /n /o ]", {{0, "o"}, {1, ".notdef"}}},
      {"[ 2147483647 /p /q /r ]", {{0, ".notdef"}, {255, ".notdef"}}},
      {"[ 64.6 /r ]", {{65, "r"}, {64, "at"}}},  // the number is rounded
      {"[ ]", {{65, "A"}}},
  };
  for (const auto& C : Cases) {
    TObjects Objects;
    TPDFGlyphNames Names = NamesOf(Std);
    ApplyDifferences(Names, As<TPDFArray>(Objects.Parse(C.Differences)));
    for (const auto& [Code, Name] : C.Expected) EXPECT_EQ(Names[Code], Name) << C.Differences << " code " << Code;
  }
}

TEST(ApplyDifferences, NullArrayChangesNothing) {
  TPDFGlyphNames Names = NamesOf(Win);
  ApplyDifferences(Names, nullptr);
  EXPECT_EQ(Names, NamesOf(Win));
}

TEST(WinAnsiCodeOf, OneCodePerName) {
  struct Case {
    const char* Name;
    int Expected;
  } Cases[] = {
      {"bullet", 149},  {"hyphen", 45},     {".notdef", 1},    {"A0space", 160}, {"space", 32},
      {"Euro", 128},    {"quoteright", 146}, {"quotesingle", 39}, {"ydieresis", 255}, {"A", 65},
      {"minus", -1},    {"fi", -1},         {"Bullet", -1},    {"", -1},          {"uni4E2D", -1},
      {"Asmall", -1},   {"bullet ", -1},
  };
  for (const auto& C : Cases) EXPECT_EQ(WinAnsiCodeOf(C.Name), C.Expected) << '"' << C.Name << '"';
}

TEST(WinAnsiCodeOf, FindsTheCodeOfEveryUniqueName) {
  TPDFGlyphNames Names = NamesOf(Win);
  for (int Code = 0; Code < 256; ++Code) {
    const std::string& Name = Names[Code];
    if (Name == ".notdef" || Name == "bullet" || Name == "hyphen") continue;
    EXPECT_EQ(WinAnsiCodeOf(Name), Code) << Name;
  }
}

TEST(GlyphNamesToTexts, TextOfEachCode) {
  struct Case {
    TPDFBaseEncoding Encoding;
    const char* Differences;
    int Code;
    std::string InCP1252, InUTF8;
  } Cases[] = {
      {Std, "", 39, "\x92", "\xE2\x80\x99"},  // quoteright
      {Std, "", 96, "\x91", "\xE2\x80\x98"},  // quoteleft
      {Std, "", 169, "'", "'"},               // quotesingle
      {Std, "", 32, " ", " "},
      {Std, "", 183, "\x95", "\xE2\x80\xA2"},  // bullet
      {Std, "", 0, "\x01", "\x01"},            // .notdef: a control byte, never NUL
      {Std, "", 127, "\x01", "\x01"},
      {Std, "", 174, "fi", "fi"},  // WinAnsiEncoding lacks it
      {Mac, "", 138, "\xE4", "\xC3\xA4"},  // adieresis
      {Mac, "", 202, " ", " "},
      {Win, "", 160, "\xA0", "\xC2\xA0"},  // A0space
      {Win, "", 173, "-", "-"},            // hyphen
      {Win, "", 127, "\x95", "\xE2\x80\xA2"},
      {Win, "", 128, "\x80", "\xE2\x82\xAC"},  // Euro
      {Doc, "", 138, "minus", "minus"},
      {Expert, "", 97, "Asmall", "Asmall"},
      {Expert, "", 32, "\xA0", "\xC2\xA0"},
      {Std, "[ 65 /uni4E2D /g35 /Alpha /Asmall /Adieresis ]", 65, "uni4E2D", "uni4E2D"},
      {Std, "[ 65 /uni4E2D /g35 /Alpha /Asmall /Adieresis ]", 66, "g35", "g35"},
      {Std, "[ 65 /uni4E2D /g35 /Alpha /Asmall /Adieresis ]", 67, "Alpha", "Alpha"},
      {Std, "[ 65 /uni4E2D /g35 /Alpha /Asmall /Adieresis ]", 68, "Asmall", "Asmall"},
      {Std, "[ 65 /uni4E2D /g35 /Alpha /Asmall /Adieresis ]", 69, "\xC4", "\xC3\x84"},
  };
  for (const auto& C : Cases) {
    TObjects Objects;
    TPDFGlyphNames Names = NamesOf(C.Encoding);
    if (*C.Differences) ApplyDifferences(Names, As<TPDFArray>(Objects.Parse(C.Differences)));
    TPDFCodeTexts Texts;
    GlyphNamesToTexts(Names, Texts, CP1252);
    EXPECT_EQ(Texts[C.Code], C.InCP1252) << "encoding " << static_cast<int>(C.Encoding) << " code " << C.Code;
    GlyphNamesToTexts(Names, Texts, UTF8);
    EXPECT_EQ(Texts[C.Code], C.InUTF8) << "encoding " << static_cast<int>(C.Encoding) << " code " << C.Code;
  }
}

TEST(GlyphNameToUnicode, TheGlyphListRules) {
  struct Case {
    const char* Name;
    std::u32string Chars;
  } Cases[] = {
      {"minus", U"\u2212"},
      {"uni4E2D", U"\u4E2D"},
      {"uni4E2D4E2E", U"\u4E2D\u4E2E"},
      {"uni4e2d", U"\u4E2D"},
      {"u1D461", U"\U0001D461"},
      {"u1D461.st", U"\U0001D461"},  // everything from the first period goes
      {"uni27E8.v4", U"\u27E8"},
      {"a.sc", U"a"},
      {"f_f_i", U"ffi"},
      {"ff", U"\uFB00"},
      {"angbracketleft", U"\u27E8"},  // from TeX's additions
      {"Alpha", U"\u0391"},
      {"g35", U""},
      {"uniD800", U""},  // a surrogate is no character
      {"uni4E2", U""},
      {"u110000", U""},
      {"f_g35", U""},  // every component must stand for something
      {".notdef", U""},
      {"", U""},
  };
  for (const auto& C : Cases) EXPECT_EQ(GlyphNameToUnicode(C.Name), C.Chars) << C.Name;
}

TEST(GlyphNameToUnicode, NamesOfTeXsMathFonts) {
  struct Case {
    const char* Name;
    std::u32string Chars;
  } Cases[] = {
      {"summationdisplay", U"\u2211"}, {"summationtext", U"\u2211"}, {"integraldisplay", U"\u222B"},
      {"uniondisplay", U"\u22C3"},     {"bracketleftbig", U"["},       {"parenleftbigg", U"("},
      {"parenrightBigg", U")"},         {"braceleftBig", U"{"},         {"angbracketrightbig", U"\u27E9"},
      {"radicalBigg", U"\u221A"},      {"radicalbig", U"\u221A"},     {"circleplusdisplay", U"\u2A01"},
      {"mapsto", U"\u21A6"},           {"longmapsto", U"\u27FC"},       {"lessorequalslant", U"\u2A7D"},
      {"llbracket", U"\u27E6"},        {"summation.v1", U"\u2211"},  // Latin Modern Math's variants
      {"summationhuge", U""},  // no size of cmex
  };
  for (const auto& C : Cases) EXPECT_EQ(GlyphNameToUnicode(C.Name), C.Chars) << C.Name;
}

TEST(NumericGlyphNameCode, NamesThatOnlyNumberACode) {
  struct Case {
    const char* Name;
    int Code;
  } Cases[] = {
      {"a96", 96},  {"g3", 3},     {"cs65", 65}, {"G255", 255}, {"x41", 0x41}, {"X7f", 0x7F}, {"a0", 0},
      {"a256", -1}, {"a1000", -1}, {"abc1", -1}, {"a", -1},     {"x4G", -1},   {"96", -1},   {"a9b", -1},
      {"minus", -1}, {"uni0041", -1}, {"u1D461", -1},  // names the glyph list knows
  };
  for (const auto& C : Cases) EXPECT_EQ(NumericGlyphNameCode(C.Name), C.Code) << C.Name;
  TPDFGlyphNames Names = NamesOf(Std), Encoding = NamesOf(Std);
  Names[65] = "a66";
  Names[66] = "x43";
  Names[67] = "g3";   // code 3 has no glyph in StandardEncoding: stays
  Names[68] = "Bogus";
  ResolveNumericGlyphNames(Names, Encoding);
  EXPECT_EQ(Names[65], "B");
  EXPECT_EQ(Names[66], "C");
  EXPECT_EQ(Names[67], "g3");
  EXPECT_EQ(Names[68], "Bogus");
}

TEST(GlyphNamesToTexts, NamesWinAnsiLacksByTheGlyphListInTheCodePage) {
  auto RealCP1252 = TCodePage::Create("CP1252");
  auto RealUTF8 = TCodePage::Create("UTF-8");
  ASSERT_TRUE(RealCP1252 && RealUTF8);
  struct Case {
    const char* Name;
    std::string InCP1252, InUTF8;
  } Cases[] = {
      {"minus", "minus", "\xE2\x88\x92"},
      {"uni4E2D", "uni4E2D", "\xE4\xB8\xAD"},
      {"uni00E9", "\xE9", "\xC3\xA9"},  // CP1252 has it
      {"f_f_i", "ffi", "ffi"},             // ligatures keep their letters
      {"fl", "fl", "fl"},
      {"u1D44F", "u1D44F", "\xF0\x9D\x91\x8F"},
      {"g35", "g35", "\xEF\xBF\xBD"},  // no character: U+FFFD where the code page has it
      {"quoteright", "\x92", "\xE2\x80\x99"},  // WinAnsiEncoding's names as before
  };
  for (const auto& C : Cases) {
    TPDFGlyphNames Names;
    Names.fill(".notdef");
    Names[65] = C.Name;
    TPDFCodeTexts Texts;
    GlyphNamesToTexts(Names, Texts, *RealCP1252);
    EXPECT_EQ(Texts[65], C.InCP1252) << C.Name;
    GlyphNamesToTexts(Names, Texts, *RealUTF8);
    EXPECT_EQ(Texts[65], C.InUTF8) << C.Name;
  }
}

TEST(GlyphNamesToTexts, NoTextIsEmptyOrHoldsNul) {
  for (TPDFBaseEncoding Encoding : {Std, Mac, Win, Doc, Expert}) {
    TPDFCodeTexts Texts;
    Texts.fill("stale");
    GlyphNamesToTexts(NamesOf(Encoding), Texts, CP1252);
    for (int Code = 0; Code < 256; ++Code) {
      EXPECT_FALSE(Texts[Code].empty()) << Code;
      EXPECT_EQ(Texts[Code].find('\0'), std::string::npos) << Code;
      EXPECT_NE(Texts[Code], "stale") << Code;
    }
  }
}

TEST(GlyphNamesToTexts, WinAnsiEncodingGivesItsOwnBytes) {
  // Every code with a name of its own reads back as that very byte.
  TPDFGlyphNames Names = NamesOf(Win);
  TPDFCodeTexts Texts;
  GlyphNamesToTexts(Names, Texts, CP1252);
  for (int Code = 32; Code < 256; ++Code) {
    if (Names[Code] == "bullet" || Names[Code] == "hyphen") continue;
    EXPECT_EQ(Texts[Code], std::string(1, static_cast<char>(Code))) << Names[Code];
  }
}

// ---------------------------------------------------------------- standard widths

// The width GetStandardFontWidths gives a code named Name in font Index; the
// other codes are .notdef.
double StandardWidth(int Index, const std::string& Name) {
  TPDFGlyphNames Names;
  Names.fill(".notdef");
  Names[65] = Name;
  TPDFGlyphWidths Widths;
  Widths.fill(123);
  GetStandardFontWidths(Index, Names, Widths);
  return Widths[65];
}

TEST(GetStandardFontWidths, PublishedMetricsOfTellingGlyphs) {
  // Courier (1..4), Helvetica, Helvetica-Bold, Times-Roman, Times-Bold,
  // Times-Italic, Times-BoldItalic.
  const int Fonts[] = {5, 6, 9, 10, 11, 12};
  struct Case {
    const char* Glyph;
    double Widths[6];
  } Cases[] = {
      {"space", {278, 278, 250, 250, 250, 250}},       {"A", {667, 722, 722, 722, 611, 667}},
      {"a", {556, 556, 444, 500, 500, 500}},           {"W", {944, 944, 944, 1000, 833, 889}},
      {"i", {222, 278, 278, 278, 278, 278}},           {"quotesingle", {191, 238, 180, 278, 214, 278}},
      {"hyphen", {333, 333, 333, 333, 333, 333}},      {"Euro", {556, 556, 500, 500, 500, 500}},
      {"bullet", {350, 350, 350, 350, 350, 350}},
      // not in the Latin table: the default, whatever the font
      {"g5", {750, 750, 750, 750, 750, 750}},          {"A0space", {750, 750, 750, 750, 750, 750}},
      {"w", {722, 778, 722, 722, 667, 667}},           {"Space", {750, 750, 750, 750, 750, 750}},
  };
  for (const auto& C : Cases) {
    for (int F = 0; F < 6; ++F)
      EXPECT_EQ(StandardWidth(Fonts[F], C.Glyph), C.Widths[F]) << C.Glyph << " font " << Fonts[F];
    for (int Courier = 1; Courier <= 4; ++Courier)
      EXPECT_EQ(StandardWidth(Courier, C.Glyph), C.Widths[0] == 750 ? 750 : 600) << C.Glyph << " font " << Courier;
  }
}

TEST(GetStandardFontWidths, ObliqueFontsShareTheUprightWidths) {
  TPDFGlyphNames Names = NamesOf(Doc);  // every glyph of the Latin table
  auto WidthsOf = [&](int Index) {
    TPDFGlyphWidths Widths{};
    GetStandardFontWidths(Index, Names, Widths);
    return Widths;
  };
  EXPECT_EQ(WidthsOf(8), WidthsOf(5));  // Helvetica-Oblique, Helvetica
  EXPECT_EQ(WidthsOf(7), WidthsOf(6));  // Helvetica-BoldOblique, Helvetica-Bold
  EXPECT_NE(WidthsOf(5), WidthsOf(6));
  EXPECT_NE(WidthsOf(9), WidthsOf(10));
}

TEST(GetStandardFontWidths, Symbol) {
  struct Case {
    const char* Glyph;
    double Width;
  } Cases[] = {
      {"A0space", 250}, {"space", 750}, {"Alpha", 722},   {"alpha", 631},    {"universal", 713},
      {"summation", 713}, {"Euro", 750}, {"bullet", 460}, {"zero", 500},     {"multiply", 549},
      {"zeta", 494},    {"Beta", 667},  {"A", 750},       {"uni0041", 750},  {".notdef", 750},
  };
  for (const auto& C : Cases) EXPECT_EQ(StandardWidth(13, C.Glyph), C.Width) << C.Glyph;
}

TEST(GetStandardFontWidths, OverwritesEveryCodeOrNone) {
  TPDFGlyphNames Names = NamesOf(Std);
  struct Case {
    int Index;
    int Code;
    double Width;
  } Cases[] = {
      {10, 87, 1000},  // Times-Bold: StandardEncoding code 87 is W
      {10, 0, 750},    // .notdef
      {1, 200, 600},   // Courier: StandardEncoding 200 is dieresis
      {13, 32, 750},   // Symbol has no glyph named space
      {14, 87, 123},   // ZapfDingbats: no table
      {0, 87, 123},    {15, 87, 123}, {-1, 87, 123},
  };
  for (const auto& C : Cases) {
    TPDFGlyphWidths Widths;
    Widths.fill(123);
    GetStandardFontWidths(C.Index, Names, Widths);
    EXPECT_EQ(Widths[C.Code], C.Width) << "font " << C.Index << " code " << C.Code;
  }
}

// ---------------------------------------------------------------- Widths array

TEST(ApplyWidthsArray, FirstCharLastCharAndWidths) {
  struct Case {
    std::string Font;
    int32_t FirstChar, LastChar;
    std::vector<std::pair<int, double>> Expected;  // code, width afterwards
  } Cases[] = {
      {"<< /FirstChar 32 /LastChar 126 /Widths " + NumberArray(500, 95) + " >>",
       32, 126, {{0, 750}, {31, 750}, {32, 500}, {65, 533}, {126, 594}, {127, 750}, {255, 750}}},
      {"<< /FirstChar 0 /LastChar 300 /Widths " + NumberArray(1, 300) + " >>",
       0, 255, {{0, 1}, {255, 256}}},
      {"<< /FirstChar 65 /LastChar 68 /Widths [ 500 null 499.6 /N ] >>",
       65, 68, {{64, 750}, {65, 500}, {66, 0}, {67, 499.6}, {68, 0}, {69, 750}}},
      // elements beyond LastChar are ignored; codes the array misses keep theirs
      {"<< /FirstChar 65 /LastChar 66 /Widths [ 1 2 3 4 ] >>", 65, 66, {{65, 1}, {66, 2}, {67, 750}}},
      {"<< /FirstChar 65 /LastChar 70 /Widths [ 1 2 ] >>", 65, 70, {{66, 2}, {67, 750}}},
      // codes below 0 are skipped
      {"<< /FirstChar -2 /LastChar 1 /Widths [ 1 2 3 4 ] >>", -2, 1, {{0, 3}, {1, 4}, {2, 750}}},
      {"<< /FirstChar 65.6 /LastChar 66.4 /Widths [ 1 2 3 ] >>", 66, 66, {{65, 750}, {66, 1}, {67, 750}}},
      {"<< /FirstChar 70 /LastChar 65 /Widths [ 1 2 ] >>", 70, 65, {{70, 750}, {65, 750}}},
      // missing or mistyped entries stop where they are met
      {"<< /LastChar 66 /Widths [ 1 2 ] >>", 0, 0, {{0, 750}, {1, 750}}},
      {"<< /FirstChar /A /LastChar 66 /Widths [ 1 2 ] >>", 0, 0, {{0, 750}}},
      {"<< /FirstChar 65 /Widths [ 1 ] >>", 65, 0, {{65, 750}}},
      {"<< /FirstChar 65 /LastChar 66 /Widths 5 >>", 65, 66, {{65, 750}}},
      {"<< /FirstChar 65 /LastChar 66 >>", 65, 66, {{65, 750}}},
      // entries are resolved, array elements are not
      {"<< /FirstChar 1 0 R /LastChar 2 0 R /Widths 3 0 R >>", 65, 66, {{65, 5}, {66, 0}}},
  };
  for (const auto& C : Cases) {
    TObjects Objects({{1, "65"}, {2, "66"}, {3, "[ 5 4 0 R ]"}, {4, "6"}});
    TPDFGlyphWidths Widths;
    Widths.fill(DefaultGlyphWidth);
    int32_t FirstChar = -99, LastChar = -99;
    ApplyWidthsArray(As<TPDFDictionary>(Objects.Parse(C.Font)), Widths, FirstChar, LastChar);
    EXPECT_EQ(FirstChar, C.FirstChar) << C.Font;
    EXPECT_EQ(LastChar, C.LastChar) << C.Font;
    for (const auto& [Code, Width] : C.Expected) EXPECT_DOUBLE_EQ(Widths[Code], Width) << C.Font << " code " << Code;
  }
}

TEST(ApplyWidthsArray, NoFontDictionary) {
  TPDFGlyphWidths Widths;
  Widths.fill(DefaultGlyphWidth);
  int32_t FirstChar = 5, LastChar = 5;
  ApplyWidthsArray(nullptr, Widths, FirstChar, LastChar);
  EXPECT_EQ(FirstChar, 0);
  EXPECT_EQ(LastChar, 0);
  EXPECT_EQ(Widths[0], DefaultGlyphWidth);
}

// ---------------------------------------------------------------- CID widths

TEST(BuildCIDWidths, BothFormsOfW) {
  struct Case {
    const char* W;
    const char* Font;
    std::vector<std::pair<int64_t, double>> Expected;  // CID, width
    size_t Entries;
  } Cases[] = {
      {"[ 1 [ 500 600 ] 10 20 1000 ]", "<< /DW 333 >>",
       {{0, 333}, {1, 500}, {2, 600}, {3, 333}, {5, 333}, {9, 333}, {10, 1000}, {20, 1000}, {21, 333}}, 13},
      {"[ 1 /Foo 3 ]", "<< /DW 333 >>", {{1, 333}, {3, 333}}, 0},
      {"[ 5 ]", "<< >>", {{5, 1000}}, 0},
      {"[ ]", "<< >>", {{0, 1000}}, 0},
      // widths are rounded, a half to the even neighbour
      {"[ 1 [ 499.6 500.5 501.5 ] 7 8 99.4 ]", "<< >>", {{1, 500}, {2, 500}, {3, 502}, {7, 99}, {8, 99}}, 5},
      // the first entry of a CID wins
      {"[ 1 3 100 2 4 200 3 [ 300 ] ]", "<< >>", {{1, 100}, {3, 100}, {4, 200}, {5, 1000}}, 4},
      {"[ 1 [ 10 /x (s) 40 ] ]", "<< >>", {{1, 10}, {2, 1000}, {3, 1000}, {4, 40}}, 2},
      // a missing or mistyped third element stops the walk
      {"[ 1 5 ]", "<< >>", {{1, 1000}}, 0},
      {"[ 1 [ 7 ] 3 5 ]", "<< >>", {{1, 7}, {3, 1000}}, 1},
      {"[ 1 5 /x 7 [ 9 ] ]", "<< >>", {{1, 1000}, {7, 1000}}, 0},
      // so do a negative or non-numeric first CID and other second elements
      {"[ 3 [ 7 ] -1 [ 5 ] 4 [ 8 ] ]", "<< >>", {{3, 7}, {4, 1000}}, 1},
      {"[ (a) [ 5 ] 4 [ 8 ] ]", "<< >>", {{4, 1000}}, 0},
      {"[ 1 << >> 4 [ 8 ] ]", "<< >>", {{4, 1000}}, 0},
      // a last CID below the first adds nothing, and the walk goes on
      {"[ 5 3 100 7 [ 9 ] ]", "<< >>", {{3, 1000}, {5, 1000}, {7, 9}}, 1},
      // CIDs above 65535 are dropped and do not stop the walk
      {"[ 65530 [ 1 2 3 4 5 6 7 8 ] 70000 [ 5 ] 1 [ 9 ] ]", "<< /DW 2 >>",
       {{65530, 1}, {65535, 6}, {65536, 2}, {65537, 2}, {70000, 2}, {1, 9}, {-1, 2}}, 7},
      {"[ 0 2000000000 500 3 [ 7 ] ]", "<< >>", {{0, 500}, {3, 500}, {65535, 500}, {65536, 1000}}, 65536},
      {"[ 65000 2147483647 4 ]", "<< >>", {{64999, 1000}, {65000, 4}, {65535, 4}}, 536},
      // the second element is resolved, the others are not
      {"[ 1 2 0 R 3 1 0 R 50 ]", "<< >>", {{1, 44}, {2, 55}, {3, 50}, {4, 50}, {5, 1000}}, 4},
      {"[ 1 [ 5 1 0 R 6 ] ]", "<< >>", {{1, 5}, {2, 1000}, {3, 6}}, 2},
      {"[ 1 3 1 0 R ]", "<< >>", {{1, 1000}}, 0},
      {"[ 1 0 R [ 5 ] ]", "<< >>", {{4, 1000}}, 0},
      {"[ 1 9 0 R 5 ]", "<< >>", {{1, 1000}}, 0},  // resolves to nothing
      // DW: resolved, rounded, 1000 unless a number
      {"[ ]", "<< /DW 499.6 >>", {{0, 500}}, 0},
      {"[ ]", "<< /DW /x >>", {{0, 1000}}, 0},
      {"[ ]", "<< /DW 3 0 R >>", {{0, 250}}, 0},
  };
  for (const auto& C : Cases) {
    TObjects Objects({{1, "4"}, {2, "[ 44 55 ]"}, {3, "250"}});
    auto List = BuildCIDWidths(As<TPDFArray>(Objects.Parse(C.W)), As<TPDFDictionary>(Objects.Parse(C.Font)));
    ASSERT_NE(List, nullptr) << C.W;
    for (const auto& [Cid, Width] : C.Expected) EXPECT_EQ(GetCIDWidth(List.get(), Cid), Width) << C.W << " CID " << Cid;
    EXPECT_EQ(List->EntryCount(), C.Entries) << C.W;
  }
}

TEST(BuildCIDWidths, WithoutAnArrayDWStillCounts) {
  TObjects Objects;
  // A font with a DW and no W (dvipdfmx writes Consolas so) advances by DW:
  // taking 1000 ran its words together.
  auto Default = BuildCIDWidths(nullptr, As<TPDFDictionary>(Objects.Parse("<< /DW 550 >>")));
  ASSERT_NE(Default, nullptr);
  EXPECT_EQ(GetCIDWidth(Default.get(), 5), 550.0);
  // Neither: no list, and every CID advances 1000.
  EXPECT_EQ(BuildCIDWidths(nullptr, As<TPDFDictionary>(Objects.Parse("<< >>"))), nullptr);
  EXPECT_EQ(GetCIDWidth(nullptr, 5), 1000.0);
  auto List = BuildCIDWidths(As<TPDFArray>(Objects.Parse("[ 1 [ 7 ] ]")), nullptr);
  ASSERT_NE(List, nullptr);
  EXPECT_EQ(List->Width(1), 7);
  EXPECT_EQ(List->Width(2), 1000);
}

TEST(BuildCIDWidths, HugeArraysFinish) {
  // A million elements, each triple covering every CID, then a run of widths
  // longer than the CID range: each must cost little however often a CID is
  // covered again.
  TPDFStructure S;
  TPDFArray* W = S.NewArray();
  TPDFNumeric* Zero = S.NewNumber(0);
  TPDFNumeric* Top = S.NewNumber(2000000000);
  TPDFNumeric* Width = S.NewNumber(321);
  for (int I = 0; I < 333333; ++I) {
    W->Add(Zero);
    W->Add(Top);
    W->Add(Width);
  }
  auto List = BuildCIDWidths(W, nullptr);
  ASSERT_NE(List, nullptr);
  EXPECT_EQ(List->EntryCount(), 65536u);
  EXPECT_EQ(List->Width(65535), 321);

  TPDFArray* Run = S.NewArray();
  for (int I = 0; I < 1000000; ++I) Run->Add(I % 2 ? Width : Zero);
  TPDFArray* Long = S.NewArray();
  Long->Add(Zero);
  Long->Add(Run);
  List = BuildCIDWidths(Long, nullptr);
  ASSERT_NE(List, nullptr);
  EXPECT_EQ(List->EntryCount(), 65536u);
  EXPECT_EQ(List->Width(0), 0);
  EXPECT_EQ(List->Width(65535), 321);
}

TEST(BuildCIDVerticalMetrics, W2AndDW2) {
  struct Metric {
    int64_t Cid;
    int32_t W1, VX, VY;
  };
  constexpr int32_t Half = TPDFCIDVerticalMetrics::HalfWidth;
  struct Case {
    const char* Font;
    std::vector<Metric> Expected;
  } Cases[] = {
      {"<< >>", {{0, -1000, Half, 880}, {65535, -1000, Half, 880}}},
      {"<< /DW2 [900 -1100] >>", {{7, -1100, Half, 900}}},
      {"<< /DW2 [900] >>", {{7, -1000, Half, 880}}},  // not a pair: the default
      {"<< /W2 [1 [-500 250 800 -600 300 900] 10 20 -700 400 860] >>",
       {{1, -500, 250, 800}, {2, -600, 300, 900}, {3, -1000, Half, 880}, {10, -700, 400, 860}, {20, -700, 400, 860},
        {21, -1000, Half, 880}}},
      // The first entry for a CID wins; a malformed entry ends the array.
      {"<< /W2 [5 5 -400 1 2 4 6 -300 3 4 9 (x) 12 12 -1 1 1] >>",
       {{4, -300, 3, 4}, {5, -400, 1, 2}, {6, -300, 3, 4}, {12, -1000, Half, 880}}},
      {"<< /W2 [1 [-500 250] 2 [-600 1 2 -700]] >>", {{1, -1000, Half, 880}, {2, -600, 1, 2}, {3, -1000, Half, 880}}},
  };
  TObjects Objects;
  for (const auto& C : Cases) {
    const auto Metrics = BuildCIDVerticalMetrics(As<TPDFDictionary>(Objects.Parse(C.Font)));
    ASSERT_NE(Metrics, nullptr) << C.Font;
    for (const auto& M : C.Expected) {
      EXPECT_EQ(Metrics->W1.Width(M.Cid), M.W1) << C.Font << " CID " << M.Cid;
      EXPECT_EQ(Metrics->VX.Width(M.Cid), M.VX) << C.Font << " CID " << M.Cid;
      EXPECT_EQ(Metrics->VY.Width(M.Cid), M.VY) << C.Font << " CID " << M.Cid;
    }
  }
  EXPECT_EQ(BuildCIDVerticalMetrics(nullptr)->W1.Width(3), -1000);
}

TEST(TPDFCIDWidths, RangesFillOnlyFreeSlots) {
  // Ranges in the order given, then the expected width of some CIDs.
  struct Range {
    int64_t First, Last;
    int32_t Width;
  };
  struct Case {
    std::vector<Range> Ranges;
    std::vector<std::pair<int64_t, int32_t>> Expected;
    size_t Entries;
  } Cases[] = {
      {{{10, 20, 1}, {5, 30, 2}}, {{4, -1}, {5, 2}, {9, 2}, {10, 1}, {20, 1}, {21, 2}, {30, 2}, {31, -1}}, 26},
      {{{5, 30, 2}, {10, 20, 1}}, {{10, 2}, {20, 2}}, 26},
      {{{-5, 2, 3}}, {{-1, -1}, {0, 3}, {2, 3}, {3, -1}}, 3},
      {{{70000, 80000, 3}, {-9, -1, 3}, {9, 8, 3}}, {{0, -1}, {9, -1}, {70000, -1}, {int64_t{1} << 40, -1}}, 0},
      {{{2, 2, 1}, {4, 4, 1}, {0, 6, 2}, {0, 65535, 3}}, {{0, 2}, {2, 1}, {3, 2}, {4, 1}, {6, 2}, {7, 3}, {65535, 3}}, 65536},
  };
  for (const auto& C : Cases) {
    TPDFCIDWidths List;
    List.Default = -1;
    for (const auto& R : C.Ranges) List.AddRange(R.First, R.Last, R.Width);
    for (const auto& [Cid, Width] : C.Expected) EXPECT_EQ(List.Width(Cid), Width) << "CID " << Cid;
    EXPECT_EQ(List.EntryCount(), C.Entries);
  }
}

}  // namespace
