// The text funnel: joining fragments into blocks and writing rows.
#include "uPDFTextFunnel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "uPDFExtra.h"

namespace {

using TMatrix = TPDFTextFunnel::TMatrix;
using TPoint = TPDFTextFunnel::TPoint;
using TBlock = TPDFTextFunnel::TBlock;

constexpr TMatrix Identity = {1, 0, 0, 1, 0, 0};
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// A fragment in its own coordinates.
struct TFragment {
  TMatrix Matrix = Identity;
  std::string Text;
  std::string Color = "#000000";
  std::string FontName = "Helvetica";
  double Size = 12;
  double X = 0, Y = 0, W = 10, H = 12;
  bool Merge = true;
};

void Add(TPDFTextFunnel& Funnel, const TFragment& F) {
  Funnel.SetMergeEnabled(F.Merge);
  Funnel.AddFragment(F.Matrix, F.Text, F.Color, F.FontName, F.Size, F.X, F.Y, F.W, F.H);
}

// A fragment of width W and height 12 at (X, Y) under the identity matrix.
TFragment At(std::string Text, double X, double Y = 0, double W = 10) {
  TFragment F;
  F.Text = std::move(Text);
  F.X = X;
  F.Y = Y;
  F.W = W;
  return F;
}

std::vector<std::string> Texts(const TPDFTextFunnel& Funnel) {
  std::vector<std::string> Out;
  for (const auto& B : Funnel.Blocks()) Out.push_back(B.Text);
  return Out;
}

// ---------------------------------------------------------------------------
// Joining

TEST(TextFunnelJoin, GapAgainstSizeDecidesSpaceOrNewBlock) {
  // The first fragment spans x 0..10, so the second starts Gap after its end;
  // Size 12 gives the thresholds 2.4 and 12, both strict.
  struct Case {
    double Gap;
    std::vector<std::string> Expected;
  } Cases[] = {
      {0, {"AB"}},         {1.5, {"AB"}},      {2.3, {"AB"}},      {2.4, {"A B"}},
      {6, {"A B"}},        {11.9, {"A B"}},    {12, {"A", "B"}},   {30, {"A", "B"}},
      {-1.5, {"AB"}},      {-6, {"A B"}},      {-12, {"A", "B"}},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    Add(Funnel, At("A", 0));
    Add(Funnel, At("B", 10 + C.Gap));
    EXPECT_EQ(Texts(Funnel), C.Expected) << "gap " << C.Gap;
  }
}

// A whole fragment (a recognised word) joins a block as a word of its own:
// with a space even where the gap would join it to the word before.
TEST(TextFunnelJoin, WholeFragmentsAreWordsOfTheirOwn) {
  TPDFTextFunnel Funnel;
  Add(Funnel, At("Schedule", 0));
  Funnel.AddFragment(Identity, "A", "#000000", "Helvetica", 12, 10.5, 0, 10, 12, 0, 0, true);
  EXPECT_EQ(Texts(Funnel), std::vector<std::string>{"Schedule A"});
  Funnel.Clear();
  Funnel.KeepWords = true;
  Funnel.AddFragment(Identity, "A", "#000000", "Helvetica", 12, 0, 0, 10, 12, 0, 0, true);
  ASSERT_EQ(Funnel.Words().size(), 1u);
  EXPECT_TRUE(Funnel.Words()[0].Whole);
}

TEST(TextFunnelJoin, DistanceIsMeasuredInBothDirections) {
  // 3-4-5: the second fragment starts 5 units from the block's end.
  struct Case {
    double Size;
    std::vector<std::string> Expected;
  } Cases[] = {{30, {"AB"}}, {25, {"A B"}}, {6, {"A B"}}, {5, {"A", "B"}}};
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    TFragment A = At("A", 0), B = At("B", 13, 4);
    A.Size = B.Size = C.Size;
    Add(Funnel, A);
    Add(Funnel, B);
    EXPECT_EQ(Texts(Funnel), C.Expected) << "size " << C.Size;
  }
}

