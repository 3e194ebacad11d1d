// Page tree: finding pages, sizes and boxes, contents and resources.
#include "uPDFPageTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestPDFWriter.h"
#include "uPDFDocument.h"
#include "uPDFPageText.h"

namespace {

std::string PageText(int P) { return "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"; }

// A loaded document; the writer supplies the file. The tree is taken as
// written: no repair replaces a tree that gives no page.
struct TLoaded {
  TPDFDocument Doc;
  explicit TLoaded(TTestPDFWriter W) {
    Doc.Repair = false;
    EXPECT_TRUE(Doc.LoadFromData(W.Finish()));
  }
  TPDFPageTree* Tree() { return Doc.PageTree(); }
};

// A writer whose page tree is given object by object: Catalog 1, root Pages 2.
TTestPDFWriter TreeWriter(const std::vector<std::pair<int, std::string>>& Objects) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  for (const auto& [N, Body] : Objects) W.Add(N, 0, Body);
  W.Section().Root = "1 0 R";
  return W;
}

// ---------------------------------------------------------------- finding pages

TEST(FindPage, IntermediateNodesAndFlatTrees) {
  for (int FanOut : {0, 2, 3, 7}) {
    for (bool ObjectStreams : {false, true}) {
      TSimpleDocOptions O;
      for (int P = 1; P <= 23; ++P) O.Pages.push_back({PageText(P)});
      O.FanOut = FanOut;
      O.ObjectStreams = ObjectStreams;
      O.Form = ObjectStreams ? TXRefForm::Stream : TXRefForm::Table;
      TLoaded L(MakeSimpleDocument(O));
      ASSERT_EQ(L.Tree()->PageCount(), 23);
      // In an order that defeats any cache of the last position.
      for (int P : {23, 1, 12, 2, 22, 7, 8, 16, 3}) {
        L.Tree()->SelectPage(P);
        EXPECT_EQ(L.Tree()->PageIndex(), P);
        EXPECT_EQ(L.Tree()->GetPageContentBytes(), PageText(P)) << "fan-out " << FanOut << ", page " << P;
      }
    }
  }
}

