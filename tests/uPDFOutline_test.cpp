// The outline and the page labels: destinations to page numbers, loops and
// depth, label styles and ranges.
#include "uPDFOutline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "CodePage.h"
#include "TestPDFWriter.h"
#include "uPDFDocument.h"
#include "uPDFEngine.h"
#include "uPDFPageTree.h"
#include "uPDFStructure.h"

void PrintTo(const TPDFOutlineItem& Item, std::ostream* Out) {
  *Out << "{" << Item.Level << ", \"" << Item.Title << "\", " << Item.Page << "}";
}

namespace {

using TObjects = std::vector<std::pair<int, std::string>>;

// A document of Pages pages with Catalog in its catalog and Objects added.
// The pages are objects 101, 102, ... with the first two under the node 3;
// the third and fourth are written in the root's Kids the other way round,
// so page 3 is object 104 and page 4 object 103.
std::string Document(const std::string& Catalog, const TObjects& Objects, int Pages = 4) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R " + Catalog + " >>");
  std::string Node, Root = "3 0 R";
  for (int P = 1; P <= Pages; ++P) {
    const int Number = P == 3 && Pages >= 4 ? 104 : P == 4 ? 103 : 100 + P;
    (P <= 2 ? Node : Root) += " " + std::to_string(Number) + " 0 R";
    W.Add(Number, 0, "<< /Type /Page /Parent " + std::string(P <= 2 ? "3" : "2") + " 0 R /MediaBox [0 0 200 200] >>");
  }
  W.Add(2, 0, "<< /Type /Pages /Kids [" + Root + "] /Count " + std::to_string(Pages) + " >>");
  W.Add(3, 0, "<< /Type /Pages /Parent 2 0 R /Kids [" + Node + "] /Count " + std::to_string(std::min(Pages, 2)) + " >>");
  for (const auto& [Number, Body] : Objects) W.Add(Number, 0, Body);
  W.Section().Root = "1 0 R";
  return W.Finish();
}

TPDFEngine& Loaded(TPDFEngine& Engine, const std::string& Pdf) {
  EXPECT_TRUE(Engine.LoadFromData(Pdf));
  return Engine;
}

std::vector<TPDFOutlineItem> OutlineOf(const std::string& Pdf) {
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  return Loaded(Engine, Pdf).Outline();
}

std::vector<std::string> LabelsOf(const std::string& Pdf) {
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  return Loaded(Engine, Pdf).PageLabels();
}

// Outline items 11, 12, ... (titles and the rest of their dictionaries) as
// siblings under the root 10.
TObjects Siblings(const std::vector<std::pair<std::string, std::string>>& Items) {
  const int Last = 10 + static_cast<int>(Items.size());
  TObjects Objects = {{10, "<< /Type /Outlines /First 11 0 R /Last " + std::to_string(Last) + " 0 R >>"}};
  for (int I = 0; I < static_cast<int>(Items.size()); ++I) {
    const int Number = 11 + I;
    std::string Body = "<< /Title " + Items[I].first + " /Parent 10 0 R " + Items[I].second;
    if (Number < Last) Body += " /Next " + std::to_string(Number + 1) + " 0 R";
    Objects.emplace_back(Number, Body + " >>");
  }
  return Objects;
}

TObjects Plus(TObjects Objects, const TObjects& More) {
  Objects.insert(Objects.end(), More.begin(), More.end());
  return Objects;
}

// ---------------------------------------------------------------- outline