TEST(TextFunnelJoin, FontMatrixKeyAndColourMustMatch) {
  struct Case {
    const char* Name;
    TFragment Second;
    size_t Blocks;
  } Cases[] = {
      {"same", At("B", 10), 1},
      {"colour", [] { auto F = At("B", 10); F.Color = "#FF0000"; return F; }(), 2},
      {"font", [] { auto F = At("B", 10); F.FontName = "Times"; return F; }(), 2},
      {"font case", [] { auto F = At("B", 10); F.FontName = "helvetica"; return F; }(), 2},
      // Same start point in device space, other matrix key.
      {"matrix a", [] { auto F = At("B", 5); F.Matrix = {2, 0, 0, 1, 0, 0}; return F; }(), 2},
      {"matrix b", [] { auto F = At("B", 10); F.Matrix = {1, 0.1, 0, 1, 0, 0}; return F; }(), 2},
      {"matrix c", [] { auto F = At("B", 10); F.Matrix = {1, 0, 0.1, 1, 0, 0}; return F; }(), 2},
      {"matrix d", [] { auto F = At("B", 10); F.Matrix = {1, 0, 0, 2, 0, 0}; return F; }(), 2},
      // Differs only past the fourth decimal: the key is the same.
      {"key digits", [] { auto F = At("B", 10); F.Matrix = {1.00001, 0, 0, 1, 0, 0}; return F; }(), 1},
      // The translation is not part of the key.
      {"translation", [] { auto F = At("B", 0); F.Matrix = {1, 0, 0, 1, 10, 0}; return F; }(), 1},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    Add(Funnel, At("A", 0));
    Add(Funnel, C.Second);
    EXPECT_EQ(Funnel.Blocks().size(), C.Blocks) << C.Name;
  }
}

TEST(TextFunnelJoin, JoinsTheEarliestQualifyingBlock) {
  TPDFTextFunnel Funnel;
  Add(Funnel, At("first", 0, 0));     // ends at (10, 0)
  Add(Funnel, At("second", 0, 100));  // ends at (10, 100)
  Add(Funnel, At("third", 0, 200));
  Add(Funnel, At("+", 10, 0));        // starts at the first block's end
  EXPECT_EQ(Texts(Funnel), (std::vector<std::string>{"first+", "second", "third"}));

  // Two blocks end at the same point: the older one wins.
  TPDFTextFunnel Twins;
  Add(Twins, At("a", 0));
  Add(Twins, At("b", -10, 0, 20));
  Add(Twins, At("c", 10));
  EXPECT_EQ(Texts(Twins), (std::vector<std::string>{"ac", "b"}));

  // A join without space beats an earlier block that only allows one with a
  // space.
  TPDFTextFunnel Passes;
  Add(Passes, At("near", 0, 0));        // ends at (10, 0)
  Add(Passes, At("exact", -10, 8, 20));  // ends at (10, 8)
  Add(Passes, At("+", 10, 8));
  EXPECT_EQ(Texts(Passes), (std::vector<std::string>{"near", "exact+"}));
}

TEST(TextFunnelJoin, NeverAcrossAnotherBlocksText) {
  // Code set upright (Helvetica) with argument names slanted (Oblique), as
  // attr(object, name): the name may not join "object" across the comma.
  auto Font = [](TFragment F, const char* Name) {
    F.FontName = Name;
    return F;
  };
  auto Up = [&](std::string T, double X, double W, double Y = 0) { return Font(At(std::move(T), X, Y, W), "Helvetica"); };
  auto Slant = [&](std::string T, double X, double W, double Y = 0) {
    return Font(At(std::move(T), X, Y, W), "Helvetica-Oblique");
  };
  struct Case {
    const char* What;
    std::vector<TFragment> Fragments;
    std::vector<std::string> Blocks;
  } Cases[] = {
      {"another font's text in the gap", {Up("attr(", 0, 30), Slant("object", 30, 36), Up(", ", 66, 6), Slant("name", 72, 24), Up(")", 96, 4)},
       {"attr(", "object", ", ", "name", ")"}},
      {"an empty gap still joins with a space", {Slant("object", 30, 36), Slant("name", 72, 24)}, {"object name"}},
      {"a blank fragment in the gap does not count", {Slant("object", 30, 36), Up(" ", 66, 6), Slant("name", 72, 24)},
       {"object name", " "}},
      {"text on another baseline does not count", {Slant("x", 0, 6), Up("2", 6, 4, 5), Slant("y", 10, 6)}, {"x y", "2"}},
      // "b" reaches 0.05 into the gap after "a", "c" 0.05 before "d": less
      // than Size / 100.
      {"edges that only touch the ends do not count",
       {Slant("a", 0, 10), Up("b", 5, 5.05), Up("c", 20.95, 10), Slant("d", 21, 10)}, {"a d", "b c"}},
      // "e" is as near the end of both; "|" lies in the gap of the first only.
      {"a block blocked by text joins a later one that is not",
       {Slant("ab", -40, 50), Slant("cd", -40, 50, 4), Up("|", 10, 2), Slant("e", 12, 5, 2)}, {"ab", "cd e", "|"}},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    for (const auto& F : C.Fragments) Add(Funnel, F);
    EXPECT_EQ(Texts(Funnel), C.Blocks) << C.What;
  }
  // The same line turned a quarter: along the text, not along x.
  TPDFTextFunnel Turned;
  for (TFragment F : Cases[0].Fragments) {
    F.Matrix = {0, 1, -1, 0, 300, 100};
    Add(Turned, F);
  }
  EXPECT_EQ(Texts(Turned), Cases[0].Blocks);
}