TEST(FindPage, CountsDecideTheWay) {
  struct Case {
    const char* What;
    std::vector<std::pair<int, std::string>> Objects;
    int Count;                    // PageCount
    std::vector<int> Found;       // page number -> object number found (0: none)
  } Cases[] = {
      {"wrong Count on a node sends the walk into the wrong subtree",
       {{2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 3 >>"},
        {3, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 1 >>"},
        {4, "<< /Type /Page >>"}, {5, "<< /Type /Page >>"}, {6, "<< /Type /Page >>"}},
       3, {4, 6, 0}},
      {"direct kids, untyped kids and non-dictionaries are passed over",
       {{2, "<< /Type /Pages /Kids [<< /Type /Page >> 3 0 R 4 0 R 9 0 R 5 0 R] /Count 2 >>"},
        {3, "<< /Kind /Page >>"}, {4, "<< /Type /Page >>"}, {5, "<< /Type /Page >>"}},
       2, {4, 5}},
      {"a node without Kids counts only when the target lies beyond it",
       {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>"},
        {3, "<< /Type /Pages /Count 2 >>"}, {4, "<< /Type /Page >>"}},
       3, {4, 0, 4}},
      {"Count larger than the pages", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 3 >>"}, {3, "<< /Type /Page >>"}},
       3, {3, 0, 0}},
      {"Count larger than the number of objects: the pages are counted",
       {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 3 0 R] /Count 5 >>"}, {3, "<< /Type /Page >>"},
        {4, "<< /Type /Font >>"}},
       2, {3, 3}},
      {"negative and missing Count", {{2, "<< /Type /Pages /Kids [3 0 R] /Count -4 >>"}, {3, "<< /Type /Page >>"}},
       0, {}},
      {"a Kids entry leading back to an ancestor",
       {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>"},
        {3, "<< /Type /Pages /Kids [2 0 R] /Count 2 >>"}, {4, "<< /Type /Page >>"}},
       3, {0, 0, 4}},
      {"a node that is its own kid", {{2, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>"}}, 1, {0}},
  };
  for (const auto& C : Cases) {
    TLoaded L(TreeWriter(C.Objects));
    ASSERT_EQ(L.Tree()->PageCount(), C.Count) << C.What;
    for (size_t P = 0; P < C.Found.size(); ++P) {
      TPDFDictionary* Page = L.Tree()->FindPage(static_cast<int>(P + 1));
      if (C.Found[P] == 0)
        EXPECT_EQ(Page, nullptr) << C.What << ", page " << P + 1;
      else
        EXPECT_EQ(Page, L.Doc.LookupObject(C.Found[P], 0)) << C.What << ", page " << P + 1;
    }
  }
}

TEST(FindPage, DeepTreesAndHugeCountsEnd) {
  // A chain of 2000 nested nodes, then the page.
  std::vector<std::pair<int, std::string>> Objects;
  for (int N = 2; N < 2002; ++N)
    Objects.push_back({N, "<< /Type /Pages /Kids [" + std::to_string(N + 1) + " 0 R] /Count 1 >>"});
  Objects.push_back({2002, "<< /Type /Page >>"});
  TLoaded Deep(TreeWriter(Objects));
  EXPECT_EQ(Deep.Tree()->PageCount(), 1);
  EXPECT_EQ(Deep.Tree()->FindPage(1), nullptr);

  // A Count beyond the number of objects gives the pages the tree holds, so
  // that no one walks two billion pages.
  for (const char* Count : {"2147483647", "2000000000", "4"}) {
    TLoaded Huge(TreeWriter({{2, std::string("<< /Type /Pages /Kids [3 0 R] /Count ") + Count + " >>"},
                             {3, "<< /Type /Page >>"}}));
    EXPECT_EQ(Huge.Tree()->PageCount(), 1) << Count;
    EXPECT_NE(Huge.Tree()->FindPage(1), nullptr) << Count;
    EXPECT_EQ(Huge.Tree()->FindPage(2), nullptr) << Count;
  }
}

TEST(SelectPage, OutOfRangeKeepsTheCurrentPage) {
  TSimpleDocOptions O;
  O.Pages = {{PageText(1)}, {PageText(2)}};
  TLoaded L(MakeSimpleDocument(O));
  TPDFPageTree* T = L.Tree();
  EXPECT_EQ(T->PageIndex(), 1);  // page 1 is selected by the load
  T->SelectPage(2);
  T->SelectPage(3);
  EXPECT_EQ(T->PageIndex(), 2);
  EXPECT_EQ(T->GetPageContentBytes(), PageText(2));
  int Calls = 0;
  T->OnPageSelected = [&](TPDFDictionary* Page) { Calls += Page != nullptr; };
  T->SelectPage(-1);
  EXPECT_EQ(Calls, 1);

  TPDFDocument Empty;
  Empty.PageTree()->SelectPage(1);
  EXPECT_EQ(Empty.PageTree()->PageDict(), nullptr);
  EXPECT_EQ(Empty.PageTree()->PageWidth(), 0);
  EXPECT_EQ(Empty.PageTree()->GetPageResources(), nullptr);
  EXPECT_EQ(Empty.PageTree()->GetPageContentBytes(), "");
}

// ---------------------------------------------------------------- sizes and boxes

TEST(PageSize, MediaBoxInheritanceAndDefaults) {
  struct Case {
    const char* What;
    std::string Root, Page;
    double Width, Height;
    int Rotation;
  } Cases[] = {
      {"own box", "", "/MediaBox [0 0 612 792] /Rotate 90", 612, 792, 90},
      {"box on the root only", "/MediaBox [0 0 300 400]", "", 300, 400, 0},
      {"reversed corners", "", "/MediaBox [612 792 0 0]", 612, 792, 0},
      {"offset box", "", "/MediaBox [-10 20 90 220]", 100, 200, 0},
      {"non-numeric items count as 0", "", "/MediaBox [0 0 /x 50]", 0, 50, 0},
      {"no box anywhere", "", "/Rotate 7 0 R", 612, 792, 0},
      {"Rotate is not inherited", "/Rotate 180 /MediaBox [0 0 10 20]", "", 10, 20, 0},
  };
  for (const auto& C : Cases) {
    TLoaded L(TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + C.Root + " >>"},
                          {3, "<< /Type /Page /Parent 2 0 R " + C.Page + " >>"}}));
    TPDFPageTree* T = L.Tree();
    EXPECT_DOUBLE_EQ(T->PageWidth(), C.Width) << C.What;
    EXPECT_DOUBLE_EQ(T->PageHeight(), C.Height) << C.What;
    EXPECT_EQ(T->PageRotation(), C.Rotation) << C.What;
  }
  // Without a box, the default is written into the page.
  TLoaded L(TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, "<< /Type /Page >>"}}));
  L.Tree()->PageWidth();
  EXPECT_EQ(L.Tree()->PageDict()->GetValue("MediaBox")->ToText(), "[ 0 0 612 792 ]");
  // A page whose Parent chain misses the root takes the root's direct box as default.
  TLoaded Orphan(TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 50 60] >>"},
                             {3, "<< /Type /Page /Parent 9 0 R >>"}}));
  EXPECT_DOUBLE_EQ(Orphan.Tree()->PageWidth(), 50);
  EXPECT_DOUBLE_EQ(Orphan.Tree()->PageHeight(), 60);
}