TEST(Outline, ItemsInDocumentOrderWithTheirPages) {
  struct Case {
    const char* Name;
    std::string Catalog;
    TObjects Objects;
    std::vector<TPDFOutlineItem> Expected;
  } Cases[] = {
      {"levels; pages as references and as 0-based numbers",
       "/Outlines 10 0 R",
       {{10, "<< /Type /Outlines /First 11 0 R /Last 14 0 R /Count 5 >>"},
        {11, "<< /Title (One) /Parent 10 0 R /First 12 0 R /Next 14 0 R /Dest [101 0 R /XYZ 0 792 0] >>"},
        {12, "<< /Title (One.A) /Parent 11 0 R /First 13 0 R /Next 15 0 R /Dest [102 0 R /Fit] >>"},
        {13, "<< /Title (One.A.i) /Parent 12 0 R /Dest [104 0 R /FitH 700] >>"},
        {15, "<< /Title (One.B) /Parent 11 0 R /Dest [3 /Fit] >>"},
        {14, "<< /Title (Two) /Parent 10 0 R /Dest [103 0 R /Fit] >>"}},
       {{1, "One", 1}, {2, "One.A", 2}, {3, "One.A.i", 3}, {2, "One.B", 4}, {1, "Two", 4}}},
      {"names in the catalog's Dests",
       "/Outlines 10 0 R /Dests 30 0 R",
       Plus(Siblings({{"(Intro)", "/Dest /intro"},
                      {"(Boxed)", "/Dest /boxed"},
                      {"(Indirect)", "/Dest /indirect"},
                      {"(Missing)", "/Dest /missing"}}),
            {{30, "<< /intro [102 0 R /Fit] /boxed << /D [101 0 R /Fit] >> /indirect 31 0 R >>"},
             {31, "[104 0 R /Fit]"}}),
       {{1, "Intro", 2}, {1, "Boxed", 1}, {1, "Indirect", 3}, {1, "Missing", 0}}},
      {"names in the Names tree, whose kid leads back to its root",
       "/Outlines 10 0 R /Names << /Dests 31 0 R >>",
       Plus(Siblings({{"(A)", "/Dest (a)"}, {"(B)", "/Dest (b)"}, {"(C)", "/Dest /c"}, {"(None)", "/Dest (zz)"}}),
            {{31, "<< /Kids [32 0 R 33 0 R] >>"},
             {32, "<< /Limits [(a) (b)] /Names [(a) [101 0 R /Fit] (b) 34 0 R] >>"},
             {34, "<< /D [103 0 R /Fit] >>"},
             {33, "<< /Limits [(c) (c)] /Names [(c) [102 0 R /Fit]] /Kids [31 0 R] >>"}}),
       {{1, "A", 1}, {1, "B", 4}, {1, "C", 2}, {1, "None", 0}}},
      {"actions and destinations that lead nowhere in the document",
       "/Outlines 10 0 R /Names << /Dests 31 0 R >>",
       Plus(Siblings({{"(GoTo)", "/A << /S /GoTo /D [104 0 R /Fit] >>"},
                      {"(GoTo name)", "/A << /S /GoTo /D (a) >>"},
                      {"(GoTo indirect)", "/A 32 0 R"},
                      {"(URI)", "/A << /S /URI /URI (http://example.org/) >>"},
                      {"(GoToR)", "/A << /S /GoToR /F (other.pdf) /D [0 /Fit] >>"},
                      {"(Not a page)", "/Dest [33 0 R /Fit]"},
                      {"(Past the end)", "/Dest [4 /Fit]"},
                      {"(Negative)", "/Dest [-1 /Fit]"},
                      {"(Dangling)", "/Dest [99 0 R /Fit]"},
                      {"(Nowhere)", ""}}),
            {{31, "<< /Names [(a) [102 0 R /Fit]] >>"},
             {32, "<< /S /GoTo /D [101 0 R /Fit] >>"},
             {33, "<< /Type /Annot /Subtype /Link >>"}}),
       {{1, "GoTo", 3},
        {1, "GoTo name", 2},
        {1, "GoTo indirect", 1},
        {1, "URI", 0},
        {1, "GoToR", 0},
        {1, "Not a page", 0},
        {1, "Past the end", 0},
        {1, "Negative", 0},
        {1, "Dangling", 0},
        {1, "Nowhere", 0}}},
      {"Next and First chains that lead back end there; each item is listed once",
       "/Outlines 10 0 R",
       {{10, "<< /Type /Outlines /First 11 0 R >>"},
        {11, "<< /Title (One) /First 11 0 R /Next 12 0 R /Dest [101 0 R /Fit] >>"},
        {12, "<< /Title (Two) /First 13 0 R /Next 11 0 R >>"},
        {13, "<< /Title (Three) /First 12 0 R /Next 10 0 R >>"}},
       {{1, "One", 1}, {1, "Two", 0}, {2, "Three", 0}}},
      {"titles in UTF-16 and PDFDocEncoding, control characters as spaces",
       "/Outlines 10 0 R",
       Siblings({{"<FEFF004800E9000A0021>", ""},
                 {"<FEFFD83DDE00>", ""},
                 {"(  \\r\\nLine\\000  )", ""},
                 {"(\\200 Dot)", ""},
                 {"/NotAString", ""}}),
       {{1, "H\xC3\xA9 !", 0}, {1, "\xF0\x9F\x98\x80", 0}, {1, "Line", 0}, {1, "\xE2\x80\xA2 Dot", 0}, {1, "", 0}}},
      {"no outline", "", {}, {}},
      {"an Outlines that is no dictionary", "/Outlines [10 0 R]", Siblings({{"(One)", ""}}), {}},
      {"an Outlines that refers to no object", "/Outlines 10 0 R", {}, {}},
      {"an Outlines without First", "/Outlines << /Count 0 >>", {}, {}},
  };
  for (const Case& C : Cases) EXPECT_EQ(OutlineOf(Document(C.Catalog, C.Objects)), C.Expected) << C.Name;
}