TEST(TextFunnelJoin, ExtendingMovesTheEndAndKeepsTheStart) {
  TPDFTextFunnel Funnel;
  TFragment A = At("A", 0, 0, 10), B = At("B", 16, 0, 10), C = At("C", 26, 0, 10);
  B.Size = 24;  // the size of the block stays that of its first fragment
  Add(Funnel, A);
  Add(Funnel, B);
  Add(Funnel, C);
  Add(Funnel, At("D", 10));  // the block no longer ends at x 10
  ASSERT_EQ(Funnel.Blocks().size(), 2u);
  const TBlock& Block = Funnel.Blocks()[0];
  EXPECT_EQ(Block.Text, "A BC");
  EXPECT_EQ(Block.Size, 12);
  EXPECT_EQ(Block.P0.X, 0);
  EXPECT_EQ(Block.P1.X, 36);
  EXPECT_EQ(Block.P2.X, 36);
  EXPECT_EQ(Block.P2.Y, 12);
  EXPECT_EQ(Block.P3.X, 0);
  EXPECT_EQ(Block.P3.Y, 12);
  EXPECT_EQ(Funnel.Blocks()[1].Text, "D");
}

TEST(TextFunnelJoin, TouchingTheStartDoesNotJoin) {
  for (double X : {90.0, 100.0}) {  // ending where the block starts, starting there
    TPDFTextFunnel Funnel;
    Add(Funnel, At("block", 100, 0, 50));
    Add(Funnel, At("touch", X, 0, 10));
    EXPECT_EQ(Texts(Funnel), (std::vector<std::string>{"block", "touch"})) << X;
  }
}

TEST(TextFunnelJoin, MergeEnabledFalseStartsABlockOnce) {
  TPDFTextFunnel Funnel;
  EXPECT_TRUE(Funnel.MergeEnabled());
  Add(Funnel, At("one", 0));
  Funnel.SetMergeEnabled(false);
  EXPECT_FALSE(Funnel.MergeEnabled());
  Funnel.AddFragment(Identity, "two", "#000000", "Helvetica", 12, 10, 0, 10, 12);
  EXPECT_TRUE(Funnel.MergeEnabled());
  Funnel.AddFragment(Identity, "three", "#000000", "Helvetica", 12, 26, 0, 10, 12);
  EXPECT_EQ(Texts(Funnel), (std::vector<std::string>{"one", "two three"}));
}

TEST(TextFunnelJoin, SizesAndCoordinatesOutOfTheOrdinary) {
  struct Case {
    const char* Name;
    double Size, X;
    std::vector<std::string> Expected;
  } Cases[] = {
      {"zero size", 0, 10, {"A", "B"}},
      {"negative size", -12, 10, {"A", "B"}},
      {"NaN size", NaN, 10, {"A", "B"}},
      {"infinite size", Inf, 1e150, {"AB"}},
      {"huge size", 1e300, 1e150, {"AB"}},
      {"square overflows", Inf, 1e300, {"A", "B"}},  // the distance itself is infinite
      {"NaN start", 12, NaN, {"A", "B"}},
      {"infinite start", 12, Inf, {"A", "B"}},
      {"far away", 12, 1e300, {"A", "B"}},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    TFragment B = At("B", C.X);
    B.Size = C.Size;
    Add(Funnel, At("A", 0));
    Add(Funnel, B);
    EXPECT_EQ(Texts(Funnel), C.Expected) << C.Name;
  }
  // A block whose end is not finite is never continued.
  TPDFTextFunnel Funnel;
  Add(Funnel, At("A", NaN));
  Add(Funnel, At("B", Inf));
  Add(Funnel, At("C", NaN));
  Add(Funnel, At("D", Inf));
  EXPECT_EQ(Funnel.Blocks().size(), 4u);
}

TEST(TextFunnelJoin, FarCoordinatesStillJoin) {
  // Near and past the point where cells of one or two sizes run out of
  // numbers (2^40 of them).
  const double Edge = 12 * 1099511627776.0;
  for (double Base : {1e13, -1e13, 1e15, -3e15, Edge - 16, Edge - 8, Edge, -Edge - 24, -Edge - 4, 2 * Edge - 16,
                      2 * Edge - 4, -2 * Edge - 8}) {
    TPDFTextFunnel Funnel;
    for (int I = 0; I < 20; ++I) Add(Funnel, At("x", 0, I * 100));  // cells near the origin
    Add(Funnel, At("A", Base, 0, 8));
    Add(Funnel, At("B", Base + 8, 0, 8));
    Add(Funnel, At("C", Base + 20, 0, 8));
    EXPECT_EQ(Funnel.Blocks().back().Text, "AB C") << Base;
  }
}

