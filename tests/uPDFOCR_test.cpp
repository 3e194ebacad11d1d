// Text recognition in page images: scanned pages in every filter read
// through the engine's page-text calls, the decision when to read, and
// missing languages.
#include "uPDFOCR.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "CodePage.h"
#include "uPDFEngine.h"

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/images/" + Name;
}

// An engine in UTF-8 on Name, page 1 selected.
struct TScan {
  TPDFEngine Engine{TCodePage::Create("UTF-8")};
  explicit TScan(const std::string& Name, TPDFOCRMode Mode = TPDFOCRMode::Auto) {
    Engine.OCRMode = Mode;
    EXPECT_TRUE(Engine.LoadFromFile(FixturePath(Name)));
    Engine.SelectPage(1);
  }
};

bool Has(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

// A scanned page gives its words in every page-text form, whatever the
// image's filter, and stored as strips that cut its lines: the plain text,
// the blocks' rows, the words with boxes; a picture stored sideways, or
// upside down, and drawn upright is read upright.
TEST(OCR, ScannedPagesInEveryFilter) {
  for (const char* Name : {"scanned-g4.pdf", "scanned-dct.pdf", "scanned-flate.pdf", "scanned-jbig2.pdf",
                           "scanned-inline.pdf", "scanned-strips.pdf", "scanned-turned.pdf",
                           "scanned-flipped.pdf"}) {
    SCOPED_TRACE(Name);
    TScan S(Name);
    const std::string Plain = S.Engine.GetPageText(TPDFTextMode::Plain);
    EXPECT_TRUE(Has(Plain, "Service Agreement")) << Plain;
    EXPECT_TRUE(Has(Plain, "Invoice number 4711 is due in thirty days.")) << Plain;
    EXPECT_TRUE(S.Engine.PageRecognised());
    // Lines in order, one per line of the picture.
    EXPECT_LT(Plain.find("Service"), Plain.find("contract"));
    EXPECT_LT(Plain.find("contract"), Plain.find("Invoice"));
    const std::string Rows = S.Engine.GetPageText(TPDFTextMode::Blocks);
    EXPECT_TRUE(Has(Rows, "Supplier and the Customer named below.")) << Rows;
    // The word's box on the page: the text starts 0.9 in from the left and
    // its first line 1 in from the top of an A4 page (842 points high).
    const auto Words = S.Engine.GetPageWords();
    auto It = std::find_if(Words.begin(), Words.end(), [](const auto& W) { return W.Text == "Service"; });
    ASSERT_NE(It, Words.end());
    EXPECT_NEAR(It->P0.X, 0.9 * 72, 4);
    EXPECT_GT(It->P3.Y, 842 - 72 - 4);
    EXPECT_LT(It->P0.Y, 842 - 72);
    EXPECT_NEAR(It->Size, 50.0 / 300 * 72, 4);  // 50-pixel type at 300 dpi
  }
}

// Chinese lines come out whole: no space where Tesseract split its words,
// and the last character of the first line, which Tesseract doubts, kept
// on the word of the rest of its line.
TEST(OCR, ChineseText) {
  TScan S("scanned-chinese.pdf");
  for (TPDFTextMode Mode : {TPDFTextMode::Plain, TPDFTextMode::Blocks}) {
    const std::string Text = S.Engine.GetPageText(Mode);
    EXPECT_TRUE(Has(Text, "合同编号与付款条款")) << Text;
    EXPECT_TRUE(Has(Text, "本合同自签字之日起生效")) << Text;
  }
}

// When a page is read: a page with text of its own is left as it is unless
// always; never reads nothing.
TEST(OCR, WhenAPageIsRead) {
  struct TCase {
    const char* File;
    TPDFOCRMode Mode;
    bool Read;
  } Cases[] = {
      {"scanned-g4.pdf", TPDFOCRMode::Never, false},        {"scanned-g4.pdf", TPDFOCRMode::Auto, true},
      {"scanned-with-text.pdf", TPDFOCRMode::Auto, false},  {"scanned-with-text.pdf", TPDFOCRMode::Always, true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.File) + " " + std::to_string(static_cast<int>(C.Mode)));
    for (TPDFTextMode Mode : {TPDFTextMode::Plain, TPDFTextMode::Blocks}) {
      TScan S(C.File, C.Mode);
      const std::string Text = S.Engine.GetPageText(Mode);
      EXPECT_EQ(S.Engine.PageRecognised(), C.Read);
      EXPECT_EQ(Has(Text, "Invoice"), C.Read) << Text;
      if (std::string(C.File) == "scanned-with-text.pdf") {
        EXPECT_TRUE(Has(Text, "Page footer drawn as text"));
      }
    }
  }
}

// Always, the plain text holds an image's text where the image is drawn,
// once: after the text drawn before it and before the text drawn after it,
// for an XObject and for an inline image (whose data are skipped whole, so
// the text after them is read too).
TEST(OCR, PlainTextWhereTheImageIsDrawn) {
  struct TCase {
    const char* Name;
    bool Header;  // text drawn before the image
  } Cases[] = {{"scanned-with-text.pdf", false}, {"scanned-inline-with-text.pdf", true}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TScan S(C.Name, TPDFOCRMode::Always);
    const std::string Plain = S.Engine.GetPageText(TPDFTextMode::Plain);
    const size_t Image = Plain.find("Invoice number 4711");
    ASSERT_NE(Image, std::string::npos) << Plain;
    EXPECT_EQ(Plain.find("Invoice number 4711", Image + 1), std::string::npos) << Plain;
    if (C.Header) EXPECT_LT(Plain.find("Page header drawn as text"), Image) << Plain;
    EXPECT_LT(Image, Plain.find("Page footer drawn as text")) << Plain;
  }
}

// Engines on two threads read at once, each with its own recogniser (the
// library is opened once for both).
TEST(OCR, TwoThreadsReadAtOnce) {
  std::string Texts[2];
  std::thread Threads[2];
  for (int I = 0; I < 2; ++I)
    Threads[I] = std::thread([&Texts, I] {
      TScan S(I == 0 ? "scanned-g4.pdf" : "scanned-jbig2.pdf");
      Texts[I] = S.Engine.GetPageText(TPDFTextMode::Plain);
    });
  for (auto& T : Threads) T.join();
  for (const std::string& Text : Texts) EXPECT_TRUE(Has(Text, "Invoice number 4711")) << Text;
}

TEST(OCR, Languages) {
  EXPECT_EQ(DefaultOCRLanguages(), "eng+chi_sim");
  EXPECT_EQ(MissingOCRLanguages("eng+xx_none+chi_sim"), std::vector<std::string>{"xx_none"});
  EXPECT_EQ(MissingOCRLanguages("../eng"), std::vector<std::string>{"../eng"});
  EXPECT_EQ(OCRLanguagePackage("chi_sim"), "tesseract-ocr-chi-sim");
  // A page to be read with a language that is missing stays empty, and
  // says why.
  TScan S("scanned-g4.pdf");
  S.Engine.OCRLanguages = "xx_none";
  EXPECT_EQ(S.Engine.GetPageText(TPDFTextMode::Plain), "");
  EXPECT_FALSE(S.Engine.PageRecognised());
  EXPECT_TRUE(S.Engine.PageUnread());
  EXPECT_TRUE(Has(S.Engine.OCRError(), "xx_none")) << S.Engine.OCRError();
}

}  // namespace
