// Every file of the shared corpus loads or is refused cleanly, and every page of
// a loaded file can be selected and read, without a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "uPDFDocument.h"
#include "uPDFPageTree.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> Files;
  std::error_code Ec;
  for (auto It = fs::recursive_directory_iterator(VORLITH_CORPUS_DIR, Ec); !Ec && It != fs::end(It); It.increment(Ec))
    if (It->is_regular_file() && It->path().extension() == ".pdf") Files.push_back(It->path());
  std::sort(Files.begin(), Files.end());
  return Files;
}

constexpr int Shards = 6;

class Corpus : public testing::TestWithParam<int> {};

TEST_P(Corpus, EveryFileLoadsOrIsRefusedAndEveryPageReads) {
  static const std::vector<fs::path> Files = CorpusFiles();
  if (Files.empty()) GTEST_SKIP() << "no corpus at " << VORLITH_CORPUS_DIR;
  int Loaded = 0, Refused = 0;
  for (size_t I = static_cast<size_t>(GetParam()); I < Files.size(); I += Shards) {
    SCOPED_TRACE(Files[I].string());
    {
      // Without repair: refused or loaded as the cross-reference data say.
      std::ifstream In(Files[I], std::ios::binary);
      TPDFDocument Plain;
      Plain.Repair = false;
      if (Plain.LoadFromStream(In)) {
        TPDFPageTree* Tree = Plain.PageTree();
        for (int32_t Page = 1; Page <= Tree->PageCount(); ++Page) {
          Tree->SelectPage(Page);
          Tree->GetPageContentBytes();
        }
      }
    }
    std::ifstream In(Files[I], std::ios::binary);
    TPDFDocument Doc;
    if (!Doc.LoadFromStream(In)) {
      ++Refused;
      EXPECT_EQ(Doc.PageTree()->PageCount(), 0);
      continue;
    }
    ++Loaded;
    TPDFPageTree* Tree = Doc.PageTree();
    for (int32_t Page = 1; Page <= Tree->PageCount(); ++Page) {
      Tree->SelectPage(Page);
      if (!Tree->PageDict()) continue;
      EXPECT_GE(Tree->PageWidth(), 0);
      EXPECT_GE(Tree->PageHeight(), 0);
      Tree->GetPageContentBytes();
      EXPECT_NE(Tree->GetPageResources(), nullptr);
      // Every page text type the engine has.
      for (int Type : {0, 2, 3}) Tree->GetPageText(Type);
    }
  }
  RecordProperty("loaded", Loaded);
  RecordProperty("refused", Refused);
}

INSTANTIATE_TEST_SUITE_P(Shard, Corpus, testing::Range(0, Shards));

// Damaged files that other readers open by scanning them: rebuilt, with
// their pages (unreadablemetadata.pdf lacks its Pages node and one page
// object: the three page objects there are its pages).
TEST(CorpusRepair, DamagedFilesOpen) {
  const struct {
    const char* File;
    int32_t Pages;
  } Cases[] = {
      {"pdfminer/contrib/issue-1113-evil-xobjects.pdf", 1},
      {"pdfminer/scancode/patchelf.pdf", 1},
      {"pdfminer/simple1.pdf", 1},
      {"pdfminer/simple3.pdf", 1},
      {"pypdf-samples/017-unreadable-meta-data/unreadablemetadata.pdf", 3},
      {"qpdf/append-page-content-damaged.pdf", 30},
      {"qpdf/bad33.pdf", 1},
      {"qpdf/bad38.pdf", 1},
      {"qpdf/c-check-warn-in.pdf", 1},
      {"qpdf/global_damaged.pdf", 1},
      {"qpdf/issue-106.pdf", 1},
      {"qpdf/issue-117.pdf", 1},
      {"qpdf/issue-202.pdf", 10},
      {"qpdf/minimal-linearize-pass1.pdf", 1},
      {"qpdf/recover-xref-stream.pdf", 1},
  };
  const fs::path Corpus = VORLITH_CORPUS_DIR;
  if (!fs::exists(Corpus / "qpdf")) GTEST_SKIP() << "no corpus at " << VORLITH_CORPUS_DIR;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    for (bool Repair : {true, false}) {
      std::ifstream In(Corpus / C.File, std::ios::binary);
      ASSERT_TRUE(In);
      TPDFDocument Doc;
      Doc.Repair = Repair;
      ASSERT_EQ(Doc.LoadFromStream(In), Repair);
      if (!Repair) continue;
      EXPECT_TRUE(Doc.Rebuilt());
      EXPECT_EQ(Doc.PageTree()->PageCount(), C.Pages);
      Doc.PageTree()->SelectPage(C.Pages);
      EXPECT_NE(Doc.PageTree()->PageDict(), nullptr);
    }
  }
}

}  // namespace
