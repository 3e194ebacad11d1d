// The plain text extractor: tokens, spaces and line breaks, rows and clean-up.
#include "uPDFExtractor.h"

#include <gtest/gtest.h>

#include <map>

#include "CodePage.h"
#include "uPDFFontCollection.h"
#include "uPDFStructure.h"

namespace {

// Page resources with /F1 (Helvetica, WinAnsiEncoding, a reference) and /F2
// (a font written directly into the /Font dictionary, never selected).
struct TPage {
  TPDFStructure S;
  std::map<int, TPDFObject*> Objects;
  std::shared_ptr<const TCodePage> CodePage = TCodePage::Create("CP1252");
  TPDFFontCollection Fonts{*CodePage};
  TPDFDictionary* Resources;

  explicit TPage(const std::string& ResourcesText =
                     "<< /Font << /F1 1 0 R /F2 << /Subtype /Type1 /BaseFont /Courier >> /F3 3 0 R >> >>") {
    S.OnResolveReference = [this](TPDFIndRef*, int32_t N, int32_t) -> TPDFObject* {
      auto It = Objects.find(N);
      return It == Objects.end() ? nullptr : It->second;
    };
    Objects[1] = S.ParseObject("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    Objects[3] = S.ParseObject("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    Resources = As<TPDFDictionary>(S.ParseObject(ResourcesText));
    Fonts.LoadFontPrograms = true;
  }
  std::string Text(const std::string& Content, int Mode = 0, TPDFPageBudget* Budget = nullptr) {
    TPDFExtractor E(Resources, Fonts, *CodePage);
    E.AttachBudget(Budget);
    return E.Extract(Content, Mode);
  }
};

TEST(TPDFExtractor, SpacesAndLineBreaks) {
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      {"plain", "BT /F1 12 Tf 72 700 Td (Hello) Tj ET", "Hello"},
      {"content ending with Tj", "BT /F1 12 Tf (Hello) Tj", "Hello"},
      {"Td move of 100: a space", "BT /F1 12 Tf 72 700 Td (Hello) Tj 100 0 Td (World) Tj ET", "Hello World"},
      {"Td move within half a space: none", "BT /F1 12 Tf 72 700 Td (Hel) Tj 17 0 Td (lo) Tj ET", "Hello"},
      // Going back to the line start is a jump in x too: a space comes first.
      {"Td down 14: one break", "BT /F1 12 Tf 72 700 Td (a) Tj 0 -14 Td (b) Tj ET", "a \r\nb"},
      {"Td down 30: still one (the blank-line test is signed)", "BT /F1 12 Tf 72 700 Td (a) Tj 0 -30 Td (b) Tj ET",
       "a \r\nb"},
      {"Td up 30: two", "BT /F1 12 Tf 72 700 Td (a) Tj 0 30 Td (b) Tj ET", "a \r\n\r\nb"},
      {"Tm down 30: two", "BT /F1 12 Tf 1 0 0 1 72 700 Tm (a) Tj 1 0 0 1 72 670 Tm (b) Tj ET", "a \r\n\r\nb"},
      {"TD sets the leading for T*", "BT /F1 12 Tf 72 700 Td (a) Tj 0 -14 TD (b) Tj T* (c) Tj ET", "a\r\nb\r\nc"},
      {"T* always breaks; three breaks become two", "BT /F1 12 Tf (a) Tj T* T* T* T* (b) Tj ET", "a\r\n\r\nb"},
      {"' breaks the line and shows", "BT /F1 12 Tf 14 TL (a) Tj (b) ' ET", "a\r\nb"},
      {"TJ: -200 inserts a space, -100 not", "BT /F1 12 Tf [(a) -200 (b) -100 (c)] TJ ET", "a bc"},
      {"a line of one space is removed", "BT /F1 12 Tf (a) Tj T* ( ) Tj T* (b) Tj ET", "a\r\nb"},
      // Scale 0 makes every threshold 0: each Tm adds a space and two breaks.
      {"Tm scale 0.5 becomes 0", "BT /F1 12 Tf 0.5 0 0 0.5 72 700 Tm (a) Tj 0.5 0 0 0.5 300 700 Tm (b) Tj ET",
       "a \r\n\r\nb"},
      {"a direct font is not selected", "BT /F2 12 Tf (\\047) Tj ET", "\x92"},
      {"escapes of the content form", "BT /F1 12 Tf (a\\(b\\)\\101\\q) Tj ET", "a(b)Aq"},
      {"hex strings", "BT /F1 12 Tf <48 69> Tj ET", "Hi"},
      {"control bytes at the ends are trimmed", "BT /F1 12 Tf ( a\\r\\n) Tj ET", "a"},
      {"an unterminated string runs to the end", "BT /F1 12 Tf (abc Tj ET", ""},
      {"operators running together are one token", "BT /F1 12 Tf (a) TjET (b) Tj", "b"},
      // pdfTeX writes operators against the next name.
      {"a name ends the token before it",
       "BT /F1 12 Tf 72 700 Td [(the)]TJ/F1 12 Tf 81.2 0 Td [(GNU)]TJ/F1 9.96 Tf 40 0 Td [(Lesser)]TJ ET",
       "the GNU Lesser"},
      {"inline image bytes are tokens too", "BI /W 1 ID (x) Tj EI BT /F1 12 Tf (y) Tj ET", "xy"},
  };
  for (const auto& C : Cases) {
    TPage P;
    EXPECT_EQ(P.Text(C.Content), C.Expected) << C.What;
  }
}

TEST(TPDFExtractor, CompositeCodesAsTheInterpreterSplitsThem) {
  // /F4: Identity-H, two-byte codes 1, 2, 3 reading A, B and a space; DW
  // 1000, the space 250 wide.
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      {"two codes", "BT /F4 12 Tf <00010002> Tj ET", "AB"},
      {"a TJ gap wider than half the space", "BT /F4 12 Tf [<0001> -400 <0002>] TJ ET", "A B"},
      {"a narrower one", "BT /F4 12 Tf [<0001> -100 <0002>] TJ ET", "AB"},
      {"a literal string", "BT /F4 12 Tf [(\\000\\001) -400 (\\000\\002\\000\\003\\000\\001)] TJ ET", "A B A"},
      {"an odd last byte adds nothing", "BT /F4 12 Tf <000100> Tj ET", "A"},
      // The advance of a code is its CID width: 12 points here, so a move of
      // 13 from the line start leaves a gap of 1, less than half a space.
      {"widths of whole codes", "BT /F4 12 Tf 72 700 Td <0001> Tj 13 0 Td <0002> Tj ET", "AB"},
      {"and a gap wider than half a space", "BT /F4 12 Tf 72 700 Td <0001> Tj 15 0 Td <0002> Tj ET", "A B"},
      {"letter-spaced text breaks between codes", "BT /F4 12 Tf 5 Tc [(\\000\\001\\000\\002)] TJ ET", "A B"},
  };
  for (const auto& C : Cases) {
    TPage P("<< /Font << /F1 1 0 R /F4 4 0 R >> >>");
    P.Objects[4] = P.S.ParseObject(
        "<< /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [5 0 R] /ToUnicode 6 0 R >>");
    P.Objects[5] = P.S.ParseObject("<< /Subtype /CIDFontType2 /BaseFont /X /DW 1000 /W [3 [250]] >>");
    P.Objects[6] = P.S.NewStream(
        "1 begincodespacerange <0000> <FFFF> endcodespacerange 3 beginbfchar <0001> <0041> <0002> <0042> "
        "<0003> <0020> endbfchar");
    EXPECT_EQ(P.Text(C.Content), C.Expected) << C.What;
  }
}

