// The console program: the main window's flow with plain input and output.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif
#include <cerrno>
#include <chrono>
#include <charconv>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <termios.h>
#include <unistd.h>

#include "Batch.h"
#include "CodePage.h"
#include "Names.h"
#include "PageWorkers.h"
#include "Report.h"
#include "SettingsStore.h"
#include "Shell.h"
#include "Utility.h"
#include "main.h"
#include "option.h"
#include "uPDFEngine.h"

namespace {

const char* const HelpText = R"(Usage: textextractor [OPTIONS] FILE [OUTPUT]
       textextractor [OPTIONS] -o DIR INPUT...

Extracts the text of the PDF file FILE into the text file OUTPUT (default: FILE
with the extension of the format: .txt, .json or .md; "-" writes to standard
output). FILE "-" reads the
PDF file from standard input (OUTPUT then defaults to standard output). An
OUTPUT that is FILE itself is refused. The stored settings
are used, changed for this run by the options below.

With -o, every INPUT (a PDF file, or a folder searched for *.pdf files) is
extracted into DIR: X.pdf into DIR/X.txt (.json, .md), keeping the folders below a folder
INPUT. One line per file is logged; nobody is asked for a password.

Pages:
  -f, --first N          start at page N (page range From..To)
  -l, --last N           stop at page N (page range From..To)
      --all-pages        all pages (no range)
      --odd              only the odd pages of the range
      --even             only the even pages of the range
      --every-page       every page of the range
Text:
      --header TEXT      a line before each page's text
      --footer TEXT      a line after each page's text (stored default " = Page &p =")
                         macros: &p page, &a page count, &f file, &n file name, &d date
      --layout KIND      content (content-stream order), reflow (lines by
                         position, the stored default), positioned (records)
                         or reading (columns, blocks and paragraphs in
                         reading order)
      --text-type N      the stored layout number, 0..255 (0 content, 1 reflow,
                         2 positioned, 3 reading; others add no page text)
      --page-text MODE   each page's text is the engine's page text mode 0..4
      --format KIND      text (the items with header and footer, CR LF; the
                         stored default), plain (LF line ends, a form feed
                         after each page, no header or footer, the reading
                         layout unless --layout says otherwise), json (words
                         with their boxes, lines, blocks, tables and the
                         metadata) or markdown (headings, paragraphs, lists,
                         tables); json and markdown are UTF-8 and read in the
                         reading layout
      --no-page-breaks   plain: no form feed after each page
      --page-marks       markdown: a mark "<!-- page N -->" before each page
      --ocr WHEN         read the text of page images with Tesseract: never,
                         auto (pages without text of their own that images
                         cover a quarter of; the stored default) or always
      --ocr-lang LANGS   Tesseract's languages, "+" between them (default:
                         the installed ones of eng and chi_sim)
      --encoding NAME    the code page of all text (CP1252, UTF-8, CP936, GB18030,
                         ...); default: the locale's character set, UTF-8 for
                         the C locale
Files:
  -p, --password PW      the password of a protected file (first answer)
      --password-file F  the password on the first line of F
      --open             open the output file when done (xdg-open)
      --save             store the resulting settings as the defaults
      --info             print the page count and page sizes instead
      --repair           repair a damaged file: rebuild its cross-reference by
                         scanning it (the stored default)
      --no-repair        refuse a file whose cross-reference is damaged
Many files:
  -o, --output-dir DIR   extract every INPUT into DIR
  -j, --jobs N           files extracted at once (default: the number of
                         cores); with one FILE: its pages read by N workers
      --skip-existing    leave outputs that exist alone (counted as skipped)
