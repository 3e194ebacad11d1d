// The engine facade: the document list, selection and page calls.
#include "uPDFEngine.h"

#include <gtest/gtest.h>

#include <string>

#include "Utility.h"
#include "uPDFDocument.h"
#include "uPDFPageTree.h"

namespace {

const std::string Sample = std::string(VORLITH_SOURCE_DIR) + "/examples/sample.pdf";

TEST(TPDFEngine, NewEngineHoldsOneEmptyDocument) {
  TPDFEngine E;
  ASSERT_EQ(E.DocumentCount(), 1);
  TPDFDocument* First = E.DocumentID(1);
  EXPECT_EQ(E.SelectedDocument(), First);
  EXPECT_EQ(First->Version(), "1.4");
  EXPECT_EQ(E.PageCount(), 1);
  EXPECT_EQ(E.SelectedPage(), 1);
  EXPECT_DOUBLE_EQ(E.PageWidth(), 612);
  EXPECT_DOUBLE_EQ(E.PageHeight(), 792);
  EXPECT_EQ(First->GetInfo()->GetText("Producer"), "Vorlith PDF engine");
  EXPECT_EQ(First->GetInfo()->GetText("CreationDate").substr(0, 2), "D:");
  EXPECT_EQ(E.RemoveDocument(First), 0);  // the last document is never removed
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.DocumentID(0), nullptr);
  EXPECT_EQ(E.DocumentID(2), nullptr);
}

TEST(TPDFEngine, LoadSelectAndRemove) {
  TPDFEngine E;
  TPDFDocument* Empty = E.SelectedDocument();
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  TPDFDocument* A = E.SelectedDocument();
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  TPDFDocument* B = E.SelectedDocument();
  EXPECT_EQ(E.DocumentCount(), 3);
  EXPECT_NE(A, B);
  EXPECT_EQ(E.PageCount(), 3);

  EXPECT_EQ(E.RemoveDocument(B), 1);
  EXPECT_EQ(E.SelectedDocument(), A);  // the one before it
  EXPECT_EQ(E.RemoveDocument(B), 0);   // not in the list any more
  EXPECT_EQ(E.SelectDocument(Empty), 1);
  EXPECT_EQ(E.RemoveDocument(Empty), 1);
  EXPECT_EQ(E.SelectedDocument(), A);  // the first one goes: the one after it
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.SelectDocument(nullptr), 0);
}

TEST(TPDFEngine, FailedLoadsChangeNothing) {
  TPDFEngine E;
  TPDFDocument* Before = E.SelectedDocument();
  EXPECT_EQ(E.LoadFromFile("/nonexistent/file.pdf"), 0);
  EXPECT_EQ(E.LoadFromFile(VORLITH_SOURCE_DIR), 0);  // a folder
  EXPECT_EQ(E.LoadFromData("not a pdf at all"), 0);
  EXPECT_EQ(E.LoadFromData(""), 0);
  EXPECT_EQ(E.DocumentCount(), 1);
  EXPECT_EQ(E.SelectedDocument(), Before);
}

TEST(TPDFEngine, PagesSizesAndModes) {
  TPDFEngine E;
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  EXPECT_EQ(E.SelectPage(2), 1);
  EXPECT_EQ(E.SelectedPage(), 2);
  EXPECT_EQ(E.SelectPage(4), 0);  // outside: the current page stays
  EXPECT_EQ(E.SelectPage(0), 0);
  EXPECT_EQ(E.SelectedPage(), 2);
  E.SelectedDocument()->UnitScale = 25.4 / 72;  // millimetres
  E.SelectPage(1);
  EXPECT_NEAR(E.PageWidth(), 215.9, 1e-9);
  EXPECT_NEAR(E.PageHeight(), 279.4, 1e-9);
  EXPECT_EQ(E.GetPageText(5), "");
  EXPECT_EQ(E.GetPageText(-1), "");
  EXPECT_EQ(E.LastErrorCode(), 0);
}

TEST(TPDFEngine, PositionedModesFollowOriginAndScale) {
  TPDFEngine E;
  ASSERT_EQ(E.LoadFromFile(Sample), 1);
  E.SelectPage(1);
  // Field 4 of the first row: P0's y.
  auto FirstY = [&] {
    const std::string Rows = E.GetPageText(3);
    return std::stod(SplitString(Rows.substr(0, Rows.find("\r\n")), ",", '\\', "\"").at(4));
  };
  const double Bottom = FirstY();
  E.SelectedDocument()->Origin = 1;  // top left: y mirrored in the page height
  EXPECT_NEAR(FirstY(), 792 - Bottom, 0.001);
  E.SelectedDocument()->Origin = 0;
  E.SelectedDocument()->UnitScale = 0.5;
  EXPECT_NEAR(FirstY(), Bottom / 2, 0.001);
  EXPECT_FALSE(E.GetPageText(4).empty());
}

}  // namespace