TEST(TPDFExtractor, FontsAndMissingResources) {
  // Before any Tf: StandardEncoding texts (code 39 is quoteright).
  TPage P;
  EXPECT_EQ(P.Text("BT (') Tj ET"), "\x92");
  // WinAnsiEncoding after Tf /F1: code 39 is quotesingle.
  EXPECT_EQ(P.Text("BT /F1 12 Tf (') Tj ET"), "'");
  // Courier (StandardEncoding) by reference.
  EXPECT_EQ(P.Text("BT /F3 12 Tf (') Tj ET"), "\x92");
  // No /Font dictionary: Tf fails at the font lookup and leaves no operands.
  TPage NoFonts("<< >>");
  EXPECT_EQ(NoFonts.Text("BT /F1 12 Tf (') Tj ET"), "\x92");
}

TEST(TPDFExtractor, InsertedWordBreaksAreSpacesInAnyFont) {
  // /F4 has no code whose text is a space (code 32 names the glyph a), as a
  // font without a space glyph whose program's encoding leaves 32 .notdef.
  TPage P("<< /Font << /F1 1 0 R /F4 4 0 R >> >>");
  P.Objects[4] = P.S.ParseObject("<< /Type /Font /Subtype /Type1 /Encoding << /Differences [32 /a] >> >>");
  EXPECT_EQ(P.Text("BT /F4 12 Tf [(x) -300 (y)] TJ ET"), "x y");
  EXPECT_EQ(P.Text("BT /F4 12 Tf [( ) -300 ( )] TJ ET"), "a a");  // the code itself keeps its text
  EXPECT_EQ(P.Text("BT /F4 10 Tf 5 Tc [(xyz)] TJ ET"), "x y z");   // spacing wider than a space
  EXPECT_EQ(P.Text("BT /F4 12 Tf [(x) -300 (y)] TJ ET", 2), "0.00,0.00,#000000,12.00,\"\",\"x y\"");
  EXPECT_EQ(P.Text("BT /F1 12 Tf [(x) -300 (y)] TJ ET"), "x y");
}