Limits and report:
      --timeout SECONDS  the time one file may take (0: no end; stored as
                         Timeout); default: no end, 300 with -o
      --max-memory MB    the memory one file may take (0: no limit; with -o:
                         each worker's; default there: a share of the
                         machine's memory, at most 4096)
      --allow-truncation a page whose content was cut at 256 MiB is no error
      --report FILE      append one JSON line per input file to FILE
Other:
  -q, --quiet            no log on standard error
  -h, --help             this text
      --version          the program's version

Exit status: 0 finished, 1 stopped (Ctrl-C), 2 usage error, 3 file not
opened (with -o: some file), 4 run error (with -o: some file failed or could
not be written; also past the time or memory limit, or content cut at 256
MiB). Settings: ${XDG_CONFIG_HOME:-~/.config}/Vorlith/TextExtractor.ini
)";

struct TOptions {
  std::string File, Output;
  // The batch form: the inputs, the output folder and the workers.
  std::vector<std::string> Inputs;
  std::optional<std::string> OutputDir;
  std::optional<int> Jobs;
  bool SkipExisting = false;
  std::optional<int32_t> First, Last;
  std::optional<TPageRange> Range;
  std::optional<TPageChoice> Page;
  std::optional<std::string> Header, Footer;
  std::optional<int> TextType, PageText;
  std::optional<int32_t> Repair;
  std::optional<TPDFOCRMode> OCR;
  std::optional<std::string> OCRLanguages;
  std::optional<std::string> Password;
  std::string Encoding;
  std::optional<TOutputFormat> Format;
  bool PageBreaks = true;
  bool PageMarks = false;
  // Limits per file and the report.
  std::optional<int32_t> Timeout;
  std::optional<unsigned long long> MaxMemory;  // megabytes
  bool AllowTruncation = false;
  std::string Report;
  bool Open = false, Save = false, Info = false, Quiet = false, Help = false, Version = false;
};

int UsageError(const std::string& Message) {
  std::fprintf(stderr, "textextractor: %s\nTry 'textextractor --help'.\n", Message.c_str());
  return 2;
}

bool ParseInt(const std::string& Text, int64_t Min, int64_t Max, int64_t& Value) {
  if (Text.empty()) return false;
  char* End = nullptr;
  errno = 0;
  long long V = std::strtoll(Text.c_str(), &End, 10);
  if (errno || *End || V < Min || V > Max) return false;
  Value = V;
  return true;
}

