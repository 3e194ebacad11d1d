// The reading-order layout as data and its JSON: strings and numbers, word
// boxes on pages as they are seen, tables, and pages sent between processes.
#include "PageJSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CodePage.h"
#include "TestPDFWriter.h"
#include "main.h"
#include "uPDFEngine.h"

namespace {

using TWord = TPDFTextFunnel::TWord;

TEST(PageJSON, StringsAreValidUTF8WithEscapes) {
  struct Case {
    const char* What;
    std::string In, Expected;
  } Cases[] = {
      {"plain", "abc", "\"abc\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"control characters", std::string("a\nb\r\t\f\b\x01", 8) + std::string(1, '\0'),
       "\"a\\nb\\r\\t\\f\\b\\u0001\\u0000\""},
      {"UTF-8 kept", "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\""},
      {"a stray continuation byte", "a\x80z", "\"a\xEF\xBF\xBDz\""},
      {"an overlong form", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"a surrogate", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"a character cut at the end", "x\xE4\xB8", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"Latin-1 bytes", "caf\xE9", "\"caf\xEF\xBF\xBD\""},
  };
  for (const auto& C : Cases) {
    std::string Out;
    AppendJSONString(Out, C.In);
    EXPECT_EQ(Out, C.Expected) << C.What;
  }
}

TEST(PageJSON, NumbersHaveAtMostTwoDecimals) {
  struct Case {
    double In;
    const char* Expected;
  } Cases[] = {{12.5, "12.5"},  {3, "3"},     {-3.256, "-3.26"}, {0.004, "0"},
               {-0.001, "0"},   {612, "612"}, {1e9, "1000000000"}, {NAN, "0"},
               {INFINITY, "0"}, {0.1, "0.1"}};
  for (const auto& C : Cases) {
    std::string Out;
    AppendJSONNumber(Out, C.In);
    EXPECT_EQ(Out, C.Expected) << C.In;
  }
}

// A word of Size at baseline (X, Y) of the default user space, 0.5 Size per
// character, its box from the usual descent to the ascent.
TWord Word(double X, double Y, const std::string& Text, double Size = 10, const std::string& Font = "F") {
  const double W = 0.5 * Size * static_cast<double>(Text.size());
  return {{X, Y - 0.2 * Size}, {X + W, Y - 0.2 * Size}, {X + W, Y + 0.75 * Size}, {X, Y + 0.75 * Size}, Text, Font, Size};
}

TEST(ReadingOrderPage, BoxesOnThePageAsSeen) {
  // One word at (100, 700) on a 612 x 792 page, 20 wide (4 letters of 10),
  // from 698 to 707.5 in height; the page box, its rotation, and where the
  // word's box lands with y down from the top left corner.
  const std::vector<TWord> Words{Word(100, 700, "Word")};
  struct Case {
    TPDFPageBox Box;
    double Width, Height, X0, Y0, X1, Y1, DirX, DirY;
  } Cases[] = {
      {{0, 0, 612, 792, 0}, 612, 792, 100, 84.5, 120, 94, 1, 0},
      {{0, 0, 612, 792, 90}, 792, 612, 698, 100, 707.5, 120, 0, 1},
      {{0, 0, 612, 792, 180}, 612, 792, 492, 698, 512, 707.5, -1, 0},
      {{0, 0, 612, 792, 270}, 792, 612, 84.5, 492, 94, 512, 0, -1},
      {{50, 100, 562, 742, 0}, 512, 642, 50, 34.5, 70, 44, 1, 0},  // a crop box
  };
  for (const auto& C : Cases) {
    const TReadingPage Page = ReadingOrderPage(Words, C.Box);
    SCOPED_TRACE(C.Box.Rotation);
    EXPECT_EQ(Page.Width, C.Width);
    EXPECT_EQ(Page.Height, C.Height);
    ASSERT_EQ(Page.Blocks.size(), 1u);
    ASSERT_EQ(Page.Blocks[0].Lines.size(), 1u);
    const TReadingLine& Line = Page.Blocks[0].Lines[0];
    ASSERT_EQ(Line.Words.size(), 1u);
    const TReadingWord& W = Line.Words[0];
    EXPECT_NEAR(W.X0, C.X0, 1e-9);
    EXPECT_NEAR(W.Y0, C.Y0, 1e-9);
    EXPECT_NEAR(W.X1, C.X1, 1e-9);
    EXPECT_NEAR(W.Y1, C.Y1, 1e-9);
    EXPECT_EQ(Line.DirX, C.DirX);
    EXPECT_EQ(Line.DirY, C.DirY);
    EXPECT_EQ(Line.X0, W.X0);
    EXPECT_EQ(Page.Blocks[0].Y1, W.Y1);
  }
}

// A font that states no ascent and descent gives boxes without height: the
// word's box stands on its FontBBox about the baseline when the font has
// one, else on the usual height; upright and turned alike.
TEST(ReadingOrderPage, BoxesOfWordsWithoutHeight) {
  TWord Flat = Word(100, 700, "Flat");
  Flat.P0.Y = Flat.P1.Y = Flat.P2.Y = Flat.P3.Y = 700;
  TWord Boxed = Flat;
  Boxed.BoxTop = 0.9;
  Boxed.BoxBottom = -0.3;
  struct Case {
    const char* What;
    TWord W;
    int Rotation;
    double Y0, Y1;  // across the line, on the page as seen
  } Cases[] = {
      {"the usual height", Flat, 0, 792 - 700 - 7.5, 792 - 700 + 2},
      {"the FontBBox", Boxed, 0, 792 - 700 - 9, 792 - 700 + 3},
      {"the FontBBox, page turned", Boxed, 90, 700 - 3, 700 + 9},
  };
  for (const auto& C : Cases) {
    const TReadingPage Page = ReadingOrderPage({C.W}, {0, 0, 612, 792, C.Rotation});
    const TReadingWord& W = Page.Blocks.at(0).Lines.at(0).Words.at(0);
    EXPECT_NEAR(C.Rotation ? W.X0 : W.Y0, C.Y0, 1e-9) << C.What;
    EXPECT_NEAR(C.Rotation ? W.X1 : W.Y1, C.Y1, 1e-9) << C.What;
    EXPECT_NEAR(C.Rotation ? W.Y0 : W.X0, 100, 1e-9) << C.What;
  }
}

TEST(ReadingOrderPage, WordsLinesParagraphsTablesAndStyles) {
  // Pieces without a gap make one word; the text is the layout's text.
  std::vector<TWord> Words{Word(50, 700, "Hel", 10, "ABCDEF+Helvetica-Bold"), Word(65, 700, "lo"),
                           Word(80, 700, "world", 10, "Times-Italic")};
  TReadingPage Page = ReadingOrderPage(Words, {});
  ASSERT_EQ(Page.Blocks.size(), 1u);
  const auto& Line = Page.Blocks[0].Lines[0];
  ASSERT_EQ(Line.Words.size(), 2u);
  EXPECT_EQ(Line.Words[0].Text, "Hello");
  EXPECT_EQ(Line.Words[0].Font, "Helvetica-Bold");  // without the subset tag
  EXPECT_TRUE(Line.Words[0].Bold);
  EXPECT_FALSE(Line.Words[0].Italic);
  EXPECT_EQ(Line.Words[0].X1, 75);  // the box of both pieces
  EXPECT_TRUE(Line.Words[1].Italic);
  EXPECT_EQ(ReadingOrderText(Page), ReadingOrderLayout(Words));

  // A table: three rows of three short cells in lined-up columns, wide
  // apart; its rows come out cell by cell, an empty cell as "".
  Words.clear();
  const char* Cells[3][3] = {{"Name", "Size", "Kind"}, {"alpha", "12", "text"}, {"beta", "", "image"}};
  for (int R = 0; R < 3; ++R)
    for (int C = 0; C < 3; ++C)
      if (*Cells[R][C]) Words.push_back(Word(50 + 120 * C, 700 - 14 * R, Cells[R][C]));
  Page = ReadingOrderPage(Words, {});
  ASSERT_EQ(Page.Blocks.size(), 1u);
  EXPECT_EQ(Page.Blocks[0].Kind, TReadingBlockKind::Table);
  EXPECT_EQ(Page.Blocks[0].Rows, (std::vector<std::vector<std::string>>{
                                     {"Name", "Size", "Kind"}, {"alpha", "12", "text"}, {"beta", "", "image"}}));
  EXPECT_EQ(ReadingOrderText(Page), ReadingOrderLayout(Words));
  const std::string Json = PageJSON(Page);
  EXPECT_NE(Json.find("\"kind\":\"table\""), std::string::npos);
  EXPECT_NE(Json.find("\"rows\":[[\"Name\",\"Size\",\"Kind\"],[\"alpha\",\"12\",\"text\"],[\"beta\",\"\",\"image\"]]"),
            std::string::npos);

  // A paragraph break within a block is kept with the line that starts it.
  Words.clear();
  for (int L = 0; L < 3; ++L) Words.push_back(Word(50, 700 - 12 * L, "line line line line line line"));
  for (int L = 0; L < 3; ++L) Words.push_back(Word(50, 656 - 12 * L, "next next next next next next"));
  Page = ReadingOrderPage(Words, {});
  std::vector<bool> Starts;
  for (const auto& B : Page.Blocks)
    for (const auto& L : B.Lines) Starts.push_back(L.ParagraphStart);
  EXPECT_EQ(ReadingOrderText(Page), ReadingOrderLayout(Words));
  EXPECT_EQ(std::count(Starts.begin(), Starts.end(), true) + static_cast<long>(Page.Blocks.size()), 2);
}

TEST(ReadingOrderPage, FontStyleFromTheName) {
  struct Case {
    const char* Name;
    bool Bold, Italic;
  } Cases[] = {
      {"Helvetica", false, false},         {"Helvetica-BoldOblique", true, true}, {"Arial,BoldItalic", true, true},
      {"TimesNewRomanPS-ItalicMT", false, true}, {"NimbusRomNo9L-Medi", true, false}, {"XYZABC+CMBX10", true, false},
      {"CMTI10", false, true},             {"CMSL12", false, true},              {"CMMI10", false, false},
      {"CMR10", false, false},             {"LMRoman10-Bold", true, false},      {"SourceSansPro-Semibold", true, false},
  };
  for (const auto& C : Cases) {
    bool Bold = !C.Bold, Italic = !C.Italic;
    FontStyle(C.Name, Bold, Italic);
    EXPECT_EQ(Bold, C.Bold) << C.Name;
    EXPECT_EQ(Italic, C.Italic) << C.Name;
  }
}

TEST(ReadingOrderPage, PackedPagesComeBackWholeAndGarbleIsRefused) {
  std::vector<TWord> Words{Word(50, 700, "Hello", 10, "Helvetica-Bold"), Word(90, 700, "w\xC3\xB6rld")};
  for (int R = 0; R < 3; ++R)
    for (int C = 0; C < 3; ++C) Words.push_back(Word(50 + 120 * C, 600 - 14 * R, "cell"));
  TReadingPage Page = ReadingOrderPage(Words, {0, 0, 612, 792, 90});
  Page.Number = 7;
  const std::string Bytes = PackReadingPage(Page);
  TReadingPage Back;
  ASSERT_TRUE(UnpackReadingPage(Bytes, Back));
  EXPECT_EQ(PageJSON(Back, "vii"), PageJSON(Page, "vii"));
  // Every cut of the bytes, and bytes added, are refused.
  for (size_t Size = 0; Size < Bytes.size(); Size += 7) EXPECT_FALSE(UnpackReadingPage(Bytes.substr(0, Size), Back));
  EXPECT_FALSE(UnpackReadingPage(Bytes + "x", Back));
  // A count that claims more than the bytes hold allocates nothing for it.
  std::string Huge = Bytes;
  const uint64_t Many = uint64_t{1} << 60;
  Huge.replace(4 + 8 + 8 + 4, 8, reinterpret_cast<const char*>(&Many), 8);
  EXPECT_FALSE(UnpackReadingPage(Huge, Back));
}

TEST(PageJSON, APageReadThroughTheEngine) {
  // Two pages: upright, and turned a quarter; words placed at known points
  // in Helvetica and Helvetica-Bold.
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 7 0 R >>");
  W.Add(4, 0, "<< /Type /Page /Parent 2 0 R /Contents 7 0 R /Rotate 90 >>");
  W.Add(5, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  W.Add(6, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
  W.AddStream(7, "", "BT /F2 18 Tf 72 700 Td (Title) Tj ET BT /F1 12 Tf 72 650 Td (Body) Tj 1 0 0 1 200 650 Tm (text) Tj ET",
              true);
  W.Section().Root = "1 0 R";
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  ASSERT_TRUE(Engine.LoadFromData(W.Finish()));
  struct Placed {
    const char* Text;
    double X, Y;  // the start of the baseline, in user space
    bool Bold;
  } Expected[] = {{"Title", 72, 700, true}, {"Body", 72, 650, false}, {"text", 200, 650, false}};
  for (int Number : {1, 2}) {
    const TPageResult R = ReadPage(Engine, Number, std::nullopt, TTextType::Reading, true);
    ASSERT_TRUE(R.Layout);
    EXPECT_EQ(R.Text, "Title\r\n\r\nBody text");
    EXPECT_EQ(R.Layout->Number, Number);
    std::vector<const TReadingWord*> Words;
    for (const auto& B : R.Layout->Blocks)
      for (const auto& L : B.Lines)
        for (const auto& Word : L.Words) Words.push_back(&Word);
    ASSERT_EQ(Words.size(), 3u);
    for (size_t I = 0; I < 3; ++I) {
      const auto& E = Expected[I];
      EXPECT_EQ(Words[I]->Text, E.Text);
      EXPECT_EQ(Words[I]->Bold, E.Bold);
      // Upright: the word starts at x and its box holds the baseline 792 - y.
      // Turned: the page's left edge is at the top; x runs down, and the
      // baseline is the distance from the bottom edge.
      const double Start = Number == 1 ? Words[I]->X0 : Words[I]->Y0;
      const double Across0 = Number == 1 ? Words[I]->Y0 : Words[I]->X0;
      const double Across1 = Number == 1 ? Words[I]->Y1 : Words[I]->X1;
      const double Base = Number == 1 ? 792 - E.Y : E.Y;
      EXPECT_NEAR(Start, E.X, 0.5) << E.Text;
      EXPECT_LT(Across0, Base) << E.Text;
      EXPECT_GT(Across1, Base) << E.Text;
    }
  }
  // The positioned layout's records start where the upright page's blocks
  // do: its X is their first word's left edge, its Y (from the bottom) their
  // bottom edge.
  const TPageResult Data = ReadPage(Engine, 1, std::nullopt, TTextType::Reading, true);
  const std::string Records = ReadPage(Engine, 1, std::nullopt, TTextType::Positioned).Text;
  size_t Matched = 0;
  for (size_t At = 0; (At = Records.find("@X=", At)) != std::string::npos; ++At) {
    double X = 0, Y = 0;
    ASSERT_EQ(std::sscanf(Records.c_str() + At, "@X=%lf,Y=%lf@", &X, &Y), 2) << Records;
    for (const auto& B : Data.Layout->Blocks)
      for (const auto& L : B.Lines)
        if (std::fabs(L.Words.front().X0 - X) < 0.01 && std::fabs(L.Words.front().Y1 - (792 - Y)) < 0.01) ++Matched;
  }
  EXPECT_EQ(Matched, 2u) << Records;  // the lines "Title" and "Body text" ("text" is a record within the line)
}

}  // namespace
