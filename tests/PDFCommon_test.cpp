// Page text layouts: reflowed lines and positioned records from page rows.
#include "PDFCommon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "TestPDFWriter.h"
#include "uPDFEngine.h"

namespace {

// A row as the text funnel writes it: Helvetica, black, size 12, start corner
// (X, Y) as given, the other corners fixed, the text quoted and escaped.
std::string Row(const std::string& X, const std::string& Y, const std::string& Text) {
  std::string Quoted = "\"";
  for (char C : Text) {
    if (C == '"' || C == '\\') Quoted += '\\';
    Quoted += C;
  }
  Quoted += '"';
  return "\"Helvetica\",#000000,12.00," + X + "," + Y + ",100.0000,700.0000,100.0000,712.0000,72.0000,712.0000," +
         Quoted + "\r\n";
}

// Switches LC_NUMERIC for the life of the object and back; Active() is false
// when the locale is not installed.
class TNumericLocale {
 public:
  explicit TNumericLocale(std::initializer_list<const char*> Names) : FSaved(std::setlocale(LC_NUMERIC, nullptr)) {
    for (const char* Name : Names) {
      if (std::setlocale(LC_NUMERIC, Name)) {
        FActive = true;
        break;
      }
    }
  }
  ~TNumericLocale() { std::setlocale(LC_NUMERIC, FSaved.c_str()); }
  bool Active() const { return FActive; }

 private:
  std::string FSaved;
  bool FActive = false;
};

// ---------------------------------------------------------------------------
// Reflow

TEST(ReflowLayout, SortsSnapsAndJoinsLines) {
  struct Case {
    const char* Name;
    std::string Rows;
    const char* Expected;
  } Cases[] = {
      {"one baseline", Row("150.0000", "700.0000", "World") + Row("72.0000", "700.0000", "Hello"), "Hello  World"},
      {"snapped baseline and a second line",
       Row("150.0000", "700.0000", "B") + Row("72.0000", "698.5000", "A") + Row("72.0000", "686.0000", "C"),
       "A  B\r\nC"},
      // 701.5 snaps to 700; 703 is 3 from it and starts its own line, nearer
      // the top of the page.
      {"order found decides the snapping",
       Row("72.0000", "700.0000", "a") + Row("150.0000", "701.5000", "b") + Row("72.0000", "703.0000", "c"),
       "c\r\na  b"},
      // 698.5 snaps to the first known baseline within 2.0 (700), not to the
      // nearer 697.
      {"first known baseline wins",
       Row("72.0000", "700.0000", "a") + Row("72.0000", "697.0000", "b") + Row("150.0000", "698.5000", "c"),
       "a  c\r\nb"},
      {"tolerance is inclusive", Row("72.0000", "700.0000", "a") + Row("150.0000", "698.0000", "b"), "a  b"},
      {"just past the tolerance", Row("72.0000", "700.0000", "a") + Row("150.0000", "697.9900", "b"), "a\r\nb"},
      // Not snapped (2.004 apart), but 2.00 apart in the keys: a new line.
      {"2.00 apart in the keys", Row("72.0000", "700.0000", "a") + Row("150.0000", "697.9960", "b"), "a\r\nb"},
      {"top to bottom", Row("72.0000", "100.0000", "low") + Row("72.0000", "750.0000", "high"), "high\r\nlow"},
      // Equal positions: the text decides, ignoring the case of letters.
      {"text order ignores case", Row("72.0000", "700.0000", "B") + Row("72.0000", "700.0000", "a"), "a  B"},
      // The key holds x rounded to 2 decimals: 72.004 and 72.001 tie.
      {"x rounded in the key", Row("72.0040", "700.0000", "b") + Row("72.0010", "700.0000", "c"), "b  c"},
      {"page with no text", "", ""},
      // An empty text still takes its place; the page starts with the first
      // text that is not empty.
      {"empty texts", Row("72.0000", "750.0000", "") + Row("72.0000", "700.0000", "a") +
                          Row("72.0000", "699.0000", "b") + Row("72.0000", "600.0000", ""),
       "a  b\r\n"},
      // Above the top of the page the distance is negative; "-5.00" sorts
      // after "3.00" and, being less than 2.0 below it, joins its line.
      {"above the top of the page", Row("72.0000", "797.0000", "over") + Row("72.0000", "789.0000", "under"),
       "under  over"},
      // A distance of 10^7 or more is 11 characters wide: the fixed positions
      // then cut the text field short by one and read the last digit of x.
      {"wide distance", Row("72.0000", "-9999208.0000", "T"), "0T"},
      {"wide x", Row("-1000000.0000", "700.0000", "T"), "0T"},
  };
  for (const auto& C : Cases) EXPECT_EQ(ReflowLayout(C.Rows, 792), C.Expected) << C.Name;
}

// The layout written as directly as possible: one key text per row written
// with printf's "%10.2f%10.2f", a stable sort folding ASCII letters, and the
// first 10 characters of each key read back with strtod.
std::string PlainReflow(const std::vector<TPDFTextFunnel::TRow>& Rows, double PageHeight) {
  std::vector<double> Known;
  std::vector<std::string> Keys;
  for (const auto& Row : Rows) {
    double Y = Row.Y;
    bool Snapped = false;
    for (double K : Known)
      if (std::fabs(Y - K) <= 2.0) {
        Y = K;
        Snapped = true;
        break;
      }
    if (!Snapped) Known.push_back(Y);
    char Head[800];
    std::snprintf(Head, sizeof Head, "%10.2f%10.2f", PageHeight - Y, Row.X);
    Keys.push_back(Head + Row.Text);
  }
  const auto Fold = [](char C) {
    const auto U = static_cast<unsigned char>(C);
    return U >= 'A' && U <= 'Z' ? U + 32 : U;
  };
  std::stable_sort(Keys.begin(), Keys.end(), [&](const std::string& A, const std::string& B) {
    return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                        [&](char X, char Y) { return Fold(X) < Fold(Y); });
  });
  std::string Result;
  double LineY = 0;
  for (const std::string& Key : Keys) {
    const double Y = std::strtod(Key.substr(0, 10).c_str(), nullptr);
    const std::string T = Key.substr(std::min<size_t>(20, Key.size()));
    if (Result.empty()) {
      Result = T;
      LineY = Y;
    } else if (Y - LineY >= 2.0) {
      Result += "\r\n" + T;
      LineY = Y;
    } else {
      Result += "  " + T;
    }
  }
  return Result;
}