// 0 when the options are usable, else the exit status of a usage error.
int ParseArgs(const std::vector<std::string>& Args, TOptions& O) {
  std::vector<std::string> Positional;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    auto Value = [&](std::string& Out) {
      if (I + 1 >= Args.size()) return false;
      Out = Args[++I];
      return true;
    };
    auto Number = [&](int64_t Min, int64_t Max, int64_t& Out) {
      std::string V;
      return Value(V) && ParseInt(V, Min, Max, Out);
    };
    int64_t N = 0;
    std::string S;
    if (A == "-f" || A == "--first") {
      if (!Number(INT32_MIN, INT32_MAX, N)) return UsageError(A + " needs a page number");
      O.Range = TPageRange::FromTo;
      O.First = static_cast<int32_t>(N);
    } else if (A == "-l" || A == "--last") {
      if (!Number(INT32_MIN, INT32_MAX, N)) return UsageError(A + " needs a page number");
      O.Range = TPageRange::FromTo;
      O.Last = static_cast<int32_t>(N);
    } else if (A == "--all-pages") {
      O.Range = TPageRange::All;
    } else if (A == "--odd" || A == "--even" || A == "--every-page") {
      O.Page = A == "--odd" ? TPageChoice::Odd : A == "--even" ? TPageChoice::Even : TPageChoice::Every;
    } else if (A == "--header" || A == "--footer") {
      if (!Value(S)) return UsageError(A + " needs a text");
      (A == "--header" ? O.Header : O.Footer) = S;
    } else if (A == "--layout") {
      if (!Value(S)) return UsageError("--layout needs " + NamesForMessage(LayoutNameList()));
      const std::optional<TTextType> Layout = LayoutFromName(S);
      if (!Layout) return UsageError("unknown layout: " + S);
      O.TextType = static_cast<int>(*Layout);
    } else if (A == "--text-type") {
      if (!Number(0, 255, N)) return UsageError("--text-type needs a number from 0 to 255");
      O.TextType = static_cast<int>(N);
    } else if (A == "--page-text") {
      if (!Number(0, 4, N)) return UsageError("--page-text needs a mode from 0 to 4");
      O.PageText = static_cast<int>(N);
    } else if (A == "-p" || A == "--password") {
      if (!Value(S)) return UsageError(A + " needs a password");
      O.Password = S;
    } else if (A == "--password-file") {
      if (!Value(S)) return UsageError("--password-file needs a file");
      std::ifstream In(S, std::ios::binary);
      std::string Line;
      if (!In) return UsageError("cannot read the password file " + S);
      std::getline(In, Line);
      while (!Line.empty() && (Line.back() == '\r' || Line.back() == '\n')) Line.pop_back();
      O.Password = Line;
    } else if (A == "--encoding") {
      if (!Value(O.Encoding)) return UsageError("--encoding needs a code page name");
    } else if (A == "-o" || A == "--output-dir") {
      if (!Value(S) || S.empty()) return UsageError(A + " needs a folder");
      O.OutputDir = S;
    } else if (A == "-j" || A == "--jobs") {
      if (!Number(1, 1024, N)) return UsageError(A + " needs a number from 1 to 1024");
      O.Jobs = static_cast<int>(N);
    } else if (A == "--skip-existing") {
      O.SkipExisting = true;
    } else if (A == "--open") {
      O.Open = true;
    } else if (A == "--save") {
      O.Save = true;
    } else if (A == "--repair" || A == "--no-repair") {
      O.Repair = A == "--repair" ? 1 : 0;
    } else if (A == "--ocr") {
      if (!Value(S)) return UsageError("--ocr needs " + NamesForMessage(OCRModeNameList()));
      O.OCR = OCRModeFromName(S);
      if (!O.OCR) return UsageError("unknown OCR setting: " + S);
    } else if (A == "--ocr-lang") {
      if (!Value(S)) return UsageError("--ocr-lang needs languages, such as eng+chi_sim");
      O.OCRLanguages = S;
    } else if (A == "--info") {
      O.Info = true;
    } else if (A == "--format") {
      if (!Value(S)) return UsageError("--format needs " + NamesForMessage(FormatNameList()));
      O.Format = FormatFromName(S);
      if (!O.Format) return UsageError("unknown format: " + S);
    } else if (A == "--no-page-breaks") {
      O.PageBreaks = false;
    } else if (A == "--page-marks") {
      O.PageMarks = true;
    } else if (A == "--timeout") {
      if (!Number(0, 7 * 24 * 3600, N)) return UsageError("--timeout needs a number of seconds from 0 to 604800");
      O.Timeout = static_cast<int32_t>(N);
    } else if (A == "--max-memory") {
      if (!Number(0, int64_t{1} << 24, N) || (N > 0 && N < 16))
        return UsageError("--max-memory needs a number of megabytes from 16 to 16777216, or 0 for no limit");
      O.MaxMemory = static_cast<unsigned long long>(N);
    } else if (A == "--allow-truncation") {
      O.AllowTruncation = true;
    } else if (A == "--report") {
      if (!Value(O.Report) || O.Report.empty()) return UsageError("--report needs a file");
    } else if (A == "-q" || A == "--quiet") {
      O.Quiet = true;
    } else if (A == "-h" || A == "--help") {
      O.Help = true;
    } else if (A == "--version") {
      O.Version = true;
    } else if (A == "--") {
      Positional.insert(Positional.end(), Args.begin() + static_cast<std::ptrdiff_t>(I) + 1, Args.end());
      break;
    } else if (A.size() > 1 && A[0] == '-') {
      return UsageError("unknown option " + A);
    } else {
      Positional.push_back(A);
    }
  }
  if (O.Help || O.Version) return 0;
  if (O.OutputDir) {
    if (Positional.empty()) return UsageError("no PDF file or folder given");
    if (O.Info || O.Save || O.Open) return UsageError("--info, --save and --open work on one file, not with --output-dir");
    O.Inputs = Positional;
    return 0;
  }
  if (O.SkipExisting) return UsageError("--skip-existing needs --output-dir");
  if (Positional.empty()) return UsageError("no PDF file given");
  if (Positional.size() > 2) return UsageError("too many files given");
  O.File = Positional[0];
  if (Positional.size() == 2) O.Output = Positional[1];
  return 0;
}