// Page resources with /F1 and the forms /Fm1 (shows "Inside" in /F1 from
// the page's resources), /Fm2 (its own resources: /F1 there is a font whose
// code A reads B; it invokes /Fm1 of its own resources), /Me (invokes itself),
// /Im (an image), /Half (Matrix scale 0.5, shifted) and /Wide (forty
// levels of forms, each invoking the next twice).
struct TFormPage : TPage {
  TFormPage()
      : TPage("<< /Font << /F1 1 0 R >> /XObject << /Fm1 10 0 R /Fm2 11 0 R /Me 12 0 R /Im 13 0 R /Half 14 0 R "
              "/Wide 15 0 R >> >>") {
    Objects[5] = S.ParseObject("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [65 /B] >> >>");
    AddForm(10, "/Subtype /Form", "BT /F1 12 Tf 72 650 Td (Inside) Tj ET");
    AddForm(11, "/Subtype /Form /Resources << /Font << /F1 5 0 R >> /XObject << /Fm1 10 0 R >> >>",
            "BT /F1 12 Tf 72 600 Td (A) Tj ET /Fm1 Do");
    AddForm(12, "/Subtype /Form /Resources << /Font << /F1 1 0 R >> /XObject << /Me 12 0 R >> >>",
            "BT /F1 12 Tf 72 600 Td (Me) Tj ET /Me Do");
    AddForm(13, "/Subtype /Image /Width 1 /Height 1", "BT /F1 12 Tf (Image) Tj ET");
    AddForm(14, "/Subtype /Form /Matrix [0.5 0 0 0.5 10 10]", "BT /F1 12 Tf 1 0 0 1 100 100 Tm (Half) Tj ET");
    for (int Level = 0; Level < 40; ++Level) {
      const int N = Level == 0 ? 15 : 100 + Level;
      const std::string Next = "/N " + std::to_string(101 + Level) + " 0 R";
      AddForm(N, "/Subtype /Form /Resources << /Font << /F1 1 0 R >> /XObject << " + Next + " >> >>",
              "BT /F1 12 Tf (w) Tj ET /N Do /N Do");
    }
  }
  void AddForm(int N, const std::string& Dict, const std::string& Content) {
    TPDFStream* Stream = S.NewStream(Content);
    Stream->SetDictionary(As<TPDFDictionary>(S.ParseObject("<< /Type /XObject " + Dict + " >>")));
    Objects[N] = Stream;
  }
};

