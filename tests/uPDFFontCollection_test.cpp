// The font collection.
#include "uPDFFontCollection.h"

#include <gtest/gtest.h>

#include <map>

#include "CodePage.h"
#include "TestFonts.h"
#include "uPDFStructure.h"
#include "uPDFTrueTypeRasterizer.h"
#include "uPDFType1.h"

namespace {

std::string CMapText(const std::string& Body, bool Codespace = true) {
  return std::string("/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n") +
         (Codespace ? "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n" : "") + Body +
         "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

// ---------------------------------------------------------------- the collection

// Objects by number for the references of the tests. The installed fonts are
// made up: Arial, whose glyphs A and B advance 600 and 700.
struct TFonts {
  TPDFStructure S;
  std::map<int, TPDFObject*> Objects;
  std::shared_ptr<const TCodePage> CodePage;
  TFakeSystemFonts Installed;
  TPDFSubstituteFonts Substitutes{Installed};
  TPDFFontCollection Fonts{*CodePage};
  explicit TFonts(const char* Page = "CP1252") : CodePage(TCodePage::Create(Page)) {
    S.OnResolveReference = [this](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
      auto It = Objects.find(N);
      return It == Objects.end() ? nullptr : It->second;
    };
    Fonts.LoadFontPrograms = true;
    Fonts.SubstituteFonts = &Substitutes;
    TTestTrueType Arial;
    Arial.Advances = {0, 600, 700};
    Arial.Names = {".notdef", "A", "B"};
    Installed.Families = {"Arial", "Default"};
    Installed.AddFile("Arial", MakeTrueType(Arial));
  }
  void Add(int N, const std::string& Text) { Objects[N] = S.ParseObject(Text); }
  void AddStream(int N, const std::string& Dict, const std::string& Data) {
    TPDFStream* Stream = S.NewStream(Data);
    Stream->SetDictionary(As<TPDFDictionary>(S.ParseObject(Dict)));
    Objects[N] = Stream;
  }
  const TPDFFontCollectionData* Select(int N) { return Fonts.SelectFont(S.NewIndRef(N, 0)); }
};

TEST(TPDFFontCollection, StandardFontsAndTheCache) {
  TFonts F;
  F.Add(1, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>");
  F.Add(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /FontDescriptor << /Ascent 700 /Descent -200.6 >> >>");
  F.Add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Arial,Bold /Encoding /WinAnsiEncoding >>");
  const TPDFFontCollectionData* A = F.Select(1);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->Ascent, 718);
  EXPECT_EQ(A->Descent, -207);
  EXPECT_EQ(A->FontName, "Arial,Bold");  // the substitute's name
  EXPECT_EQ(A->Widths['W'], 944);
  EXPECT_EQ(A->CodeTexts['A'], "A");
  EXPECT_EQ(A->CodeTexts[39], "\x92");  // StandardEncoding quoteright
  EXPECT_EQ(F.Select(1), A);             // cached
  EXPECT_EQ(F.Fonts.FontCount(), 1u);
  const TPDFFontCollectionData* B = F.Select(2);
  EXPECT_EQ(B->Ascent, 700);
  EXPECT_EQ(B->Descent, -201);
  EXPECT_EQ(B->Widths['W'], 750);  // a descriptor: no standard metrics
  EXPECT_EQ(B->FontName, "Helvetica-Bold");
  EXPECT_EQ(F.Select(3)->Widths['W'], 944);  // standard font 6
  EXPECT_EQ(F.Fonts.SelectFont(nullptr), nullptr);
  EXPECT_EQ(&F.Fonts.Current(), F.Fonts.SelectFont(F.S.NewIndRef(3, 0)));

  struct Case {
    const char* Name;
    int Index;
  } Names[] = {{"Helvetica", 5}, {"ArialMT", 5}, {"Arial,Bold", 6}, {"MT", 12}, {"Symbol", 13},
               {"ZapfDingbats", 14}, {"Verdana", 0}, {"", 0}, {"Times-Roman", 9}, {"Courier", 1}};
  for (const auto& C : Names) EXPECT_EQ(StandardFontIndex(C.Name), C.Index) << C.Name;
}

TEST(TPDFFontCollection, SymbolAndZapfDingbatsReadTheirOwnEncodings) {
  // Without a ToUnicode map the standard Symbol and ZapfDingbats fonts show
  // the characters of their built-in encodings, never glyph names, unless
  // the font names a base encoding.
  struct Case {
    const char* Page;
    const char* Font;
    int Code;
    const char* Text;
    double Width;  // 0: not checked
  } Cases[] = {
      {"UTF-8", "/BaseFont /Symbol", 'a', "\u03B1", 631},
      {"UTF-8", "/BaseFont /Symbol", 229, "\u2211", 0},
      {"UTF-8", "/BaseFont /Symbol", 32, " ", 0},
      {"UTF-8", "/BaseFont /Symbol", '1', "1", 500},
      {"UTF-8", "/BaseFont /ZapfDingbats", '4', "\u2714", 0},
      {"UTF-8", "/BaseFont /ZapfDingbats", '8', "\u2718", 0},
      {"UTF-8", "/BaseFont /ZapfDingbats", 32, " ", 0},
      // A code page without the character: a question mark, not "alpha" or "a20".
      {"CP1252", "/BaseFont /Symbol", 'a', "?", 0},
      {"CP1252", "/BaseFont /ZapfDingbats", '4', "?", 0},
      {"CP1252", "/BaseFont /Symbol", 177, "\xB1", 0},  // plusminus
      // Differences over the built-in encoding; a named base encoding instead of it.
      {"UTF-8", "/BaseFont /Symbol /Encoding << /Differences [98 /alpha] >>", 'b', "\u03B1", 0},
      {"UTF-8", "/BaseFont /Symbol /Encoding << /Differences [98 /alpha] >>", 'c', "\u03C7", 0},
      {"UTF-8", "/BaseFont /Symbol /Encoding /WinAnsiEncoding", 'a', "a", 0},
      {"UTF-8", "/BaseFont /Helvetica", 'a', "a", 0},
  };
  for (const auto& C : Cases) {
    TFonts F(C.Page);
    F.Add(1, std::string("<< /Type /Font /Subtype /Type1 ") + C.Font + " >>");
    const TPDFFontCollectionData* Font = F.Select(1);
    ASSERT_NE(Font, nullptr);
    EXPECT_EQ(Font->CodeTexts[C.Code], C.Text) << C.Font << " " << C.Code << " " << C.Page;
    if (C.Width) {
      EXPECT_EQ(Font->Widths[C.Code], C.Width) << C.Font << " " << C.Code;
    }
  }
}

TEST(TPDFFontCollection, SimpleFontsWithWidthsDifferencesAndToUnicode) {
  TFonts F;
  F.AddStream(9, "<< >>", CMapText("1 beginbfchar\n<0042> <4E2D>\nendbfchar"));
  F.Add(1,
        "<< /Subtype /TrueType /BaseFont /Foo /FirstChar 65 /LastChar 66 /Widths [500 600] "
        "/Encoding << /Differences [65 /bullet /g35] >> /ToUnicode 9 0 R >>");
  const TPDFFontCollectionData* Font = F.Select(1);
  EXPECT_EQ(Font->Widths[65], 500);
  EXPECT_EQ(Font->Widths[67], 750);  // C: the substitute has no such glyph
  EXPECT_EQ(Font->Widths[32], 750);
  EXPECT_EQ(Font->CodeTexts[65], "\x95");  // bullet
  EXPECT_EQ(Font->CodeTexts[66], "?");     // the map's U+4E2D in CP1252
  EXPECT_EQ(Font->RenderTexts[66], "?");
  EXPECT_EQ(Font->GlyphNames[66], "g35");
  EXPECT_EQ(Font->FirstChar, 65);
  EXPECT_EQ(Font->LastChar, 66);
  ASSERT_NE(Font->ToUnicode, nullptr);

  // Not a dictionary: a record all the same.
  const TPDFFontCollectionData* Missing = F.Select(77);
  EXPECT_EQ(Missing->FontName, "Arial");
  EXPECT_EQ(Missing->CodeTexts['A'], "");
  EXPECT_EQ(Missing->RenderTexts['A'], "A");
  EXPECT_EQ(Missing->Widths['A'], 750);
}

TEST(TPDFFontCollection, CompositeFonts) {
  TFonts F;
  F.AddStream(9, "<< >>", CMapText("1 beginbfrange\n<0001> <0003> <4E2D>\nendbfrange"));
  F.Add(5, "<< /Subtype /CIDFontType2 /BaseFont /SimSun /DW 900 /W [1 [500 600]] /FontDescriptor << /Ascent 859 >> >>");
  F.Add(1, "<< /Subtype /Type0 /BaseFont /SimSun /Encoding /Identity-H /DescendantFonts [5 0 R] /ToUnicode 9 0 R >>");
  F.Add(2, "<< /Subtype /Type0 /DescendantFonts [2 0 R] >>");       // loops back to itself
  F.Add(3, "<< /Subtype /Type0 /DescendantFonts 5 0 R >>");        // not an array of one reference
  F.Add(4, "<< /Subtype /Type0 /DescendantFonts [5 0 R] /ToUnicode /Identity-H >>");
  const TPDFFontCollectionData* Font = F.Select(1);
  EXPECT_TRUE(Font->IsComposite);
  EXPECT_EQ(Font->ObjectNumber, 1);  // cached under the Type0 dictionary's number
  EXPECT_EQ(Font->FontName, "SimSun");
  EXPECT_EQ(Font->Ascent, 859);
  EXPECT_EQ(GetCIDWidth(Font->CIDWidths.get(), 2), 600);
  EXPECT_EQ(GetCIDWidth(Font->CIDWidths.get(), 9), 900);
  std::u32string Chars;
  EXPECT_TRUE(Font->CodeUnicode(2, Chars));
  EXPECT_EQ(Chars, U"\u4E2E");
  EXPECT_EQ(Font->CodeTexts[1], "?");
  EXPECT_EQ(Font->CodeTexts[4], "");
  EXPECT_EQ(F.Select(1), Font);
  for (int N : {2, 3}) {
    const TPDFFontCollectionData* Empty = F.Select(N);
    ASSERT_NE(Empty, nullptr) << N;
    EXPECT_TRUE(Empty->IsComposite) << N;
    EXPECT_EQ(Empty->CIDWidths, nullptr) << N;
    EXPECT_EQ(Empty->ObjectNumber, N);
  }
  // A ToUnicode name leaves every text empty; the bytes then show as themselves.
  const TPDFFontCollectionData* Named = F.Select(4);
  EXPECT_EQ(Named->CodeTexts['A'], "");
  EXPECT_EQ(Named->RenderTexts['A'], "A");
  EXPECT_EQ(F.Fonts.FontCount(), 4u);
}

TEST(TPDFFontCollection, CompositeTextWithoutToUnicodeComesOnlyFromAnEmbeddedProgram) {
  // The installed Arial maps A and B to glyphs 1 and 2, as does the embedded
  // program; codes are their own CIDs and glyphs (Identity).
  TTestTrueType Program;
  Program.Advances = {0, 600, 700};
  Program.Names = {".notdef", "", ""};
  Program.Characters = {{'A', 1}, {'B', 2}};
  const std::string Type0 = "<< /Subtype /Type0 /BaseFont /Sub /Encoding /Identity-H /DescendantFonts [2 0 R] >>";
  const std::string Identity = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> ";
  struct Case {
    const char* What;
    std::string Descendant;
    const char32_t* Text;  // of code 2; null: no text
  } Cases[] = {
      {"no program: the installed substitute's cmap is not read",
       "<< /Subtype /CIDFontType2 /BaseFont /Arial " + Identity + "/FontDescriptor << /Flags 32 >> >>", nullptr},
      {"no program, CFF kind", "<< /Subtype /CIDFontType0 /BaseFont /Arial " + Identity + "/FontDescriptor << /Flags 4 >> >>",
       nullptr},
      {"a program that decodes to nothing",
       "<< /Subtype /CIDFontType2 /BaseFont /Arial " + Identity + "/FontDescriptor << /Flags 32 /FontFile2 21 0 R >> >>",
       nullptr},
      {"an embedded program: its cmap read backwards",
       "<< /Subtype /CIDFontType2 /BaseFont /Sub " + Identity + "/FontDescriptor << /Flags 32 /FontFile2 20 0 R >> >>",
       U"B"},
  };
  for (const auto& C : Cases) {
    TFonts F;
    F.Installed.AddFile("Arial", MakeTrueType(Program));
    F.AddStream(20, "<< >>", MakeTrueType(Program));
    F.AddStream(21, "<< >>", "");
    F.Add(1, Type0);
    F.Add(2, C.Descendant);
    const TPDFFontCollectionData* Font = F.Select(1);
    ASSERT_NE(Font, nullptr) << C.What;
    std::u32string Chars;
    EXPECT_EQ(Font->CodeUnicode(2, Chars), C.Text != nullptr) << C.What;
    EXPECT_EQ(Chars, C.Text ? C.Text : U"") << C.What;
    EXPECT_TRUE(F.Installed.Requests.empty()) << C.What;
  }
}

TEST(TPDFFontCollection, GlyphNamesThatAreNoCharacters) {
  // In a Unicode code page: TeX's math names by the table, numbering names
  // through the encoding, and no name's letters for a glyph of no character.
  TFonts F;
  const auto UTF8 = TCodePage::Create("UTF-8");
  TPDFFontCollection Fonts(*UTF8);
  Fonts.LoadFontPrograms = true;
  Fonts.SubstituteFonts = &F.Substitutes;
  const std::string Differences = "/Encoding << /Differences [65 /a66 /x43 /g3 /summationdisplay /Bogus /mapsto] >>";
  F.Add(1, "<< /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << >> " + Differences + " >>");
  F.Add(2, "<< /Subtype /Type1 /BaseFont /ZapfDingbats " + Differences + " >>");
  const TPDFFontCollectionData* Font = Fonts.SelectFont(F.S.NewIndRef(1, 0));
  ASSERT_NE(Font, nullptr);
  const std::string Replacement = "\xEF\xBF\xBD";
  const std::vector<std::string> Expected = {"B", "C", Replacement, "\xE2\x88\x91", Replacement, "\xE2\x86\xA6"};
  for (size_t I = 0; I < Expected.size(); ++I) {
    EXPECT_EQ(Font->CodeTexts[65 + I], Expected[I]) << I;
    EXPECT_EQ(Font->RenderTexts[65 + I], Expected[I]) << I;
  }
  EXPECT_EQ(Font->GlyphNames[65], "a66");  // the program's own name stays
  // ZapfDingbats names its own glyphs a1, a2, ...: not read as numbers, but
  // as its own glyphs (a66 is U+2747).
  EXPECT_EQ(Fonts.SelectFont(F.S.NewIndRef(2, 0))->CodeTexts[65], "\xE2\x9D\x87");
}

// Fonts whose programs decide their glyph names, widths or units.
struct TProgramFonts : TFonts {
  // A Type1 font with a FontFile program and the given extra entries.
  void AddType1(int N, const std::string& Program, int64_t L1, int64_t L2, const std::string& FontExtra,
                const std::string& Flags = "32") {
    AddStream(N + 100, "<< /Length1 " + std::to_string(L1) + " /Length2 " + std::to_string(L2) + " /Length3 0 >>",
              Program);
    Add(N, "<< /Subtype /Type1 /BaseFont /Test " + FontExtra + " /FontDescriptor << /Flags " + Flags +
               " /FontFile " + std::to_string(N + 100) + " 0 R >> >>");
  }
};

TEST(TPDFFontCollection, BuiltInEncodingsOfType1Programs) {
  TProgramFonts F;
  const std::string Symbol = ReadWholeFile(std::string(UrwType1Dir) + "StandardSymbolsPS.t1");
  if (Symbol.empty()) GTEST_SKIP() << "fonts-urw-base35 is not installed";
  const auto P = EmbedType1(Symbol);
  struct Case {
    const char* What;
    std::string FontExtra, Flags;
    std::string A, a, Space;  // texts of codes 65, 97 and 32
  } Cases[] = {
      {"no encoding: the program's", "", "32", "Alpha", "alpha", " "},
      {"a base encoding and not symbolic: the base encoding", "/Encoding /WinAnsiEncoding", "32", "A", "a", " "},
      {"symbolic: the program's in any case", "/Encoding /WinAnsiEncoding", "4", "Alpha", "alpha", " "},
      {"Differences without a base: over the program's", "/Encoding << /Differences [97 /b] >>", "32", "Alpha", "b",
       " "},
      {"Differences with a base: over the base", "/Encoding << /BaseEncoding /MacRomanEncoding /Differences [97 /b] >>",
       "32", "A", "b", " "},
  };
  int N = 1;
  for (const auto& C : Cases) {
    F.AddType1(N, P.Data, P.Length1, P.Length2, C.FontExtra, C.Flags);
    const auto* Font = F.Select(N++);
    EXPECT_EQ(Font->CodeTexts[65], C.A) << C.What;
    EXPECT_EQ(Font->CodeTexts[97], C.a) << C.What;
    EXPECT_EQ(Font->CodeTexts[32], C.Space) << C.What;
    EXPECT_EQ(Font->Widths[65], 750) << C.What;  // a program: no substitute widths
    EXPECT_NE(dynamic_cast<const TPDFType1Decoder*>(Font->Rasterizer.get()), nullptr);
  }
  // Without Length1 the program gives StandardEncoding.
  F.AddType1(50, P.Data, 0, P.Length2, "");
  EXPECT_EQ(F.Select(50)->CodeTexts[65], "A");
  // One program shared by two fonts is parsed once per document cache.
  TPDFFontCache Cache;
  TPDFFontCollection Shared(*F.CodePage, &Cache);
  Shared.LoadFontPrograms = true;
  F.Add(60, "<< /Subtype /Type1 /FontDescriptor << /FontFile 101 0 R >> >>");
  F.Add(61, "<< /Subtype /Type1 /Encoding /WinAnsiEncoding /FontDescriptor << /FontFile 101 0 R >> >>");
  const auto* First = Shared.SelectFont(F.S.NewIndRef(60, 0));
  const auto* Second = Shared.SelectFont(F.S.NewIndRef(61, 0));
  EXPECT_EQ(First->Rasterizer, Second->Rasterizer);
  EXPECT_EQ(First->CodeTexts[65], "Alpha");
  EXPECT_EQ(Second->CodeTexts[65], "A");
}

TEST(TPDFFontCollection, CFFPrograms) {
  TProgramFonts F;
  const std::string Dir = VORLITH_SOURCE_DIR "/tests/fixtures/fonts/";
  F.AddStream(11, "<< /Subtype /Type1C >>", ReadWholeFile(Dir + "nimbus-sans-expert.cff"));
  F.AddStream(12, "<< /Subtype /Type1C >>", ReadWholeFile(Dir + "nimbus-sans-custom.cff"));
  F.Add(1, "<< /Subtype /Type1 /BaseFont /NimbusSans /FontDescriptor << /Flags 32 /FontFile3 11 0 R >> >>");
  F.Add(2, "<< /Subtype /Type1 /BaseFont /NimbusSans /FontDescriptor << /Flags 32 /FontFile3 12 0 R >> >>");
  // The Expert encoding names nothing: no texts, and each byte shows as itself.
  const auto* Expert = F.Select(1);
  EXPECT_EQ(Expert->CodeTexts[65], "");
  EXPECT_EQ(Expert->RenderTexts[65], "A");
  EXPECT_EQ(Expert->GlyphNames[65], "");
  const auto* Custom = F.Select(2);
  EXPECT_EQ(Custom->CodeTexts[65], "Z");
  EXPECT_EQ(Custom->CodeTexts[66], "Y");
  EXPECT_EQ(Custom->CodeTexts[67], "\x01");  // .notdef
}

TEST(TPDFFontCollection, TrueTypePrograms) {
  TProgramFonts F;
  TTestTrueType Program;
  Program.Advances = {500, 500};
  Program.Names = {".notdef", "A"};
  F.AddStream(20, "<< >>", MakeTrueType(Program));
  F.AddStream(21, "<< >>", "");
  F.AddStream(9, "<< >>", CMapText("1 beginbfchar\n<0041> <0058>\nendbfchar"));
  const std::string Differences = "/Encoding << /Differences [66 /A] >>";
  F.Add(1, "<< /Subtype /TrueType /BaseFont /Sym " + Differences +
               " /ToUnicode 9 0 R /FontDescriptor << /Flags 4 /FontFile2 20 0 R >> >>");
  F.Add(2, "<< /Subtype /TrueType /BaseFont /Sym " + Differences + " /FontDescriptor << /Flags 4 /FontFile2 20 0 R >> >>");
  F.Add(3, "<< /Subtype /TrueType /BaseFont /Sym " + Differences + " /FontDescriptor << /Flags 4 >> >>");
  F.Add(4, "<< /Subtype /TrueType /BaseFont /Sym " + Differences + " /FontDescriptor << /Flags 4 /FontFile2 21 0 R >> >>");

  // Symbolic with a program: code-keyed, the text from ToUnicode alone.
  const auto* Mapped = F.Select(1);
  EXPECT_EQ(Mapped->GlyphNames[65], "CID:65");
  EXPECT_EQ(Mapped->CodeTexts[65], "X");
  EXPECT_EQ(Mapped->CodeTexts[66], "");
  EXPECT_EQ(Mapped->RenderTexts[66], "");
  // Without ToUnicode: the names (Differences applied) give the texts.
  const auto* Named = F.Select(2);
  EXPECT_EQ(Named->GlyphNames[66], "CID:66");
  EXPECT_EQ(Named->CodeTexts[66], "A");
  EXPECT_EQ(Named->CodeTexts[67], "C");
  // No program, or one that decodes to nothing: not code-keyed, and the
  // installed substitute's advances by glyph name (before the Differences).
  for (int N : {3, 4}) {
    const auto* Plain = F.Select(N);
    EXPECT_EQ(Plain->GlyphNames[66], "A") << N;
    EXPECT_EQ(Plain->CodeTexts[66], "A") << N;
    EXPECT_EQ(Plain->Widths[65], 600) << N;
    EXPECT_EQ(Plain->Widths[66], 700) << N;  // B in the base encoding
    EXPECT_EQ(Plain->Widths[67], 750) << N;
  }
  // A Widths array overrides the substitute's advances.
  F.Add(5, "<< /Subtype /TrueType /BaseFont /Arial /FirstChar 65 /LastChar 65 /Widths [555] >>");
  EXPECT_EQ(F.Select(5)->Widths[65], 555);
  EXPECT_EQ(F.Select(5)->Widths[66], 700);
}

TEST(TPDFFontCollection, Type3AndStandardFontRasterizers) {
  TProgramFonts F;
  F.Add(1, "<< /Subtype /Type3 /FontMatrix [0.01 0 0 /x 0 5] /CharProcs << /a 7 0 R /b 8 0 R >> >>");
  F.Add(2, "<< /Subtype /Type3 /FontMatrix [0.01 0 0 0.01] >>");
  F.Add(3, "<< /Subtype /Type1 /BaseFont /ZapfDingbats >>");
  const auto* Type3 = dynamic_cast<const TPDFType3Rasterizer*>(F.Select(1)->Rasterizer.get());
  ASSERT_NE(Type3, nullptr);
  EXPECT_EQ(Type3->FontMatrix, (TPDFMatrix{0.01, 0, 0, 1, 0, 5}));
  EXPECT_EQ(Type3->GlyphProcNames, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(F.Select(1)->Widths[65], 750);  // no substitute for Type 3
  const auto* Short = dynamic_cast<const TPDFType3Rasterizer*>(F.Select(2)->Rasterizer.get());
  EXPECT_EQ(Short->FontMatrix, (TPDFMatrix{1, 0, 0, 1, 0, 0}));
  const auto* Dingbats = F.Select(3);
  EXPECT_EQ(Dingbats->FontName, "QuarnelDingbats");
  ASSERT_NE(Dingbats->Rasterizer, nullptr);
  EXPECT_EQ(F.Installed.Requests, std::vector<std::string>{});  // its own program, nothing installed
}

TEST(TPDFFontCollection, InstalledFontsAreAskedOnlyWhenTheTextNeedsThem) {
  struct Case {
    const char* What;
    std::string Font, Descendant;
    std::vector<std::string> Requests;
  } Cases[] = {
      {"a standard font: built-in widths", "<< /Subtype /Type1 /BaseFont /Helvetica >>", "", {}},
      {"a descendant of a known collection: W widths, the collection's map",
       "<< /Subtype /Type0 /BaseFont /Ryumin /Encoding /Identity-H /DescendantFonts [2 0 R] >>",
       "<< /Subtype /CIDFontType0 /BaseFont /Ryumin-Light /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) >> "
       "/FontDescriptor << /Flags 4 >> >>",
       {}},
      {"a descendant in the Identity ordering without a program: W widths, no text",
       "<< /Subtype /Type0 /BaseFont /Sub /Encoding /Identity-H /DescendantFonts [2 0 R] >>",
       "<< /Subtype /CIDFontType2 /BaseFont /Sub /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) >> "
       "/FontDescriptor << /Flags 32 >> >>",
       {}},
      {"a simple font without a program: the substitute's widths",
       "<< /Subtype /TrueType /BaseFont /Arial /FontDescriptor << /Flags 32 >> >>", "", {"Arial//"}},
  };
  for (const auto& C : Cases) {
    TFonts F;
    F.Add(1, C.Font);
    if (!C.Descendant.empty()) F.Add(2, C.Descendant);
    ASSERT_NE(F.Select(1), nullptr) << C.What;
    EXPECT_EQ(F.Installed.Requests, C.Requests) << C.What;
  }
  // Asked for later, a standard font's substitute is the one it would have
  // had at once.
  TFonts F;
  F.Add(1, "<< /Subtype /Type1 /BaseFont /Helvetica >>");
  const auto* Deferred = dynamic_cast<const TPDFDeferredSubstitute*>(F.Select(1)->Rasterizer.get());
  ASSERT_NE(Deferred, nullptr);
  EXPECT_EQ(Deferred->Resolve(), F.Substitutes.Substitute("Arial", 0));
  EXPECT_EQ(Deferred->Resolve()->Parser->AdvanceOf(1), 600u);
}

}  // namespace