TEST(TextFunnelJoin, ClearRemovesEveryBlock) {
  TPDFTextFunnel Funnel;
  for (int I = 0; I < 50; ++I) Add(Funnel, At("w", I * 30.0, 0));
  Funnel.Clear();
  EXPECT_TRUE(Funnel.Blocks().empty());
  EXPECT_EQ(Funnel.GetRows(), "");
  Add(Funnel, At("A", 0));
  Add(Funnel, At("B", 10));
  EXPECT_EQ(Texts(Funnel), (std::vector<std::string>{"AB"}));
}

// ---------------------------------------------------------------------------
// Rows

TEST(TextFunnelRows, NoFragmentsGiveNoText) {
  TPDFTextFunnel Funnel;
  EXPECT_EQ(Funnel.GetRows(), "");
}

TEST(TextFunnelRows, RowOfOneBlock) {
  TPDFTextFunnel Funnel;
  TFragment F = At("Hello", 72, 697.2, 26.5);
  Add(Funnel, F);
  EXPECT_EQ(Funnel.GetRows(),
            "\"Helvetica\",#000000,12.00,72.0000,697.2000,98.5000,697.2000,98.5000,709.2000,72.0000,709.2000,"
            "\"Hello\"\r\n");
  EXPECT_EQ(Funnel.Blocks()[0].MatrixKey, "1.00000.00000.00001.0000");
}

TEST(TextFunnelRows, MatrixMapsTheBoxAndGivesTheKey) {
  // Glyph space scaled by 12 and moved to (72, 700); box 0..2.2 by -0.2..0.8.
  TPDFTextFunnel Funnel;
  Funnel.AddFragment({12, 0, 0, 12, 72, 700}, "Hi", "#1A2B3C", "F1", 12, 0, -0.25, 2.5, 1);
  Funnel.AddFragment({0, 1.5, -1.5, 0, 0, 0}, "R", "#000000", "F1", 1.5, 10, 0, 2, 1);
  EXPECT_EQ(Funnel.GetRows(),
            "\"F1\",#1A2B3C,12.00,72.0000,697.0000,102.0000,697.0000,102.0000,709.0000,72.0000,709.0000,\"Hi\"\r\n"
            "\"F1\",#000000,1.50,0.0000,15.0000,0.0000,18.0000,-1.5000,18.0000,-1.5000,15.0000,\"R\"\r\n");
  EXPECT_EQ(Funnel.Blocks()[0].MatrixKey, "12.00000.00000.000012.0000");
  EXPECT_EQ(Funnel.Blocks()[1].MatrixKey, "0.00001.5000-1.50000.0000");
}

TEST(TextFunnelRows, NumbersAreCutNotRounded) {
  TPDFTextFunnel Funnel;
  Funnel.AddFragment(Identity, "x", "#000000", "F", 11.999, 2.99999, -0.5, 0.000001, 1e-7);
  EXPECT_EQ(Funnel.GetRows(),
            "\"F\",#000000,11.99,2.9999,-0.5000,2.9999,-0.5000,2.9999,-0.4999,2.9999,-0.4999,\"x\"\r\n");
}

TEST(TextFunnelRows, TextAndFontNameAreEscaped) {
  struct Case {
    const char* Name;
    std::string Text, FontName, Expected;
  } Cases[] = {
      {"quote and backslash", "say \"a\\b\"", "F", "\"F\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,10.0000,"
                                                    "12.0000,0.0000,12.0000,\"say \\\"a\\\\b\\\"\"\r\n"},
      {"CR LF", "one\r\ntwo", "F", "\"F\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,10.0000,12.0000,0.0000,"
                                   "12.0000,\"one \ntwo\"\r\n"},
      {"lone CR", "a\rb", "F", "\"F\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,10.0000,12.0000,0.0000,"
                               "12.0000,\"a b\"\r\n"},
      {"comma and zero", std::string("a,b\0c", 5), "F",
       "\"F\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,10.0000,12.0000,0.0000,12.0000,\"a,b" +
           std::string(1, '\0') + "c\"\r\n"},
      // The font name keeps a CR; quotes and backslashes are escaped there too.
      {"font name", "t", "A\"B\\C\rD", "\"A\\\"B\\\\C\rD\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,"
                                      "10.0000,12.0000,0.0000,12.0000,\"t\"\r\n"},
      {"empty", "", "", "\"\",#000000,12.00,0.0000,0.0000,10.0000,0.0000,10.0000,12.0000,0.0000,"
                        "12.0000,\"\"\r\n"},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    Funnel.AddFragment(Identity, C.Text, "#000000", C.FontName, 12, 0, 0, 10, 12);
    EXPECT_EQ(Funnel.GetRows(), C.Expected) << C.Name;
  }
}

