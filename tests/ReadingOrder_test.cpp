// The reading-order layout on words made up by the tests.
#include "ReadingOrder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using TWord = TPDFTextFunnel::TWord;

// A word of Size at baseline (X, Y), 0.5 Size per character, turned by
// Degrees; its box spans the usual descent and ascent.
TWord Word(double X, double Y, const std::string& Text, double Size = 10, double Degrees = 0) {
  const double A = Degrees * M_PI / 180, C = std::cos(A), S = std::sin(A);
  const double W = 0.5 * Size * static_cast<double>(Text.size()), D = -0.2 * Size, H = 0.75 * Size;
  auto At = [&](double U, double V) { return TPDFTextFunnel::TPoint{X + U * C - V * S, Y + U * S + V * C}; };
  return {At(0, D), At(W, D), At(W, H), At(0, H), Text, "F", Size};
}

TWord Whole(TWord W) {
  W.Whole = true;
  return W;
}

TEST(ReadingOrderLayout, WordsDirectionsAndDegenerateInput) {
  struct Case {
    const char* What;
    std::vector<TWord> Words;
    std::string Expected;
  } Cases[] = {
      {"nothing", {}, ""},
      {"words of a line, with and without gaps",
       {Word(50, 700, "Hello"), Word(78, 700, "world"), Word(103, 700, "s")}, "Hello worlds"},
      {"words given out of order", {Word(78, 700, "two"), Word(50, 700, "one"), Word(50, 686, "three")},
       "one two\r\nthree"},
      {"a word drawn twice over itself shows once", {Word(50, 700, "Bold"), Word(50.2, 700, "Bold")}, "Bold"},
      {"a glyph drawn twice over itself shows once", {Word(50, 700, "wi"), Word(60, 700, "l"), Word(60.4, 700.3, "l")},
       "wil"},
      // Each l is one advance (5) after the one before: real letters.
      {"a letter that follows itself stays", {Word(50, 700, "wi"), Word(60, 700, "l"), Word(65, 700, "l")}, "will"},
      {"so does one a third of an advance on", {Word(50, 700, "wi"), Word(60, 700, "l"), Word(61.7, 700, "l")},
       "will"},
      {"a twin in another size stays", {Word(50, 700, "o", 10), Word(50, 700, "o", 12)}, "oo"},
      {"a twin on another base stays", {Word(50, 700, "-"), Word(50, 701, "-")}, "--"},
      {"a raised mark opening a line stands apart; one after a word stays with it",
       {Word(50, 704, "1", 6), Word(53, 700, "Note"), Word(78, 700, "text"), Word(98, 704, "2", 6)},
       "1 Note text2"},
      {"text running upwards reads in its own direction, after the main text",
       {Word(30, 500, "Up", 10, 90), Word(30, 520, "wards", 10, 90), Word(60, 700, "The"), Word(80, 700, "body"),
        Word(60, 686, "text")},
       "The body\r\ntext\r\n\r\nUp wards"},
      {"upside down", {Word(300, 500, "dlrow", 10, 180), Word(330, 500, "olleh", 10, 180)}, "olleh dlrow"},
      // A recognised word is a word of its own, however near the one before.
      {"a whole word after a narrow gap", {Word(50, 700, "Schedule"), Whole(Word(90.5, 700, "A"))}, "Schedule A"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ReadingOrderLayout(C.Words), C.Expected) << C.What;

  // Boxes without height (a font that states no ascent and descent), without
  // advance, and with coordinates that are not numbers.
  TWord Flat = Word(50, 700, "flat");
  Flat.P2.Y = Flat.P3.Y = Flat.P0.Y;
  TWord Point = Word(50, 680, "p");
  Point.P1 = Point.P0;
  Point.P2 = Point.P3;
  TWord Broken = Word(50, 660, "nan");
  Broken.P0.X = Broken.P1.X = Broken.P2.X = Broken.P3.X = std::numeric_limits<double>::quiet_NaN();
  const std::string Text = ReadingOrderLayout({Flat, Point, Broken});
  EXPECT_NE(Text.find("flat"), std::string::npos);
  EXPECT_NE(Text.find('p'), std::string::npos);
}

// Lines of a column: "<Name> text text ..." from (X, Top) down, 14 apart.
std::vector<TWord> Column(double X, double Top, const std::string& Name, int Lines, double Width = 240) {
  std::vector<TWord> Words;
  for (int L = 0; L < Lines; ++L) {
    const double Y = Top - 14.0 * L;
    Words.push_back(Word(X, Y, Name));
    for (double At = X + 25; At + 20 <= X + Width; At += 25) Words.push_back(Word(At, Y, "text"));
  }
  return Words;
}

std::vector<TWord> Join(std::initializer_list<std::vector<TWord>> Parts) {
  std::vector<TWord> All;
  for (const auto& P : Parts) All.insert(All.end(), P.begin(), P.end());
  return All;
}

// The first characters of each block, in order.
std::string Outline(const std::string& Text) {
  std::string Out;
  for (size_t At = 0; At < Text.size();) {
    const size_t End = std::min(Text.find("\r\n\r\n", At), Text.size());
    Out += (Out.empty() ? "" : "|") + Text.substr(At, std::min<size_t>(End - At, 4));
    At = End + 4;
  }
  return Out;
}

TEST(ReadingOrderLayout, RunningHeadsFeetAndWordsAtTheGutter) {
  const auto Left = Column(50, 700, "Left", 12), Right = Column(320, 700, "Rite", 12);
  // A word that juts a little into the gutter stays in its column, though a
  // title across both columns makes the gutter one that items cross.
  auto Jut = Left;
  Jut.push_back(Word(271, 700 - 14 * 5, "x"));  // a hair past the column's edge (270)
  struct Case {
    const char* What;
    std::vector<TWord> Words;
    std::string Expected;  // Outline of the text
  } Cases[] = {
      {"a running head over the right column comes first, a page number in the gutter last",
       Join({Left, Right, {Word(420, 760, "Head"), Word(450, 760, "7")}, {Word(292, 40, "7")}}),
       "Head|Left|Rite|7"},
      {"a title across the columns, and a word jutting into the gutter",
       Join({{Word(200, 716, "Title"), Word(230, 716, "across"), Word(265, 716, "the"), Word(285, 716, "whole"),
              Word(315, 716, "page")},
             Jut, Right}),
       "Titl|Left|Rite"},
  };
  for (const auto& C : Cases) EXPECT_EQ(Outline(ReadingOrderLayout(C.Words)), C.Expected) << C.What;

  // A line of the left column that runs far into the gutter (a line of code)
  // beside a shorter right column: no band across the page there.
  auto Long = Column(50, 700, "Left", 12);
  Long.push_back(Word(275, 700 - 14 * 7, "overflow"));  // 275-315, the right column starts at 320
  const std::string Text = ReadingOrderLayout(Join(
      {{Word(200, 716, "Title"), Word(230, 716, "across"), Word(265, 716, "the"), Word(285, 716, "whole"),
        Word(315, 716, "page")},
       Long, Column(320, 700, "Rite", 4)}));
  EXPECT_EQ(Outline(Text), "Titl|Left|Rite");
  EXPECT_NE(Text.find("text overflow\r\nLeft"), std::string::npos);

  // Words that jut into a narrow gutter from both sides, so that no strip is
  // wholly white, yet none reaches its middle: still two columns.
  auto Near = Join({Column(50, 700, "Left", 10), Column(282, 700, "Rite", 10)});
  Near.push_back(Word(266, 700 - 14 * 2, "ab"));  // 266-276
  Near.push_back(Word(278, 700 - 14 * 6, "a"));   // 278-283
  EXPECT_EQ(Outline(ReadingOrderLayout(Near)), "Left|Rite");

  // A word much taller than the line (a big operator over two lines) joins
  // one line and does not merge the two.
  TWord Big = Word(120, 693, "U", 10);
  Big.P0.Y = Big.P1.Y = 683;
  Big.P2.Y = Big.P3.Y = 713;
  EXPECT_EQ(ReadingOrderLayout({Word(50, 700, "first"), Word(80, 700, "line"), Big, Word(150, 700, "end"),
                                Word(50, 686, "second"), Word(85, 686, "line"), Word(150, 686, "too")}),
            "first line U end\r\nsecond line too");

  // A display formula beside nothing: the text below it on the left is not a
  // column of its own.
  EXPECT_EQ(ReadingOrderLayout({Word(200, 700, "x"), Word(210, 700, "="), Word(220, 700, "y"),
                                Word(50, 686, "holds"), Word(90, 686, "for"), Word(50, 672, "all")}),
            "x = y\r\nholds for\r\nall");
}

TEST(ReadingOrderLayout, TablesWithWideColumnsOfShortCells) {
  // Command, output and a wide column of names of a few words, ragged: rows.
  // Beside it two columns of prose (lines of many words filling the width)
  // stay columns, though their lines share baselines too.
  const char* Names[] = {"Astronomy and Astrophysics", "The Astronomical Journal", "Applied Optics",
                         "Astrophysics Letters and Communications", "Icarus"};
  std::vector<TWord> Table;
  for (int R = 0; R < 5; ++R) {
    const double Y = 700 - 12.0 * R;
    Table.push_back(Word(50, Y, "\\cmd" + std::to_string(R)));
    Table.push_back(Word(120, Y, "Out" + std::to_string(R)));
    double X = 190;
    for (const char* At = Names[R]; *At;) {
      const char* End = At;
      while (*End && *End != ' ') ++End;
      Table.push_back(Word(X, Y, std::string(At, End)));
      X += 5.0 * static_cast<double>(End - At) + 5;
      At = *End ? End + 1 : End;
    }
  }
  EXPECT_EQ(ReadingOrderLayout(Table).substr(0, 53), "\\cmd0 Out0 Astronomy and Astrophysics\r\n\\cmd1 Out1 The");
  EXPECT_EQ(Outline(ReadingOrderLayout(Join({Column(50, 700, "Left", 8), Column(320, 700, "Rite", 8)}))),
            "Left|Rite");

  // Two columns of short ragged lines with words broken at their ends are
  // prose, not cells.
  std::vector<TWord> Narrow;
  for (int L = 0; L < 8; ++L)
    for (double X : {50.0, 300.0}) {
      const double Y = 700 - 12.0 * L;
      Narrow.push_back(Word(X, Y, X < 100 ? "Left" : "Rite"));
      Narrow.push_back(Word(X + 25, Y, "some"));
      Narrow.push_back(Word(X + 50, Y, L % 2 ? "ex-" : "words"));
      if (L == 3) Narrow.push_back(Word(X + 80, Y, "longer line"));
    }
  EXPECT_EQ(Outline(ReadingOrderLayout(Narrow)), "Left|Rite");

  // The two columns of an index: short entries on one grid of baselines,
  // but the gaps between letter groups fall at other heights in each
  // column. Columns, each read down, not rows.
  std::vector<TWord> Index;
  for (int R = 0; R < 20; ++R)
    for (const char* Side : {"L", "R"}) {
      if ((*Side == 'L' && R == 5) || (*Side == 'R' && R == 12)) continue;
      const double X = *Side == 'L' ? 50 : 300, Y = 700 - 12.0 * R;
      Index.push_back(Word(X, Y, Side + std::to_string(R) + ","));
      Index.push_back(Word(X + 22, Y, "12"));
      if (R % 3 == 0) Index.push_back(Word(X + 37, Y, "345, 678, 910"));
    }
  EXPECT_EQ(Outline(ReadingOrderLayout(Index)), "L0, |L6, |R0, |R13,");

  // Names beside their descriptions, one of which runs over two lines: the
  // rows line up, so they are read row by row though the descriptions are
  // prose. Two columns of prose on one grid stay columns (above).
  std::vector<TWord> Described;
  for (int L = 0; L < 6; ++L) {
    const double Y = 700 - 14.0 * L;
    if (L != 3) Described.push_back(Word(50, Y, "name" + std::to_string(L)));
    for (const auto& W : Column(150, Y, "d" + std::to_string(L), 1)) Described.push_back(W);
  }
  const std::string Rows = ReadingOrderLayout(Described);
  EXPECT_EQ(Rows.substr(0, 14), "name0 d0 text ") << Rows;
  EXPECT_NE(Rows.find("\nd3 text"), std::string::npos) << Rows;
  EXPECT_NE(Rows.find("\nname4 d4 text"), std::string::npos) << Rows;

  // A table over both columns that the gutter runs through: read whole, row
  // by row, before the columns.
  std::vector<TWord> Wide;
  for (int R = 0; R < 6; ++R)
    for (int C = 0; C < 6; ++C)
      Wide.push_back(
          Word(50 + 90.0 * (C % 3) + 270 * (C / 3), 700 - 12.0 * R, "v" + std::to_string(R) + std::to_string(C)));
  const std::string Text = ReadingOrderLayout(Join({Wide, Column(50, 610, "Left", 8), Column(320, 610, "Rite", 8)}));
  EXPECT_EQ(Text.substr(0, 28), "v00 v01 v02 v03 v04 v05\r\nv10");
  EXPECT_EQ(Outline(Text), "v00 |Left|Rite");
}

TEST(ReadingOrderLayout, DisplayMathSetOneAboveTheOther) {
  // A word whose box spans Lo..Hi (a bracket or brace over two rows).
  auto Tall = [](double X, double Lo, double Hi, const std::string& Text) {
    TWord W = Word(X, Lo + 2, Text);
    W.P0.Y = W.P1.Y = Lo;
    W.P2.Y = W.P3.Y = Hi;
    return W;
  };
  struct Case {
    const char* What;
    std::vector<TWord> Words;
    std::string Expected;
  } Cases[] = {
      // Numerator and denominator overlap in x: each stays whole, the
      // numerator with what comes before, the denominator with what follows.
      {"a fraction between text",
       {Word(50, 700, "exp"), Tall(70, 696, 710, "("), Word(110, 705, "Pr(z+N=s)"), Word(108, 694, "Pr(y+N=s)"),
        Word(170, 700, "<="), Word(185, 700, "1")},
       "exp ( Pr(z+N=s)\r\nPr(y+N=s) <= 1"},
      {"the rows of cases, each read across",
       {Word(50, 700, "f"), Word(58, 700, "="), Tall(70, 696, 710, "{"), Word(82, 705, "a"), Word(100, 705, "if"),
        Word(115, 705, "x"), Word(82, 694, "bb"), Word(100, 694, "if"), Word(115, 694, "y")},
       "f = { a if x\r\nbb if y"},
      // What is not stacked stays in the line as before.
      {"a sub- and a superscript over one place",
       {Word(50, 700, "x"), Word(55, 697, "i", 7), Word(55, 704, "2", 7), Word(62, 700, "+1")}, "xi2 +1"},
      {"a small fraction in a line",
       {Word(50, 700, "take"), Word(72, 703, "1", 7), Word(72, 697, "2", 7), Word(80, 700, "cup")}, "take 12 cup"},
      {"a bar drawn in pieces",
       {Tall(45, 694, 708, "{"), Word(51, 700, "x"), Word(62, 704.5, "|"), Word(62, 694, "|"), Word(70, 700, "y}")},
       "{x || y}"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ReadingOrderLayout(C.Words), C.Expected) << C.What;

  // A tower of words each over the one before, held in one line by bars
  // beside them that each span two rows: a line for each word, and no
  // quadratic work.
  std::vector<TWord> Tower;
  for (int I = 0; I < 20000; ++I) {
    const double Y = 700 - 11.0 * I;
    Tower.push_back(Tall(30, Y - 10, Y + 8, "|"));
    Tower.push_back(Word(50, Y, "w" + std::to_string(I % 10)));
  }
  const std::string Text = ReadingOrderLayout(Tower);
  EXPECT_NE(Text.find("\r\nw1\r\nw2\r\nw3\r\n"), std::string::npos);
}

TEST(ReadingOrderLayout, LargeAndHostilePagesFinish) {
  // A staircase (every word its own column and block), a dense grid, and a
  // hundred thousand words on one page: no quadratic work, bounded
  // recursion.
  std::vector<TWord> Stairs, Grid;
  for (int I = 0; I < 20000; ++I) Stairs.push_back(Word(20.0 * I, -15.0 * I, "w"));
  for (int R = 0; R < 1000; ++R)
    for (int C = 0; C < 100; ++C) Grid.push_back(Word(8.0 * C, 12.0 * R, "ab", 4));
  for (const auto* Words : {&Stairs, &Grid}) {
    const std::string Text = ReadingOrderLayout(*Words);
    size_t Count = 0;
    for (size_t At = Text.find_first_not_of(" \r\n"); At != std::string::npos;
         At = Text.find_first_not_of(" \r\n", Text.find_first_of(" \r\n", At)))
      ++Count;
    EXPECT_EQ(Count, Words->size());
  }
}

TEST(FontStyle, NamesOfBoldAndItalicFonts) {
  struct Case {
    const char* Name;
    bool Bold, Italic;
  } Cases[] = {
      {"Helvetica", false, false},      {"Helvetica-BoldOblique", true, true}, {"ABCDEF+Arial,BoldItalic", true, true},
      {"Times-Italic", false, true},    {"CMBX10", true, false},                {"cmb10", true, false},
      {"CMTI10", false, true},          {"CMBXTI10", true, true},               {"CMSL10", false, true},
      {"CMMI10", false, false},         {"CMSSBX10", true, false},              {"CMSSI10", false, true},
      {"CMTT10", false, false},         {"CMSLTT10", false, true},              {"CMBSY10", false, false},
      {"LinLibertineT", false, false},  {"LinLibertineTB", true, false},         {"LinBiolinumTBI", true, true},
      {"LinLibertineTZ", true, false},  {"LinLibertineTI", false, true},        {"ptmb8r", true, false},
      {"ptmri8t", false, true},         {"phvro8r", false, true},               {"ptmr8r", false, false},
      {"cmr10", false, false},          {"msbm10", false, false},               {"rsfs10", false, false},
      {"SimHei", true, false},          {"FandolHei-Regular", true, false},     {"SimSun", false, false},
      {"MicrosoftYaHei", false, false}, {"WenQuanYi Zen Hei", false, false},  {"SFBX1200", true, false},
      {"SFTI1000", false, true},        {"SFRM1000", false, false},             {"SFSX1000", true, false},
  };
  for (const auto& C : Cases) {
    bool Bold = !C.Bold, Italic = !C.Italic;
    FontStyle(C.Name, Bold, Italic);
    EXPECT_EQ(Bold, C.Bold) << C.Name;
    EXPECT_EQ(Italic, C.Italic) << C.Name;
  }
}

}  // namespace
