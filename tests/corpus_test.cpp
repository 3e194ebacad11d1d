// Every file of the shared corpus loads or is refused cleanly, and every page of
// a loaded file can be selected and read (the reading-order layout too),
// without a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ReadingOrder.h"
#include "uPDFDocument.h"
#include "uPDFEngine.h"
#include "uPDFPageText.h"
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
      for (int Type : {0, 2, 3}) GetPageText(Doc, Type);
      // The words of the reading-order layout, and the layout itself.
      TPDFTextFunnel Words;
      Words.WordMode = Words.KeepWords = true;
      GetPageText(Doc, 4, &Words);
      ReadingOrderLayout(Words.Words());
    }
  }
  RecordProperty("loaded", Loaded);
  RecordProperty("refused", Refused);
}

INSTANTIATE_TEST_SUITE_P(Shard, Corpus, testing::Range(0, Shards));

// ---------------------------------------------------------------- encrypted files

// Standard output of Command; empty when it cannot run.
std::string Output(const std::string& Command) {
  std::string Out;
  if (FILE* Pipe = popen(Command.c_str(), "r")) {
    char Buffer[4096];
    for (size_t N; (N = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;) Out.append(Buffer, N);
    pclose(Pipe);
  }
  return Out;
}

bool HasTool(const std::string& Name) { return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quoted(const std::string& Text) { return "'" + Text + "'"; }

std::vector<std::string> Words(const std::string& Text) {
  std::istringstream In(Text);
  std::vector<std::string> W;
  for (std::string Word; In >> Word;) W.push_back(Word);
  return W;
}

// The content text (mode 0) and positioned rows (mode 3) of every page, after
// Password; "refused" when the file does not open with it.
std::string DocumentText(const std::string& File, const std::string& Password, std::string* Content = nullptr) {
  TPDFEngine E;
  if (!E.LoadFromFile(File)) return "not loaded";
  if (E.Encrypted() == TPDFEncryption::Supported && E.SetPassword(Password) == TPDFPasswordResult::Wrong) return "refused";
  std::string Text;
  for (int Page = 1; Page <= E.PageCount(); ++Page) {
    E.SelectPage(Page);
    const std::string Plain = E.GetPageText(TPDFTextMode::Plain);
    if (Content) *Content += Plain + "\n";
    Text += Plain + "\n" + E.GetPageText(TPDFTextMode::Blocks) + "\n";
  }
  return Text;
}

// The corpus files with AES (and crypt filters) whose passwords are known
// open with them, and read as their copies decrypted by qpdf read; their
// words are the words pdftotext gives.
TEST(CorpusEncrypted, AESFilesOpenAndReadAsTheirDecryptedCopies) {
  const std::string Dir = VORLITH_CORPUS_DIR;
  if (!fs::exists(Dir + "/qpdf/V4-aes.pdf")) GTEST_SKIP() << "no corpus at " << Dir;
  if (!HasTool("qpdf") || !HasTool("pdftotext")) GTEST_SKIP() << "qpdf and pdftotext are needed";
  struct TCase {
    const char* File;
    const char* Password;
    bool WordsAsPdftotext;
  } Cases[] = {
      {"pdfminer/encryption/aes-128.pdf", "foo", true},
      {"pdfminer/encryption/aes-128-m.pdf", "baz", true},
      {"pdfminer/encryption/aes-256.pdf", "foo", true},
      {"pdfminer/encryption/aes-256-m.pdf", "baz", true},
      {"pdfminer/encryption/aes-256-r6.pdf", "usersecret", true},
      {"qpdf/enc-XI-R6,V5,U=view,O=master.pdf", "view", true},
      {"qpdf/enc-XI-R6,V5,U=view,O=master.pdf", "master", true},
      {"qpdf/enc-XI-R6,V5,O=master.pdf", "", true},
      {"qpdf/enc-XI-R6,V5,U=wwwww,O=wwwww.pdf", "wwwww", true},
      {"qpdf/enc-XI-R6,V5,U=view,attachments,cleartext-metadata.pdf", "view", true},
      {"qpdf/enc-XI-R6,V5,U=attachment,encrypted-attachments.pdf", "attachment", true},
      {"qpdf/unfilterable-with-crypt.pdf", "attachment", true},
      {"qpdf/V4-aes.pdf", "", true},
      {"qpdf/V4-aes-clearmeta.pdf", "", true},
      {"qpdf/V4-clearmeta.pdf", "", true},
      {"qpdf/V4.pdf", "", true},
      {"qpdf/metadata-crypt-filter.pdf", "", true},
      {"qpdf/encrypted-positive-P.pdf", "", true},
      {"qpdf/copied-positive-P.pdf", "", true},
      {"qpdf/job-json-encrypt-128.pdf", "u", true},
      {"qpdf/job-json-encrypt-128.pdf", "o", true},
      // The content layout leaves out the signature fields' appearances,
      // encrypted or not.
      {"qpdf/minimal-signed-restricted.pdf", "", false},
  };
  char Template[] = "/tmp/vorlith-corpus-XXXXXX";
  const fs::path Temp = ::mkdtemp(Template);
  int Index = 0;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.File) + " [" + C.Password + "]");
    const std::string File = Dir + "/" + C.File;
    const std::string Copy = (Temp / (std::to_string(Index++) + ".pdf")).string();
    std::system(("qpdf --decrypt --password=" + Quoted(C.Password) + " " + Quoted(File) + " " + Copy +
                 " >/dev/null 2>&1").c_str());
    ASSERT_TRUE(fs::exists(Copy));
    std::string Content;
    const std::string Text = DocumentText(File, C.Password, &Content);
    ASSERT_NE(Text, "refused");
    EXPECT_EQ(Text, DocumentText(Copy, ""));
    if (C.WordsAsPdftotext) {
      EXPECT_EQ(Words(Content), Words(Output("pdftotext -q -upw " + Quoted(C.Password) + " -opw " + Quoted(C.Password) +
                                             " " + Quoted(File) + " -")));
    }
  }
  std::error_code Ec;
  fs::remove_all(Temp, Ec);
}

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
