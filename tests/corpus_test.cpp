// Every file of the shared corpus loads or is refused cleanly, and every page of
// a loaded file can be selected and read (the reading-order layout too),
// without a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ReadingOrder.h"
#include "uPDFDocument.h"
#include "uPDFPageTree.h"
#include "uPDFTextFunnel.h"

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
      // The words of the reading-order layout, and the layout itself.
      TPDFTextFunnel Words;
      Words.WordMode = Words.KeepWords = true;
      Tree->GetPageText(4, &Words);
      ReadingOrderLayout(Words.Words());
    }
  }
  RecordProperty("loaded", Loaded);
  RecordProperty("refused", Refused);
}

INSTANTIATE_TEST_SUITE_P(Shard, Corpus, testing::Range(0, Shards));

}  // namespace