// Random pages against the plain layout: lines near the snapping tolerance,
// equal positions whose texts differ in letter case only, empty texts, and
// numbers too wide for their 10 characters; in the C locale and, when one is
// installed, a locale with a decimal comma.
TEST(ReflowLayout, MatchesThePlainLayout) {
  std::mt19937 Rng(7);
  auto Uniform = [&](double Lo, double Hi) { return std::uniform_real_distribution<double>(Lo, Hi)(Rng); };
  auto Index = [&](size_t N) { return std::uniform_int_distribution<size_t>(0, N - 1)(Rng); };
  const std::vector<std::string> Texts = {"", "a", "A", "b", "B", "ab", "Ab", "[x]", "_", "\xC3\xA9", "Z z", " "};
  auto Check = [&](const char* Locale) {
    for (int Page = 0; Page < 300; ++Page) {
      std::vector<TPDFTextFunnel::TRow> Rows;
      const size_t Count = Index(40);
      for (size_t I = 0; I < Count; ++I) {
        TPDFTextFunnel::TRow Row;
        const size_t Kind = Index(20);
        Row.X = Kind == 0 ? Uniform(-1e12, 1e12) : std::round(Uniform(0, 600) * 8) / 8;
        Row.Y = Kind == 1 ? Uniform(-1e12, 1e12) : Kind == 2 ? Uniform(790, 800) : std::floor(Uniform(0, 40)) * 2.5;
        if (Kind == 3) Row.Y += 0.005;  // a tie of the key's rounding
        Row.Text = Texts[Index(Texts.size())];
        Rows.push_back(Row);
      }
      const double Height = Index(2) ? 792 : 841.89;
      ASSERT_EQ(ReflowLayout(Rows, Height), PlainReflow(Rows, Height)) << Locale << " page " << Page;
    }
  };
  {
    TNumericLocale Locale({"C"});
    ASSERT_TRUE(Locale.Active());
    Check("C");
  }
  TNumericLocale Locale({"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"});
  if (Locale.Active()) Check("decimal comma");
}