TEST(TPDFExtractor, FormsAreReadWhereTheyAreInvoked) {
  // Breaks between the page's text and a form's come from the positions, as
  // between any two texts (a move down and back to the line start: a space
  // and a line break; up: an empty line too).
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      {"a page drawn by one form", "/Fm1 Do", "Inside"},
      {"in content order", "BT /F1 12 Tf 72 700 Td (Before) Tj ET /Fm1 Do BT /F1 12 Tf 72 600 Td (After) Tj ET",
       "Before \r\nInside \r\nAfter"},
      {"a form's own resources, and a form inside a form", "/Fm2 Do", "B \r\n\r\nInside"},
      {"the caller's font comes back after the form", "BT /F1 12 Tf 72 700 Td (A) Tj ET /Fm2 Do BT 72 500 Td (A) Tj ET",
       "A \r\nB \r\n\r\nInside \r\nA"},
      {"a form met again inside itself is not read again", "/Me Do", "Me"},
      {"an image", "/Im Do", ""},
      {"an unknown name, a missing operand", "/Nothing Do Do", ""},
      {"the form's matrix", "/Half Do", "Half"},
  };
  for (const auto& C : Cases) {
    TFormPage P;
    EXPECT_EQ(P.Text(C.Content), C.Expected) << C.What;
  }
  TFormPage P;
  // Rows in page space: the form's matrix scales and shifts the text matrix.
  EXPECT_EQ(P.Text("/Half Do", 2), "60.00,60.00,#000000,12.00,\"Helvetica\",\"Half\"");
  // Forms that multiply stop at the page's budget of operators, their text so
  // far kept.
  TPDFLimits Small;
  Small.Operators = 100000;
  TPDFPageBudget Budget(Small);
  const std::string Wide = P.Text("/Wide Do", 0, &Budget);
  EXPECT_EQ(Budget.Exceeded(), TPDFBudgetKind::Operators);
  EXPECT_GT(Wide.size(), 1000u);
  EXPECT_LT(Wide.size(), 1000000u);
}

TEST(TPDFExtractor, Rows) {
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      {"quote and backslash in the text", "BT /F1 12 Tf 72.456 700 Td (a\"b\\\\c) Tj ET",
       "72.45,700.00,#000000,12.00,\"Helvetica\",\"a\\\"b\\\\c\""},
      {"rg gives blue in the high byte", "1 0 0 rg BT /F1 12 Tf (x) Tj ET", "0.00,0.00,#0000FF,12.00,\"Helvetica\",\"x\""},
      {"g", "0.5 g BT /F1 10 Tf (x) Tj ET", "0.00,0.00,#808080,10.00,\"Helvetica\",\"x\""},
      {"TJ rows start where the array began",
       "BT /F1 10 Tf 10 20 Td [(a) -500 (b)] TJ (c) Tj ET",
       "10.00,20.00,#000000,10.00,\"Helvetica\",\"a b\"\r\n26.12,20.00,#000000,10.00,\"Helvetica\",\"c\""},
      {"the font name of a direct font", "BT /F2 9 Tf (x) Tj ET", "0.00,0.00,#000000,9.00,\"Courier\",\"x\""},
  };
  for (const auto& C : Cases) {
    TPage P;
    EXPECT_EQ(P.Text(C.Content, 2), C.Expected) << C.What;
  }
  TPage P;
  EXPECT_EQ(P.Text("BT /F1 12 Tf (x) Tj ET", 1), "");
  EXPECT_EQ(P.Text("BT /F1 12 Tf (x) Tj ET", 3), "");
}

}  // namespace
