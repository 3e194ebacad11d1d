// The content interpreter in text mode: fragments, their boxes and the
// funnel's rows, through a loaded page.
#include "uPDFRenderer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFonts.h"
#include "PDFCommon.h"
#include "TestPDFWriter.h"
#include "uPDFDocument.h"
#include "uPDFPageText.h"
#include "uPDFPageTree.h"
#include "uPDFTextFunnel.h"

namespace {

// A one-page document: /F1 is a TrueType font whose codes 72..111 all
// advance 440 (so "Hello" is 2200 glyph units) with ascent 800 and descent
// -200; /F2 Helvetica; /F3 a composite font (CIDs 1 and 2, widths 500 and
// 600, mapped to "A" and "B"). Extra objects and resources can be added.
struct TPage {
  TPDFDocument Doc;
  explicit TPage(const std::string& Content, const std::string& Resources = "",
                 const std::vector<std::pair<int, std::string>>& Objects = {}, const std::string& PageExtra = "",
                 const std::vector<std::pair<int, std::pair<std::string, std::string>>>& Streams = {},
                 const std::string& MoreFonts = "") {
    TTestPDFWriter W;
    W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
    W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
    W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R " + MoreFonts + " >> " +
                     Resources + " >> " + PageExtra + " >>");
    W.AddStream(4, "", Content, false);
    std::string Widths;
    for (int I = 72; I <= 111; ++I) Widths += "440 ";
    W.Add(5, 0, "<< /Type /Font /Subtype /TrueType /BaseFont /Test /FirstChar 72 /LastChar 111 /Widths [" + Widths +
                    "] /FontDescriptor << /Ascent 800 /Descent -200 >> >>");
    W.Add(6, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    W.Add(7, 0, "<< /Type /Font /Subtype /Type0 /BaseFont /Cjk /DescendantFonts [8 0 R] /ToUnicode 9 0 R >>");
    W.Add(8, 0, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Cjk /W [1 [500 600]] "
                "/FontDescriptor << /Ascent 900 /Descent -100 >> >>");
    W.AddStream(9, "", "begincodespacerange <0000> <FFFF> endcodespacerange beginbfchar <0001> <0041> <0002> <0042> endbfchar",
                false);
    for (const auto& [N, Body] : Objects) W.Add(N, 0, Body);
    for (const auto& [N, S] : Streams) W.AddStream(N, S.first, S.second, false);
    W.Section().Root = "1 0 R";
    EXPECT_TRUE(Doc.LoadFromData(W.Finish()));
  }
  std::string Rows(int Mode = 3) {
    TPDFTextFunnel Funnel;
    Funnel.WordMode = Mode == 4;  // the facade's setting for mode 4
    return GetPageText(Doc, Mode, &Funnel);
  }
  // The text fields of the rows, joined by "|".
  std::string Texts(int Mode = 3) {
    const std::string R = Rows(Mode);
    std::string Out;
    for (size_t Start = 0; Start < R.size();) {
      size_t End = R.find("\r\n", Start);
      if (End == std::string::npos) End = R.size();
      const std::string Row = R.substr(Start, End - Start);
      const size_t Field = Row.rfind(",\"");
      if (Field != std::string::npos) Out += (Start ? "|" : "") + Row.substr(Field + 2, Row.size() - Field - 3);
      Start = End + 2;
    }
    return Out;
  }
};

TEST(TPDFRenderer, FragmentBoxAndGlyphMatrix) {
  TPage P("BT /F1 12 Tf 72 700 Td (Hello) Tj ET");
  EXPECT_EQ(P.Rows(),
            "\"Test\",#000000,12.00,72.0000,697.6000,98.4000,697.6000,98.4000,709.6000,72.0000,709.6000,\"Hello\"\r\n");
}

TEST(TPDFRenderer, ShowsJoinAndMove) {
  struct Case {
    const char* What;
    std::string Content, Texts;
  } Cases[] = {
      {"a TJ gap below Size joins with a space", "BT /F1 12 Tf 72 700 Td [(Hel) -250 (lo)] TJ ET", "Hel lo"},
      {"the second show starts where the first ended", "BT /F1 12 Tf 72 700 Td (He) Tj (llo) Tj ET", "Hello"},
      {"Tfs 0 shows nothing and does not move", "BT /F1 0 Tf 72 700 Td (He) Tj /F1 12 Tf (llo) Tj ET", "llo"},
      {"q and Q restore the text matrix",
       "BT /F1 12 Tf 1 0 0 1 72 700 Tm q 1 0 0 1 300 300 Tm (He) Tj Q (llo) Tj ET", "He|llo"},
      {"the double-quote operator shows nothing", "BT /F1 12 Tf 72 700 Td 1 2 (Hello) \" ET", ""},
      {"quote and backslash are escaped", "BT /F2 12 Tf (a\\\"b\\\\c) Tj ET", "a\\\"b\\\\c"},
      {"a composite font: two-byte codes through ToUnicode", "BT /F3 10 Tf <00010002> Tj ET", "AB"},
      {"text before any font has no text", "BT (Hello) Tj ET", ""},
      {"an inline image is skipped",
       "BI /W 3 /H 1 /BPC 8 /CS /G ID (x) EI BT /F1 12 Tf (He) Tj ET BI /W 1 /H 1 /F /AHx ID 0( Tj EI", "He"},
      {"an unknown font keeps the previous one", "BT /F1 12 Tf (H) Tj /F9 12 Tf (e) Tj ET", "He"},
  };
  for (const auto& C : Cases) {
    TPage P(C.Content);
    EXPECT_EQ(P.Texts(), C.Texts) << C.What;
  }
}

TEST(TPDFRenderer, ColoursAndExtGState) {
  struct Case {
    const char* What;
    std::string Content, Colour;
  } Cases[] = {
      {"rgb", "1 0 0 rg", "#FF0000"},
      {"gray, halves to even", "0.5 g", "#808080"},
      {"cmyk", "0 1 1 0 k", "#FF0000"},
      {"rgb clamped", "2 -1 0.2 rg", "#FF0033"},
      {"sc in the current space", "/DeviceRGB cs 0 0 1 sc", "#0000FF"},
      {"an unknown space keeps the colour", "1 0 0 rg /Pattern cs 0.3 scn", "#FF0000"},
      {"stroke colours do not count", "0 1 0 RG", "#000000"},
  };
  for (const auto& C : Cases) {
    TPage P(C.Content + " BT /F1 12 Tf (He) Tj ET");
    EXPECT_NE(P.Rows().find("," + C.Colour + ","), std::string::npos) << C.What << ": " << P.Rows();
  }
  TPage G("BT /GS1 gs (He) Tj ET", "/ExtGState << /GS1 << /Font [6 0 R 10] >> >>");
  EXPECT_EQ(G.Rows().substr(0, 21), "\"Arial\",#000000,10.00");
}

TEST(TPDFRenderer, FormsAndAnnotations) {
  // Form 20 shifts by 100; form 21 invokes itself.
  TPage Forms("BT /F1 12 Tf 72 700 Td (H) Tj ET /Fm1 Do /Fm2 Do BT /F1 12 Tf 72 600 Td (o) Tj ET",
              "/XObject << /Fm1 20 0 R /Fm2 21 0 R >>", {}, "",
              {{20, {"<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] /Matrix [1 0 0 1 100 0] >>",
                     "BT /F1 12 Tf 72 650 Td (e) Tj ET"}},
               {21, {"<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /Me 21 0 R >> "
                     "/Font << /F1 5 0 R >> >> >>",
                     "BT /F1 12 Tf (l) Tj ET /Me Do"}}});
  const std::string Rows = Forms.Rows();
  EXPECT_NE(Rows.find("172.0000,647.6000"), std::string::npos) << Rows;  // shifted by the form's matrix
  EXPECT_NE(Rows.find("72.0000,597.6000"), std::string::npos) << Rows;   // text after the Do is not
  EXPECT_EQ(Forms.Texts(), "H|e|l|o");

  // A widget's normal appearance, offset by its Rect; hidden by flag 2.
  for (int Flags : {0, 2, 32}) {
    TPage Annot("", "", {{30, "<< /Type /Annot /Subtype /Widget /F " + std::to_string(Flags) +
                                  " /Rect [50 60 150 80] /AP << /N 31 0 R >> >>"}},
                "/Annots [30 0 R]",
                {{31, {"<< /Type /XObject /Subtype /Form /BBox [0 0 100 20] /Resources << /Font << /F1 5 0 R >> >> >>",
                       "BT /F1 10 Tf 2 5 Td (Hello) Tj ET"}}});
    const std::string R = Annot.Rows();
    if (Flags)
      EXPECT_EQ(R, "") << Flags;
    else
      EXPECT_NE(R.find("52.0000,63.0000"), std::string::npos) << R;
  }

  // Annotations are skipped unparsed only when their text cannot hold an AP
  // key: a key spelt with "#" escapes, a link without one, and an annotation
  // stored in an object stream.
  const std::string Form = "<< /Type /XObject /Subtype /Form /BBox [0 0 100 20] /Resources << /Font << /F1 5 0 R >> >> >>";
  TPage Spelt("", "",
              {{30, "<< /Type /Annot /Subtype /Widget /Rect [50 60 150 80] /#41P << /N 31 0 R >> >>"},
               {32, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Border [0 0 0] >>"}},
              "/Annots [32 0 R 30 0 R 33 0 R]", {{31, {Form, "BT /F1 10 Tf 2 5 Td (Hello) Tj ET"}}});
  EXPECT_EQ(Spelt.Texts(), "Hello");
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Annots [30 0 R 32 0 R] >>");
  W.AddStream(4, "", "", false);
  W.AddToObjStm(40, 30, "<< /Type /Annot /Subtype /Widget /Rect [50 60 150 80] /AP << /N 31 0 R >> >>");
  W.AddToObjStm(40, 32, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>");
  W.AddStream(31, Form, "BT /F1 10 Tf 2 5 Td (Packed) Tj ET", false);
  W.Add(5, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  W.Section().Form = TXRefForm::Stream;
  W.Section().Root = "1 0 R";
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
  TPDFTextFunnel Funnel;
  EXPECT_NE(GetPageText(Doc, 3, &Funnel).find("\"Packed\""), std::string::npos);
  EXPECT_TRUE(Doc.MayHoldKey(30, 0, "AP"));
  EXPECT_FALSE(Doc.MayHoldKey(32, 0, "AP"));
  EXPECT_FALSE(Doc.MayHoldKey(99, 0, "AP"));
}

TEST(TPDFRenderer, CompositeCodesTheFileGivesNoTextFor) {
  // /F4: Identity-H without ToUnicode, its descendant in the Identity
  // ordering with no program. An installed font stands in for drawing, but
  // its cmap is no source of text: the codes advance and show nothing.
  TPage P("BT /F4 12 Tf 72 700 Td <00240025001F> Tj ET", "",
          {{10, "<< /Type /Font /Subtype /Type0 /BaseFont /ArialMT /Encoding /Identity-H /DescendantFonts [11 0 R] >>"},
           {11, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ArialMT /DW 500 /W [36 [500 500]] "
                "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                "/FontDescriptor << /Flags 32 /Ascent 900 /Descent -100 >> >>"}},
          "", {}, "/F4 10 0 R");
  EXPECT_EQ(P.Rows(), "\"ArialMT\",#000000,12.00,72.0000,698.8000,90.0000,698.8000,90.0000,710.8000,72.0000,710.8000,"
                      "\"\"\r\n");
  EXPECT_EQ(P.Rows(0), "");
}

TEST(TPDFRenderer, LinesThatMixFontsKeepTheirOrder) {
  // Code upright, argument names slanted: "name" is near the end of
  // "object", but the comma between them is another block's text.
  TPage P("BT /F2 12 Tf 72 700 Td (attr\\() Tj /F5 12 Tf (object) Tj /F2 12 Tf (, ) Tj /F5 12 Tf (name) Tj "
          "/F2 12 Tf (\\)) Tj ET",
          "", {{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Oblique >>"}}, "", {}, "/F5 10 0 R");
  EXPECT_EQ(P.Texts(), "attr(|object|, |name|)");
  EXPECT_EQ(ReflowLayout(P.Rows(), 792), "attr(  object  ,   name  )");
}

// /F6: Identity-V with ToUnicode (codes 1..5 read A..E); code 2 advances
// 500 down by W2, the others by DW2's 1100.
const std::vector<std::pair<int, std::string>> VerticalFont = {
    {10, "<< /Type /Font /Subtype /Type0 /BaseFont /Mincho /Encoding /Identity-V /DescendantFonts [11 0 R] "
         "/ToUnicode 12 0 R >>"},
    {11, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Mincho /DW2 [880 -1100] /W2 [2 [-500 500 880]] "
         "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>"}};
const std::vector<std::pair<int, std::pair<std::string, std::string>>> VerticalMap = {
    {12, {"", "begincodespacerange <0000> <FFFF> endcodespacerange 1 beginbfrange <0001> <0005> <0041> endbfrange"}}};

TEST(TPDFRenderer, VerticalWritingAdvancesDownThePage) {
  // Down from 700 by 11 + 5 + 11 + 11, a positive TJ number 4 further
  // down, 11 + 11 more: one block, an em wide about x 500, its own x running
  // down the page; a negative number moves back up.
  TPage P("BT /F6 10 Tf 1 0 0 1 500 700 Tm <000100020003> Tj [<0004> 400 <0005>] TJ <0001> Tj ET", "", VerticalFont, "",
          VerticalMap, "/F6 10 0 R");
  EXPECT_EQ(P.Rows(),
            "\"Mincho\",#000000,10.00,495.0000,700.0000,495.0000,636.0000,505.0000,636.0000,505.0000,700.0000,"
            "\"ABCD EA\"\r\n");
  TPage Back("BT /F6 10 Tf 1 0 0 1 500 700 Tm [<0001> -1100 <0002>] TJ ET", "", VerticalFont, "", VerticalMap,
             "/F6 10 0 R");
  EXPECT_EQ(Back.Rows(),
            "\"Mincho\",#000000,10.00,495.0000,700.0000,495.0000,689.0000,505.0000,689.0000,505.0000,700.0000,\"A\"\r\n"
            "\"Mincho\",#000000,10.00,495.0000,700.0000,495.0000,695.0000,505.0000,695.0000,505.0000,700.0000,\"B\"\r\n");
}

TEST(TPDFRenderer, WordMode) {
  // "one two three" with a space narrower than Size and wider than Size / 5.
  TPage P("BT /F2 12 Tf 72 700 Td (one two three) Tj ET");
  EXPECT_EQ(P.Texts(4), "one|two three");
  EXPECT_EQ(P.Texts(3), "one two three");
}

TEST(TPDFRenderer, FontProgramUnits) {
  std::string Widths;
  for (int I = 72; I <= 111; ++I) Widths += "44 ";
  const std::vector<std::pair<int, std::string>> Fonts = {
      // A Type 3 font whose glyph space is 1/100 of text space, with widths
      // in glyph space: the same advances as /F1.
      {10, "<< /Type /Font /Subtype /Type3 /BaseFont /T3 /FontMatrix [0.01 0 0 0.01 0 0] /CharProcs << >> "
           "/FirstChar 72 /LastChar 111 /Widths [" + Widths + "] >>"},
      // CFF programs with FontMatrix 0.0005 and 0.001, both giving H 500.
      {11, "<< /Type /Font /Subtype /Type1 /BaseFont /Half /FirstChar 72 /LastChar 72 /Widths [500] "
           "/FontDescriptor << /FontFile3 13 0 R >> >>"},
      {12, "<< /Type /Font /Subtype /Type1 /BaseFont /Whole /FirstChar 72 /LastChar 72 /Widths [500] "
           "/FontDescriptor << /FontFile3 14 0 R >> >>"},
  };
  const std::string Dir = VORLITH_SOURCE_DIR "/tests/fixtures/fonts/";
  const std::vector<std::pair<int, std::pair<std::string, std::string>>> Programs = {
      {13, {"<< /Subtype /Type1C >>", ReadWholeFile(Dir + "nimbus-sans-half.cff")}},
      {14, {"<< /Subtype /Type1C >>", ReadWholeFile(Dir + "nimbus-sans.cff")}},
  };
  const auto Rows = [&](const std::string& Content) {
    return TPage(Content, "", Fonts, "", Programs, "/T3 10 0 R /Half 11 0 R /Whole 12 0 R").Rows();
  };
  EXPECT_EQ(Rows("BT /T3 12 Tf 72 700 Td (Hello) Tj ET"),
            "\"T3\",#000000,12.00,72.0000,700.0000,98.4000,700.0000,98.4000,700.0000,72.0000,700.0000,\"Hello\"\r\n");
  // Text-space amounts in Type 3 glyph units: a TJ gap of 3 points joins with
  // a space, and the next show starts where the first ended.
  EXPECT_EQ(Rows("BT /T3 12 Tf 72 700 Td [(Hel) -250 (lo)] TJ ET"),
            "\"T3\",#000000,12.00,72.0000,700.0000,101.4000,700.0000,101.4000,700.0000,72.0000,700.0000,\"Hel lo\"\r\n");
  EXPECT_EQ(Rows("BT /T3 12 Tf 72 700 Td (He) Tj (llo) Tj ET"), Rows("BT /T3 12 Tf 72 700 Td (Hello) Tj ET"));
  // The CFF width scale 0.5 doubles the advances: HH spans 24 points, not 12.
  EXPECT_NE(Rows("BT /Half 12 Tf 72 700 Td (HH) Tj ET").find(",72.0000,700.0000,96.0000,700.0000,"), std::string::npos);
  EXPECT_NE(Rows("BT /Whole 12 Tf 72 700 Td (HH) Tj ET").find(",72.0000,700.0000,84.0000,700.0000,"), std::string::npos);
}

}  // namespace