TEST(TextFunnelRows, OriginAndScaleMirrorCoordinates) {
  // A block from (100, 100) to (150, 112).
  struct Case {
    int Origin;
    double Scale;
    const char* Coordinates;
  } Cases[] = {
      {0, 1, "100.0000,100.0000,150.0000,100.0000,150.0000,112.0000,100.0000,112.0000"},
      {1, 1, "100.0000,692.0000,150.0000,692.0000,150.0000,680.0000,100.0000,680.0000"},
      {2, 1, "512.0000,692.0000,462.0000,692.0000,462.0000,680.0000,512.0000,680.0000"},
      {3, 1, "512.0000,100.0000,462.0000,100.0000,462.0000,112.0000,512.0000,112.0000"},
      {0, 2, "200.0000,200.0000,300.0000,200.0000,300.0000,224.0000,200.0000,224.0000"},
      {1, 0.5, "50.0000,742.0000,75.0000,742.0000,75.0000,736.0000,50.0000,736.0000"},
      {2, 0.5, "562.0000,742.0000,537.0000,742.0000,537.0000,736.0000,562.0000,736.0000"},
      {4, 1, "100.0000,100.0000,150.0000,100.0000,150.0000,112.0000,100.0000,112.0000"},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    Funnel.Origin = C.Origin;
    Funnel.Scale = C.Scale;
    Funnel.PageWidth = 612;
    Funnel.PageHeight = 792;
    Add(Funnel, At("t", 100, 100, 50));
    // The size is never scaled.
    EXPECT_EQ(Funnel.GetRows(), std::string("\"Helvetica\",#000000,12.00,") + C.Coordinates + ",\"t\"\r\n")
        << "origin " << C.Origin << " scale " << C.Scale;
  }
}

// The rows as values: the start corner as its text reads back, the text with
// CR as a space; refused (nothing moved) where a row would not read back whole.
TEST(TextFunnelRows, TakeRowsGivesWhatTheRowsSay) {
  struct Case {
    const char* Name;
    int Origin;
    double Scale;
    std::string Text, FontName, Color;
    double X, Y;
    bool Taken;
    // When taken: the start corner as the row writes it, and the text read.
    const char *RowX, *RowY;
    std::string RowText;
  } Cases[] = {
      {"plain", 0, 1, "Hello", "F", "#000000", 72.5, 700.25, true, "72.5000", "700.2500", "Hello"},
      {"cut to 4 decimals", 0, 1, "t", "F", "#000000", 2.99999, -0.123456, true, "2.9999", "-0.1234", "t"},
      {"mirrored and scaled", 2, 0.5, "t", "F", "#000000", 100, 100, true, "562.0000", "742.0000", "t"},
      {"millimetres", 1, 25.4 / 72, "t", "F", "#000000", 100, 100, true, "35.2777", "756.7222", "t"},
      {"quotes, backslashes, commas, CR", 0, 1, "a\"b\\c,d\re", "A\"B\\C,D", "#000000", 1, 2, true, "1.0000",
       "2.0000", "a\"b\\c,d e"},
      // The integer part is read as a 32-bit integer: beyond it only the
      // fraction is left.
      {"too large for the integer part", 0, 1, "t", "F", "#000000", 3e9 + 0.5, -3e9, true, "3000000000.5000",
       "-3000000000.0000", "t"},
      {"line feed in the text", 0, 1, "a\nb", "F", "#000000", 1, 2, false, "", "", ""},
      {"zero byte in the text", 0, 1, std::string("a\0b", 3), "F", "#000000", 1, 2, false, "", "", ""},
      {"CR in the font name", 0, 1, "t", "F\rG", "#000000", 1, 2, false, "", "", ""},
      {"LF in the font name", 0, 1, "t", "F\nG", "#000000", 1, 2, false, "", "", ""},
      {"zero byte in the font name", 0, 1, "t", std::string("F\0", 2), "#000000", 1, 2, false, "", "", ""},
      {"comma in the colour", 0, 1, "t", "F", "#0,0", 1, 2, false, "", "", ""},
      {"quote in the colour", 0, 1, "t", "F", "#0\"0", 1, 2, false, "", "", ""},
      {"backslash in the colour", 0, 1, "t", "F", "#0\\0", 1, 2, false, "", "", ""},
  };
  for (const auto& C : Cases) {
    TPDFTextFunnel Funnel;
    Funnel.Origin = C.Origin;
    Funnel.Scale = C.Scale;
    Funnel.PageWidth = 612;
    Funnel.PageHeight = 792;
    // One clean block before the case's, so that a refusal is for the page.
    Funnel.AddFragment(Identity, "first", "#000000", "F", 12, 300, 300, 10, 12);
    Funnel.AddFragment(Identity, C.Text, C.Color, C.FontName, 12, C.X, C.Y, 10, 12);
    const std::string Rows = Funnel.GetRows();
    std::vector<TPDFTextFunnel::TRow> Taken = {{1, 2, "left alone"}};
    ASSERT_EQ(Funnel.TakeRows(Taken), C.Taken) << C.Name;
    if (!C.Taken) {
      ASSERT_EQ(Taken.size(), 1u) << C.Name;
      EXPECT_EQ(Taken[0].Text, "left alone") << C.Name;
      EXPECT_EQ(Funnel.GetRows(), Rows) << C.Name;
      continue;
    }
    ASSERT_EQ(Taken.size(), 2u) << C.Name;
    EXPECT_EQ(Taken[0].Text, "first") << C.Name;
    EXPECT_NE(Rows.find(std::string(",12.00,") + C.RowX + "," + C.RowY + ","), std::string::npos) << C.Name;
    EXPECT_EQ(Taken[1].X, StrToNumber(C.RowX)) << C.Name;
    EXPECT_EQ(Taken[1].Y, StrToNumber(C.RowY)) << C.Name;
    EXPECT_EQ(Taken[1].Text, C.RowText) << C.Name;
  }
}