TEST(Outline, ItemsPastTheDepthLimitAreLeftOut) {
  // A chain of 70 items, each the First of the one before.
  TObjects Objects = {{10, "<< /First 11 0 R >>"}};
  for (int I = 1; I <= 70; ++I)
    Objects.emplace_back(10 + I, "<< /Title (L" + std::to_string(I) + ") /First " + std::to_string(11 + I) + " 0 R >>");
  const auto Items = OutlineOf(Document("/Outlines 10 0 R", Objects));
  ASSERT_EQ(Items.size(), 64u);
  for (int I = 0; I < 64; ++I) EXPECT_EQ(Items[I].Level, I + 1);
  EXPECT_EQ(Items.back().Title, "L64");
}

TEST(Outline, TreesPastTheDepthLimitAreNotRead) {
  // A chain of 71 nodes (objects 200 to 270), each the only kid of the one
  // before, with Leaf in the deepest and Shallow in the third.
  const auto Chain = [](const std::string& Shallow, const std::string& Leaf) {
    TObjects Objects;
    for (int I = 0; I < 70; ++I)
      Objects.emplace_back(200 + I, "<< /Kids [" + std::to_string(201 + I) + " 0 R] " + (I == 2 ? Shallow : "") + " >>");
    Objects.emplace_back(270, "<< " + Leaf + " >>");
    return Objects;
  };
  const TObjects Names = Chain("/Names [(near) [102 0 R /Fit]]", "/Names [(far) [101 0 R /Fit]]");
  const std::vector<TPDFOutlineItem> Expected = {{1, "Near", 2}, {1, "Far", 0}};
  EXPECT_EQ(OutlineOf(Document("/Outlines 10 0 R /Names << /Dests 200 0 R >>",
                               Plus(Siblings({{"(Near)", "/Dest (near)"}, {"(Far)", "/Dest (far)"}}), Names))),
            Expected);
  EXPECT_EQ(LabelsOf(Document("/PageLabels 200 0 R", Chain("", "/Nums [0 << /S /D >>]"))), std::vector<std::string>());
  EXPECT_EQ(LabelsOf(Document("/PageLabels 200 0 R", Chain("/Nums [0 << /S /r >>]", "/Nums [0 << /S /D >>]"))),
            (std::vector<std::string>{"i", "ii", "iii", "iv"}));
}

