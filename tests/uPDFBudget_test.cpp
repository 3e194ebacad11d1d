// Work budgets of a page: hostile pages stop at their budget with their text
// so far, streams are decoded once per page, and a cut at the cap on decoded
// size is told.
#include "uPDFBudget.h"

#include <gtest/gtest.h>

#include "CodePage.h"
#include "HostileFixtures.h"
#include "TestPDFWriter.h"
#include "uPDFEngine.h"
#include "uPDFStructure.h"

namespace {

struct TRead {
  std::string Text;
  TPDFBudgetKind Exceeded;
  bool Cut;
  size_t CutAt;
};

// Page 1 of Pdf in Mode, under Limits (and the cap MaxDecoded).
TRead ReadPage(const std::string& Pdf, TPDFTextMode Mode, const TPDFLimits& Limits,
               size_t MaxDecoded = DefaultMaxDecodedSize,
               std::optional<TPDFPageBudget::TClock::time_point> Deadline = {}) {
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  Engine.MaxDecodedSize = MaxDecoded;
  Engine.Limits = Limits;
  Engine.Deadline = Deadline;
  EXPECT_TRUE(Engine.LoadFromData(Pdf));
  EXPECT_EQ(Engine.SelectPage(1), 1);
  TRead R;
  R.Text = Engine.GetPageText(Mode);
  R.Exceeded = Engine.PageBudget().Exceeded();
  R.Cut = Engine.PageBudget().Cut();
  R.CutAt = Engine.PageBudget().CutAt();
  return R;
}

size_t Count(const std::string& Text, const std::string& Part) {
  size_t N = 0;
  for (size_t At = Text.find(Part); At != std::string::npos; At = Text.find(Part, At + 1)) ++N;
  return N;
}

TEST(PageBudget, HostilePagesStopAtTheirBudgetWithTheirTextSoFar) {
  const std::string Chain = FormChainPdf(7, 10);  // 10^6 forms drawn
  const std::string Coincident = CoincidentWordsPdf(3000);
  const std::string Repeated = RepeatedContentsPdf(8, 100000);
  TPDFLimits Operators, Glyphs, Words, Decoded, Read;
  Operators.Operators = 2000;
  Glyphs.Glyphs = 500;
  Words.Words = 1000;
  Decoded.DecodedBytes = 150000;  // more than the stream, less than its eight uses
  Read.ContentBytes = 500000;
  struct Case {
    const char* What;
    const std::string& Pdf;
    TPDFTextMode Mode;
    TPDFLimits Limits;
    TPDFBudgetKind Expected;
    const char* Kept;
  } Cases[] = {
      {"forms that multiply, content order", Chain, TPDFTextMode::Plain, Operators, TPDFBudgetKind::Operators, "level0"},
      {"forms that multiply, blocks", Chain, TPDFTextMode::Blocks, Operators, TPDFBudgetKind::Operators, "level0"},
      {"forms that multiply, words", Chain, TPDFTextMode::Words, Glyphs, TPDFBudgetKind::Glyphs, "leaf"},
      {"words at one spot, blocks", Coincident, TPDFTextMode::Blocks, Words, TPDFBudgetKind::Words, "word"},
      {"words at one spot, words", Coincident, TPDFTextMode::Words, Words, TPDFBudgetKind::Words, "word"},
      {"one stream listed eight times is decoded once", Repeated, TPDFTextMode::Blocks, Decoded,
       TPDFBudgetKind::None, "end"},
      {"... also in content order", Repeated, TPDFTextMode::Plain, Decoded, TPDFBudgetKind::None, "end"},
      {"... but read each time", Repeated, TPDFTextMode::Blocks, Read, TPDFBudgetKind::ContentBytes, "end"},
  };
  for (const Case& C : Cases) {
    const TRead R = ReadPage(C.Pdf, C.Mode, C.Limits);
    EXPECT_EQ(R.Exceeded, C.Expected) << C.What;
    EXPECT_NE(R.Text.find(C.Kept), std::string::npos) << C.What;
    EXPECT_LT(R.Text.size(), 2000000u) << C.What;
  }
  // Each of the eight uses shows its text.
  EXPECT_EQ(Count(ReadPage(Repeated, TPDFTextMode::Words, Decoded).Text, "\"end\""), 8u);
  // Within the default budgets the coincident words are all there.
  EXPECT_EQ(Count(ReadPage(Coincident, TPDFTextMode::Words, {}).Text, "\"word\""), 3000u);
}

TEST(PageBudget, APassedDeadlineStopsThePage) {
  const TRead R = ReadPage(FormChainPdf(7, 10), TPDFTextMode::Blocks, {}, DefaultMaxDecodedSize,
                           TPDFPageBudget::TClock::now() - std::chrono::seconds(1));
  EXPECT_EQ(R.Exceeded, TPDFBudgetKind::Time);
  EXPECT_LT(R.Text.size(), 100000u);
}

TEST(PageBudget, ACutAtTheCapOnDecodedSizeIsTold) {
  const std::string Pdf = TextPastSpacesPdf(5000);
  for (TPDFTextMode Mode : {TPDFTextMode::Plain, TPDFTextMode::Blocks}) {
    const TRead Cut = ReadPage(Pdf, Mode, {}, 2000);
    EXPECT_TRUE(Cut.Cut);
    EXPECT_EQ(Cut.CutAt, 2000u);
    EXPECT_NE(Cut.Text.find("start"), std::string::npos);
    EXPECT_EQ(Cut.Text.find("end"), std::string::npos);
    // Content that fits the cap exactly is not cut.
    const TRead Whole = ReadPage(Pdf, Mode, {}, 5000 + 70);
    EXPECT_FALSE(Whole.Cut);
    EXPECT_NE(Whole.Text.find("end"), std::string::npos);
  }
}

TEST(PageBudget, ContentIsDecodedOncePerPageAndCounted) {
  TPDFStructure S;
  TPDFStream* Stream = S.NewStream(std::string(1000, 'x'));
  TPDFLimits Limits;
  Limits.DecodedBytes = 1500;
  Limits.ContentBytes = 2500;
  TPDFPageBudget Budget(Limits);
  const std::string* First = Budget.Content(*Stream);
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(Budget.Content(*Stream), First);
  EXPECT_EQ(Budget.DecodedSpent(), 1000u);
  EXPECT_FALSE(Budget.Exhausted());
  // A third reading passes the bytes read; every count then says so.
  EXPECT_EQ(Budget.Content(*Stream), nullptr);
  EXPECT_EQ(Budget.Exceeded(), TPDFBudgetKind::ContentBytes);
  EXPECT_FALSE(Budget.Operator());
  EXPECT_FALSE(Budget.Word());
  EXPECT_FALSE(Budget.Glyphs(1));
  EXPECT_EQ(Budget.Exceeded(), TPDFBudgetKind::ContentBytes);  // the first one spent stays

  // A second stream that would pass the decoded bytes is not kept.
  TPDFPageBudget Other(Limits);
  ASSERT_NE(Other.Content(*Stream), nullptr);
  EXPECT_EQ(Other.Content(*S.NewStream(std::string(600, 'y'))), nullptr);
  EXPECT_EQ(Other.Exceeded(), TPDFBudgetKind::DecodedBytes);
}

}  // namespace

namespace {

TEST(PageBudget, AStringThatAStreamLeavesOpenGoesOnInTheNext) {
  // Files split their content anywhere, also inside a string; the page's
  // streams are still decoded once each.
  TSimpleDocOptions O;
  O.Pages.push_back({"BT /F1 24 Tf 72 720 Td (Pot", "ato) Tj ET", "BT /F1 24 Tf 72 600 Td <506f74", "61746f> Tj ET"});
  const std::string Pdf = MakeSimpleDocument(O).Finish();
  const std::string Plain = ReadPage(Pdf, TPDFTextMode::Plain, {}).Text;
  EXPECT_EQ(Count(Plain, "Pot"), 2u) << Plain;
  EXPECT_NE(Plain.find("Potato"), std::string::npos) << Plain;
  const std::string Words = ReadPage(Pdf, TPDFTextMode::Words, {}).Text;
  EXPECT_EQ(Count(Words, "\"Pot ato\""), 1u) << Words;
  EXPECT_EQ(Count(Words, "\"Potato\""), 1u) << Words;
}

}  // namespace