TEST(PageSize, BoxesFallBack) {
  TLoaded L(TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /CropBox [5 5 100 100] >>"},
                        {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /ArtBox 4 0 R >>"},
                        {4, "[10 20 30 60]"}}));
  TPDFPageTree* T = L.Tree();
  EXPECT_EQ(T->GetPageBox("MediaBox", 3), 300);
  EXPECT_EQ(T->GetPageBox("CropBox", 2), 95);   // inherited from the root
  EXPECT_EQ(T->GetPageBox("TrimBox", 0), 5);    // falls back to CropBox
  EXPECT_EQ(T->GetPageBox("ArtBox", 3), 40);    // a reference is resolved
  EXPECT_EQ(T->GetPageBox("ArtBox", 9), 0);

  TLoaded Plain(TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /BleedBox 5 >>"}}));
  EXPECT_EQ(Plain.Tree()->GetPageBox("TrimBox", 2), 200);  // only a MediaBox: its measure
  EXPECT_EQ(Plain.Tree()->GetPageBox("BleedBox", 2), 0);   // present but not an array
}

// ---------------------------------------------------------------- contents

TEST(PageContents, CollectionAddsTheLayerStream) {
  struct Case {
    const char* What;
    std::string Page;
    int ContentCount;
    std::string Bytes;
    std::string Text = "";  // of the content layout
  } Cases[] = {
      {"single stream reference", "/Contents 10 0 R", 2, "first"},
      {"no Contents", "", 1, ""},
      // The streams end on an operator and start with one: a line end keeps
      // "Tj" and "ET" apart, so the string is shown.
      {"array of streams joined by line ends", "/Contents [10 0 R 11 0 R 12 0 R]", 4, "first\nBT (x) Tj\nET", "x"},
      {"array reference", "/Contents 13 0 R", 4, "first\nBT (x) Tj\nET", "x"},
      {"empty streams add no line end", "/Contents [14 0 R 11 0 R 14 0 R 12 0 R]", 5, "BT (x) Tj\nET", "x"},
      {"dangling and non-stream items become empty streams", "/Contents [10 0 R 99 0 R 5]", 4, "first"},
      {"a direct non-array Contents gives no streams", "/Contents 7", 0, ""},
      {"an empty array", "/Contents []", 1, ""},
  };
  for (const auto& C : Cases) {
    TTestPDFWriter W = TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                   {3, "<< /Type /Page /Parent 2 0 R " + C.Page + " >>"},
                                   {13, "[10 0 R 11 0 R 12 0 R]"}});
    W.AddStream(10, "", "first", false);
    W.AddStream(11, "", "BT (x) Tj", true);
    W.AddStream(12, "", "ET", false);
    W.AddStream(14, "", "", false);
    TLoaded L(std::move(W));
    TPDFPageTree* T = L.Tree();
    EXPECT_EQ(T->ContentCount(), C.ContentCount) << C.What;
    EXPECT_EQ(T->GetPageContentBytes(), C.Bytes) << C.What;
    EXPECT_EQ(GetPageText(L.Doc, 0), C.Text) << C.What;
    EXPECT_EQ(T->ContentIndex, T->ContentCount()) << C.What;
    // Selecting again adds no second layer stream.
    T->SelectPage(1);
    EXPECT_EQ(T->ContentCount(), C.ContentCount) << C.What;
  }
}