TEST(ReflowLayout, UsesThePageHeight) {
  // The same rows on pages of other heights: the distance from the top only
  // shifts, the order and the lines stay.
  const std::string Rows = Row("72.0000", "100.0000", "b") + Row("72.0000", "500.0000", "a");
  for (double Height : {792.0, 1000.0, 600.0}) EXPECT_EQ(ReflowLayout(Rows, Height), "a\r\nb") << Height;
}

// ---------------------------------------------------------------------------
// Positioned

TEST(PositionedLayout, WritesOneRecordPerText) {
  struct Case {
    const char* Name;
    std::string Rows;
    const char* Expected;
  } Cases[] = {
      {"one record", Row("72.12345", "700.0000", "A"), "@X=72.12,Y=700.00@A@ENDTEXT@"},
      {"rounded", Row("72.1260", "699.9960", "A"), "@X=72.13,Y=700.00@A@ENDTEXT@"},
      // Row order, y unchanged (from the bottom of the page).
      {"two records", Row("72.0000", "100.0000", "low") + Row("72.0000", "700.0000", "high"),
       "@X=72.00,Y=100.00@low@ENDTEXT@\r\n@X=72.00,Y=700.00@high@ENDTEXT@"},
      {"empty text skipped", Row("1.0000", "2.0000", "") + Row("3.0000", "4.0000", "x"),
       "@X=3.00,Y=4.00@x@ENDTEXT@"},
      {"spaces inside are kept", Row("1.0000", "2.0000", "  x  "), "@X=1.00,Y=2.00@  x  @ENDTEXT@"},
      {"page with no text", "", ""},
      {"only empty texts", Row("1.0000", "2.0000", ""), ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(PositionedLayout(C.Rows), C.Expected) << C.Name;
}

// ---------------------------------------------------------------------------
// Reading the rows (both layouts)

TEST(PageRows, BothLayoutsReadTheSameRows) {
  struct Case {
    const char* Name;
    std::string Rows;
    const char* Reflow;
    const char* Positioned;
  } Cases[] = {
      {"comma, quote and backslash", Row("72.0000", "700.0000", "say \"hi\", a\\b"), "say \"hi\", a\\b",
       "@X=72.00,Y=700.00@say \"hi\", a\\b@ENDTEXT@"},
      // The rows after a zero byte are not read; the row it is in ends there.
      {"zero byte", Row("72.0000", "700.0000", "A") + Row("72.0000", "680.0000", std::string("B\0C", 3)) +
                        Row("72.0000", "660.0000", "D"),
       "A\r\nB", "@X=72.00,Y=700.00@A@ENDTEXT@\r\n@X=72.00,Y=680.00@B@ENDTEXT@"},
      {"zero byte in a font name", Row("72.0000", "700.0000", "A") + std::string("\"Hel\0", 5) +
                                       Row("72.0000", "680.0000", "B"),
       "A", "@X=72.00,Y=700.00@A@ENDTEXT@"},
      {"eleven fields", "\"F\",#000000,12.00,72.0000,700.0000,1,2,3,4,5,\"short\"\r\n" +
                            Row("72.0000", "650.0000", "kept"),
       "kept", "@X=72.00,Y=650.00@kept@ENDTEXT@"},
      {"thirteen fields", "\"F\",#000000,12.00,72.0000,700.0000,1,2,3,4,5,6,\"long\",extra\r\n", "long",
       "@X=72.00,Y=700.00@long@ENDTEXT@"},
      // A line feed in the text breaks the row in two; the second part has
      // one field and is skipped.
      {"line feed in the text", Row("72.0000", "700.0000", "one \ntwo") + Row("72.0000", "650.0000", "three"),
       "one \r\nthree", "@X=72.00,Y=700.00@one @ENDTEXT@\r\n@X=72.00,Y=650.00@three@ENDTEXT@"},
      {"CR, LF and no final line end",
       "\"F\",#0,1,72,700,0,0,0,0,0,0,\"a\"\r\"F\",#0,1,72,650,0,0,0,0,0,0,\"b\"\n"
       "\"F\",#0,1,72,600,0,0,0,0,0,0,\"c\"\n\r\"F\",#0,1,72,550,0,0,0,0,0,0,\"d\"",
       "a\r\nb\r\nc\r\nd",
       "@X=72.00,Y=700.00@a@ENDTEXT@\r\n@X=72.00,Y=650.00@b@ENDTEXT@\r\n@X=72.00,Y=600.00@c@ENDTEXT@\r\n"
       "@X=72.00,Y=550.00@d@ENDTEXT@"},
      // Numbers are PDF number text: anything else reads as 0.
      {"numbers that are not numbers", Row("7e1", "abc", "n"), "n", "@X=0.00,Y=0.00@n@ENDTEXT@"},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(ReflowLayout(C.Rows, 792), C.Reflow) << C.Name;
    EXPECT_EQ(PositionedLayout(C.Rows), C.Positioned) << C.Name;
  }
}

TEST(PageRows, DecimalSeparatorOfTheLocale) {
  const std::string Rows = Row("150.0000", "700.0000", "World") + Row("72.12345", "698.5000", "Hello") +
                           Row("72.0000", "686.0000", "Next");
  {
    TNumericLocale Locale({"C"});
    ASSERT_TRUE(Locale.Active());
    EXPECT_EQ(PositionedLayout(Row("72.12345", "700.0000", "A")), "@X=72.12,Y=700.00@A@ENDTEXT@");
    EXPECT_EQ(ReflowLayout(Rows, 792), "Hello  World\r\nNext");
  }
  TNumericLocale Locale({"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"});
  if (!Locale.Active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  // The records show the comma; the reflow reads its keys back with it, so
  // its text does not change.
  EXPECT_EQ(PositionedLayout(Row("72.12345", "700.0000", "A")), "@X=72,12,Y=700,00@A@ENDTEXT@");
  EXPECT_EQ(ReflowLayout(Rows, 792), "Hello  World\r\nNext");
}

// The layouts on the funnel's rows as values write what they write on the
// rows' text, on pages of fragments of every size and place, with texts and
// font names that need escaping, under each origin and scale.
TEST(PageRows, ValuesLayOutAsTheirText) {
  std::mt19937 Rng(20261210);
  auto Uniform = [&](double Lo, double Hi) { return std::uniform_real_distribution<double>(Lo, Hi)(Rng); };
  auto Pick = [&](const std::vector<std::string>& List) {
    return List[std::uniform_int_distribution<size_t>(0, List.size() - 1)(Rng)];
  };
  const std::vector<std::string> Texts = {"word", "", "  ", "say \"hi\"", "a\\b", "x,y", "cr\rhere", "Zeta", "zeta"};
  const std::vector<std::string> Fonts = {"Helvetica", "F\"1", "F\\2", "F,3"};
  struct Setting {
    int Origin;
    double Scale;
  } Settings[] = {{0, 1}, {1, 1}, {2, 0.5}, {3, 25.4 / 72}, {1, 1000}};
  for (const Setting& S : Settings) {
    for (int Page = 0; Page < 20; ++Page) {
      TPDFTextFunnel Funnel;
      Funnel.Origin = S.Origin;
      Funnel.Scale = S.Scale;
      Funnel.PageWidth = 612 * S.Scale;
      Funnel.PageHeight = 792 * S.Scale;
      for (int I = 0; I < 60; ++I) {
        // Lines a few units apart, near the snapping tolerance, and a few
        // fragments far off the page.
        const double X = I % 17 == 0 ? Uniform(-1e7, 1e7) : Uniform(0, 612);
        const double Y = I % 13 == 0 ? Uniform(-1e8, 1e8) : std::floor(Uniform(0, 60)) * 2.5 + Uniform(0, 0.01);
        Funnel.AddFragment({1, 0, 0, 1, 0, 0}, Pick(Texts) + std::to_string(I % 7), "#000000", Pick(Fonts),
                           Uniform(5, 14), X, Y, Uniform(1, 50), 10);
      }
      const std::string Rows = Funnel.GetRows();
      std::vector<TPDFTextFunnel::TRow> Values;
      ASSERT_TRUE(Funnel.TakeRows(Values));
      const double Height = 792 * S.Scale;
      ASSERT_EQ(ReflowLayout(Values, Height), ReflowLayout(Rows, Height)) << S.Origin << " " << S.Scale << " " << Page;
      ASSERT_EQ(PositionedLayout(Values), PositionedLayout(Rows)) << S.Origin << " " << S.Scale << " " << Page;
    }
  }
}

// ---------------------------------------------------------------------------
// Dispatch

TEST(GetPageTextByType, LayoutsOfAnEmptyEngine) {
  TPDFEngine Engine;  // one empty document, no page text
  for (int Type : {0, 1, 2, 3}) {
    std::string Text = "before";
    GetPageTextByType(Engine, static_cast<TTextType>(Type), Text);
    EXPECT_EQ(Text, "") << Type;
  }
  for (int Type : {4, 255}) {
    std::string Text = "before";
    GetPageTextByType(Engine, static_cast<TTextType>(Type), Text);
    EXPECT_EQ(Text, "before") << Type;
  }
}

// The layouts of a one-page file that shows Content: /F1 is Helvetica, /F2
// a composite font written vertically (Identity-V; codes 1..5 read A..E and
// advance an em down the page).
std::string PageLayout(const std::string& Content, TTextType TextType) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>");
  W.AddStream(4, "", Content, false);
  W.Add(5, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  W.Add(6, 0, "<< /Type /Font /Subtype /Type0 /BaseFont /Mincho /Encoding /Identity-V /DescendantFonts [7 0 R] "
              "/ToUnicode 8 0 R >>");
  W.Add(7, 0, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Mincho "
              "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
  W.AddStream(8, "", "begincodespacerange <0000> <FFFF> endcodespacerange 1 beginbfrange <0001> <0005> <0041> endbfrange",
              false);
  W.Section().Root = "1 0 R";
  TPDFEngine Engine;
  EXPECT_TRUE(Engine.LoadFromData(W.Finish()));
  EXPECT_EQ(Engine.SelectPage(1), 1);
  std::string Text;
  GetPageTextByType(Engine, TextType, Text);
  return Text;
}

TEST(GetPageTextByType, ReadingLayoutKeepsLettersThatFollowThemselves) {
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      // Each l of "will" shown on its own, an advance (2.66 points) apart.
      {"letters shown one by one", "BT /F1 12 Tf 72 700 Td (wi) Tj (l) Tj (l) Tj ET", "will"},
      // A bold effect: the word again, a quarter point to the right.
      {"a word drawn twice over itself", "BT /F1 12 Tf 72 700 Td (Bold) Tj ET BT /F1 12 Tf 72.25 700 Td (Bold) Tj ET",
       "Bold"},
  };
  for (const auto& C : Cases) EXPECT_EQ(PageLayout(C.Content, TTextType::Reading), C.Expected) << C.What;
}

TEST(GetPageTextByType, ReadingLayoutReadsVerticalColumnsRightToLeft) {
  // The left column is drawn first; each column reads down the page.
  const std::string Content =
      "BT /F2 12 Tf 1 0 0 1 460 700 Tm <00040005> Tj ET BT /F2 12 Tf 1 0 0 1 480 700 Tm <000100020003> Tj ET";
  EXPECT_EQ(PageLayout(Content, TTextType::Reading), "ABC\r\nDE");
}

}  // namespace
