// The console program end to end: output bytes, log lines and exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "TestPDFWriter.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

class Console : public testing::Test {
 protected:
  fs::path Dir;
  std::string Pdf;

  void SetUp() override {
    char Template[] = "/tmp/vorlith-cli-XXXXXX";
    Dir = ::mkdtemp(Template);
    TSimpleDocOptions O;
    for (int P = 1; P <= 4; ++P) O.Pages.push_back({"BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P) + ") Tj ET"});
    Pdf = (Dir / "doc.pdf").string();
    std::ofstream(Pdf, std::ios::binary) << MakeSimpleDocument(O).Finish();
  }
  void TearDown() override {
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
  }

  // Runs the program with the settings under Dir; gives the exit status and
  // fills Out and Err.
  int Run(const std::string& Args, std::string& Out, std::string& Err) {
    const std::string Cmd = "cd '" + Dir.string() + "' && XDG_CONFIG_HOME='" + (Dir / "config").string() + "' '" +
                            TEXTEXTRACTOR + "' " + Args + " > out.log 2> err.log < /dev/null";
    const int Status = std::system(Cmd.c_str());
    Out = Read(Dir / "out.log");
    Err = Read(Dir / "err.log");
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
};

TEST_F(Console, ExtractsWithFramingAndLogs) {
  std::string Out, Err;
  ASSERT_EQ(Run("--header 'P&p/&a' --footer '' doc.pdf", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "doc.txt"), "P1/4\n\r\r\nP2/4\n\r\r\nP3/4\n\r\r\nP4/4\n\r\r\n");
  EXPECT_EQ(Err,
            "Current file is: doc.pdf\n Pages: 4\n Press Extract button to extract text\n\n"
            "Begin to extract from doc.pdf to doc.txt\n Page from 1 to 4\n\n"
            "Extraction finished\n\n");
  // Standard output as the target, a range and even pages.
  ASSERT_EQ(Run("-q -f 2 -l 9 --even doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "\n\r = Page 2 =\r\n\n\r = Page 4 =\r\n");
  EXPECT_EQ(Err, "");
}

TEST_F(Console, SavedSettingsAreReadBackAndRangeThreeFails) {
  std::string Out, Err;
  ASSERT_EQ(Run("-q --odd --footer '[&p]' --save doc.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "out.txt"), "\n\r[1]\r\n\n\r[3]\r\n");
  const std::string Ini = Read(Dir / "config" / "Vorlith" / "TextExtractor.ini");
  EXPECT_NE(Ini.find("Page=2\n"), std::string::npos);
  EXPECT_NE(Ini.find("Footer=[&p]\n"), std::string::npos);
  ASSERT_EQ(Run("-q doc.pdf out2.txt", Out, Err), 0);
  EXPECT_EQ(Read(Dir / "out2.txt"), "\n\r[1]\r\n\n\r[3]\r\n");  // odd pages and the footer came back

  std::ofstream(Dir / "config" / "Vorlith" / "TextExtractor.ini") << "[Setting]\nRange=3\n";
  std::ofstream(Dir / "out3.txt") << "earlier";
  EXPECT_EQ(Run("-q doc.pdf out3.txt", Out, Err), 4);
  EXPECT_EQ(Err, "INNER ERROR: Error page range type\n");
  EXPECT_EQ(Read(Dir / "out3.txt"), "earlier");
  EXPECT_EQ(Run("-q --all-pages --footer '' doc.pdf out3.txt", Out, Err), 0);  // an option mends it for this run
  EXPECT_EQ(Read(Dir / "out3.txt"), "\r\n\r\n\r\n\r\n");
}

TEST_F(Console, ExitStatuses) {
  std::string Out, Err;
  EXPECT_EQ(Run("", Out, Err), 2);
  EXPECT_EQ(Run("--bogus doc.pdf", Out, Err), 2);
  EXPECT_EQ(Run("--layout sideways doc.pdf", Out, Err), 2);
  EXPECT_EQ(Run("--text-type 256 doc.pdf", Out, Err), 2);
  EXPECT_EQ(Run("-q missing.pdf", Out, Err), 3);
  std::ofstream(Dir / "bad.pdf") << "not a pdf";
  EXPECT_EQ(Run("bad.pdf", Out, Err), 3);
  EXPECT_EQ(Err, "Can not load file: bad.pdf. It is may be not a valid PDF file.\n\n");
  EXPECT_EQ(Run("-q doc.pdf missing/out.txt", Out, Err), 4);
  EXPECT_FALSE(fs::exists(Dir / "missing"));
  EXPECT_EQ(Run("--help", Out, Err), 0);
  EXPECT_NE(Out.find("--password-file"), std::string::npos);
  EXPECT_EQ(Run("--version", Out, Err), 0);
  EXPECT_EQ(Out.rfind("textextractor ", 0), 0u);
}

TEST_F(Console, Info) {
  std::string Out, Err;
  ASSERT_EQ(Run("--info doc.pdf", Out, Err), 0);
  EXPECT_EQ(Out, "Pages: 4\nPage 1: 612.00 x 792.00\nPage 2: 612.00 x 792.00\nPage 3: 612.00 x 792.00\n"
                 "Page 4: 612.00 x 792.00\n");
  std::ofstream(Dir / "bad.pdf") << "not a pdf";
  EXPECT_EQ(Run("--info bad.pdf", Out, Err), 3);
  EXPECT_EQ(Err, "Can not load file: bad.pdf. It is may be not a valid PDF file.\n");
}

}  // namespace