TEST(Outline, APageTreeWithALoopNumbersEachPageOnce) {
  // The node 3 lists the root among its kids, after its page: each page is
  // numbered once, as page lookups number it.
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 102 0 R] /Count 2 >>");
  W.Add(3, 0, "<< /Type /Pages /Parent 2 0 R /Kids [101 0 R 2 0 R] /Count 1 >>");
  W.Add(101, 0, "<< /Type /Page /Parent 3 0 R >>");
  W.Add(102, 0, "<< /Type /Page /Parent 2 0 R >>");
  for (const auto& [Number, Body] : Siblings({{"(First)", "/Dest [101 0 R /Fit]"}, {"(Second)", "/Dest [102 0 R /Fit]"}}))
    W.Add(Number, 0, Body);
  W.Section().Root = "1 0 R";
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  Loaded(Engine, W.Finish());
  const std::vector<TPDFOutlineItem> Expected = {{1, "First", 1}, {1, "Second", 2}};
  EXPECT_EQ(Engine.Outline(), Expected);
  for (int Page : {1, 2}) {
    ASSERT_EQ(Engine.SelectPage(Page), 1);
    EXPECT_EQ(Engine.SelectedDocument()->PageTree()->PageDict()->IndirectNumber, 100 + Page);
  }
}

// ---------------------------------------------------------------- page labels

TEST(PageLabels, NumbersInEachStyle) {
  struct Case {
    int64_t Value;
    char Style;
    std::string Expected;
  } Cases[] = {
      {1, 'D', "1"},
      {0, 'D', "0"},
      {4, 'r', "iv"},
      {1994, 'R', "MCMXCIV"},
      {9999, 'R', "MMMMMMMMMCMXCIX"},
      {10000, 'R', "10000"},  // too long in roman numerals
      {0, 'r', "0"},
      {1, 'A', "A"},
      {26, 'A', "Z"},
      {27, 'A', "AA"},
      {53, 'a', "aaa"},
      {2600, 'A', std::string(100, 'Z')},
      {2601, 'a', "2601"},  // more than a hundred letters
      {-5, 'a', "-5"},
      {3, 'x', ""},  // no such style
      {3, 0, ""},
  };
  for (const Case& C : Cases) EXPECT_EQ(PageLabelNumber(C.Value, C.Style), C.Expected) << C.Value << C.Style;
}

TEST(PageLabels, RangesOfTheNumberTree) {
  using Labels = std::vector<std::string>;
  struct Case {
    const char* Name;
    std::string Catalog;
    TObjects Objects;
    int Pages;
    Labels Expected;
  } Cases[] = {
      {"decimal with prefix and start", "/PageLabels << /Nums [0 << /S /D /P (p-) /St 5 >>] >>", {}, 3,
       {"p-5", "p-6", "p-7"}},
      {"roman, then decimal from 1",
       "/PageLabels << /Nums [0 << /S /r >> 2 << /S /D >>] >>", {}, 5, {"i", "ii", "1", "2", "3"}},
      {"upper roman from 4; letters from 25, upper and lower",
       "/PageLabels 40 0 R",
       {{40, "<< /Nums [0 41 0 R 2 << /S /A /St 25 >> 5 << /S /a /St 52 >>] >>"}, {41, "<< /S /R /St 4 >>"}},
       7,
       {"IV", "V", "Y", "Z", "AA", "zz", "aaa"}},
      {"a prefix alone, in UTF-16", "/PageLabels << /Nums [0 << /P <FEFF00C4> >> 1 << /P (Cover\\n) >>] >>", {}, 2,
       {"\xC3\x84", "Cover "}},
      {"ranges in kids, one leading back to the root",
       "/PageLabels 40 0 R",
       {{40, "<< /Kids [41 0 R 42 0 R] >>"},
        {41, "<< /Limits [0 0] /Nums [0 << /S /r >>] /Kids [40 0 R] >>"},
        {42, "<< /Limits [2 2] /Nums [2 << /S /D >>] >>"}},
       4,
       {"i", "ii", "1", "2"}},
      {"ranges out of order; the first of a page written twice", "/PageLabels << /Nums [2 << /S /D >> 0 << /S /R >> 2 << /S /a >>] >>",
       {}, 3, {"I", "II", "1"}},
      {"no range for page 1: decimal page numbers up to the first",
       "/PageLabels << /Nums [2 << /S /A >>] >>", {}, 4, {"1", "2", "A", "B"}},
      {"malformed entries are passed over",
       "/PageLabels << /Nums [(x) << /S /D >> -1 << /S /r >> 1 /Bogus 0 << /S /R /St -1 >> 1 99 0 R 2] >>", {}, 3,
       {"-1", "0", "I"}},
      {"a range past the last page", "/PageLabels << /Nums [0 << /S /D >> 9 << /S /r >>] >>", {}, 2, {"1", "2"}},
      {"an unknown style gives the prefix only", "/PageLabels << /Nums [0 << /S /Q /P (x) >>] >>", {}, 2, {"x", "x"}},
      {"no PageLabels", "", {}, 2, {}},
      {"a PageLabels that is no dictionary", "/PageLabels [0 << /S /D >>]", {}, 2, {}},
      {"a PageLabels without a range", "/PageLabels << /Nums [0 /D] >>", {}, 2, {}},
  };
  for (const Case& C : Cases) EXPECT_EQ(LabelsOf(Document(C.Catalog, C.Objects, C.Pages)), C.Expected) << C.Name;
}