// The report's entry of the single-file form, and the way a failure fills it.
struct TSingleEntry : TReportEntry {
  int Fail(const char* Outcome, const TPDFStatus& Cause, int ExitStatus) {
    Status = Outcome;
    Kind = StatusKindName(Cause.Kind);
    Message = Cause.Message;
    return ExitStatus;
  }
};

// Ctrl-C: the first one stops the run after the current page, a second one
// ends the program.
volatile std::sig_atomic_t Interrupted = 0;

extern "C" void OnInterrupt(int) {
  Interrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

// Reads a line from the terminal without echo.
bool ReadMasked(const std::string& Prompt, std::string& Value) {
  std::fprintf(stderr, "%s ", Prompt.c_str());
  std::fflush(stderr);
  termios Old{};
  const bool Tty = ::tcgetattr(STDIN_FILENO, &Old) == 0;
  if (Tty) {
    termios Quiet = Old;
    Quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &Quiet);
  }
  Value.clear();
  int C;
  bool Got = false;
  while ((C = std::fgetc(stdin)) != EOF) {
    Got = true;
    if (C == '\n') break;
    if (C != '\r') Value += static_cast<char>(C);
  }
  if (Tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &Old);
  std::fputc('\n', stderr);
  return Got;
}

// The progress line on a terminal, for the page just done.
constexpr const char* ConsoleProgress = "Extracting page %d. Ctrl-C stops after this page";

class TConsoleHost : public TMainHost {
 public:
  explicit TConsoleHost(const TOptions& O) : FOptions(O), FProgress(!O.Quiet && ::isatty(STDERR_FILENO)) {}
  TMainLogic* Logic = nullptr;
  // The output the run chose.
  std::string Output;

  bool ChooseOutputFile(const std::string& Proposed, std::string& FileName) override {
    // Standard input's text goes to standard output unless an output is named.
    FileName = !FOptions.Output.empty() ? FOptions.Output : FOptions.File == "-" ? "-" : Proposed;
    Output = FileName;
    return true;
  }
  bool AskPassword(const std::string& Prompt, std::string& Value) override {
    if (!FPasswordAsked && FOptions.Password) {
      FPasswordAsked = true;
      Value = *FOptions.Password;
      return true;
    }
    FPasswordAsked = true;
    if (!::isatty(STDIN_FILENO)) return false;  // no one to ask again
    ClearProgress();
    return ReadMasked(Prompt, Value);
  }
  bool AskYesNo(const std::string&) override { return FOptions.Open; }
  void OpenFile(const std::string& FileName) override {
    if (FileName != "-") ShellOpen(FileName);
  }
  void LogAppend(const std::string& Line) override {
    if (FOptions.Quiet) return;
    ClearProgress();
    std::fprintf(stderr, "%s\n", Line.c_str());
  }
  void LogReplaceLast(const std::string&) override {
    if (!FProgress) return;
    // A bar of the pages of the range, and the progress text, on one line.
    constexpr int Width = 24;
    const int64_t Span = static_cast<int64_t>(FLast) - FFirst + 1;
    const int Filled = Span > 0 ? static_cast<int>((static_cast<int64_t>(FPage) - FFirst + 1) * Width / Span) : Width;
    // The console's own progress text: the window's names its Stop button.
    const std::string Text = FormatText(ConsoleProgress, FPage);
    std::fprintf(stderr, "\r\033[K[%s%s] %s", std::string(static_cast<size_t>(Filled), '#').c_str(),
                 std::string(static_cast<size_t>(Width - Filled), ' ').c_str(), Text.c_str());
    std::fflush(stderr);
    FShowing = true;
  }
  void EnableAction(TAction, bool) override {}
  void ProcessMessages() override {
    if (Interrupted && Logic) Logic->aStopExecute();
  }
  void PageDone(int32_t Page, int32_t First, int32_t Last) override {
    FPage = Page;
    FFirst = First;
    FLast = Last;
  }