TEST(PageContents, LayerStreamsAreNewIndirectObjects) {
  TTestPDFWriter W = TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                 {3, "<< /Type /Page /Parent 2 0 R /Contents 10 0 R >>"}});
  W.AddStream(10, "", "first", false);
  TLoaded L(std::move(W));
  auto* Contents = As<TPDFArray>(L.Tree()->PageDict()->GetValue("Contents", false));
  ASSERT_NE(Contents, nullptr);
  ASSERT_EQ(Contents->Count(), 2);
  auto* Ref = As<TPDFIndRef>(Contents->GetItem(1));
  ASSERT_NE(Ref, nullptr);
  EXPECT_EQ(Ref->Number, 11);  // one above the highest object
  auto* Layer = As<TPDFStream>(Ref->Resolve());
  ASSERT_NE(Layer, nullptr);
  EXPECT_EQ(Layer->Dictionary()->GetText("LC"), "ZELQ");

  // A marked last stream with more than 500000 stored bytes gets another one.
  TTestPDFWriter Big = TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                   {3, "<< /Type /Page /Parent 2 0 R /Contents [10 0 R] >>"}});
  Big.AddStream(10, "<< /LC /ZELQ >>", std::string(500001, ' '), false);
  TLoaded B(std::move(Big));
  EXPECT_EQ(B.Tree()->ContentCount(), 2);
  TTestPDFWriter Small = TreeWriter({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                     {3, "<< /Type /Page /Parent 2 0 R /Contents [10 0 R] >>"}});
  Small.AddStream(10, "<< /LC /ZELQ >>", "q Q", false);
  TLoaded S(std::move(Small));
  EXPECT_EQ(S.Tree()->ContentCount(), 1);
}

// ---------------------------------------------------------------- resources

TEST(PageResources, OwnOrParentOrEmpty) {
  struct Case {
    const char* What;
    std::vector<std::pair<int, std::string>> Objects;
    std::string Expected;  // the font key found, or "" for an empty dictionary
  } Cases[] = {
      {"own", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /FP 1 >> >> >>"},
               {3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 1 >> >> >>"}}, "F1"},
      {"the parent's", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 5 0 R >>"},
                        {3, "<< /Type /Page /Parent 2 0 R >>"}, {5, "<< /Font << /FR 1 >> >>"}}, "FR"},
      {"the grandparent's are not found",
       {{2, "<< /Type /Pages /Kids [4 0 R] /Count 1 /Resources << /Font << /FG 1 >> >> >>"},
        {4, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 2 0 R >>"}, {3, "<< /Type /Page /Parent 4 0 R >>"}}, ""},
      {"not a dictionary", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                            {3, "<< /Type /Page /Parent 2 0 R /Resources 7 >>"}}, ""},
  };
  for (const auto& C : Cases) {
    TLoaded L(TreeWriter(C.Objects));
    TPDFDictionary* R = L.Tree()->GetPageResources();
    ASSERT_NE(R, nullptr) << C.What;
    auto* Fonts = As<TPDFDictionary>(R->GetValue("Font"));
    EXPECT_EQ(Fonts ? Fonts->PairAt(0).first->Value() : "", C.Expected) << C.What;
    if (C.Expected.empty()) {
      EXPECT_EQ(L.Tree()->PageDict()->GetValue("Resources"), R) << C.What;
    }
  }
}

}  // namespace
