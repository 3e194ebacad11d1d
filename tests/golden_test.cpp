// Golden outputs: every row of tests/golden/manifest.tsv runs the console
// program on a fixture or a corpus file, and its output, its log and its exit
// status must be the ones stored under tests/golden/expected/. With
// GOLDEN_UPDATE=1 in the environment the stored files are rewritten instead
// (tools/update_golden.sh does that and shows the diff).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "uPDFDigest.h"

namespace {

namespace fs = std::filesystem;

const fs::path GoldenDir = fs::path(VORLITH_SOURCE_DIR) / "tests" / "golden";

std::string Read(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

std::string Hex(const std::string& Raw) {
  static const char Digits[] = "0123456789abcdef";
  std::string Out;
  for (unsigned char C : Raw) {
    Out += Digits[C >> 4];
    Out += Digits[C & 15];
  }
  return Out;
}

// Single quotes around Text for /bin/sh.
std::string Quoted(const std::string& Text) {
  std::string Out = "'";
  for (char C : Text) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

// One row of the manifest: tab-separated fields, "-" for none.
struct TGoldenRow {
  std::string Name;      // the stored files are expected/NAME.out and NAME.log
  std::string File;      // "corpus/..." below the shared corpus, else below the source tree
  std::string Sha256;    // of the input file
  std::string Password;  // given with -p
  std::string Layout;    // content|reflow|positioned|reading, or page-text:N
  std::string Pages;     // all, N-M, odd or even
  int Status = 0;        // the exit status
  std::string Options;   // further options, as a shell would read them
};

// Test names show the row's name, not its bytes.
void PrintTo(const TGoldenRow& Row, std::ostream* Out) { *Out << Row.Name; }

std::vector<TGoldenRow> ReadManifest() {
  std::vector<TGoldenRow> Rows;
  std::istringstream In(Read(GoldenDir / "manifest.tsv"));
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.empty() || Line[0] == '#') continue;
    std::vector<std::string> Fields;
    std::istringstream Cells(Line);
    std::string Cell;
    while (std::getline(Cells, Cell, '\t'))
      if (!Cell.empty()) Fields.push_back(Cell);
    if (Fields.size() < 7) {
      ADD_FAILURE() << "manifest row with fewer than 7 fields: " << Line;
      continue;
    }
    TGoldenRow Row{Fields[0], Fields[1], Fields[2], Fields[3], Fields[4], Fields[5], std::atoi(Fields[6].c_str()), ""};
    for (size_t I = 7; I < Fields.size(); ++I) Row.Options += (I > 7 ? " " : "") + Fields[I];
    if (Row.Options == "-") Row.Options.clear();
    Rows.push_back(Row);
  }
  return Rows;
}

fs::path InputPath(const TGoldenRow& Row) {
  const std::string Corpus = "corpus/";
  if (Row.File.compare(0, Corpus.size(), Corpus) == 0)
    return fs::path(VORLITH_CORPUS_DIR) / Row.File.substr(Corpus.size());
  return fs::path(VORLITH_SOURCE_DIR) / Row.File;
}

// The command line of a row, run in the input file's folder with the file
// named by its name alone, so that the log shows no machine's paths.
std::string Arguments(const TGoldenRow& Row) {
  std::string Args;
  const std::string PageText = "page-text:";
  if (Row.Layout.compare(0, PageText.size(), PageText) == 0)
    Args += " --page-text " + Row.Layout.substr(PageText.size());
  else if (Row.Layout != "-")
    Args += " --layout " + Row.Layout;
  if (Row.Pages == "odd" || Row.Pages == "even") {
    Args += " --" + Row.Pages;
  } else if (Row.Pages != "all" && Row.Pages != "-") {
    const size_t Dash = Row.Pages.find('-');
    Args += " -f " + Row.Pages.substr(0, Dash);
    if (Dash != std::string::npos) Args += " -l " + Row.Pages.substr(Dash + 1);
  }
  if (Row.Password != "-") Args += " -p " + Quoted(Row.Password);
  if (!Row.Options.empty()) Args += " " + Row.Options;
  return Args + " " + Quoted(InputPath(Row).filename().string()) + " -";
}

class Golden : public testing::TestWithParam<TGoldenRow> {};

TEST_P(Golden, OutputLogAndStatusAreTheStoredOnes) {
  const TGoldenRow& Row = GetParam();
  const fs::path Input = InputPath(Row);
  if (!fs::exists(Input)) GTEST_SKIP() << "no file " << Input;
  ASSERT_EQ(Hex(SHA256Digest(Read(Input))), Row.Sha256) << Input << " is not the file the manifest names";

  char Template[] = "/tmp/vorlith-golden-XXXXXX";
  const fs::path Dir = ::mkdtemp(Template);
  const std::string Command = "cd " + Quoted(Input.parent_path().string()) + " && LC_ALL=C XDG_CONFIG_HOME=" +
                              Quoted((Dir / "config").string()) + " " + Quoted(TEXTEXTRACTOR) + Arguments(Row) +
                              " > " + Quoted((Dir / "out").string()) + " 2> " + Quoted((Dir / "log").string()) +
                              " < /dev/null";
  const int Raw = std::system(Command.c_str());
  const int Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  const std::string Out = Read(Dir / "out"), Log = Read(Dir / "log");
  std::error_code Ec;
  fs::remove_all(Dir, Ec);

  const fs::path Expected = GoldenDir / "expected";
  if (const char* Update = std::getenv("GOLDEN_UPDATE"); Update && std::string(Update) == "1") {
    fs::create_directories(Expected);
    Write(Expected / (Row.Name + ".out"), Out);
    Write(Expected / (Row.Name + ".log"), Log);
    EXPECT_EQ(Status, Row.Status) << "the exit status is part of the manifest; change it there";
    return;
  }
  SCOPED_TRACE("textextractor" + Arguments(Row));
  EXPECT_EQ(Status, Row.Status) << Log;
  EXPECT_TRUE(Out == Read(Expected / (Row.Name + ".out"))) << "the output differs; run tools/update_golden.sh to see how";
  EXPECT_EQ(Log, Read(Expected / (Row.Name + ".log")));
}

std::string RowName(const testing::TestParamInfo<TGoldenRow>& Info) {
  std::string Name;
  for (char C : Info.param.Name) Name += std::isalnum(static_cast<unsigned char>(C)) ? C : '_';
  return Name;
}

INSTANTIATE_TEST_SUITE_P(Manifest, Golden, testing::ValuesIn(ReadManifest()), RowName);

// Every stored file belongs to a row, so that a row taken out leaves nothing behind.
TEST(GoldenManifest, EveryStoredFileHasItsRow) {
  std::vector<std::string> Names;
  for (const TGoldenRow& Row : ReadManifest()) Names.push_back(Row.Name);
  std::error_code Ec;
  for (const auto& Entry : fs::directory_iterator(GoldenDir / "expected", Ec)) {
    const std::string Stem = Entry.path().stem().string();
    EXPECT_NE(std::find(Names.begin(), Names.end(), Stem), Names.end()) << Entry.path() << " belongs to no row";
  }
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(std::adjacent_find(Names.begin(), Names.end()), Names.end()) << "two rows share a name";
}

}  // namespace