 private:
  void ClearProgress() {
    if (!FShowing) return;
    std::fprintf(stderr, "\r\033[K");
    FShowing = false;
  }

  const TOptions& FOptions;
  const bool FProgress;
  bool FShowing = false;
  bool FPasswordAsked = false;
  int32_t FPage = 0, FFirst = 0, FLast = 0;
};

// A failure's cause on standard error, after the log's own words: always
// (also with -q), since it is an error, not a log line.
void SayCause(const std::string& File, const TPDFStatus& Status) {
  std::fprintf(stderr, "textextractor: %s: %s\n", File.c_str(), Status.Message.c_str());
}

// All of standard input; false when it cannot be read.
bool ReadStandardInput(std::string& Data) {
  char Buffer[1 << 16];
  for (;;) {
    const ssize_t N = ::read(STDIN_FILENO, Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return false;
    if (N == 0) return true;
    Data.append(Buffer, static_cast<size_t>(N));
  }
}

// "Pages: N", "Encrypted: E", "Security: ...", then "Page I: W x H" for
// every page. A document that needs a password it was not given prints what
// is known without one (its encryption) and gives 3.
// Text on one line: line breaks as spaces.
std::string OneLine(std::string Text) {
  for (char& C : Text)
    if (C == '\n' || C == '\r') C = ' ';
  return Text;
}

int PrintInfo(const TOptions& O, TPDFEngine& Engine, const TSettings& Settings, const std::optional<std::string>& Data) {
  Engine.Repair = Settings.Repair != 0;
  if (TPDFStatus Loaded = Data ? Engine.LoadFromData(*Data) : Engine.LoadFromFile(O.File); !Loaded) {
    std::fprintf(stderr, "%s\n", FormatText(MessageTable::LoadFailed, O.File.c_str()).c_str());
    SayCause(O.File, Loaded);
    return 3;
  }
  TPDFStatus Locked;
  if (Engine.Encrypted() == TPDFEncryption::Supported &&
      Engine.SecurityInfo(TPDFSecurityItem::UserPassword) == TPDFSecurityValue::PasswordNeeded) {
    if (!O.Password)
      Locked = TPDFStatus::Failure(TPDFStatusKind::Password, "a password is needed");
    else if (!PasswordOpens(Engine.SetPassword(*O.Password)))
      Locked = TPDFStatus::Failure(TPDFStatusKind::Password, "the password is wrong");
  } else if (O.Password) {
    Engine.SetPassword(*O.Password);
  }
  // Sizes with two decimals and "." whatever the locale.
  auto Fixed = [](double V) {
    char Buf[64];
    auto End = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::fixed, 2).ptr;
    return std::string(Buf, End);
  };
  auto Security = [&] {
    std::printf("Encrypted: %d\nSecurity:", static_cast<int>(Engine.Encrypted()));
    for (int Item = 0; Item <= 10; ++Item)
      std::printf(" %d", static_cast<int>(Engine.SecurityInfo(static_cast<TPDFSecurityItem>(Item))));
    std::printf("\n");
  };
  if (!Locked) {
    Security();
    std::fflush(stdout);
    SayCause(O.File, Locked);
    return 3;
  }
  const int Count = Engine.PageCount();
  std::printf("Pages: %d\n", Count);
  Security();
  for (int I = 1; I <= Count; ++I) {
    Engine.SelectPage(I);
    std::printf("Page %d: %s x %s\n", I, Fixed(Engine.PageWidth()).c_str(), Fixed(Engine.PageHeight()).c_str());
  }
  // The metadata under pdfinfo's names, each only when the document has it.
  const TPDFMetadata M = Engine.Metadata();
  for (const auto& [Name, Value] : {std::pair<const char*, const std::string&>{"Title", M.Title},
                                    {"Subject", M.Subject},
                                    {"Keywords", M.Keywords},
                                    {"Author", M.Author},
                                    {"Creator", M.Creator},
                                    {"Producer", M.Producer},
                                    {"CreationDate", M.CreationDate},
                                    {"ModDate", M.ModDate}})
    if (Value.find_first_not_of(" \t\r\n") != std::string::npos) std::printf("%s: %s\n", Name, OneLine(Value).c_str());
  if (!M.Version.empty()) std::printf("PDF version: %s\n", M.Version.c_str());
  if (M.Tagged) std::printf("Tagged: yes\n");
  return 0;
}