// ---------------------------------------------------------------------------
// The indexed search against a plain search over all blocks

// The joining rules written as directly as possible: two passes over all
// blocks in creation order.
class TPlainFunnel {
 public:
  int Origin = 0;
  double Scale = 1, PageWidth = 0, PageHeight = 0;

  void Add(const TFragment& F) {
    const auto& M = F.Matrix;
    auto Map = [&](double X, double Y) { return TPoint{M[0] * X + M[2] * Y + M[4], M[1] * X + M[3] * Y + M[5]}; };
    const TPoint Q0 = Map(F.X, F.Y), Q1 = Map(F.X + F.W, F.Y), Q2 = Map(F.X + F.W, F.Y + F.H),
                 Q3 = Map(F.X, F.Y + F.H);
    const std::string Key =
        FormatNumber(0, 4, M[0]) + FormatNumber(0, 4, M[1]) + FormatNumber(0, 4, M[2]) + FormatNumber(0, 4, M[3]);
    // The unit direction of the text; none for a matrix without one.
    double UX = M[0], UY = M[1];
    const double Length = std::hypot(UX, UY);
    if (Length > 0 && std::isfinite(Length)) {
      UX /= Length;
      UY /= Length;
    } else {
      UX = UY = 0;
    }
    // Another block's text between block B's end and Q0: an edge of another
    // block's fragment with both ends within Size / 4 of B's baseline that
    // covers more than Size / 100 of the stretch from B's end to Q0.
    auto Between = [&](size_t B) {
      const TPoint P1 = FBlocks[B].P1;
      auto Along = [&](TPoint P) { return (P.X - P1.X) * UX + (P.Y - P1.Y) * UY; };
      auto Across = [&](TPoint P) { return std::fabs((P.Y - P1.Y) * UX - (P.X - P1.X) * UY); };
      const double L = Along(Q0);
      if (!(L > F.Size / 100)) return false;
      for (const auto& [Block, S0, S1] : FEdges) {
        if (Block == B || !(Across(S0) <= F.Size / 4 && Across(S1) <= F.Size / 4)) continue;
        const double Lo = std::min(Along(S0), Along(S1)), Hi = std::max(Along(S0), Along(S1));
        if (std::min(Hi, L) - std::max(Lo, 0.0) > F.Size / 100) return true;
      }
      return false;
    };
    size_t Joined = FBlocks.size();
    if (F.Merge) {
      for (int Pass = 1; Pass <= 2 && Joined == FBlocks.size(); ++Pass) {
        const double Limit = Pass == 1 ? F.Size / 5 : F.Size;
        for (size_t I = 0; I < FBlocks.size(); ++I) {
          TBlock& B = FBlocks[I];
          if (B.FontName != F.FontName || B.MatrixKey != Key || B.Color != F.Color) continue;
          const double DX = B.P1.X - Q0.X, DY = B.P1.Y - Q0.Y;
          if (std::sqrt(DX * DX + DY * DY) < Limit && !Between(I)) {
            B.Text += (Pass == 1 ? "" : " ") + F.Text;
            B.P1 = Q1;
            B.P2 = Q2;
            Joined = I;
            break;
          }
        }
      }
    }
    if (Joined == FBlocks.size()) FBlocks.push_back(TBlock{Q0, Q1, Q2, Q3, F.Text, F.FontName, Key, F.Color, F.Size});
    if (F.Text.find_first_not_of(std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0B\x0C\r\x0E\x0F"
                                             "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F ",
                                             33)) != std::string::npos)
      FEdges.push_back({Joined, Q0, Q1});
  }

  std::string Rows() const {
    auto Quote = [](std::string S) {
      std::string Out = "\"";
      for (char C : S) Out += C == '"' ? "\\\"" : C == '\\' ? "\\\\" : std::string(1, C);
      return Out + "\"";
    };
    std::string Out;
    for (const TBlock& B : FBlocks) {
      std::string Text = B.Text;
      for (char& C : Text) C = C == '\r' ? ' ' : C;
      Out += Quote(B.FontName) + "," + B.Color + "," + FormatNumber(0, 2, B.Size);
      for (const TPoint& P : {B.P0, B.P1, B.P2, B.P3}) {
        const double X = P.X * Scale, Y = P.Y * Scale;
        Out += "," + FormatNumber(0, 4, Origin == 2 || Origin == 3 ? PageWidth - X : X);
        Out += "," + FormatNumber(0, 4, Origin == 1 || Origin == 2 ? PageHeight - Y : Y);
      }
      Out += "," + Quote(Text) + "\r\n";
    }
    return Out;
  }

  size_t BlockCount() const { return FBlocks.size(); }

 private:
  struct TEdge {
    size_t Block;
    TPoint S0, S1;
  };
  std::vector<TBlock> FBlocks;
  std::vector<TEdge> FEdges;  // the bottom edge of every fragment whose text is not blank
};

