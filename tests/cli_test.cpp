// The console program end to end: output bytes, log lines and exit status.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "HostileFixtures.h"
#include "TestFonts.h"
#include "TestPDFWriter.h"
#include "uPDFCMap.h"

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

  // Run with standard input from the file Input (in Dir).
  int RunFrom(const std::string& Input, const std::string& Args, std::string& Out, std::string& Err) {
    const std::string Cmd = "cd '" + Dir.string() + "' && XDG_CONFIG_HOME='" + (Dir / "config").string() + "' '" +
                            TEXTEXTRACTOR + "' " + Args + " > out.log 2> err.log < '" + Input + "'";
    const int Status = std::system(Cmd.c_str());
    Out = Read(Dir / "out.log");
    Err = Read(Dir / "err.log");
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }

  // Starts the program in Dir with standard error going to err.log, without
  // waiting; BeforeExec runs in the parent with the child's process id while
  // the child waits, just before the child runs the program.
  pid_t Start(const std::string& Args, const std::function<void(pid_t)>& BeforeExec = {}) {
    int Gate[2];
    if (::pipe(Gate) != 0) return -1;
    const std::string Cmd = "cd '" + Dir.string() + "' && XDG_CONFIG_HOME='" + (Dir / "config").string() +
                            "' exec '" + TEXTEXTRACTOR + "' " + Args + " > out.log 2> err.log < /dev/null";
    const pid_t Pid = ::fork();
    if (Pid == 0) {
      ::close(Gate[1]);
      char C;
      while (::read(Gate[0], &C, 1) < 0 && errno == EINTR) {
      }
      ::execl("/bin/sh", "sh", "-c", Cmd.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(Gate[0]);
    if (BeforeExec) BeforeExec(Pid);
    ::close(Gate[1]);
    return Pid;
  }
  static int Wait(pid_t Pid) {
    int Status = 0;
    while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  // Waits until Path exists (at most a minute).
  static bool AwaitFile(const fs::path& Path) {
    for (int I = 0; I < 6000 && !fs::exists(Path); ++I) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(Path);
  }
  // Files below Folder whose name starts with "." (temporary files).
  static std::vector<std::string> Hidden(const fs::path& Folder) {
    std::vector<std::string> Found;
    std::error_code Ec;
    for (fs::recursive_directory_iterator It(Folder, Ec), End; !Ec && It != End; It.increment(Ec))
      if (It->path().filename().string()[0] == '.') Found.push_back(It->path().string());
    return Found;
  }
  // The single-file form's output for Input with Options.
  std::string SingleOutput(const std::string& Options, const std::string& Input) {
    std::string Out, Err;
    EXPECT_EQ(Run("-q " + Options + " '" + Input + "' -", Out, Err), 0) << Input << ": " << Err;
    return Out;
  }
  // Writes a document of Pages pages, each with a few lines of text.
  void WriteLongDocument(const fs::path& Path, int Pages) {
    TSimpleDocOptions O;
    for (int P = 1; P <= Pages; ++P) {
      std::string Content = "BT /F1 10 Tf 72 720 Td 12 TL";
      for (int L = 0; L < 40; ++L) Content += " (Line " + std::to_string(L) + " of page " + std::to_string(P) + ") '";
      O.Pages.push_back({Content + " ET"});
    }
    std::ofstream(Path, std::ios::binary) << MakeSimpleDocument(O).Finish();
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

TEST_F(Console, SavedSettingsAreReadBackAndOutOfRangeValuesFallBack) {
  std::string Out, Err;
  ASSERT_EQ(Run("-q --odd --footer '[&p]' --save doc.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "out.txt"), "Page 1\n\r[1]\r\nPage 3\n\r[3]\r\n");
  const std::string Ini = Read(Dir / "config" / "Vorlith" / "TextExtractor.ini");
  EXPECT_NE(Ini.find("Page=2\n"), std::string::npos);
  EXPECT_NE(Ini.find("Footer=[&p]\n"), std::string::npos);
  ASSERT_EQ(Run("-q doc.pdf out2.txt", Out, Err), 0);
  EXPECT_EQ(Read(Dir / "out2.txt"), "Page 1\n\r[1]\r\nPage 3\n\r[3]\r\n");  // odd pages and the footer came back

  // A Range or Page that names nothing: the default, and one warning line.
  std::ofstream(Dir / "config" / "Vorlith" / "TextExtractor.ini") << "[Setting]\nRange=3\nPage=9\nFooter=\"\"\n";
  ASSERT_EQ(Run("doc.pdf out3.txt", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "out3.txt"), "Page 1\r\nPage 2\r\nPage 3\r\nPage 4\r\n");
  EXPECT_EQ(Err.rfind("The setting Range=3 is out of range; the default 1 is used.\n"
                      "The setting Page=9 is out of range; the default 1 is used.\n", 0), 0u) << Err;
  ASSERT_EQ(Run("-o batch doc.pdf", Out, Err), 0);  // the batch form says it once
  EXPECT_EQ(Err, "The setting Range=3 is out of range; the default 1 is used.\n"
                 "The setting Page=9 is out of range; the default 1 is used.\n"
                 "doc.pdf: extracted\n1 files: 1 extracted, 0 skipped, 0 not opened, 0 failed\n");
}

// The settings file is read only when it is a regular file of at most 64
// KiB: a link to /dev/zero, a FIFO or a huge file gives the defaults at once.
TEST_F(Console, SettingsFilesOfEveryKind) {
  const fs::path Ini = Dir / "config" / "Vorlith" / "TextExtractor.ini";
  fs::create_directories(Ini.parent_path());
  std::string Out, Err;
  const std::vector<std::function<void()>> Kinds = {
      [&] { fs::create_symlink("/dev/zero", Ini); },
      [&] { ASSERT_EQ(::mkfifo(Ini.c_str(), 0600), 0); },
      [&] { std::ofstream(Ini) << "[Setting]\nFooter=x\n" << std::string(70 << 10, ';'); },
      [&] { fs::create_directory(Ini); },
  };
  for (size_t I = 0; I < Kinds.size(); ++I) {
    std::error_code Ec;
    fs::remove_all(Ini, Ec);
    Kinds[I]();
    ASSERT_EQ(Run("--footer '' -l 1 doc.pdf -", Out, Err), 0) << I;
    EXPECT_EQ(Out, "Page 1\r\n") << I;
    EXPECT_NE(Err.find("is not a regular file of at most 64 KiB; the defaults are used."), std::string::npos) << I;
  }
  std::error_code Ec;
  fs::remove_all(Ini, Ec);
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
  EXPECT_EQ(Err, "Can not load file: bad.pdf. It is may be not a valid PDF file.\n\n"
                 "textextractor: bad.pdf: not a PDF (no header)\n");
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

TEST_F(Console, ChineseFontsWithoutToUnicode) {
  // Each page shows 中文 in a composite font without a ToUnicode map; the
  // text comes from what else the file states.
  auto GB1 = TPDFCMapStore::Installed().Find("UniGB-UCS2-H");
  if (!GB1) GTEST_SKIP() << "poppler-data's CMaps are not installed";
  char GB1Codes[16];
  std::snprintf(GB1Codes, sizeof GB1Codes, "<%04X%04X>", GB1->LookupCID(0x4E2D).value_or(0),
                GB1->LookupCID(0x6587).value_or(0));
  TTestTrueType Program;
  Program.Advances = {1000, 1000, 1000};
  Program.Characters = {{0x4E2D, 1}, {0x6587, 2}};
  const std::string Info = "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 2 >>";
  struct Page {
    const char* What;
    std::string Type0, Descendant, Shown;
  } Pages[] = {
      {"a font without a program, UniGB-UCS2-H", "/Encoding /UniGB-UCS2-H",
       "/Subtype /CIDFontType0 /BaseFont /STSong-Light " + Info, "<4E2D6587>"},
      {"its vertical form", "/Encoding /UniGB-UCS2-V", "/Subtype /CIDFontType0 /BaseFont /STSong-Light " + Info,
       "<4E2D6587>"},
      {"GBK codes of one and two bytes", "/Encoding /GBK-EUC-H",
       "/Subtype /CIDFontType0 /BaseFont /STSong-Light " + Info, "(A\xD6\xD0\xCE\xC4)"},
      {"Identity-H with Adobe-GB1", "/Encoding /Identity-H",
       "/Subtype /CIDFontType0 /BaseFont /FandolSong-Regular " + Info, GB1Codes},
      {"Identity-H with an embedded TrueType program's cmap, through CIDToGIDMap", "/Encoding /Identity-H",
       "/Subtype /CIDFontType2 /BaseFont /Sub /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) >> "
       "/CIDToGIDMap 90 0 R /FontDescriptor << /Flags 4 /FontFile2 91 0 R >>",
       "<00050006>"},
  };
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string Kids, Fonts;
  const int N = static_cast<int>(std::size(Pages));
  for (int I = 0; I < N; ++I) {
    const int Page = 10 + 4 * I;
    Kids += std::to_string(Page) + " 0 R ";
    Fonts += "/F" + std::to_string(I) + " " + std::to_string(Page + 1) + " 0 R ";
    W.Add(Page, 0, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(Page + 3) + " 0 R >>");
    W.Add(Page + 1, 0, "<< /Type /Font /Subtype /Type0 /BaseFont /Chinese " + Pages[I].Type0 + " /DescendantFonts [" +
                           std::to_string(Page + 2) + " 0 R] >>");
    W.Add(Page + 2, 0, "<< /Type /Font " + Pages[I].Descendant + " >>");
    W.AddStream(Page + 3, "", "BT /F" + std::to_string(I) + " 12 Tf 72 700 Td " + Pages[I].Shown + " Tj ET", true);
  }
  W.Add(2, 0, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(N) +
                  " /MediaBox [0 0 612 792] /Resources << /Font << " + Fonts + ">> >> >>");
  W.AddStream(90, "", std::string("\0\0\0\0\0\0\0\0\0\0\0\1\0\2", 14), true);  // CIDs 5, 6 -> glyphs 1, 2
  W.AddStream(91, "", MakeTrueType(Program), true);
  W.Section().Root = "1 0 R";
  std::ofstream(Dir / "chinese.pdf", std::ios::binary) << W.Finish();

  const std::string UTF8 = "\xE4\xB8\xAD\xE6\x96\x87", GB18030 = "\xD6\xD0\xCE\xC4";
  for (const char* Layout : {"content", "reflow"})
    for (const auto& [Encoding, Text] : {std::pair{"UTF-8", UTF8}, std::pair{"GB18030", GB18030}}) {
      std::string Out, Err;
      ASSERT_EQ(Run(std::string("-q --footer '' --layout ") + Layout + " --encoding " + Encoding + " chinese.pdf -",
                    Out, Err),
                0)
          << Err;
      std::vector<std::string> Items;
      for (size_t At = 0, End; (End = Out.find("\r\n", At)) != std::string::npos; At = End + 2)
        Items.push_back(Out.substr(At, End - At));
      ASSERT_EQ(Items.size(), std::size(Pages)) << Layout << " " << Encoding << ": " << Out;
      for (int I = 0; I < N; ++I) {
        const std::string Expected = (I == 2 ? "A" : "") + Text;
        EXPECT_EQ(Items[I], Expected) << Pages[I].What << ", " << Layout << ", " << Encoding;
      }
    }
}

// A page of Helvetica lines: each "x y size text" places one line (a size
// of -10 runs it upwards, turned by 90 degrees).
std::string Lines(std::initializer_list<std::tuple<double, double, double, std::string>> Placed) {
  std::string Content;
  for (const auto& [X, Y, Size, Text] : Placed) {
    const bool Turned = Size < 0;
    const double S = Turned ? -Size : Size;
    Content += "BT /F1 " + std::to_string(S) + " Tf " + (Turned ? "0 1 -1 0 " : "1 0 0 1 ") + std::to_string(X) +
               " " + std::to_string(Y) + " Tm (" + Text + ") Tj ET\n";
  }
  return Content;
}

TEST_F(Console, ReadingOrderLayout) {
  const std::string L1 = "Left column text, line one", L2 = "Left column text, line two",
                    L3 = "Left column text, line three", R1 = "Right column text, line one",
                    R2 = "Right column text, line two", R3 = "Right column text, line three";
  struct Case {
    const char* What;
    std::string Content, Expected;
  } Cases[] = {
      {"two columns", Lines({{50, 700, 10, L1}, {320, 700, 10, R1}, {50, 686, 10, L2}, {320, 686, 10, R2},
                             {50, 672, 10, L3}, {320, 672, 10, R3}}),
       L1 + "\r\n" + L2 + "\r\n" + L3 + "\r\n\r\n" + R1 + "\r\n" + R2 + "\r\n" + R3},
      {"three columns",
       Lines({{40, 700, 10, "First column, line one"}, {220, 700, 10, "Second column, line one"},
              {400, 700, 10, "Third column, line one"}, {40, 686, 10, "First column, line two"},
              {220, 686, 10, "Second column, line two"}, {400, 686, 10, "Third column, line two"}}),
       "First column, line one\r\nFirst column, line two\r\n\r\nSecond column, line one\r\nSecond column, line "
       "two\r\n\r\nThird column, line one\r\nThird column, line two"},
      {"a full-width title over two columns",
       Lines({{150, 740, 16, "A Title Across Both Columns"}, {50, 700, 10, L1}, {320, 700, 10, R1},
              {50, 686, 10, L2}, {320, 686, 10, R2}, {50, 672, 10, L3}, {320, 672, 10, R3}}),
       "A Title Across Both Columns\r\n\r\n" + L1 + "\r\n" + L2 + "\r\n" + L3 + "\r\n\r\n" + R1 + "\r\n" + R2 +
           "\r\n" + R3},
      {"a full-width caption between two-column parts",
       Lines({{50, 700, 10, L1}, {320, 700, 10, R1}, {50, 686, 10, L2}, {320, 686, 10, R2},
              {60, 660, 10, "Figure 1: a caption that runs across the whole width of the page, both columns"},
              {50, 634, 10, L3}, {320, 634, 10, R3}}),
       L1 + "\r\n" + L2 + "\r\n\r\n" + R1 + "\r\n" + R2 +
           "\r\n\r\nFigure 1: a caption that runs across the whole width of the page, both columns\r\n\r\n" + L3 +
           "\r\n\r\n" + R3},
      {"a table of short cells, row by row",
       Lines({{50, 700, 10, "Name"}, {120, 700, 10, "Size"}, {190, 700, 10, "Unit"}, {50, 686, 10, "alpha"},
              {120, 686, 10, "12"}, {190, 686, 10, "mm"}, {50, 672, 10, "beta"}, {120, 672, 10, "7.5"},
              {190, 672, 10, "kg"}}),
       "Name Size Unit\r\nalpha 12 mm\r\nbeta 7.5 kg"},
      {"a rotated margin label reads on its own",
       Lines({{30, 600, -10, "Turned label"}, {60, 700, 10, "A line of the body text"},
              {60, 686, 10, "and its second line"}}),
       "A line of the body text\r\nand its second line\r\n\r\nTurned label"},
      {"a hyphenated line end is kept", Lines({{50, 700, 10, "an exam-"}, {50, 686, 10, "ple of a word"}}),
       "an exam-\r\nple of a word"},
      {"paragraphs: a wider gap and an indented first line",
       Lines({{50, 700, 10, "First paragraph, line one,"}, {50, 686, 10, "and its line two."},
              {50, 652, 10, "Second paragraph after a gap,"}, {50, 638, 10, "and its line two."},
              {65, 624, 10, "Third paragraph, indented,"}, {50, 610, 10, "and its line two."}}),
       "First paragraph, line one,\r\nand its line two.\r\n\r\nSecond paragraph after a gap,\r\nand its line "
       "two.\r\n\r\nThird paragraph, indented,\r\nand its line two."},
      {"superscripts and the letters of a logo stay in their line",
       "BT /F1 10 Tf 50 700 Td (E = mc) Tj /F1 7 Tf 4 Ts (2) Tj ET\n"
       "BT /F1 10 Tf 50 680 Td (L) Tj /F1 7 Tf 2.5 Ts (A) Tj /F1 10 Tf 0 Ts (T) Tj -2 Ts (E) Tj 0 Ts (X) Tj ET\n"
       "BT /F1 10 Tf 50 660 Td (H) Tj /F1 7 Tf -2 Ts (2) Tj /F1 10 Tf 0 Ts (O) Tj ET",
       "E = mc2\r\nLATEX\r\nH2O"},
  };
  TSimpleDocOptions O;
  for (const auto& C : Cases) O.Pages.push_back({C.Content});
  std::ofstream(Dir / "reading.pdf", std::ios::binary) << MakeSimpleDocument(O).Finish();
  // Page by page: a page's own blank lines look like the ends of items.
  std::string Out, Err;
  for (size_t P = 0; P < std::size(Cases); ++P) {
    ASSERT_EQ(Run("-q --layout reading --footer '' --encoding UTF-8 -f " + std::to_string(P + 1) + " -l " +
                      std::to_string(P + 1) + " reading.pdf -",
                  Out, Err),
              0)
        << Err;
    EXPECT_EQ(Out, Cases[P].Expected + "\r\n") << Cases[P].What;
  }
  // The stored layout number and the single-column page: the same lines as
  // the reflow layout gives, its runs of spaces aside.
  ASSERT_EQ(Run("-q --text-type 3 --footer '' -f 8 -l 8 reading.pdf -", Out, Err), 0) << Err;
  EXPECT_EQ(Out, Cases[7].Expected + "\r\n");
  std::string Reflow;
  ASSERT_EQ(Run("-q --layout reflow --footer '' -f 7 -l 7 reading.pdf -", Reflow, Err), 0) << Err;
  EXPECT_EQ(Reflow, Cases[6].Expected + "\r\n");
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
                 "Page 2: 612.00 x 792.00\nPage 3: 612.00 x 792.00\nPage 4: 612.00 x 792.00\nPDF version: 1.4\n");
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
  // AES-128 and AES-256: the same lines, text with either password, status 3
  // for a wrong one or none.
  ASSERT_EQ(Run("--info -p user '" + Fixtures + "aes-128.pdf'", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, Out.find("Page 2")),
            "Pages: 3\nEncrypted: 1\nSecurity: 1 3 3 4 6 6 6 6 6 6 8\nPage 1: 612.00 x 792.00\n");
  ASSERT_EQ(Run("--info -p owner '" + Fixtures + "aes-256.pdf'", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, Out.find("Page 1")), "Pages: 3\nEncrypted: 1\nSecurity: 1 3 2 10 6 5 6 6 6 6 12\n");
  // The metadata follows, decrypted, under pdfinfo's names.
  EXPECT_EQ(Out.substr(Out.find("Title")),
            "Title: Vorlith sample\nSubject: unspecified\nAuthor: Vorlith\nCreator: ReportLab PDF Library - "
            "www.reportlab.com\nProducer: ReportLab PDF Library - www.reportlab.com\nCreationDate: "
            "2000-01-01T00:00:00+00:00\nModDate: 2000-01-01T00:00:00+00:00\nPDF version: 1.7\n");
  for (const char* File : {"aes-128.pdf", "aes-256.pdf"}) {
    for (const char* Password : {"user", "owner"}) {
      ASSERT_EQ(Run(std::string("-q --footer '' -f 2 -l 2 -p ") + Password + " '" + Fixtures + File + "' -", Out, Err), 0)
          << File << " " << Password;
      EXPECT_EQ(Out.substr(0, 11), "Second page") << File << " " << Password;
    }
    EXPECT_EQ(Run(std::string("-q -p wrong '") + Fixtures + File + "' -", Out, Err), 3) << File;
    EXPECT_EQ(Run(std::string("-q '") + Fixtures + File + "' -", Out, Err), 3) << File;
  }
  std::ofstream(Dir / "bad.pdf") << "not a pdf";
  EXPECT_EQ(Run("--info bad.pdf", Out, Err), 3);
  EXPECT_EQ(Err, "Can not load file: bad.pdf. It is may be not a valid PDF file.\n"
                 "textextractor: bad.pdf: not a PDF (no header)\n");
  // A document that needs a password it was not given: what is known
  // without one, and status 3.
  EXPECT_EQ(Run("--info '" + Fixtures + "aes-256.pdf'", Out, Err), 3);
  EXPECT_EQ(Out, "Encrypted: 1\nSecurity: 1 3 3 10 6 5 6 6 6 6 12\n");
  EXPECT_EQ(Err, "textextractor: " + Fixtures + "aes-256.pdf: a password is needed\n");
}

// Every failure of the single form says its cause on standard error, after
// the log's own words, with -q too.
TEST_F(Console, FailuresSayTheirCause) {
  std::string Out, Err;
  const std::string Fixtures = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/";
  std::ofstream(Dir / "empty.pdf") << "";
  std::ofstream(Dir / "cut.pdf", std::ios::binary) << "%PDF-1.4\n%cut short\n";
  fs::create_directory(Dir / "folder.pdf");
  struct TCase {
    std::string Args, File;
    int Status;
    const char* Cause;
  } Cases[] = {
      {"", "missing.pdf", 3, "no such file"},
      {"", "folder.pdf", 3, "a folder"},
      {"", "/etc/passwd", 3, "not a PDF (no header)"},
      {"", "empty.pdf", 3, "not a PDF (no header)"},
      {"--no-repair ", "cut.pdf", 3, "damaged beyond repair"},
      {"", Fixtures + "aes-256.pdf", 3, "a password is needed"},
      {"-p wrong ", Fixtures + "aes-256.pdf", 3, "the password is wrong"},
      {"-p wrong ", Fixtures + "rc4-40.pdf", 3, "the password is wrong"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Run("-q " + C.Args + "'" + C.File + "' out.txt", Out, Err), C.Status) << C.File;
    EXPECT_EQ(Err, "textextractor: " + C.File + ": " + C.Cause + "\n") << C.File;
    EXPECT_FALSE(fs::exists(Dir / "out.txt")) << C.File;
  }
}

// On a terminal the console's progress line names Ctrl-C, not the window's
// Stop button; the log lines keep the window's words.
TEST_F(Console, ProgressLineOnATerminalNamesCtrlC) {
  if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "script (util-linux) is missing";
  const std::string Cmd = "cd '" + Dir.string() + "' && XDG_CONFIG_HOME='" + (Dir / "config").string() +
                          "' script -qec \"'" + TEXTEXTRACTOR + "' doc.pdf out.txt\" /dev/null > tty.log 2>&1";
  ASSERT_EQ(std::system(Cmd.c_str()), 0);
  const std::string Tty = Read(Dir / "tty.log");
  EXPECT_NE(Tty.find("Extracting page 4. Ctrl-C stops after this page"), std::string::npos) << Tty;
  EXPECT_EQ(Tty.find("Press Stop button"), std::string::npos) << Tty;
  EXPECT_NE(Tty.find("Press Extract button to extract text"), std::string::npos);  // a log line, as it was
}

// run.sh hands its arguments to the program unchanged (FILE.pdf [OUTPUT]
// [OPTIONS]): run here on a copy whose package check, cmake and program are
// stand-ins that only record what they were given.
TEST_F(Console, RunScriptPassesItsArgumentsUnchanged) {
  const fs::path Tree = Dir / "tree";
  fs::create_directories(Tree / "scripts");
  fs::create_directories(Tree / "build" / "release" / "src" / "cli");
  fs::create_directories(Tree / "bin");
  fs::copy_file(fs::path(VORLITH_SOURCE_DIR) / "run.sh", Tree / "run.sh");
  std::ofstream(Tree / "scripts" / "ensure-packages.sh") << "ensure_packages() { :; }\nBUILD_PACKAGES=()\n";
  std::ofstream(Tree / "bin" / "cmake") << "#!/bin/sh\nexit 0\n";
  std::ofstream(Tree / "build" / "release" / "src" / "cli" / "textextractor")
      << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done\n";
  for (const fs::path& P : {Tree / "run.sh", Tree / "bin" / "cmake", Tree / "build" / "release" / "src" / "cli" / "textextractor"})
    fs::permissions(P, fs::perms::owner_all, fs::perm_options::add);
  const std::string Cmd = "cd '" + Tree.string() + "' && PATH='" + (Tree / "bin").string() +
                          "':$PATH ./run.sh a.pdf b.pdf --layout reading 'two words' > '" + (Dir / "args").string() + "'";
  ASSERT_EQ(std::system(Cmd.c_str()), 0);
  EXPECT_EQ(Read(Dir / "args"), "[a.pdf][b.pdf][--layout][reading][two words]");
}

// libcrypto is opened by the full path the build found: a library of the
// same name along LD_LIBRARY_PATH, or in the working folder through an empty
// element of it, is never loaded.
TEST_F(Console, LibcryptoIsNotChosenByTheLibraryPath) {
  fs::create_directories(Dir / "planted");
  for (const char* Name : {"libcrypto.so.3", "libcrypto.so"}) {
    std::ofstream(Dir / "planted" / Name) << "not a library";
    std::ofstream(Dir / Name) << "not a library";
  }
  const std::string Fixture = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/aes-256.pdf";
  std::string Out, Err;
  const std::string Cmd = "LD_LIBRARY_PATH='" + (Dir / "planted").string() + "::' '" + TEXTEXTRACTOR +
                          "' -q --footer '' -f 2 -l 2 -p user '" + Fixture + "' -";
  ASSERT_EQ(Run("--version", Out, Err), 0);
  const std::string Shell = "cd '" + Dir.string() + "' && XDG_CONFIG_HOME='" + (Dir / "config").string() + "' " + Cmd +
                            " > out.log 2> err.log < /dev/null";
  ASSERT_EQ(std::system(Shell.c_str()), 0) << Read(Dir / "err.log");
  EXPECT_EQ(Read(Dir / "out.log").substr(0, 11), "Second page");
}

// An output that is the input, by name or through a link, is refused before
// anything is read; the input stays as it was.
TEST_F(Console, OutputOverInputIsRefused) {
  std::string Out, Err;
  const std::string Before = Read(Dir / "doc.pdf");
  fs::create_symlink("doc.pdf", Dir / "link.pdf");
  fs::copy_file(Dir / "doc.pdf", Dir / "doc.txt");
  for (const char* Args : {"doc.pdf doc.pdf", "doc.pdf link.pdf", "link.pdf ./doc.pdf", "doc.txt"}) {
    EXPECT_EQ(Run(Args, Out, Err), 2) << Args;
    EXPECT_NE(Err.find("is the input file"), std::string::npos) << Err;
  }
  EXPECT_EQ(Read(Dir / "doc.pdf"), Before);
  EXPECT_EQ(Read(Dir / "doc.txt"), Before);
  EXPECT_EQ(Run("-q doc.pdf other.txt", Out, Err), 0);  // another output is written
}

// "-" reads the PDF file from standard input (for --info too); its text goes
// to standard output unless an output is named.
TEST_F(Console, StandardInput) {
  std::string Out, Err;
  const std::string Expected = SingleOutput("--footer ''", "doc.pdf");
  ASSERT_EQ(RunFrom("doc.pdf", "--footer '' -", Out, Err), 0);
  EXPECT_EQ(Out, Expected);
  EXPECT_NE(Err.find("Current file is: -"), std::string::npos) << Err;
  ASSERT_EQ(RunFrom("doc.pdf", "-q --footer '' - piped.txt", Out, Err), 0);
  EXPECT_EQ(Read(Dir / "piped.txt"), Expected);
  ASSERT_EQ(RunFrom("doc.pdf", "--info -", Out, Err), 0);
  EXPECT_EQ(Out.substr(0, 9), "Pages: 4\n");
  EXPECT_EQ(RunFrom("/dev/null", "-q -", Out, Err), 3);
  EXPECT_EQ(Err, "textextractor: -: not a PDF (no header)\n");
}

// The plain format: LF line ends, a form feed after each page (none with
// --no-page-breaks), no header or footer, the reading layout by default.
TEST_F(Console, PlainFormat) {
  std::string Out, Err;
  ASSERT_EQ(Run("-q --format plain --header H --footer F doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "Page 1\n\fPage 2\n\fPage 3\n\fPage 4\n\f");
  ASSERT_EQ(Run("-q --format plain --no-page-breaks -f 2 -l 3 doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "Page 2\nPage 3\n");
  ASSERT_EQ(Run("-q --format plain --layout positioned -l 1 doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out.rfind("@X=", 0), 0u) << Out;
  EXPECT_EQ(Out.find('\r'), std::string::npos);
  EXPECT_EQ(Run("--format pdf doc.pdf", Out, Err), 2);
  // The plain format is this run's: --save does not store its layout.
  ASSERT_EQ(Run("-q --format plain --save doc.pdf -", Out, Err), 0);
  ASSERT_EQ(Run("-q --footer '' -l 1 doc.pdf -", Out, Err), 0);
  EXPECT_EQ(Out, "Page 1\r\n");
}

// The JSON format: one document of the reading layout's words in UTF-8
// whatever the encoding, no header or footer, streamed to standard output;
// the batch form and the window's default name give .json.
TEST_F(Console, JsonFormat) {
  std::string Out, Err;
  ASSERT_EQ(Run("-q --format json --encoding CP1252 --header H --footer F -f 2 -l 3 doc.pdf -", Out, Err), 0) << Err;
  EXPECT_EQ(Out.rfind("{\"file\":\"doc.pdf\",\"pages\":[{\"number\":2,\"width\":612,\"height\":792,\"rotation\":0,", 0),
            0u)
      << Out;
  EXPECT_NE(Out.find("{\"text\":\"Page\","), std::string::npos);
  EXPECT_NE(Out.find("{\"number\":3,"), std::string::npos);
  EXPECT_EQ(Out.find("\"H\""), std::string::npos);
  EXPECT_EQ(Out.substr(Out.size() - 2), "}\n");
  EXPECT_NE(Out.find("],\"metadata\":{"), std::string::npos);
  ASSERT_EQ(Run("-q --format json doc.pdf", Out, Err), 0);
  EXPECT_TRUE(fs::exists(Dir / "doc.json"));
  ASSERT_EQ(Run("-q --format json -o out doc.pdf", Out, Err), 0) << Err;
  EXPECT_TRUE(fs::exists(Dir / "out" / "doc.json"));
  EXPECT_EQ(Read(Dir / "out" / "doc.json"), Read(Dir / "doc.json"));
}

// The Markdown format: the document in UTF-8 when the run ends, a mark
// before each page when asked; the batch form names it .md.
TEST_F(Console, MarkdownFormat) {
  // The sample: a title, a paragraph and a page number on each page.
  const std::string Sample = std::string(VORLITH_SOURCE_DIR) + "/examples/sample.pdf";
  std::string Out, Err;
  ASSERT_EQ(Run("-q --format markdown --header H -l 2 '" + Sample + "' -", Out, Err), 0) << Err;
  EXPECT_EQ(Out.rfind("# A sample document\n\nThis file is the bundled sample of the text extractor. It has three", 0), 0u)
      << Out;
  EXPECT_NE(Out.find("\n\n# Second page\n\n"), std::string::npos) << Out;
  EXPECT_EQ(Out.find('H'), std::string::npos) << Out;  // no header line
  EXPECT_EQ(Out.substr(Out.size() - 2), "t\n");
  ASSERT_EQ(Run("-q --format markdown --page-marks -l 2 '" + Sample + "' -", Out, Err), 0) << Err;
  EXPECT_EQ(Out.rfind("<!-- page 1 -->\n\n# A sample document\n\n", 0), 0u) << Out;
  EXPECT_NE(Out.find("\n\n<!-- page 2 -->\n\n# Second page\n\n"), std::string::npos) << Out;
  fs::copy_file(Sample, Dir / "sample.pdf");
  ASSERT_EQ(Run("-q --format markdown -o out sample.pdf", Out, Err), 0) << Err;
  ASSERT_EQ(Run("-q --format markdown sample.pdf -", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "out" / "sample.md"), Out);
}

// A range that selects no page writes the empty output and says why.
TEST_F(Console, RangeThatSelectsNoPage) {
  std::string Out, Err;
  for (const auto& [Args, Line] : std::vector<std::pair<std::string, std::string>>{
           {"-f 200", " No page is selected: pages 200-4, and the document has 4 pages."},
           {"-f 3 -l 2", " No page is selected: pages 3-2, and the document has 4 pages."}}) {
    ASSERT_EQ(Run(Args + " doc.pdf out.txt", Out, Err), 0) << Args;
    EXPECT_EQ(Read(Dir / "out.txt"), "");
    EXPECT_NE(Err.find("\n" + Line + "\n"), std::string::npos) << Err;
    EXPECT_NE(Err.find("Extraction finished"), std::string::npos);
  }
  ASSERT_EQ(Run("doc.pdf out.txt", Out, Err), 0);
  EXPECT_EQ(Err.find("No page is selected"), std::string::npos);
}

// Pages with no text but an image (an XObject, or inline) are named once per
// run, after the pages; a page with text or without images is not. Where
// their images are read (by default), the log names them as read instead.
TEST_F(Console, PagesWithoutTextButWithImages) {
  TTestPDFWriter W;
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 9 0 R >> >> >>");
  const char* Image = "/Resources << /XObject << /Im1 8 0 R >> /Font << /F1 9 0 R >> >>";
  W.Add(3, 0, std::string("<< /Type /Page /Parent 2 0 R /Contents 10 0 R ") + Image + " >>");
  W.Add(4, 0, "<< /Type /Page /Parent 2 0 R /Contents 11 0 R >>");
  W.Add(5, 0, std::string("<< /Type /Page /Parent 2 0 R /Contents 12 0 R ") + Image + " >>");
  W.Add(6, 0, "<< /Type /Page /Parent 2 0 R /Contents 13 0 R >>");
  W.AddStream(8, "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 >>",
              std::string(1, '\0'), false);
  W.Add(9, 0, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  W.AddStream(10, "", "q 612 0 0 792 0 0 cm /Im1 Do Q", false);
  W.AddStream(11, "", "q 612 0 0 792 0 0 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q", false);
  W.AddStream(12, "", "q 612 0 0 792 0 0 cm /Im1 Do Q BT /F1 12 Tf 72 720 Td (Caption) Tj ET", false);
  W.AddStream(13, "", "", false);
  W.Section().Root = "1 0 R";
  std::ofstream(Dir / "scan.pdf", std::ios::binary) << W.Finish();
  std::string Out, Err;
  ASSERT_EQ(Run("--ocr never scan.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_NE(Err.find("\n pages 1-2 have no text; they may be scanned images\n"), std::string::npos) << Err;
  ASSERT_EQ(Run("--ocr never -f 1 -l 1 scan.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_NE(Err.find("\n page 1 has no text; it may be a scanned image\n"), std::string::npos) << Err;
  ASSERT_EQ(Run("--ocr never -f 3 scan.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_EQ(Err.find("no text"), std::string::npos) << Err;
  ASSERT_EQ(Run("--ocr-lang eng scan.pdf out.txt", Out, Err), 0) << Err;
  EXPECT_NE(Err.find("\n OCR: pages 1-2 (eng).\n"), std::string::npos) << Err;
  EXPECT_EQ(Err.find("no text"), std::string::npos) << Err;
}

// A scanned page gives its words in every layout, and the log says it was
// read; a missing language is named by its package; a bad setting is a
// usage error.
TEST_F(Console, ScannedPagesInEveryLayout) {
  const std::string Scan = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/images/scanned-g4.pdf";
  std::string Out, Err;
  for (const char* Layout : {"content", "reflow", "positioned", "reading"}) {
    ASSERT_EQ(Run(std::string("--layout ") + Layout + " " + Scan + " out.txt", Out, Err), 0) << Err;
    EXPECT_NE(Read(Dir / "out.txt").find("Invoice number 4711 is due in thirty days."), std::string::npos) << Layout;
    EXPECT_NE(Err.find("\n OCR: page 1 (eng+chi_sim).\n"), std::string::npos) << Err;
  }
  ASSERT_EQ(Run("--ocr-lang eng+xx_none " + Scan + " out.txt", Out, Err), 0) << Err;
  EXPECT_NE(Err.find("\n page 1 has no text; install tesseract-ocr-xx-none to read its images\n"), std::string::npos)
      << Err;
  EXPECT_EQ(Run("--ocr sometimes " + Scan + " out.txt", Out, Err), 2);
  EXPECT_NE(Err.find("unknown OCR setting: sometimes"), std::string::npos) << Err;
}

// ================================================================ the batch form

// A folder of fixtures: nested folders, letter cases, a file that is not a
// PDF file, one that fails to load, an encrypted one, a loop of links.
class Batch : public Console {
 protected:
  void SetUp() override {
    Console::SetUp();
    const std::string Encrypted = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/rc4-128.pdf";
    fs::create_directories(Dir / "in" / "sub" / "deep");
    fs::copy_file(Pdf, Dir / "in" / "a.pdf");
    fs::copy_file(Pdf, Dir / "in" / "sub" / "deep" / "b.PDF");
    fs::copy_file(Encrypted, Dir / "in" / "sub" / "locked.pdf");
    std::ofstream(Dir / "in" / "text.pdf") << "plain text, not a PDF file";
    // A PDF header and nothing a repair could rebuild from: cut before its
    // first object.
    std::ofstream(Dir / "in" / "sub" / "cut.pdf", std::ios::binary) << "%PDF-1.4\n%cut short\n";
    std::ofstream(Dir / "in" / "notes.txt") << "not searched";
    fs::create_directory_symlink("..", Dir / "in" / "sub" / "up");  // a loop
  }
};

TEST_F(Batch, FolderOfFixturesWithAndWithoutPassword) {
  std::string Out, Err;
  // Without the password the encrypted file is not opened, and nobody is asked.
  EXPECT_EQ(Run("--footer '[&p/&a]' -j 2 -o out in", Out, Err), 3);
  EXPECT_EQ(Err.substr(Err.rfind('\n', Err.size() - 2) + 1), "5 files: 2 extracted, 0 skipped, 3 not opened, 0 failed\n");
  std::set<std::string> Lines;
  for (size_t At = 0, End; (End = Err.find('\n', At)) != std::string::npos; At = End + 1) Lines.insert(Err.substr(At, End - At));
  EXPECT_TRUE(Lines.count("in/a.pdf: extracted")) << Err;
  // Each file that does not open says why, from the run's status.
  EXPECT_TRUE(Lines.count("in/sub/locked.pdf: not opened: a password is needed")) << Err;
  EXPECT_TRUE(Lines.count("in/text.pdf: not opened: not a PDF (no header)")) << Err;
  EXPECT_TRUE(Lines.count("in/sub/cut.pdf: not opened: damaged beyond repair")) << Err;
  EXPECT_EQ(Run("-p wrong -o out in/sub/locked.pdf", Out, Err), 3);
  EXPECT_NE(Err.find("in/sub/locked.pdf: not opened: the password is wrong\n"), std::string::npos) << Err;
  EXPECT_FALSE(fs::exists(Dir / "out" / "sub" / "locked.txt"));
  EXPECT_FALSE(fs::exists(Dir / "out" / "sub" / "cut.txt"));

  // With it every file that loads is extracted, byte for byte as the
  // single-file form writes it with the same options.
  ASSERT_EQ(Run("-q --footer '[&p/&a] &f' --header '&n' -p user -j 2 -o out in", Out, Err), 3) << Err;
  EXPECT_EQ(Err, "5 files: 3 extracted, 0 skipped, 2 not opened, 0 failed\n");
  const std::string Options = "--footer '[&p/&a] &f' --header '&n' -p user";
  struct Case {
    const char* Input;
    const char* Output;
  } Cases[] = {
      {"in/a.pdf", "out/a.txt"},
      {"in/sub/deep/b.PDF", "out/sub/deep/b.txt"},
      {"in/sub/locked.pdf", "out/sub/locked.txt"},
  };
  for (const auto& C : Cases) {
    ASSERT_TRUE(fs::exists(Dir / C.Output)) << C.Output;
    EXPECT_EQ(Read(Dir / C.Output), SingleOutput(Options, C.Input)) << C.Input;
  }
  std::vector<std::string> Written;
  for (const auto& E : fs::recursive_directory_iterator(Dir / "out"))
    if (E.is_regular_file()) Written.push_back(fs::relative(E.path(), Dir / "out").string());
  std::sort(Written.begin(), Written.end());
  EXPECT_EQ(Written, (std::vector<std::string>{"a.txt", "sub/deep/b.txt", "sub/locked.txt"}));

  // Files named on their own go straight into the folder; the layouts and
  // page options are those of the single form.
  ASSERT_EQ(Run("-q --layout content --even -j 1 -o flat in/sub/deep/b.PDF doc.pdf", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "flat" / "b.txt"), SingleOutput("--layout content --even", "in/sub/deep/b.PDF"));
  EXPECT_EQ(Read(Dir / "flat" / "doc.txt"), SingleOutput("--layout content --even", "doc.pdf"));
}

TEST_F(Batch, ExitStatusAndSummary) {
  // Each case runs on its own output folder; Prepare sets it up first.
  struct Case {
    const char* What;
    std::string Args;
    std::function<void(const fs::path&)> Prepare;
    int Status;
    std::string Summary;
  } Cases[] = {
      {"all extracted", "doc.pdf in/a.pdf", {}, 0, "2 files: 2 extracted, 0 skipped, 0 not opened, 0 failed"},
      {"a missing input", "doc.pdf nowhere.pdf", {}, 3, "2 files: 1 extracted, 0 skipped, 1 not opened, 0 failed"},
      {"outputs that cannot be written (their folder is a file)", "-p user in",
       [](const fs::path& Out) {
         fs::create_directories(Out);
         std::ofstream(Out / "sub") << "in the way";
       },
       4, "5 files: 1 extracted, 0 skipped, 2 not opened, 2 failed"},
      {"two inputs with one output", "doc.pdf in/a.pdf in/sub/deep/b.PDF other/a.pdf",
       [this](const fs::path&) {
         fs::create_directories(Dir / "other");
         fs::copy_file(Pdf, Dir / "other" / "a.pdf");
       },
       4, "4 files: 3 extracted, 0 skipped, 0 not opened, 1 failed"},
      {"the same file twice counts once", "in/a.pdf in", {}, 3,
       "5 files: 2 extracted, 0 skipped, 3 not opened, 0 failed"},
      // Folders whose files would share outputs write below their names.
      {"two folders with the same names", "one two",
       [this](const fs::path& Out) {
         for (const char* Folder : {"one", "two"}) {
           fs::create_directories(Dir / Folder / "sub");
           fs::copy_file(Pdf, Dir / Folder / "x.pdf");
           WriteLongDocument(Dir / Folder / "sub" / "y.pdf", Folder == std::string("one") ? 1 : 2);
         }
         fs::copy_file(Pdf, Dir / "one" / "only.pdf");
         (void)Out;
       },
       0, "5 files: 5 extracted, 0 skipped, 0 not opened, 0 failed"},
      {"an output that is an input", "-o . in.txt",
       [this](const fs::path&) { fs::copy_file(Pdf, Dir / "in.txt"); }, 4,
       "1 files: 0 extracted, 0 skipped, 0 not opened, 1 failed"},
  };
  int N = 0;
  for (const auto& C : Cases) {
    const fs::path Out = Dir / ("out" + std::to_string(N++));
    if (C.Prepare) C.Prepare(Out);
    std::string StdOut, Err;
    const std::string OutputDir = C.Args.rfind("-o ", 0) == 0 ? "" : "-o '" + Out.string() + "' ";
    EXPECT_EQ(Run("-q " + OutputDir + C.Args, StdOut, Err), C.Status) << C.What << ": " << Err;
    EXPECT_EQ(Err, C.Summary + "\n") << C.What;
    EXPECT_EQ(Hidden(Out), std::vector<std::string>{}) << C.What;
  }
  for (const char* Output : {"one/x.txt", "two/x.txt", "one/sub/y.txt", "two/sub/y.txt", "only.txt"})
    EXPECT_TRUE(fs::exists(Dir / "out5" / Output)) << Output;
  EXPECT_EQ(Read(Dir / "in.txt"), Read(Pdf));  // never overwritten
  std::string StdOut, Err;
  EXPECT_EQ(Run("--skip-existing doc.pdf", StdOut, Err), 2);  // needs -o
  EXPECT_EQ(Run("-o out --info doc.pdf", StdOut, Err), 2);
  EXPECT_EQ(Run("-o out", StdOut, Err), 2);
  EXPECT_EQ(Run("-o out -j 0 doc.pdf", StdOut, Err), 2);
}

TEST_F(Batch, SkipExistingLeavesOutputsAlone) {
  fs::create_directories(Dir / "out" / "sub" / "deep");
  std::ofstream(Dir / "out" / "a.txt") << "kept";
  std::string Out, Err;
  ASSERT_EQ(Run("-o out --skip-existing -p user in", Out, Err), 3) << Err;
  EXPECT_EQ(Read(Dir / "out" / "a.txt"), "kept");
  EXPECT_NE(Err.find("in/a.pdf: skipped, out/a.txt exists\n"), std::string::npos) << Err;
  EXPECT_NE(Err.find("5 files: 2 extracted, 1 skipped, 2 not opened, 0 failed\n"), std::string::npos) << Err;
  const std::string B = Read(Dir / "out" / "sub" / "deep" / "b.txt");
  EXPECT_EQ(B, SingleOutput("", "in/sub/deep/b.PDF"));
  // Without the option an existing output is replaced.
  ASSERT_EQ(Run("-q -o out -p user in", Out, Err), 3);
  EXPECT_EQ(Read(Dir / "out" / "a.txt"), B);
}

TEST_F(Batch, CtrlCStopsWithNoHalfWrittenFile) {
  fs::create_directories(Dir / "big");
  constexpr int Files = 24;
  for (int I = 0; I < Files; ++I) WriteLongDocument(Dir / "big" / ("f" + std::to_string(I) + ".pdf"), 400);
  const pid_t Pid = Start("--footer '' -j 2 -o out big");
  ASSERT_TRUE(AwaitFile(Dir / "out" / "f0.txt"));
  ::kill(Pid, SIGINT);
  EXPECT_EQ(Wait(Pid), 1);
  const std::string Err = Read(Dir / "err.log");
  EXPECT_NE(Err.find(std::to_string(Files) + " files: "), std::string::npos) << Err;
  // The files never started are counted too.
  EXPECT_NE(Err.find(" not started\n"), std::string::npos) << Err;
  // What was written is whole: no temporary file is left, and every output is
  // the single form's.
  EXPECT_EQ(Hidden(Dir / "out"), std::vector<std::string>{});
  const std::string Expected = SingleOutput("--footer ''", "big/f0.pdf");
  int Written = 0;
  for (const auto& E : fs::directory_iterator(Dir / "out")) {
    ++Written;
    EXPECT_TRUE(Read(E.path()) == Expected) << E.path();
  }
  EXPECT_LT(Written, Files);
}

TEST_F(Batch, AWorkerThatCrashesTakesOnlyItsFile) {
  fs::create_directories(Dir / "big");
  constexpr int Files = 6;
  for (int I = 0; I < Files; ++I) WriteLongDocument(Dir / "big" / ("f" + std::to_string(I) + ".pdf"), 400);
  const pid_t Pid = Start("--footer '' -j 2 -o out big");
  // Once the first file is written, one worker is killed as a crash would end it.
  ASSERT_TRUE(AwaitFile(Dir / "out" / "f0.txt"));
  std::string Children;
  for (int I = 0; I < 100 && Children.empty(); ++I) {
    Children = Read("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Pid) + "/children");
    if (Children.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const pid_t Worker = static_cast<pid_t>(std::atoi(Children.c_str()));
  ASSERT_GT(Worker, 0);
  ::kill(Worker, SIGKILL);
  // The worker is killed in the middle of a file, as a rule; on a fast
  // machine it may already be waiting for its next one, and then nothing
  // fails. Either way the other files are written whole.
  const int Status = Wait(Pid);
  const std::string Err = Read(Dir / "err.log");
  const bool Crashed = Status == 4;
  if (Crashed) {
    EXPECT_NE(Err.find(": failed: the worker ended by signal 9"), std::string::npos) << Err;
    EXPECT_NE(Err.find("6 files: 5 extracted, 0 skipped, 0 not opened, 1 failed\n"), std::string::npos) << Err;
  } else {
    EXPECT_EQ(Status, 0) << Err;
    EXPECT_NE(Err.find("6 files: 6 extracted, 0 skipped, 0 not opened, 0 failed\n"), std::string::npos) << Err;
  }
  EXPECT_EQ(Hidden(Dir / "out"), std::vector<std::string>{});
  const std::string Expected = SingleOutput("--footer ''", "big/f0.pdf");
  int Written = 0;
  for (const auto& E : fs::directory_iterator(Dir / "out")) {
    ++Written;
    EXPECT_TRUE(Read(E.path()) == Expected) << E.path();
  }
  // A worker killed between renaming its output and reporting it leaves
  // that output whole, though its file counts as failed.
  EXPECT_GE(Written, Crashed ? Files - 1 : Files);
}

// ================================================================ temporary files

TEST_F(Console, OneDocumentOnSeveralWorkersGivesTheOutputOfOne) {
  WriteLongDocument(Dir / "long.pdf", 23);
  for (const char* Options : {"--layout content", "--layout reflow", "--layout reading", "--layout positioned",
                              "--page-text 3", "--format plain", "--format json", "--format markdown", "--odd -f 2 -l 20"}) {
    std::string One, Many, Err;
    ASSERT_EQ(Run(std::string("-q ") + Options + " long.pdf -", One, Err), 0) << Options << ": " << Err;
    ASSERT_EQ(Run(std::string("-q -j 3 ") + Options + " long.pdf -", Many, Err), 0) << Options << ": " << Err;
    EXPECT_EQ(Many, One) << Options;
  }
  // From standard input too.
  std::string One, Many, Err;
  ASSERT_EQ(RunFrom("long.pdf", "-q -j 2 - -", Many, Err), 0) << Err;
  ASSERT_EQ(Run("-q long.pdf -", One, Err), 0);
  EXPECT_EQ(Many, One);
}

// Whether process Pid has ended (gone, or a zombie no one reaped yet).
bool ProcessEnded(pid_t Pid) {
  const std::string Stat = Read("/proc/" + std::to_string(Pid) + "/stat");
  const size_t Close = Stat.rfind(')');
  return Stat.empty() || (Close != std::string::npos && Close + 2 < Stat.size() && Stat[Close + 2] == 'Z');
}

// The worker processes of Pid.
std::vector<pid_t> Children(pid_t Pid) {
  std::vector<pid_t> Out;
  std::istringstream In(Read("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Pid) + "/children"));
  for (pid_t Child; In >> Child;) Out.push_back(Child);
  return Out;
}

TEST_F(Batch, AReportLineForEveryFileWithItsKind) {
  fs::create_directories(Dir / "in" / "sub");
  fs::create_directories(Dir / "elsewhere");
  fs::create_directories(Dir / "out");
  fs::copy_file(Pdf, Dir / "in" / "good.pdf");
  fs::copy_file(Pdf, Dir / "in" / "sub" / "linked.pdf");
  fs::create_directory_symlink(Dir / "elsewhere", Dir / "out" / "sub");
  fs::copy_file(Pdf, Dir / "in" / "new\nline.pdf");
  std::ofstream(Dir / "in" / "slow.pdf", std::ios::binary) << FormChainPdf(12, 10);
  std::ofstream(Dir / "in" / "chain.pdf", std::ios::binary) << FormChainPdf(7, 10);
  std::string Out, Err;
  EXPECT_EQ(Run("-q -j 2 --timeout 1 --layout content --report report.jsonl -o out in", Out, Err), 4) << Err;
  const std::string Report = Read(Dir / "report.jsonl");
  const auto Line = [&](const std::string& Path) {
    const size_t At = Report.find("{\"path\": \"" + Path + "\"");
    return At == std::string::npos ? std::string() : Report.substr(At, Report.find('\n', At) - At);
  };
  struct Case {
    const char* Path;
    const char* Status;
    const char* Kind;
  } Cases[] = {
      {"in/good.pdf", "\"status\": \"extracted\", \"kind\": null", nullptr},
      {"in/new\\nline.pdf", "\"status\": \"extracted\"", nullptr},
      {"in/text.pdf", "\"status\": \"not_opened\"", "\"kind\": \"not_pdf\""},
      {"in/sub/linked.pdf", "\"status\": \"failed\"", "\"kind\": \"write_error\""},
      {"in/slow.pdf", "\"status\": \"failed\"", "\"kind\": \"timeout\""},
  };
  for (const Case& C : Cases) {
    const std::string L = Line(C.Path);
    EXPECT_NE(L.find(C.Status), std::string::npos) << C.Path << ": " << Report;
    if (C.Kind) {
      EXPECT_NE(L.find(C.Kind), std::string::npos) << C.Path << ": " << L;
    }
  }
  EXPECT_NE(Line("in/good.pdf").find("\"pages\": 4, \"chars\": "), std::string::npos) << Report;
  // Forms that multiply stop at the page's budget; the file counts as
  // extracted (or, on a slow machine, as out of time).
  const std::string Chain = Line("in/chain.pdf");
  EXPECT_TRUE(Chain.find("\"kind\": \"budget\"") != std::string::npos ||
              Chain.find("\"kind\": \"timeout\"") != std::string::npos)
      << Chain;
  EXPECT_TRUE(fs::is_empty(Dir / "elsewhere"));  // nothing written through the link
  EXPECT_EQ(Read(Dir / "out" / "new\nline.txt"), Read(Dir / "out" / "good.txt"));  // the name kept as it is
  EXPECT_FALSE(fs::exists(Dir / "out" / "slow.txt"));
  EXPECT_EQ(Hidden(Dir / "out"), std::vector<std::string>{});
  // One line for each input, each line one object.
  size_t Lines = 0, Objects = 0;
  for (size_t At = Report.find('\n'); At != std::string::npos; At = Report.find('\n', At + 1)) ++Lines;
  for (size_t At = Report.find("{\"path\": "); At != std::string::npos; At = Report.find("{\"path\": ", At + 1)) ++Objects;
  EXPECT_EQ(Lines, Objects);
  EXPECT_EQ(Report.find("in/good.pdf", Report.find("in/good.pdf") + 1), std::string::npos);
  size_t Inputs = 0;
  for (const auto& E : fs::recursive_directory_iterator(Dir / "in")) Inputs += E.is_regular_file() && (E.path().extension() == ".pdf" || E.path().extension() == ".PDF");
  EXPECT_EQ(Lines, Inputs) << Report;

  // With --skip-existing the report of a second run shows what was left.
  fs::remove(Dir / "in" / "slow.pdf");
  fs::remove(Dir / "report.jsonl");
  EXPECT_EQ(Run("-q --skip-existing --report report.jsonl -o out in/good.pdf", Out, Err), 0) << Err;
  EXPECT_NE(Read(Dir / "report.jsonl").find("\"status\": \"skipped\""), std::string::npos);
}

TEST_F(Batch, WorkersEndWithTheirParentAndLeaveNoTemporaryFile) {
  fs::create_directories(Dir / "big");
  for (int I = 0; I < 4; ++I) std::ofstream(Dir / "big" / ("f" + std::to_string(I) + ".pdf"), std::ios::binary) << FormChainPdf(12, 10);
  struct Case {
    const char* What;
    std::vector<int> Signals;
    int Status;  // -1: killed
  } Cases[] = {
      {"killed", {SIGKILL}, -1},
      {"terminated", {SIGTERM}, 1},
      {"Ctrl-C twice", {SIGINT, SIGINT}, 1},
  };
  for (const Case& C : Cases) {
    fs::remove_all(Dir / "out");
    const pid_t Pid = Start("-q -j 2 --timeout 0 --layout content -o out big");
    // Both workers are under way once their temporary files show.
    for (int I = 0; I < 500 && Hidden(Dir / "out").size() < 2; ++I) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<pid_t> Workers = Children(Pid);
    ASSERT_EQ(Workers.size(), 2u) << C.What;
    for (int Signal : C.Signals) {
      ::kill(Pid, Signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(Wait(Pid), C.Status) << C.What;
    for (pid_t W : Workers) {
      for (int I = 0; I < 300 && !ProcessEnded(W); ++I) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_TRUE(ProcessEnded(W)) << C.What;
    }
    EXPECT_EQ(Hidden(Dir / "out"), std::vector<std::string>{}) << C.What;
  }
}

TEST_F(Console, ADeviceOrAPipeIsWrittenInPlace) {
  // A rename over /dev/null would put a regular file in its place.
  std::string Out, Err;
  ASSERT_EQ(Run("-q doc.pdf /dev/null", Out, Err), 0) << Err;
  struct stat St {};
  ASSERT_EQ(::stat("/dev/null", &St), 0);
  EXPECT_TRUE(S_ISCHR(St.st_mode));
  // A named pipe gets the text as it comes.
  ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0600), 0);
  const std::string Pipe = (Dir / "pipe").string(), Piped = (Dir / "piped.txt").string();
  ASSERT_EQ(Run("-q --footer '' doc.pdf pipe & cat '" + Pipe + "' > '" + Piped + "'; wait", Out, Err), 0) << Err;
  EXPECT_EQ(Read(Dir / "piped.txt"), SingleOutput("--footer ''", "doc.pdf"));
  EXPECT_TRUE(fs::is_fifo(Dir / "pipe"));
}

TEST_F(Console, TemporaryFilesNeverOpenAPlantedLink) {
  // Someone who shares the folder plants links under the names a temporary
  // file of this process would once have had (".NAME.partPID" beside the
  // output, "NAME.tmpPID" beside the settings file), pointing at a file of
  // the victim's.
  std::ofstream(Dir / "victim") << "precious";
  fs::create_directories(Dir / "config" / "Vorlith");
  const pid_t Pid = Start("-q --save --footer '' doc.pdf doc.txt", [&](pid_t Child) {
    const std::string Id = std::to_string(Child);
    fs::create_symlink(Dir / "victim", Dir / (".doc.txt.part" + Id));
    fs::create_symlink(Dir / "victim", Dir / "config" / "Vorlith" / ("TextExtractor.ini.tmp" + Id));
    fs::create_symlink(Dir / "victim", Dir / "config" / "Vorlith" / (".TextExtractor.ini.part" + Id));
  });
  ASSERT_EQ(Wait(Pid), 0) << Read(Dir / "err.log");
  EXPECT_EQ(Read(Dir / "victim"), "precious");
  EXPECT_EQ(Read(Dir / "doc.txt"), "Page 1\r\nPage 2\r\nPage 3\r\nPage 4\r\n");
  EXPECT_NE(Read(Dir / "config" / "Vorlith" / "TextExtractor.ini").find("Footer=\"\"\n"), std::string::npos);
  // The links are left as they were, and no temporary file is left over.
  EXPECT_EQ(Hidden(Dir).size(), 2u);
}

TEST_F(Console, OutputsGetThePermissionsOfAPlainCreate) {
  struct Case {
    mode_t Umask, Expected;
  } Cases[] = {{022, 0644}, {027, 0640}, {0, 0666}};
  for (const auto& C : Cases) {
    const mode_t Old = ::umask(C.Umask);
    std::string Out, Err;
    const int Status = Run("-q --save doc.pdf doc.txt", Out, Err);
    const int BatchStatus = Run("-q -o out doc.pdf", Out, Err);
    ::umask(Old);
    ASSERT_EQ(Status, 0);
    ASSERT_EQ(BatchStatus, 0);
    struct stat St {};
    for (const fs::path& File : {Dir / "doc.txt", Dir / "config" / "Vorlith" / "TextExtractor.ini", Dir / "out" / "doc.txt"}) {
      ASSERT_EQ(::stat(File.c_str(), &St), 0) << File;
      EXPECT_EQ(St.st_mode & 0777, C.Expected) << File << " under umask 0" << std::oct << C.Umask;
    }
  }
}

}  // namespace
