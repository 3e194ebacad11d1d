// The choice of installed substitute fonts and their advances.
#include "uPDFTrueTypeRasterizer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "SystemFonts.h"
#include "TestFonts.h"
#include "uPDFExtra.h"

namespace {

TEST(SelectSystemFont, NamesStylesAndFallbacks) {
  const std::vector<std::string> Families = {"Arial", "Courier New", "Default", "Foo Bar", "Symbol", "Times New Roman"};
  struct Case {
    const char* Name;
    int32_t Flags;
    TSystemFontChoice Expected;
  } Cases[] = {
      {"ABCDEF+Arial-BoldMT", 32, {"Arial", true, false}},
      {"Helvetica-BoldOblique", 32, {"Arial", true, true}},
      {"Arial,Italic", 32, {"Arial", false, true}},
      {"Times-Roman", 0, {"Times New Roman", false, false}},
      {"CourierNew-Bold", 0, {"Courier New", true, false}},
      // Only the table's spellings are known: "TimesNewRomanPS" and
      // "CourierNewPS" (after "MT" goes) are no family, so the flags decide.
      {"TimesNewRomanPS-BoldItalicMT", 34, {"Times New Roman", false, false}},
      {"CourierNewPSMT", 1, {"Courier", false, false}},
      {"FooBar-Bold", 0, {"Foo Bar", true, false}},
      {"Symbol", 4, {"Symbol", false, false}},
      // No such family: Arial, Courier or Times New Roman by the flags, and
      // the name's own style is dropped.
      {"XYZ+Foo", 32, {"Arial", false, false}},
      {"Unknown-Bold", 33, {"Courier", false, false}},
      {"Unknown", 34, {"Times New Roman", false, false}},
      {"Unknown", 35, {"Times New Roman", false, false}},
      {"Unknown-Bold", 96, {"Arial", false, true}},
      {"", 0, {"Arial", false, false}},
      // A subset prefix needs six capitals; any other "+" cuts the name.
      {"ABCDEF+Foo Bar", 0, {"Arial", false, false}},
      {"abcdef+FooBar", 2, {"Times New Roman", false, false}},
      {"ABCDEFG+FooBar", 0, {"Arial", false, false}},
      {"ABCDEF+FooBar", 0, {"Foo Bar", false, false}},
  };
  for (const auto& C : Cases) {
    const auto Got = SelectSystemFont(C.Name, C.Flags, Families);
    EXPECT_EQ(Got.Family, C.Expected.Family) << C.Name << " " << C.Flags;
    EXPECT_EQ(Got.Bold, C.Expected.Bold) << C.Name << " " << C.Flags;
    EXPECT_EQ(Got.Italic, C.Expected.Italic) << C.Name << " " << C.Flags;
  }
  // Without Arial in the list even its own name falls back (plain).
  EXPECT_EQ(SelectSystemFont("Arial-Bold", 0, {"Default"}), (TSystemFontChoice{"Arial", false, false}));
}

TEST(TPDFSubstituteFonts, FetchingFallbacksAndSharing) {
  TTestTrueType Program;
  Program.Advances = {0, 600, 700};
  Program.Names = {".notdef", "A", "B"};
  const std::string Bytes = MakeTrueType(Program);

  TFakeSystemFonts Fonts;
  Fonts.Families = {"Arial", "Default", "Huge", "Missing", "Other"};
  Fonts.AddFile("Arial", Bytes, true, false);
  Fonts.AddFile("Other", "OTTO and the rest of a CFF-flavoured file");
  TSystemFonts::TFontFile Huge;
  Huge.Size = MaxSystemFontFile + 1;
  Fonts.Files[{"Huge", false, false}] = Huge;
  TPDFSubstituteFonts Substitutes(Fonts);

  // Found, in its style.
  const auto Bold = Substitutes.Substitute("Arial,Bold", 0);
  EXPECT_EQ(Bold->Parser->AdvanceOf(Bold->Parser->GlyphIndexOfName("B")), 700u);
  EXPECT_EQ(Substitutes.Substitute("Arial,Bold", 0), Bold);  // chosen once
  EXPECT_EQ(Fonts.Requests, (std::vector<std::string>{"Arial/bold/"}));
  // Not installed or too large: Arial in the same style instead.
  for (const char* Name : {"Missing", "Huge"}) {
    Fonts.Requests.clear();
    const auto Instead = Substitutes.Substitute(std::string(Name) + "-Bold", 0);
    EXPECT_EQ(Instead->Parser->AdvanceOf(Instead->Parser->GlyphIndexOfName("B")), 700u) << Name;
    EXPECT_EQ(Fonts.Requests, (std::vector<std::string>{std::string(Name) + "/bold/", "Arial/bold/"}));
  }
  // Not a TrueType file, or nothing at all: a program without glyphs.
  for (const char* Name : {"Other", "Missing"}) {
    const auto None = Substitutes.Substitute(Name, 0);
    EXPECT_EQ(None->Parser->GlyphIndexOfName("A"), -1) << Name;
    EXPECT_EQ(None->Parser->AdvanceOf(0), 750u) << Name;
    EXPECT_EQ(None->WidthScale(), 1.0);
  }

  // Widths by glyph name; names the program lacks keep theirs.
  TPDFGlyphNames Names;
  Names.fill("B");
  Names[65] = "A";
  Names[66] = "nothere";
  TPDFGlyphWidths Widths;
  Widths.fill(750);
  GetSubstituteWidths(*Bold, Names, Widths);
  EXPECT_EQ(Widths[65], 600);
  EXPECT_EQ(Widths[66], 750);
  EXPECT_EQ(Widths[67], 700);
}

TEST(TSystemFonts, InstalledFonts) {
  const auto& List = TSystemFonts::Installed().FamilyList();
  ASSERT_FALSE(List.empty());
  EXPECT_NE(std::find(List.begin(), List.end(), "Default"), List.end());
  EXPECT_TRUE(std::is_sorted(List.begin(), List.end(), [](const std::string& A, const std::string& B) {
    return AsciiLowerText(A) < AsciiLowerText(B);
  }));
  for (size_t I = 1; I < List.size(); ++I) EXPECT_FALSE(SameTextIgnoringCase(List[I - 1], List[I])) << List[I];

  const std::string Liberation = ReadWholeFile(LiberationSans);
  if (Liberation.empty()) GTEST_SKIP() << LiberationSans << " is not installed";
  // Arial is served by its metric-compatible substitute, whose file is read whole.
  EXPECT_NE(std::find(List.begin(), List.end(), "Arial"), List.end());
  const auto File = TSystemFonts::Installed().FontFile("Arial", false, false, MaxSystemFontFile);
  EXPECT_FALSE(File.Error);
  EXPECT_EQ(File.Bytes, Liberation);
  const auto Arial = TPDFSubstituteFonts::Installed().Substitute("Helvetica", 32);
  EXPECT_EQ(Arial->Parser->AdvanceOf(Arial->Parser->GlyphIndexOfName("A")), 1366u * 1000 / 2048);
  // A file above the limit gives its size and no bytes.
  const auto Small = TSystemFonts::Installed().FontFile("Arial", false, false, 1000);
  EXPECT_EQ(Small.Size, Liberation.size());
  EXPECT_TRUE(Small.Bytes.empty());
}

}  // namespace