// Fragments of a page: mostly words that continue an earlier fragment after a
// gap near the thresholds, some scattered on a coarse lattice (so that ends and
// starts coincide), a few with sizes or coordinates out of the ordinary.
std::vector<TFragment> RandomFragments(uint32_t Seed, int Count) {
  std::mt19937 Rng(Seed);
  auto Pick = [&](auto const& List) { return List[std::uniform_int_distribution<size_t>(0, List.size() - 1)(Rng)]; };
  auto Chance = [&](double P) { return std::uniform_real_distribution<double>(0, 1)(Rng) < P; };
  const std::vector<std::string> Fonts = {"Helvetica", "Times-Roman", "F3"};
  const std::vector<std::string> Colors = {"#000000", "#FF0000"};
  const std::vector<TMatrix> Matrices = {Identity, {1.00003, 0, 0, 1, 0.25, 0}, {0, 1, -1, 0, 600, 0},
                                         {0.5, 0, 0, 0.5, 0, 400},
                                         {1, 0, 0, 1.5, 0, 0}};
  const std::vector<double> Sizes = {12, 12, 12, 10, 10, 7.5, 24};
  const std::vector<double> OddSizes = {0, -12, NaN, Inf, 1e300, 1e-300, 1e-9, 3e5};
  const std::vector<double> OddCoordinates = {NaN, Inf, -Inf, 1e300, -1e300, 2e13, -5e14, 1e17};
  const std::vector<double> Gaps = {0, 0.5, 1.5, 2, 2.4, 2.5, 6, 9.5, 10, 12, 12.5, 30, -1, -3};

  std::vector<TFragment> Fragments;
  for (int I = 0; I < Count; ++I) {
    TFragment F;
    F.Text = "w" + std::to_string(I);
    if (Chance(0.02)) F.Text += Pick(std::vector<std::string>{"\r\n", "\"", "\\", ","});
    F.W = std::uniform_int_distribution<int>(1, 120)(Rng) * 0.5;
    if (!Fragments.empty() && Chance(0.7)) {
      // Continue a recent fragment, mostly in its own font, colour and matrix.
      const size_t Back = std::min<size_t>(Fragments.size(), 40);
      const TFragment& P = Fragments[Fragments.size() - 1 - std::uniform_int_distribution<size_t>(0, Back - 1)(Rng)];
      F.Matrix = Chance(0.9) ? P.Matrix : Pick(Matrices);
      F.FontName = Chance(0.9) ? P.FontName : Pick(Fonts);
      F.Color = Chance(0.9) ? P.Color : Pick(Colors);
      F.Size = Chance(0.9) ? P.Size : Pick(Sizes);
      F.X = P.X + P.W + Pick(Gaps);
      F.Y = P.Y + (Chance(0.8) ? 0 : Pick(std::vector<double>{0.5, -1, 2, 2.4, 6, -12, 14}));
    } else {
      F.Matrix = Pick(Matrices);
      F.FontName = Pick(Fonts);
      F.Color = Pick(Colors);
      F.Size = Pick(Sizes);
      F.X = std::uniform_int_distribution<int>(0, 120)(Rng) * 5.0;
      F.Y = std::uniform_int_distribution<int>(0, 160)(Rng) * 5.0;
    }
    if (Chance(0.01)) F.Size = Pick(OddSizes);
    if (Chance(0.01)) F.X = Pick(OddCoordinates);
    if (Chance(0.005)) F.Y = Pick(OddCoordinates);
    if (Chance(0.002)) F.W = Pick(OddCoordinates);
    F.H = std::isfinite(F.Size) ? F.Size : 12;
    F.Merge = !Chance(0.1);
    Fragments.push_back(std::move(F));
  }
  return Fragments;
}