// The format of this run: --format, else the stored one. The plain format
// reads in the reading layout unless a layout is named.
void ApplyFormat(const TOptions& O, TSettings& S) {
  if (O.Format) S.Format = *O.Format;
  if (S.Format == TOutputFormat::Plain && !O.TextType) S.TextType = TTextType::Reading;
}

void ApplyOptions(const TOptions& O, TSettings& S) {
  if (O.Range) S.Range = *O.Range;
  if (O.First) S.From = *O.First;
  if (O.Last) S.To = *O.Last;
  if (O.Page) S.Page = *O.Page;
  if (O.Header) S.Header = *O.Header;
  if (O.Footer) S.Footer = *O.Footer;
  if (O.TextType) S.TextType = static_cast<TTextType>(*O.TextType);
  if (O.Repair) S.Repair = *O.Repair;
  if (O.Timeout) S.Timeout = *O.Timeout;
  if (O.OCR) S.OCR = *O.OCR;
  if (O.OCRLanguages) S.OCRLanguages = *O.OCRLanguages;
}

}  // namespace

namespace {

// The single-file form: the run of O.File, its outcome told in Entry; the
// exit status.
int RunSingle(const TOptions& O, const std::shared_ptr<const TCodePage>& CodePage, TSingleEntry& Entry) {
  try {
    TPDFEngine Engine;
    Engine.CodePage = CodePage;
    TIniSettingsStore Store(TIniSettingsStore::DefaultPath());
    TSettings Settings(Store);
    if (!O.Quiet) {
      if (!Store.Warning().empty()) std::fprintf(stderr, "%s\n", Store.Warning().c_str());
      for (const std::string& Warning : Settings.Warnings) std::fprintf(stderr, "%s\n", Warning.c_str());
    }
    // The repair choice counts for the open already.
    if (O.Repair) Settings.Repair = *O.Repair;
    std::optional<std::string> Data;
    if (O.File == "-") {
      Data.emplace();
      if (!ReadStandardInput(*Data)) {
        std::fprintf(stderr, "textextractor: -: cannot read standard input: %s\n", std::strerror(errno));
        return Entry.Fail("not_opened", TPDFStatus::Failure(TPDFStatusKind::Unreadable, "cannot read standard input"), 3);
      }
    }
    if (O.Info) return PrintInfo(O, Engine, Settings, Data);
    TConsoleHost Host(O);
    TMainLogic Logic(Engine, Settings, Host);
    Host.Logic = &Logic;
    Logic.InputData = std::move(Data);
    if (TPDFStatus Opened = Logic.OpenPDFFile(O.File); !Opened) {
      SayCause(O.File, Opened);
      return Entry.Fail("not_opened", Opened, 3);
    }
    ApplyOptions(O, Settings);
    if (O.Save && !Settings.Save()) throw std::runtime_error("Can not save the settings to " + Store.Path() + ".");
    if (O.PageText) Logic.PageTextMode = static_cast<TPDFTextMode>(*O.PageText);
    ApplyFormat(O, Settings);  // after --save: the format is this run's alone
    Logic.Format = Settings.Format;
    // -j N: the pages are read by N workers, each with the document loaded.
    std::unique_ptr<TPageWorkers> Workers;
    if (O.Jobs && *O.Jobs > 1) {
      // The structured formats read UTF-8 data, whatever the text's code
      // page and the page text mode.
      const bool Structured = IsStructured(Logic.Format);
      TPageWorkerDocument Document;
      Document.File = O.File;
      Document.Data = &Logic.InputData;
      Document.Password = Logic.CurrentPassword;
      Document.Repair = Settings.Repair != 0;
      Document.CodePage = Structured ? TCodePage::Create("UTF-8") : CodePage;
      if (!Structured) Document.Mode = Logic.PageTextMode;
      Document.TextType = Settings.TextType;
      Document.Layout = Structured;
      Document.OCRMode = Settings.OCR;
      Document.OCRLanguages = Settings.OCRLanguages;
      Workers = std::make_unique<TPageWorkers>(std::move(Document), *O.Jobs);
      Logic.PageSource = Workers.get();
    }
    Logic.PageBreaks = O.PageBreaks;
    Logic.PageMarks = O.PageMarks;
    Logic.AllowTruncation = O.AllowTruncation;
    std::signal(SIGINT, OnInterrupt);
    const auto Facts = [&] {
      const TRunFacts& F = Logic.RunFacts();
      Entry.Output = Host.Output;
      Entry.Pages = F.Pages;
      Entry.Chars = F.Chars;
      Entry.Repaired = F.Repaired;
      if (F.Budget) Entry.Kind = StatusKindName(TPDFStatusKind::Budget);
    };
    try {
      const TRunResult Result = Logic.aExtractExecute();
      Facts();
      switch (Result) {
        case TRunResult::Finished: Entry.Status = "extracted"; return 0;
        case TRunResult::Cancelled: Entry.Status = "skipped"; return 0;
        case TRunResult::Stopped: return Entry.Fail("failed", TPDFStatus::Failure(TPDFStatusKind::Internal, "stopped"), 1);
        case TRunResult::LoadFailed:
          SayCause(O.File, Logic.RunStatus());
          return Entry.Fail("not_opened", Logic.RunStatus(), 3);
      }
    } catch (const ERunLimit& E) {
      Facts();
      SayCause(O.File, E.Status());
      return Entry.Fail("failed", E.Status(), 4);
    }
  } catch (const std::bad_alloc&) {
    const TPDFStatus Cause = TPDFStatus::Failure(TPDFStatusKind::Memory, "out of memory");
    SayCause(O.File, Cause);
    return Entry.Fail("failed", Cause, 4);
  } catch (const std::exception& E) {
    // What the window's top-level handler would show in a message box.
    std::fprintf(stderr, "%s\n", E.what());
    return Entry.Fail("failed", TPDFStatus::Failure(dynamic_cast<const EWriteError*>(&E) ? TPDFStatusKind::WriteError
                                                                                         : TPDFStatusKind::Internal,
                                                    E.what()),
                      4);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef M_MMAP_THRESHOLD
  // Decoded streams and page buffers of a few hundred kilobytes come and go
  // with every page: served from the heap and kept for the next page, rather
  // than mapped, zero-filled by the kernel and unmapped each time (a tenth
  // of the system time of a run on large documents).
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  // The layouts write numbers with the user's decimal separator.
  std::setlocale(LC_NUMERIC, "");
  TOptions O;
  if (int Status = ParseArgs(std::vector<std::string>(argv + 1, argv + argc), O)) return Status;
  if (O.Help) {
    std::fputs(HelpText, stdout);
    return 0;
  }
  if (O.Version) {
    int Major, Minor, Release, Build;
    GetFileVersion(Major, Minor, Release, Build);
    std::printf("textextractor %d.%d.%d\n", Major, Minor, Release);
    return 0;
  }
  // The code page of all text: --encoding, else the locale's.
  std::shared_ptr<const TCodePage> CodePage;
  if (!O.Encoding.empty()) {
    CodePage = TCodePage::Create(O.Encoding);
    if (!CodePage) return UsageError("unknown encoding " + O.Encoding);
  } else {
    CodePage = TCodePage::Default();
  }

  if (O.OutputDir) {
    // The settings file is read once for all files.
    TBatchOptions B;
    B.Inputs = O.Inputs;
    B.OutputDir = *O.OutputDir;
    B.Jobs = O.Jobs.value_or(ProcessorCount());
    B.SkipExisting = O.SkipExisting;
    B.Quiet = O.Quiet;
    B.Password = O.Password;
    if (O.PageText) B.PageText = static_cast<TPDFTextMode>(*O.PageText);
    TIniSettingsStore Stored(TIniSettingsStore::DefaultPath());
    B.StoredSettings = Stored.Read();
    // What the settings file did not give is said once, not for every file.
    TMemorySettingsStore Copy;
    Copy.Values = B.StoredSettings;
    const TSettings StoredCopy(Copy);
    if (!O.Quiet) {
      if (!Stored.Warning().empty()) std::fprintf(stderr, "%s\n", Stored.Warning().c_str());
      for (const std::string& Warning : StoredCopy.Warnings) std::fprintf(stderr, "%s\n", Warning.c_str());
    }
    // Limits per file: five minutes and a share of the memory unless told.
    B.Timeout = O.Timeout.value_or(StoredCopy.Timeout.value_or(300));
    B.MaxMemory = O.MaxMemory.value_or(DefaultWorkerMemory(B.Jobs));
    B.AllowTruncation = O.AllowTruncation;
    B.Report = O.Report;
    B.ApplyOptions = [&O](TSettings& S) {
      ApplyOptions(O, S);
      ApplyFormat(O, S);
    };
    B.Format = O.Format.value_or(StoredCopy.Format);
    B.PageBreaks = O.PageBreaks;
    B.PageMarks = O.PageMarks;
    B.CodePage = CodePage;
    return RunBatch(B);
  }

  // Nothing is written over the input: an output that is the input file
  // (also through a link) is refused before anything is read.
  if (!O.Info && O.File != "-") {
    const std::string Output = O.Output.empty() ? ChangeFileExt(O.File, FormatSuffix(O.Format.value_or(TOutputFormat::Text))) : O.Output;
    if (Output != "-" && SameFile(O.File, Output))
      return UsageError("the output " + Output + " is the input file " + O.File + "; name another output");
  }

  TReportWriter Report;
  if (!O.Report.empty() && !Report.Open(O.Report)) {
    std::fprintf(stderr, "textextractor: %s\n", Report.Error().c_str());
    return 4;
  }
  if (O.MaxMemory && *O.MaxMemory && !LimitAddressSpace(*O.MaxMemory << 20))
    std::fprintf(stderr, "textextractor: the memory limit cannot be set: %s\n", std::strerror(errno));
  TSingleEntry Entry;
  Entry.Path = O.File;
  const auto Started = std::chrono::steady_clock::now();
  const int Status = RunSingle(O, CodePage, Entry);
  if (Report.IsOpen()) {
    Entry.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    if (!Report.Write(Entry)) {
      std::fprintf(stderr, "textextractor: the report %s cannot be written: %s\n", O.Report.c_str(), std::strerror(errno));
      return Status ? Status : 4;
    }
  }
  return Status;
}