// ---------------------------------------------------------------- the engine

TEST(OutlineEngine, TheEmptyDocumentHasNeither) {
  TPDFEngine Engine(TCodePage::Create("UTF-8"));
  EXPECT_TRUE(Engine.Outline().empty());
  EXPECT_TRUE(Engine.PageLabels().empty());
}

bool HasTool(const std::string& Name) { return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0; }

TEST(OutlineEngine, StringsOfAProtectedDocumentAreReadOnceThePasswordIsAccepted) {
  if (!HasTool("qpdf")) GTEST_SKIP() << "qpdf is needed to encrypt the fixture";
  namespace fs = std::filesystem;
  const std::string Plain =
      Document("/Outlines 10 0 R /Names << /Dests 31 0 R >> /PageLabels << /Nums [0 << /P (Front-) /S /r >>] >>",
               Plus(Siblings({{"(Secret title)", "/Dest (there)"}, {"<FEFF00DC>", "/Dest [102 0 R /Fit]"}}),
                    {{31, "<< /Names [(there) [104 0 R /Fit]] >>"}}));
  const std::vector<TPDFOutlineItem> Expected = {{1, "Secret title", 3}, {1, "\xC3\x9C", 2}};
  char Template[] = "/tmp/vorlith-outline-XXXXXX";
  ASSERT_NE(::mkdtemp(Template), nullptr);
  const fs::path Dir = Template;
  std::ofstream(Dir / "plain.pdf", std::ios::binary) << Plain;
  for (const char* Options : {"", "--object-streams=generate"}) {
    SCOPED_TRACE(Options);
    const fs::path Encrypted = Dir / "encrypted.pdf";
    fs::remove(Encrypted);
    ASSERT_EQ(std::system(("qpdf --allow-weak-crypto " + std::string(Options) + " --encrypt user owner 128 --use-aes=n -- " +
                           (Dir / "plain.pdf").string() + " " + Encrypted.string() + " >/dev/null 2>&1")
                              .c_str()),
              0);
    std::ifstream In(Encrypted, std::ios::binary);
    const std::string Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    TPDFEngine Engine(TCodePage::Create("UTF-8"));
    Loaded(Engine, Bytes);
    // Read before the password: whatever it gives, the call comes back.
    Engine.Outline();
    Engine.PageLabels();
    ASSERT_EQ(Engine.SetPassword("user"), TPDFPasswordResult::User);
    EXPECT_EQ(Engine.Outline(), Expected);
    EXPECT_EQ(Engine.PageLabels(), (std::vector<std::string>{"Front-i", "Front-ii", "Front-iii", "Front-iv"}));
  }
  fs::remove_all(Dir);
}

}  // namespace
