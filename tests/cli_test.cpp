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
  EXPECT_EQ(Read(Dir / "doc.txt"), "P1/4\n\rPage 1\r\nP2/4\n\rPage 2\r\nP3/4\n\rPage 3\r\nP4/4\n\rPage 4\r\n");
  EXPECT_EQ(Err,
            "Current file is: doc.pdf\n Pages: 4\n Press Extract button to extract text\n\n"
            "Begin to extract from doc.pdf to doc.txt\n Page from 1 to 4\n\n"
            "Extraction finished\n\n");
  // Standard output as the target, a range and even pages.
  ASSERT_EQ(Run("-q -f 2 -l 9 --even doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "Page 2\n\r = Page 2 =\r\nPage 4\n\r = Page 4 =\r\n");
  EXPECT_EQ(Err, "");
}

TEST_F(Console, SavedSettingsAreReadBackAndRangeThreeFails) {
  std::string Out, Err;
  ASSERT_EQ(Run("-q --odd --footer '[&p]' --save doc.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "out.txt"), "Page 1\n\r[1]\r\nPage 3\n\r[3]\r\n");
  const std::string Ini = Read(Dir / "config" / "Vorlith" / "TextExtractor.ini");
  EXPECT_NE(Ini.find("Page=2\n"), std::string::npos);
  EXPECT_NE(Ini.find("Footer=[&p]\n"), std::string::npos);
  ASSERT_EQ(Run("-q doc.pdf out2.txt", Out, Err), 0);
  EXPECT_EQ(Read(Dir / "out2.txt"), "Page 1\n\r[1]\r\nPage 3\n\r[3]\r\n");  // odd pages and the footer came back

  std::ofstream(Dir / "config" / "Vorlith" / "TextExtractor.ini") << "[Setting]\nRange=3\n";
  std::ofstream(Dir / "out3.txt") << "earlier";
  EXPECT_EQ(Run("-q doc.pdf out3.txt", Out, Err), 4);
  EXPECT_EQ(Err, "INNER ERROR: Error page range type\n");
  EXPECT_EQ(Read(Dir / "out3.txt"), "earlier");
  EXPECT_EQ(Run("-q --all-pages --footer '' doc.pdf out3.txt", Out, Err), 0);  // an option mends it for this run
  EXPECT_EQ(Read(Dir / "out3.txt"), "Page 1\r\nPage 2\r\nPage 3\r\nPage 4\r\n");
}

TEST_F(Console, RepairOptions) {
  TSimpleDocOptions O;
  O.Pages = {{"BT /F1 12 Tf 72 720 Td (Page 1) Tj ET"}, {"BT /F1 12 Tf 72 720 Td (Page 2) Tj ET"}};
  TTestPDFWriter W = MakeSimpleDocument(O);
  W.Section().StartXRefShift = 100000;  // startxref past the end
  std::ofstream(Dir / "damaged.pdf", std::ios::binary) << W.Finish();
  const std::string Damaged = "The file is damaged: its cross-reference was rebuilt.";
  std::string Out, Err;
  ASSERT_EQ(Run("--footer '' damaged.pdf -", Out, Err), 0) << Err;
  EXPECT_EQ(Out, "Page 1\r\nPage 2\r\n");
  EXPECT_EQ(Err.substr(0, Damaged.size() + 2), " " + Damaged + "\n");
  EXPECT_EQ(Run("--no-repair damaged.pdf -", Out, Err), 3);
  EXPECT_NE(Err.find("Can not load file: damaged.pdf."), std::string::npos);
  EXPECT_EQ(Run("--no-repair --info damaged.pdf", Out, Err), 3);
  ASSERT_EQ(Run("--info damaged.pdf", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, 9), "Pages: 2\n");
  // Stored: --no-repair --save refuses from then on, --repair mends one run.
  EXPECT_EQ(Run("-q --no-repair --save doc.pdf -", Out, Err), 0);
  EXPECT_NE(Read(Dir / "config/Vorlith/TextExtractor.ini").find("Repair=0"), std::string::npos);
  EXPECT_EQ(Run("-q damaged.pdf -", Out, Err), 3);
  EXPECT_EQ(Run("-q --repair damaged.pdf -", Out, Err), 0);
  EXPECT_EQ(Run("-q doc.pdf -", Out, Err), 0);  // intact files are not concerned
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

TEST_F(Console, ContentLayoutInEachCodePage) {
  // Page 1: a simple font with an accented letter; page 2: a composite font
  // whose ToUnicode map gives two Chinese characters.
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>");
  W.Add(3, 0, "<< /Type /Page /Parent 2 0 R /Contents 8 0 R >>");
  W.Add(4, 0, "<< /Type /Page /Parent 2 0 R /Contents 9 0 R >>");
  W.Add(5, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  W.Add(6, 0, "<< /Type /Font /Subtype /Type0 /BaseFont /SimSun /Encoding /Identity-H /DescendantFonts [7 0 R] "
              "/ToUnicode 10 0 R >>");
  W.Add(7, 0, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /SimSun /W [1 [1000 1000]] >>");
  W.AddStream(8, "", "BT /F1 12 Tf 72 700 Td (caf\351) Tj ET", true);
  W.AddStream(9, "", "BT /F2 12 Tf 72 700 Td <00010002> Tj ET", true);
  W.AddStream(10, "",
              "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n1 begincodespacerange\n<0000> <FFFF>\n"
              "endcodespacerange\n2 beginbfchar\n<0001> <4E2D>\n<0002> <6587>\nendbfchar\nendcmap end end",
              true);
  W.Section().Root = "1 0 R";
  std::ofstream(Dir / "cjk.pdf", std::ios::binary) << W.Finish();
  struct Case {
    const char* Encoding;
    std::string Expected;
  } Cases[] = {
      {"CP1252", "caf\xE9\r\n??\r\n"},
      {"UTF-8", "caf\xC3\xA9\r\n\xE4\xB8\xAD\xE6\x96\x87\r\n"},
      {"CP936", "caf\xA8\xA6\r\n\xD6\xD0\xCE\xC4\r\n"},
  };
  std::string Out, Err;
  for (const auto& C : Cases) {
    ASSERT_EQ(Run(std::string("-q --layout content --footer '' --encoding ") + C.Encoding + " cjk.pdf -", Out, Err), 0)
        << Err;
    EXPECT_EQ(Out, C.Expected) << C.Encoding;
  }
  EXPECT_EQ(Run("--encoding NO-SUCH-CODE-PAGE cjk.pdf -", Out, Err), 2);
}

TEST_F(Console, PositionedRowsAndLayouts) {
  std::string Out, Err;
  // The rows of page text mode 3: Helvetica (shown as its substitute's
  // name) at 72 720, descent -207 and ascent 718 at size 12.
  ASSERT_EQ(Run("-q --page-text 3 -f 1 -l 1 --footer '' doc.pdf -", Out, Err), 0) << Err;
  EXPECT_EQ(Out,
            "\"Arial\",#000000,12.00,72.0000,717.5160,110.0280,717.5160,110.0280,728.6160,72.0000,728.6160,"
            "\"Page 1\"\r\n\r\n");
  // Word mode: the last word joins the block of the one before.
  ASSERT_EQ(Run("-q --page-text 4 -f 2 -l 2 --footer '' doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out.substr(Out.size() - 13), ",\"Page 2\"\r\n\r\n");
  ASSERT_EQ(Run("-q --layout positioned -f 2 -l 3 --footer '' doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "@X=72.00,Y=717.52@Page 2@ENDTEXT@\r\n@X=72.00,Y=717.52@Page 3@ENDTEXT@\r\n");
  ASSERT_EQ(Run("-q --layout reflow -f 4 --footer '' doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "Page 4\r\n");
  ASSERT_EQ(Run("-q --text-type 9 -f 4 --footer '' doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "\r\n");  // no page text for other types
}

TEST_F(Console, Info) {
  std::string Out, Err;
  ASSERT_EQ(Run("--info doc.pdf", Out, Err), 0);
  EXPECT_EQ(Out, "Pages: 4\nEncrypted: 0\nSecurity: 0 2 2 4 6 6 6 6 6 6 11\nPage 1: 612.00 x 792.00\n"
                 "Page 2: 612.00 x 792.00\nPage 3: 612.00 x 792.00\nPage 4: 612.00 x 792.00\n");
  // Encrypted files: the state and the security items, before a password.
  const std::string Fixtures = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/";
  ASSERT_EQ(Run("--info '" + Fixtures + "rc4-40-empty-user.pdf'", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, Out.find("Page 1")), "Pages: 3\nEncrypted: 1\nSecurity: 1 2 3 4 6 6 6 5 5 5 7\n");
  ASSERT_EQ(Run("--info -p user '" + Fixtures + "rc4-128.pdf'", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, Out.find("Page 1")), "Pages: 3\nEncrypted: 1\nSecurity: 1 3 3 10 6 5 6 6 6 6 8\n");
  // Extraction with the user and the owner password; a wrong one without a
  // terminal ends the run with status 3.
  for (const char* Password : {"user", "owner"}) {
    ASSERT_EQ(Run(std::string("-q --layout content --footer '' -f 3 -p ") + Password + " '" + Fixtures + "rc4-128-objstm.pdf' -",
                  Out, Err), 0) << Password;
    EXPECT_EQ(Out.substr(0, 10), "Third page") << Password;
  }
  EXPECT_EQ(Run("-q -p wrong '" + Fixtures + "rc4-128.pdf' -", Out, Err), 3);
  EXPECT_EQ(Run("-q '" + Fixtures + "aes-128.pdf' -", Out, Err), 3);
  std::ofstream(Dir / "bad.pdf") << "not a pdf";
  EXPECT_EQ(Run("--info bad.pdf", Out, Err), 3);
  EXPECT_EQ(Err, "Can not load file: bad.pdf. It is may be not a valid PDF file.\n");
}

}  // namespace
