// The page-text request: a selected page's text by type, fonts from the
// document's cache.
#include "uPDFPageText.h"

#include <gtest/gtest.h>

#include <string>

#include "TestPDFWriter.h"
#include "uPDFDocument.h"
#include "uPDFFontCollection.h"
#include "uPDFPageTree.h"
#include "uPDFTextFunnel.h"

namespace {

std::string PageText(int P) { return "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"; }

TEST(PageText, FontsLoadOncePerDocument) {
  TSimpleDocOptions O;
  O.Pages = {{PageText(1)}, {PageText(2)}};
  TSimpleDocObjects N;
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(MakeSimpleDocument(O, &N).Finish()));
  EXPECT_EQ(Doc.FontCache().Find(N.Font), nullptr);
  EXPECT_EQ(GetPageText(Doc, 0), "Page 1");
  auto Font = Doc.FontCache().Find(N.Font);
  ASSERT_NE(Font, nullptr);
  Doc.PageTree()->SelectPage(2);
  EXPECT_EQ(GetPageText(Doc, 0), "Page 2");
  EXPECT_EQ(GetPageText(Doc, 3).substr(0, 8), "\"Arial\",");
  EXPECT_EQ(Doc.FontCache().Find(N.Font), Font);  // the same record serves every page
}

TEST(PageText, TypesOutsideTheRangeAndNoPageGiveNothing) {
  TSimpleDocOptions O;
  O.Pages = {{PageText(1)}};
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(MakeSimpleDocument(O).Finish()));
  for (int Type : {-1, 5, 255}) EXPECT_EQ(GetPageText(Doc, Type), "") << Type;
  TPDFDocument Empty;
  TPDFTextFunnel Funnel;
  EXPECT_EQ(GetPageText(Empty, 0), "");
  EXPECT_EQ(GetPageText(Empty, 3, &Funnel), "");
}

// An annotation whose unparsed text holds no /AP is skipped without being
// parsed; one with an appearance shows its text.
TEST(PageText, AnnotationsWithoutAppearanceAreNotParsed) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  W.Add(3, 0,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
        "/Annots [5 0 R 6 0 R] >>");
  W.Add(4, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  W.Add(5, 0, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>");
  W.AddStream(7, "<< /Type /XObject /Subtype /Form /BBox [0 0 100 20] /Resources << /Font << /F1 4 0 R >> >> >>",
              "BT /F1 10 Tf 0 5 Td (Shown) Tj ET", false);
  W.Add(6, 0, "<< /Type /Annot /Subtype /FreeText /Rect [100 100 200 120] /AP << /N 7 0 R >> >>");
  W.Section().Root = "1 0 R";
  TPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromData(W.Finish()));
  EXPECT_NE(GetPageText(Doc, 3).find("Shown"), std::string::npos);
  EXPECT_FALSE(Doc.FindIndObj(5, 0)->Loaded);
  EXPECT_TRUE(Doc.FindIndObj(6, 0)->Loaded);
}

}  // namespace
