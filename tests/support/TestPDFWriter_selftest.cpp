// Checks the test PDF writer's files with qpdf, pdftotext and pdfinfo as black boxes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "TestPDFWriter.h"

namespace {

// ---------------------------------------------------------------------------
// Running the tools.

bool HasTool(const std::string& Name) { return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0; }

struct TRun {
  int Exit = -1;
  std::string Out;  // stdout
  std::string Err;  // stderr
};

std::string ReadFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

// A file in the temporary directory, removed when the object goes.
class TTempFile {
 public:
  explicit TTempFile(const std::string& Data) {
    static int Counter = 0;
    Path_ = std::filesystem::temp_directory_path() /
            ("TestPDFWriter_" + std::to_string(::getpid()) + "_" + std::to_string(Counter++) + ".pdf");
    std::ofstream(Path_, std::ios::binary) << Data;
  }
  ~TTempFile() {
    std::error_code Ignored;
    std::filesystem::remove(Path_, Ignored);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  std::string Path() const { return Path_.string(); }

 private:
  std::filesystem::path Path_;
};

// Runs "Tool Args..." on Data written to a temporary file (named by {} in Args).
TRun RunOn(const std::string& Data, const std::string& Tool, const std::string& Args) {
  TTempFile File(Data);
  std::string A = Args;
  A.replace(A.find("{}"), 2, "'" + File.Path() + "'");
  const std::string ErrPath = File.Path() + ".err";
  TRun R;
  FILE* Pipe = ::popen((Tool + " " + A + " 2>'" + ErrPath + "'").c_str(), "r");
  if (!Pipe) return R;
  char Buffer[4096];
  size_t N;
  while ((N = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) R.Out.append(Buffer, N);
  int Status = ::pclose(Pipe);
  R.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  R.Err = ReadFile(ErrPath);
  std::filesystem::remove(ErrPath);
  return R;
}

std::string Normalized(const std::string& Text) {
  std::string Out;
  for (char C : Text) {
    bool Space = C == ' ' || C == '\n' || C == '\r' || C == '\t';
    if (Space) {
      if (!Out.empty() && Out.back() != ' ') Out += ' ';
    } else {
      Out += C;
    }
  }
  if (!Out.empty() && Out.back() == ' ') Out.pop_back();
  return Out;
}

// pdftotext's text, one normalized entry per page.
std::vector<std::string> PageTexts(const std::string& Out) {
  std::vector<std::string> Pages;
  size_t Start = 0;
  for (size_t FF; (FF = Out.find('\f', Start)) != std::string::npos; Start = FF + 1)
    Pages.push_back(Normalized(Out.substr(Start, FF - Start)));
  return Pages;
}

bool AllDigits(const std::string& Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos;
}

// "N G obj" for Number (any number when Number < 0).
bool IsObjectLine(const std::string& Line, int Number) {
  const size_t Space = Line.find(' ');
  if (Space == std::string::npos || Line.size() < Space + 6 || Line.substr(Line.size() - 4) != " obj") return false;
  const std::string Num = Line.substr(0, Space);
  const std::string Gen = Line.substr(Space + 1, Line.size() - 4 - Space - 1);
  return AllDigits(Num) && AllDigits(Gen) && (Number < 0 || Num == std::to_string(Number));
}

// "oooooooooo ggggg n" or "... f".
bool IsEntryText(const std::string& Text) {
  return Text.size() == 18 && AllDigits(Text.substr(0, 10)) && Text[10] == ' ' && AllDigits(Text.substr(11, 5)) &&
         Text[16] == ' ' && (Text[17] == 'n' || Text[17] == 'f');
}

// ---------------------------------------------------------------------------
// Files.

const char* kHeader15 = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";

std::string PageText(const std::string& Text, int Y = 720) {
  return "BT /F1 12 Tf 72 " + std::to_string(Y) + " Td (" + Text + ") Tj ET";
}

TSimpleDocOptions Pages(int Count) {
  TSimpleDocOptions O;
  for (int I = 1; I <= Count; ++I) O.Pages.push_back({PageText("Page " + std::to_string(I))});
  return O;
}

std::vector<std::string> Texts(int Count) {
  std::vector<std::string> Out;
  for (int I = 1; I <= Count; ++I) Out.push_back("Page " + std::to_string(I));
  return Out;
}

TTestPDFWriter Simple(TSimpleDocOptions O, const std::function<void(TSection&)>& Tune = {}) {
  TTestPDFWriter W = MakeSimpleDocument(O);
  if (Tune) Tune(W.Section());
  return W;
}

// Built by hand: objects out of order, a comment between objects, a content
// stream of generation 2 with an indirect Length, /Info and /ID; page and
// font in an object stream unless Form is Table.
TTestPDFWriter Manual(TXRefForm Form) {
  TTestPDFWriter W;
  W.SetHeader(kHeader15);
  W.Add(1, 0, "<< /Type /Catalog /Pages 2 0 R >>");
  W.AddStream(5, "<< >>", PageText("Manual page"), true, {2, -1, 6});
  W.AddRaw("% a comment between objects\n");
  W.Add(2, 0, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
  const std::string Page = "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 4 0 R >> >> /Contents 5 2 R >>";
  const std::string Font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  if (Form == TXRefForm::Table) {
    W.Add(4, 0, Font);
    W.Add(3, 0, Page);
  } else {
    W.AddToObjStm(10, 4, Font);
    W.AddToObjStm(10, 3, Page);
  }
  W.Add(7, 0, "<< /Title (Manual) /Producer (TestPDFWriter) >>");
  TSection& S = W.Section();
  S.Form = Form;
  S.Root = "1 0 R";
  S.Info = "7 0 R";
  S.ID = "[<0123456789ABCDEF> <0123456789ABCDEF>]";
  return W;
}

// Three pages, then update 1 adds a fourth page (in an object stream when
// UpdateObjStms) and changes page 2's content, then update 2 drops the fourth
// page again and frees its page and content objects.
TTestPDFWriter TwoUpdates(TXRefForm Base, TXRefForm First, TXRefForm Second, bool BaseObjStms, bool UpdateObjStms) {
  TSimpleDocOptions O = Pages(3);
  O.Form = Base;
  O.ObjectStreams = BaseObjStms;
  TSimpleDocObjects N;
  TTestPDFWriter W = MakeSimpleDocument(O, &N);
  const int NewPage = N.Highest + 1;
  const int NewContent = N.Highest + 2;
  const int NewObjStm = N.Highest + 3;
  W.Section().XRefStreamNumber = N.Highest + 10;  // clear of the numbers above
  const auto R = [](int Number) { return std::to_string(Number) + " 0 R"; };
  const std::string Kids = R(N.PageObjects[0]) + " " + R(N.PageObjects[1]) + " " + R(N.PageObjects[2]);
  const std::string Page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                           R(N.Font) + " >> >> /Contents " + R(NewContent) + " >>";

  W.StartUpdate();
  W.Section().Form = First;
  W.Add(N.RootPages, 0, "<< /Type /Pages /Kids [" + Kids + " " + R(NewPage) + "] /Count 4 >>");
  if (UpdateObjStms)
    W.AddToObjStm(NewObjStm, NewPage, Page);
  else
    W.Add(NewPage, 0, Page);
  W.AddStream(NewContent, "", PageText("Page 4"), true);
  W.AddStream(N.Contents[1][0], "<< >>", PageText("Page 2 changed"), false);

  W.StartUpdate();
  W.Section().Form = Second;
  W.Section().EntryEnd = TEntryEnd::LF;
  W.Section().Predictor = true;
  W.Add(N.RootPages, 0, "<< /Type /Pages /Kids [" + Kids + "] /Count 3 >>");
  W.Free(NewPage);
  W.Free(NewContent);
  return W;
}

// ---------------------------------------------------------------------------
// Valid files.

struct TValidCase {
  const char* Name;
  std::function<TTestPDFWriter()> Build;
  std::vector<std::string> Texts;                  // per page, normalized
  std::vector<std::vector<std::string>> Prefixes;  // texts of the file cut after each earlier section
  std::string Title;                               // pdfinfo's Title, if any
};

void PrintTo(const TValidCase& Case, std::ostream* Os) { *Os << Case.Name; }

const std::vector<TValidCase>& ValidCases() {
  static const std::vector<TValidCase> Cases = {
      {"TableCRLF", [] { return Simple(Pages(2)); }, Texts(2), {}, ""},
      {"TableSpaceLF",
       [] { return Simple(Pages(2), [](TSection& S) { S.EntryEnd = TEntryEnd::SpaceLF; }); },
       Texts(2),
       {},
       ""},
      {"Table19Bytes",
       [] { return Simple(Pages(2), [](TSection& S) { S.EntryEnd = TEntryEnd::LF; }); },
       Texts(2),
       {},
       ""},
      {"TableManual", [] { return Manual(TXRefForm::Table); }, {"Manual page"}, {}, "Manual"},
      {"XRefStream",
       [] {
         TSimpleDocOptions O = Pages(3);
         O.Form = TXRefForm::Stream;
         return Simple(O);
       },
       Texts(3),
       {},
       ""},
      {"XRefStreamPredictor",
       [] {
         TSimpleDocOptions O = Pages(3);
         O.Form = TXRefForm::Stream;
         return Simple(O, [](TSection& S) { S.Predictor = true; });
       },
       Texts(3),
       {},
       ""},
      {"XRefStreamWideFields",
       [] {
         TSimpleDocOptions O = Pages(3);
         O.Form = TXRefForm::Stream;
         return Simple(O, [](TSection& S) {
           S.Widths = {1, 4, 2};
           S.Predictor = true;
         });
       },
       Texts(3),
       {},
       ""},
      {"XRefStreamManual", [] { return Manual(TXRefForm::Stream); }, {"Manual page"}, {}, "Manual"},
      {"ObjectStreams",
       [] {
         TSimpleDocOptions O = Pages(4);
         O.Form = TXRefForm::Stream;
         O.ObjectStreams = true;
         return Simple(O);
       },
       Texts(4),
       {},
       ""},
      {"SeveralObjectStreams",
       [] {
         TSimpleDocOptions O = Pages(5);
         O.Form = TXRefForm::Stream;
         O.ObjectStreams = true;
         O.ObjectsPerStream = 2;
         O.FanOut = 2;
         return Simple(O, [](TSection& S) { S.Predictor = true; });
       },
       Texts(5),
       {},
       ""},
      {"Hybrid",
       [] {
         TSimpleDocOptions O = Pages(3);
         O.Form = TXRefForm::Hybrid;
         O.ObjectStreams = true;
         O.ObjectsPerStream = 3;
         return Simple(O);
       },
       Texts(3),
       {},
       ""},
      {"HybridManual", [] { return Manual(TXRefForm::Hybrid); }, {"Manual page"}, {}, "Manual"},
      {"HybridWithoutObjectStreams",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Hybrid;
         return Simple(O);
       },
       Texts(2),
       {},
       ""},
      {"TwoUpdatesTables",
       [] { return TwoUpdates(TXRefForm::Table, TXRefForm::Table, TXRefForm::Table, false, false); },
       {"Page 1", "Page 2 changed", "Page 3"},
       {Texts(3), {"Page 1", "Page 2 changed", "Page 3", "Page 4"}},
       ""},
      {"TwoUpdatesXRefStreams",
       [] { return TwoUpdates(TXRefForm::Stream, TXRefForm::Stream, TXRefForm::Stream, true, true); },
       {"Page 1", "Page 2 changed", "Page 3"},
       {Texts(3), {"Page 1", "Page 2 changed", "Page 3", "Page 4"}},
       ""},
      {"TwoUpdatesMixed",
       [] { return TwoUpdates(TXRefForm::Table, TXRefForm::Hybrid, TXRefForm::Stream, false, true); },
       {"Page 1", "Page 2 changed", "Page 3"},
       {Texts(3), {"Page 1", "Page 2 changed", "Page 3", "Page 4"}},
       ""},
      {"PageTreeFanOut2",
       [] {
         TSimpleDocOptions O = Pages(7);
         O.FanOut = 2;
         return Simple(O);
       },
       Texts(7),
       {},
       ""},
      {"PageTreeFanOut3InObjectStreams",
       [] {
         TSimpleDocOptions O = Pages(10);
         O.FanOut = 3;
         O.ObjectStreams = true;
         O.Form = TXRefForm::Stream;
         return Simple(O);
       },
       Texts(10),
       {},
       ""},
      {"InheritedMediaBox",
       [] {
         TSimpleDocOptions O = Pages(3);
         O.MediaBoxOnRoot = true;
         O.FanOut = 2;
         return Simple(O);
       },
       Texts(3),
       {},
       ""},
      {"ContentsArray",
       [] {
         TSimpleDocOptions O;
         O.Pages = {{PageText("Part A", 720), PageText("Part B", 700)},
                    {PageText("Alone", 720)},
                    {PageText("X", 720), PageText("Y", 700), PageText("Z", 680)}};
         O.ContentsArray = true;
         O.CompressContents = false;
         return Simple(O);
       },
       {"Part A Part B", "Alone", "X Y Z"},
       {},
       ""},
      {"JunkBeforeHeaderOffsetsFromHeader",
       [] {
         TTestPDFWriter W = Simple(Pages(2));
         W.SetLeadingJunk("junk before the header\n", true);
         return W;
       },
       Texts(2),
       {},
       ""},
  };
  return Cases;
}

class ValidFile : public testing::TestWithParam<TValidCase> {
 protected:
  void SetUp() override {
    W = GetParam().Build();
    Data = W.Finish();
  }
  TTestPDFWriter W;
  std::string Data;
};

std::string CaseName(const testing::TestParamInfo<TValidCase>& Info) { return Info.param.Name; }

TEST_P(ValidFile, QpdfCheckFindsNothing) {
  if (!HasTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  TRun R = RunOn(Data, "qpdf", "--check {}");
  EXPECT_EQ(R.Exit, 0) << R.Out << R.Err;
  EXPECT_EQ(R.Out.find("WARNING"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Err, "");
}

TEST_P(ValidFile, QpdfCountsPages) {
  if (!HasTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  TRun R = RunOn(Data, "qpdf", "--show-npages {}");
  EXPECT_EQ(R.Exit, 0) << R.Err;
  EXPECT_EQ(R.Out, std::to_string(GetParam().Texts.size()) + "\n");
}

TEST_P(ValidFile, PdftotextPrintsPageTexts) {
  if (!HasTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  TRun R = RunOn(Data, "pdftotext", "{} -");
  EXPECT_EQ(R.Exit, 0);
  EXPECT_EQ(R.Err, "") << "poppler complained";
  EXPECT_EQ(PageTexts(R.Out), GetParam().Texts);
}

// Every offset qpdf reads from the cross-reference data is the one the writer
// reports.
TEST_P(ValidFile, QpdfXRefAgreesWithReportedOffsets) {
  if (!HasTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  TRun R = RunOn(Data, "qpdf", "--show-xref {}");
  ASSERT_EQ(R.Exit, 0) << R.Err;
  const size_t Junk = Data.find("%PDF-");
  std::istringstream Lines(R.Out);
  int Seen = 0;
  for (std::string Line; std::getline(Lines, Line);) {
    int Number = 0;
    int Generation = 0;
    unsigned long long Offset = 0;
    if (std::sscanf(Line.c_str(), "%d/%d: uncompressed; offset = %llu", &Number, &Generation, &Offset) != 3) continue;
    EXPECT_EQ(Offset + Junk, W.ObjectOffset(Number)) << "object " << Number;
    ++Seen;
  }
  EXPECT_GT(Seen, 0) << R.Out;
}

// Offsets the writer reports point at what they name.
TEST_P(ValidFile, ReportedOffsetsPointAtObjectsAndXRefs) {
  for (int S = 0; S < W.SectionCount(); ++S) {
    for (const auto& [Number, At] : W.ObjectOffsets(S)) {
      const std::string Line = Data.substr(At, Data.find('\n', At) - At);
      EXPECT_TRUE(IsObjectLine(Line, Number)) << "section " << S << ": " << Line;
    }
    const std::string AtXRef = Data.substr(W.XRefOffset(S), 64);
    if (W.Section(S).Form == TXRefForm::Stream)
      EXPECT_TRUE(IsObjectLine(AtXRef.substr(0, AtXRef.find('\n')), -1) &&
                  AtXRef.find(" 0 obj\n<< /Type /XRef ") != std::string::npos)
          << AtXRef;
    else
      EXPECT_EQ(AtXRef.substr(0, 5), "xref\n");
    EXPECT_LE(W.XRefOffset(S), W.SectionEnd(S));
  }
  EXPECT_EQ(W.SectionEnd(W.SectionCount() - 1), Data.size());
  const size_t Junk = Data.find("%PDF-");
  const size_t Last = Data.rfind("startxref\n");
  ASSERT_NE(Last, std::string::npos);
  EXPECT_EQ(std::stoull(Data.substr(Last + 10)) + Junk, W.XRefOffset(W.SectionCount() - 1));
}

INSTANTIATE_TEST_SUITE_P(Writer, ValidFile, testing::ValuesIn(ValidCases()), CaseName);

std::vector<TValidCase> ValidCasesWhere(bool (*Keep)(const TValidCase&)) {
  std::vector<TValidCase> Out;
  for (const TValidCase& Case : ValidCases())
    if (Keep(Case)) Out.push_back(Case);
  return Out;
}

// Files with incremental updates.
class UpdatedFile : public ValidFile {};

// The file cut after an earlier section is the document as it was then.
TEST_P(UpdatedFile, EarlierSectionsAreValidFiles) {
  const auto& Prefixes = GetParam().Prefixes;
  if (!HasTool("qpdf") && !HasTool("pdftotext")) GTEST_SKIP() << "neither qpdf nor pdftotext is installed";
  ASSERT_EQ(static_cast<int>(Prefixes.size()), W.SectionCount() - 1);
  for (size_t S = 0; S < Prefixes.size(); ++S) {
    const std::string Prefix = Data.substr(0, W.SectionEnd(static_cast<int>(S)));
    if (HasTool("qpdf")) {
      TRun R = RunOn(Prefix, "qpdf", "--check {}");
      EXPECT_EQ(R.Exit, 0) << "after section " << S << "\n" << R.Out << R.Err;
    }
    if (HasTool("pdftotext")) {
      TRun R = RunOn(Prefix, "pdftotext", "{} -");
      EXPECT_EQ(PageTexts(R.Out), Prefixes[S]) << "after section " << S;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Writer, UpdatedFile,
                         testing::ValuesIn(ValidCasesWhere([](const TValidCase& C) { return !C.Prefixes.empty(); })),
                         CaseName);

// Files with an /Info dictionary.
class FileWithInfo : public ValidFile {};

TEST_P(FileWithInfo, PdfinfoShowsTitle) {
  if (!HasTool("pdfinfo")) GTEST_SKIP() << "pdfinfo is not installed";
  TRun R = RunOn(Data, "pdfinfo", "{}");
  EXPECT_EQ(R.Exit, 0) << R.Err;
  const size_t At = R.Out.find("Title:");
  ASSERT_NE(At, std::string::npos) << R.Out;
  const size_t Value = R.Out.find_first_not_of(' ', At + 6);
  EXPECT_EQ(R.Out.substr(Value, R.Out.find('\n', Value) - Value), GetParam().Title);
}

INSTANTIATE_TEST_SUITE_P(Writer, FileWithInfo,
                         testing::ValuesIn(ValidCasesWhere([](const TValidCase& C) { return !C.Title.empty(); })),
                         CaseName);

// ---------------------------------------------------------------------------
// Faults made on purpose. Numbers of MakeSimpleDocument with two flat pages:
// page objects 4 and 6, contents 5 and 7, highest 7.

struct TFaultCase {
  const char* Name;
  std::function<TTestPDFWriter()> Build;
  std::function<void(const TTestPDFWriter&, const std::string&)> CheckBytes;
  int QpdfExit;       // expected exit of qpdf --check: 0 clean, 3 warnings
  bool TextSurvives;  // pdftotext still prints "Page 1" and "Page 2"
};

void PrintTo(const TFaultCase& Case, std::ostream* Os) { *Os << Case.Name; }

TTestPDFWriter TwoPages(const std::function<void(TTestPDFWriter&)>& Break) {
  TTestPDFWriter W = MakeSimpleDocument(Pages(2));
  Break(W);
  return W;
}

bool StartsAt(const std::string& Data, size_t At, const std::string& Text) {
  return Data.compare(At, Text.size(), Text) == 0;
}

std::string Entry(size_t Offset, const char* Generation = "00000", const char* Kind = "n") {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "%010zu %s %s", Offset, Generation, Kind);
  return Buffer;
}

const std::vector<TFaultCase>& FaultCases() {
  static const std::vector<TFaultCase> Cases = {
      {"StartXRefShifted", [] { return TwoPages([](TTestPDFWriter& W) { W.Section().StartXRefShift = 5; }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_NE(Data.find("startxref\n" + std::to_string(W.XRefOffset(0) + 5) + "\n%%EOF\n"), std::string::npos);
       },
       3, true},
      {"NoEOF", [] { return TwoPages([](TTestPDFWriter& W) { W.Section().OmitEOF = true; }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_EQ(Data.find("%%EOF"), std::string::npos);
         const std::string End = "startxref\n" + std::to_string(W.XRefOffset(0)) + "\n";
         EXPECT_EQ(Data.substr(Data.size() - End.size()), End);
       },
       0, true},
      {"EntryShifted", [] { return TwoPages([](TTestPDFWriter& W) { W.Section().EntryShift[4] = 3; }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_NE(Data.find(Entry(W.ObjectOffset(4) + 3)), std::string::npos);
         EXPECT_EQ(Data.find(Entry(W.ObjectOffset(4))), std::string::npos);
         EXPECT_NE(Data.find(Entry(W.ObjectOffset(6))), std::string::npos) << "other entries stay";
       },
       3, true},
      {"BytesAfterEOF",
       [] { return TwoPages([](TTestPDFWriter& W) { W.Section().Tail = std::string("tail\0\xFF", 6); }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_EQ(Data.substr(Data.size() - 12), std::string("%%EOF\ntail\0\xFF", 12));
         EXPECT_EQ(W.SectionEnd(0), Data.size());
       },
       0, true},
      {"LengthTooShort",
       [] {
         return TwoPages([](TTestPDFWriter& W) { W.AddStream(8, "<< /Kind 1 >>", "0123456789", false, {0, 7, 0}); });
       },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_TRUE(StartsAt(Data, W.ObjectOffset(8),
                              "8 0 obj\n<< /Kind 1 /Length 7 >>\nstream\n0123456789\nendstream\nendobj\n"));
       },
       3, true},
      {"LengthTooLong",
       [] { return TwoPages([](TTestPDFWriter& W) {
              W.AddStream(8, "/Kind 1", "0123456789", false, {0, 40, 0});
            }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_TRUE(StartsAt(Data, W.ObjectOffset(8), "8 0 obj\n<< /Kind 1 /Length 40 >>\nstream\n0123456789\n"));
       },
       3, true},
      {"IndirectLength",
       [] { return TwoPages([](TTestPDFWriter& W) {
              W.AddStream(8, "<< >>", "0123456789", true, {0, -1, 9});
            }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         const size_t At = W.ObjectOffset(8);
         EXPECT_TRUE(StartsAt(Data, At, "8 0 obj\n<< /Filter /FlateDecode /Length 9 0 R >>\nstream\n"));
         const size_t Begin = Data.find("stream\n", At) + 7;
         const size_t Stop = Data.find("\nendstream\nendobj\n", Begin);
         EXPECT_TRUE(StartsAt(Data, W.ObjectOffset(9), "9 0 obj\n" + std::to_string(Stop - Begin) + "\nendobj\n"));
         EXPECT_EQ(W.ObjectOffset(9), Stop + 18) << "right after the stream";
       },
       0, true},
      {"IndirectLengthWrong",
       [] { return TwoPages([](TTestPDFWriter& W) {
              W.AddStream(8, "<< >>", "0123456789", false, {0, 4, 9});
            }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_TRUE(StartsAt(Data, W.ObjectOffset(9), "9 0 obj\n4\nendobj\n"));
       },
       3, true},
      {"JunkBeforeHeader", [] { return TwoPages([](TTestPDFWriter& W) { W.SetLeadingJunk("JUNK\n"); }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_EQ(Data.substr(0, 14), "JUNK\n%PDF-1.4\n");
         EXPECT_NE(Data.find(Entry(W.ObjectOffset(4))), std::string::npos) << "offsets count from the file start";
       },
       3 /* qpdf counts from the header */, true},
      {"CustomHeader", [] { return TwoPages([](TTestPDFWriter& W) { W.SetHeader("%PDF-1.7\r%\x80\x81\x82\x83\r"); }); },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_EQ(Data.substr(0, 22), "%PDF-1.7\r%\x80\x81\x82\x83\r1 0 obj");
         EXPECT_EQ(W.ObjectOffset(1), 15u);
       },
       0, true},
      {"CompressedObjectsInClassicTable",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.ObjectStreams = true;
         return MakeSimpleDocument(O);
       },
       [](const TTestPDFWriter& W, const std::string& Data) {
         EXPECT_NE(Data.find("/Type /ObjStm"), std::string::npos);
         EXPECT_EQ(W.ObjectOffsets(0).count(2), 0u) << "root Pages node is compressed";
         EXPECT_EQ(Data.find("/XRefStm"), std::string::npos);
       },
       3, false},
  };
  return Cases;
}

class Fault : public testing::TestWithParam<TFaultCase> {
 protected:
  void SetUp() override {
    W = GetParam().Build();
    Data = W.Finish();
  }
  TTestPDFWriter W;
  std::string Data;
};

std::string FaultName(const testing::TestParamInfo<TFaultCase>& Info) { return Info.param.Name; }

TEST_P(Fault, ShowsInTheBytes) { GetParam().CheckBytes(W, Data); }

TEST_P(Fault, QpdfVerdict) {
  if (!HasTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  TRun R = RunOn(Data, "qpdf", "--check {}");
  EXPECT_EQ(R.Exit, GetParam().QpdfExit) << R.Out << R.Err;
}

TEST_P(Fault, PdftotextReadsTextWhenRecoverable) {
  if (!HasTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  TRun R = RunOn(Data, "pdftotext", "{} -");
  if (GetParam().TextSurvives)
    EXPECT_EQ(PageTexts(R.Out), Texts(2));
  else
    EXPECT_NE(PageTexts(R.Out), Texts(2));
}

INSTANTIATE_TEST_SUITE_P(Writer, Fault, testing::ValuesIn(FaultCases()), FaultName);

// ---------------------------------------------------------------------------
// Layout details that the tools accept either way.

struct TEntryCase {
  TEntryEnd End;
  size_t Bytes;
  std::string Tail;
};

class TableEntries : public testing::TestWithParam<TEntryCase> {};

TEST_P(TableEntries, HaveFixedSizeAndEnding) {
  TTestPDFWriter W = MakeSimpleDocument(Pages(2));
  W.Section().EntryEnd = GetParam().End;
  W.Free(9, 3);
  const std::string Data = W.Finish();
  // Objects 0..7 and 9: subsections "0 8" and "9 1".
  const size_t At = W.XRefOffset(0);
  ASSERT_EQ(Data.compare(At, 9, "xref\n0 8\n"), 0) << Data.substr(At, 40);
  const size_t Step = GetParam().Bytes;
  for (int I = 0; I < 8; ++I) {
    const std::string E = Data.substr(At + 9 + Step * static_cast<size_t>(I), Step);
    EXPECT_TRUE(IsEntryText(E.substr(0, 18))) << E;
    EXPECT_EQ(E.substr(18), GetParam().Tail) << "entry " << I;
    if (I == 0)
      EXPECT_EQ(E.substr(0, 18), "0000000009 65535 f") << "object 0 heads the free list";
    else
      EXPECT_EQ(E.substr(0, 18), Entry(W.ObjectOffset(I))) << "entry " << I;
  }
  const size_t Second = At + 9 + Step * 8;
  EXPECT_EQ(Data.substr(Second, 4 + Step), "9 1\n" + Entry(0, "00003", "f") + GetParam().Tail);
  EXPECT_EQ(Data.compare(Second + 4 + Step, 8, "trailer\n"), 0);
}

INSTANTIATE_TEST_SUITE_P(Writer, TableEntries,
                         testing::Values(TEntryCase{TEntryEnd::CRLF, 20, "\r\n"},
                                         TEntryCase{TEntryEnd::SpaceLF, 20, " \n"},
                                         TEntryCase{TEntryEnd::LF, 19, "\n"}));

struct TDictCase {
  const char* Name;
  std::function<TTestPDFWriter()> Build;
  int Section;
  std::vector<std::string> Has;
  std::vector<std::string> HasNot;
};

void PrintTo(const TDictCase& Case, std::ostream* Os) { *Os << Case.Name; }

const std::vector<TDictCase>& DictCases() {
  static const std::vector<TDictCase> Cases = {
      {"SmallestWidths",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Stream;
         return MakeSimpleDocument(O);
       },
       0,
       {"/Type /XRef /Size 9 /Root 1 0 R /W [1 2 1] /Filter /FlateDecode /Length "},
       {"/Index", "/DecodeParms", "/Prev"}},
      {"WidthsGrowWithOffsets",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Stream;
         TTestPDFWriter W = MakeSimpleDocument(O);
         W.AddRaw(std::string(70000, ' '));
         W.Add(300, 0, "null");
         return W;
       },
       0,
       {"/W [1 3 1]", "/Index [0 8 300 2]", "/Size 302"},
       {}},
      {"GivenWidthsAndPredictor",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Stream;
         TTestPDFWriter W = MakeSimpleDocument(O);
         W.Section().Widths = {1, 4, 2};
         W.Section().Predictor = true;
         return W;
       },
       0,
       {"/W [1 4 2]", "/DecodeParms << /Predictor 12 /Columns 7 >>"},
       {}},
      {"UpdateHasIndexAndPrev",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Stream;
         TTestPDFWriter W = MakeSimpleDocument(O);
         W.StartUpdate();
         W.Section().Form = TXRefForm::Stream;
         W.Section().Extra = "/Marker true";
         W.Add(5, 0, "null");
         W.Free(7);
         return W;
       },
       1,
       {"/Root 1 0 R", "/Index [5 1 7 1 9 1]", "/Size 10", "/Prev ", "/Marker true"},
       {}},
      {"HybridStreamListsCompressedOnly",
       [] {
         TSimpleDocOptions O = Pages(2);
         O.Form = TXRefForm::Hybrid;
         O.ObjectStreams = true;
         return MakeSimpleDocument(O);
       },
       // Compressed: 2, 3, 4, 6 in stream 8; the xref stream is 9.
       0,
       {"/Type /XRef /Size 10 /W [1 1 1] /Index [2 3 6 1]"},
       {"/Root"}},
  };
  return Cases;
}

class XRefStreamDict : public testing::TestWithParam<TDictCase> {};

TEST_P(XRefStreamDict, HasExpectedKeys) {
  TTestPDFWriter W = GetParam().Build();
  const std::string Data = W.Finish();
  const size_t At = W.XRefStreamOffset(GetParam().Section);
  const std::string Dict = Data.substr(At, Data.find("\nstream\n", At) - At);
  for (const std::string& Key : GetParam().Has) EXPECT_NE(Dict.find(Key), std::string::npos) << Key << "\n" << Dict;
  for (const std::string& Key : GetParam().HasNot) EXPECT_EQ(Dict.find(Key), std::string::npos) << Key << "\n" << Dict;
}

std::string DictName(const testing::TestParamInfo<TDictCase>& Info) { return Info.param.Name; }

INSTANTIATE_TEST_SUITE_P(Writer, XRefStreamDict, testing::ValuesIn(DictCases()), DictName);

// ---------------------------------------------------------------------------
// The page tree helper's numbering and tree shape.

TEST(MakeSimpleDocument, NumbersObjectsAsDocumented) {
  TSimpleDocObjects N;
  TSimpleDocOptions O = Pages(2);
  O.Pages[1].push_back(PageText("More"));
  MakeSimpleDocument(O, &N);
  EXPECT_EQ(N.Nodes, std::vector<int>{});
  EXPECT_EQ(N.PageObjects, (std::vector<int>{4, 6}));
  EXPECT_EQ(N.Contents, (std::vector<std::vector<int>>{{5}, {7, 8}}));
  EXPECT_EQ(N.Highest, 8);

  O = Pages(5);
  O.FanOut = 2;
  O.ObjectStreams = true;
  O.ObjectsPerStream = 4;
  MakeSimpleDocument(O, &N);
  // 5 pages -> 3 nodes -> 2 nodes under the root.
  EXPECT_EQ(N.Nodes, (std::vector<int>{4, 5, 6, 7, 8}));
  EXPECT_EQ(N.PageObjects, (std::vector<int>{9, 11, 13, 15, 17}));
  // 6 nodes + font + 5 pages = 12 dictionaries, 4 per stream.
  EXPECT_EQ(N.ObjStms, (std::vector<int>{19, 20, 21}));
  EXPECT_EQ(N.Highest, 21);
}

TEST(MakeSimpleDocument, TreeNodesCountTheirPages) {
  TSimpleDocOptions O = Pages(5);
  O.FanOut = 2;
  O.MediaBoxOnRoot = true;
  TTestPDFWriter W = MakeSimpleDocument(O);
  const std::string Data = W.Finish();
  auto Body = [&](int Number) {
    const size_t At = W.ObjectOffset(Number);
    return Data.substr(At, Data.find("endobj", At) - At);
  };
  EXPECT_NE(Body(2).find("/Kids [4 0 R 5 0 R] /Count 5 /MediaBox [0 0 612 792]"), std::string::npos) << Body(2);
  EXPECT_NE(Body(4).find("/Parent 2 0 R /Kids [6 0 R 7 0 R] /Count 4"), std::string::npos) << Body(4);
  EXPECT_NE(Body(5).find("/Parent 2 0 R /Kids [8 0 R] /Count 1"), std::string::npos) << Body(5);
  EXPECT_NE(Body(6).find("/Parent 4 0 R /Kids [9 0 R 11 0 R] /Count 2"), std::string::npos) << Body(6);
  EXPECT_NE(Body(8).find("/Parent 5 0 R /Kids [17 0 R] /Count 1"), std::string::npos) << Body(8);
  EXPECT_NE(Body(17).find("/Parent 8 0 R"), std::string::npos) << Body(17);
  EXPECT_EQ(Body(17).find("/MediaBox"), std::string::npos) << "inherited from the root";
}

TEST(TestPDFWriter, OffsetQueriesNeedFinish) {
  TTestPDFWriter W;
  W.Add(1, 0, "null");
  EXPECT_THROW(W.ObjectOffset(1), std::out_of_range);
  W.Finish();
  EXPECT_EQ(W.ObjectOffset(1), 15u);
  EXPECT_THROW(W.ObjectOffset(2), std::out_of_range);
  EXPECT_THROW(W.XRefStreamOffset(0), std::out_of_range);
  EXPECT_THROW(W.XRefOffset(1), std::out_of_range);
}

// Finish() between updates gives the file as it is so far: a prefix of the
// final file, with the same offsets.
TEST(TestPDFWriter, FinishBetweenUpdatesGivesPrefix) {
  TTestPDFWriter W = MakeSimpleDocument(Pages(1));
  const std::string First = W.Finish();
  const size_t XRef0 = W.XRefOffset(0);
  W.StartUpdate();
  W.Add(9, 0, "(added)");
  EXPECT_THROW(W.XRefOffset(1), std::out_of_range) << "section 1 is not laid out yet";
  const std::string Second = W.Finish();
  EXPECT_EQ(Second.substr(0, First.size()), First);
  EXPECT_EQ(W.SectionEnd(0), First.size());
  EXPECT_EQ(W.XRefOffset(0), XRef0);
  EXPECT_EQ(W.ObjectOffset(9), First.size());
  EXPECT_NE(Second.find("/Prev " + std::to_string(XRef0) + " >>"), std::string::npos);
}

}  // namespace