TEST(TextFunnelIndex, ChoosesTheBlockOfThePlainSearch) {
  for (uint32_t Seed : {1u, 2u, 3u, 4u, 5u}) {
    const auto Fragments = RandomFragments(Seed, 4000);
    TPDFTextFunnel Funnel;
    TPlainFunnel Plain;
    Funnel.Origin = Plain.Origin = static_cast<int>(Seed % 4);
    Funnel.PageWidth = Plain.PageWidth = 612;
    Funnel.PageHeight = Plain.PageHeight = 792;
    for (const auto& F : Fragments) {
      Add(Funnel, F);
      Plain.Add(F);
    }
    EXPECT_LT(Plain.BlockCount(), Fragments.size() * 3 / 4) << "seed " << Seed << ": too few joins to compare";
    EXPECT_EQ(Funnel.GetRows(), Plain.Rows()) << "seed " << Seed;
  }
}

TEST(TextFunnelIndex, CoincidingEndsChooseTheBlockOfThePlainSearch) {
  // Words drawn over and over at a few spots, so that many blocks end on one
  // point; some continue them, some lie between.
  std::mt19937 Rng(7);
  const std::vector<double> Xs{0, 10, 20, 21, 40}, Widths{10, 1, 20, 30};
  for (int Round = 0; Round < 3; ++Round) {
    TPDFTextFunnel Funnel;
    TPlainFunnel Plain;
    for (int I = 0; I < 3000; ++I) {
      TFragment F = At("w" + std::to_string(I), Xs[Rng() % Xs.size()], (Rng() % 3) * 0.5, Widths[Rng() % Widths.size()]);
      F.Merge = Rng() % 10 != 0;
      Add(Funnel, F);
      Plain.Add(F);
    }
    EXPECT_EQ(Funnel.GetRows(), Plain.Rows()) << "round " << Round;
  }
  // Three blocks end on one point: each fragment that continues there takes
  // the oldest one still ending there.
  TPDFTextFunnel Funnel;
  for (const char* Word : {"one", "two", "six"}) Add(Funnel, At(Word, 0, 0, 30));
  Add(Funnel, At("+", 30));
  Add(Funnel, At("-", 30));
  EXPECT_EQ(Texts(Funnel), (std::vector<std::string>{"one+", "two-", "six"}));
}

TEST(TextFunnelIndex, CrowdedEndsChooseTheBlockOfThePlainSearch) {
  // Words drawn a hair apart at a few spots, so that a cell holds hundreds of
  // distinct ends (found by their point once the list is long), some out of
  // every query's reach and some in it; a few continue a block, a few end
  // exactly on another's, and the ends at -0 and +0 are one point.
  std::mt19937 Rng(11);
  const std::vector<double> Spots{0, 30, 31, 200}, Widths{20, 25, 30, 9, 0};
  for (int Round = 0; Round < 3; ++Round) {
    TPDFTextFunnel Funnel;
    TPlainFunnel Plain;
    for (int I = 0; I < 3000; ++I) {
      const double Spot = Spots[Rng() % Spots.size()];
      const double X = Rng() % 7 == 0 ? Spot : Spot + static_cast<double>(Rng() % 2000) * 1e-4;
      TFragment F = At("w" + std::to_string(I), X, (Rng() % 3) * 1e-5, Widths[Rng() % Widths.size()]);
      if (Rng() % 50 == 0) F.X = F.W = -0.0;
      F.Merge = Rng() % 10 != 0;
      Add(Funnel, F);
      Plain.Add(F);
    }
    EXPECT_EQ(Funnel.GetRows(), Plain.Rows()) << "round " << Round;
  }
}

TEST(TextFunnelIndex, GroupWhoseFirstSizeIsOddStillMatches) {
  // The first fragment of each group sets the grid's cell side: tiny, huge or
  // unusable sides must not change which block is chosen.
  for (double First : {1e-300, 1e-9, 1e300, 3e5, -1.0, NaN, Inf}) {
    auto Fragments = RandomFragments(99, 1500);
    for (auto& F : Fragments) {
      F.Matrix = Identity;
      F.FontName = "one";
      F.Color = "#000000";
    }
    Fragments[0].Size = First;
    Fragments[0].Merge = false;
    TPDFTextFunnel Funnel;
    TPlainFunnel Plain;
    for (const auto& F : Fragments) {
      Add(Funnel, F);
      Plain.Add(F);
    }
    EXPECT_EQ(Funnel.GetRows(), Plain.Rows()) << "first size " << First;
  }
}

TEST(TextFunnelIndex, ClearedFunnelMatchesAFreshOne) {
  TPDFTextFunnel Funnel;
  for (const auto& F : RandomFragments(7, 1000)) Add(Funnel, F);
  Funnel.Clear();
  TPlainFunnel Plain;
  for (const auto& F : RandomFragments(8, 1000)) {
    Add(Funnel, F);
    Plain.Add(F);
  }
  EXPECT_EQ(Funnel.GetRows(), Plain.Rows());
}

}  // namespace
