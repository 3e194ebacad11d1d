// The run logic of the main window: opening a PDF file and the extraction run,
// free of any GUI. Hosts (the window, the console program, the tests) supply
// the dialogs, the log and the message pump through TMainHost.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Markdown.h"
#include "Names.h"
#include "PageJSON.h"
#include "ReadingOrder.h"
#include "uPDFEngine.h"
#include "uPDFStatus.h"

class TSettings;

// The fixed texts the main window shows.
namespace MessageTable {
inline constexpr const char* AlreadyOpen = "The requested file have alreadly opened.";
inline constexpr const char* FileInfo = "Current file is: %s\r\n Pages: %d\r\n Press Extract button to extract text";
inline constexpr const char* Progress = "Extracting page %d. Press Stop button to terminate";
inline constexpr const char* Stopped = "User teminate";
inline constexpr const char* Finished = "Extraction finished";
inline constexpr const char* OpenResult = "Do you want to open the destination file?";
inline constexpr const char* RunStart = "Begin to extract from %s to %s\r\n Page from %d to %d";
inline constexpr const char* LoadFailed = "Can not load file: %s. It is may be not a valid PDF file.";
inline constexpr const char* UnknownEncryption = "Unknown Encryption.";
inline constexpr const char* PasswordPrompt = "\"%s\" needs password to open:";
inline constexpr const char* Rebuilt = " The file is damaged: its cross-reference was rebuilt.";
inline constexpr const char* NoPageSelected = " No page is selected: pages %d-%d, and the document has %d pages.";
inline constexpr const char* PageWithoutText = " page %s has no text; it may be a scanned image";
inline constexpr const char* PagesWithoutText = " pages %s have no text; they may be scanned images";
inline constexpr const char* PageBudget = " page %d stopped at its budget of %s %s; its text so far is kept.";
inline constexpr const char* PageTimeBudget = " page %d stopped: the file took longer than its time limit (%s s).";
inline constexpr const char* PageCut = " page %d: its content was cut at %s; the text after that is lost.";
inline constexpr const char* ContentCut = "the page's content was cut at %s";
inline constexpr const char* TimedOut = "the file took longer than its time limit (%s s)";
// The text of page images: which pages were read (and in which languages),
// which could not be, and the package that would read them.
inline constexpr const char* RecognisedPage = " OCR: page %s (%s).";
inline constexpr const char* RecognisedPages = " OCR: pages %s (%s).";
inline constexpr const char* PageUnread = " page %s has no text; install %s to read its images";
inline constexpr const char* PagesUnread = " pages %s have no text; install %s to read their images";
inline constexpr const char* ProgressRecognised = " (%d recognised)";
}  // namespace MessageTable

// An error of the program's own making ("INNER ERROR: ..."), shown to the user
// by the host's top-level handler.
class EInnerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The output of a run could not be written (the message says which file and
// why).
class EWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A run ended for a limit: the time allowed ran out (the settings' Timeout,
// from the load to the last page; nothing is written), or
// a page's content was cut at the cap on decoded size (written all the same).
// The status tells the kind (timeout, truncated) and says why.
class ERunLimit : public std::runtime_error {
 public:
  explicit ERunLimit(TPDFStatus Status) : std::runtime_error(Status.Message), FStatus(std::move(Status)) {}
  const TPDFStatus& Status() const { return FStatus; }

 private:
  TPDFStatus FStatus;
};

// What a run did, for reports: the pages written, the characters of their
// text, whether the file's cross-reference was rebuilt, whether a page was
// stopped by its budget, and whether a page's content was cut.
struct TRunFacts {
  int32_t Pages = 0;
  uint64_t Chars = 0;
  bool Repaired = false;
  bool Budget = false;
  bool Truncated = false;
};

// One page's text as a run reads it: the text, whether it is blank with
// images on the page, the budget that stopped it (with its limit), and where
// the cap on decoded size cut its content (0: nowhere).
struct TPageResult {
  std::string Text;
  bool NoText = false;
  // Its images were recognised, or could not be (Tesseract or a language
  // missing), and what the recognition warned of.
  bool Recognised = false, Unread = false;
  std::vector<std::string> OCRWarnings;
  TPDFBudgetKind Exceeded = TPDFBudgetKind::None;
  uint64_t Limit = 0;
  size_t CutAt = 0;
  // The page in the reading-order layout as data, when asked for; Text is
  // then that layout's text.
  std::optional<TReadingPage> Layout;
};

// Page Page of Engine's selected document as a run reads it: in Mode when
// given (the engine's page text), else as data in the reading-order layout
// when Layout, else in the layout TextType.
TPageResult ReadPage(TPDFEngine& Engine, int32_t Page, std::optional<TPDFTextMode> Mode, TTextType TextType,
                     bool Layout = false);

// Pages read somewhere else (the console reads one document's pages in
// several processes): Start is told the run's pages in order with the limits
// and the deadline, Next gives each page's result in that order, and Finish
// ends the work however the run ends. Errors are thrown.
class TPageSource {
 public:
  virtual ~TPageSource() = default;
  virtual void Start(const std::vector<int32_t>& Pages, const TPDFLimits& Limits,
                     std::optional<TPDFPageBudget::TClock::time_point> Deadline) = 0;
  virtual TPageResult Next(int32_t Page) = 0;
  virtual void Finish() = 0;
};

// The window's actions that the run logic enables and disables.
enum class TAction { OpenFile, Option, Extract, Stop };

// What the run logic needs from its host.
// Called from the thread that runs the logic.
class TMainHost {
 public:
  virtual ~TMainHost() = default;
  // The output file, given a proposed name; false when the user cancels.
  virtual bool ChooseOutputFile(const std::string& Proposed, std::string& FileName) = 0;
  // A password for Prompt; false when the user cancels.
  virtual bool AskPassword(const std::string& Prompt, std::string& Value) = 0;
  virtual bool AskYesNo(const std::string& Question) = 0;
  // Opens a file with its associated program.
  virtual void OpenFile(const std::string& FileName) = 0;
  virtual void LogAppend(const std::string& Line) = 0;
  virtual void LogReplaceLast(const std::string& Line) = 0;
  virtual void EnableAction(TAction Action, bool Enabled) = 0;
  // Handles pending user input; this is where a Stop is seen.
  virtual void ProcessMessages() = 0;
  // Page Page of First..Last is done (for a progress display).
  virtual void PageDone(int32_t /*Page*/, int32_t /*First*/, int32_t /*Last*/) {}
  // The run writes its output into TempName first (for a host that must
  // clean up after a run that cannot).
  virtual void TemporaryFileCreated(const std::string& /*TempName*/) {}
};

// Replaces, in this order and with letters in any case, &p by Page, &a by
// PageCount, &f by FileName, &n by its file name part and &d by today's date
// in the short date format; each replacement works on the result of the one
// before.
std::string ExpandMacros(const std::string& Text, int32_t Page, int32_t PageCount, const std::string& FileName);

// The header and footer lines around each page's text, and what their macros
// stand for. Shared by the extraction run and the Python module.
struct TPageFrame {
  std::string Header, Footer;
  int32_t PageCount = 0;
  std::string FileName;
  // The item of page Page as the run writes it, without the CR LF that ends
  // it: the expanded header and LF CR, Text, then LF CR and the expanded
  // footer; an empty Header or Footer adds nothing (not even LF CR).
  std::string Item(int32_t Page, const std::string& Text) const;
};

// How an extraction run ended (an error ends it by an exception instead).
enum class TRunResult { Cancelled, LoadFailed, Stopped, Finished };

// The state and operations of the main window. Not for use from several
// threads; each thread (each batch worker) has its own logic and engine.

class TMainLogic {
 public:
  // Engine, Settings and Host must outlive the logic.
  TMainLogic(TPDFEngine& Engine, TSettings& Settings, TMainHost& Host);

  std::string CurrentFile;
  std::string CurrentPassword;
  int32_t CurrentPageCount = 0;
  bool Busy = false;
  bool StopRequested = false;
  // The log pane's lines.
  std::vector<std::string> Log;
  // Pages of the current run whose images were read (the progress counts
  // them).
  int32_t RecognisedPages = 0;
  // When set, each page's text is the engine's page text in this mode instead
  // of the layout's (for diagnostics).
  std::optional<TPDFTextMode> PageTextMode;
  // Whether a stopped run writes the pages done so far (the window and the
  // single-file console form); when not, a stopped run leaves any earlier
  // output as it was.
  bool WriteWhenStopped = true;
  // The PDF file's bytes when they do not come from CurrentFile (standard
  // input); loads then take these and CurrentFile only names the file.
  std::optional<std::string> InputData;
  // The form of the output: Text writes the window's items (header, text,
  // footer, each item followed by CR LF); Plain writes each page's text with
  // LF line ends, followed by a form feed unless PageBreaks is false; Json
  // writes the document's pages in the reading-order layout as one JSON
  // object, page by page (to standard output too), in UTF-8; Markdown
  // writes them as Markdown when the run ends (a mark before each page when
  // PageMarks), in UTF-8.
  TOutputFormat Format = TOutputFormat::Text;
  bool PageBreaks = true;
  bool PageMarks = false;
  // Whether a page whose content was cut at the cap on decoded size ends the
  // run with ERunLimit (truncated) after writing it; when allowed, the log
  // says so and the run finishes.
  bool AllowTruncation = false;
  // What the engine may spend on one page.
  TPDFLimits Limits;
  // When set (by the host, after the open), the run's pages come from it
  // instead of this process's engine; the document is still loaded here.
  TPageSource* PageSource = nullptr;

  // Inspects FileName and makes it current; Ok, or why it did not become
  // current (the load's cause, password, unknown_encryption; internal when
  // it is current already). The log says it in the window's words.
  TPDFStatus OpenPDFFile(const std::string& FileName);
  // The extraction run. Throws EInnerError, EWriteError (the output could
  // not be written) and other errors after leaving the busy state and
  // removing the document; RunStatus then tells the kind.
  TRunResult aExtractExecute();
  // Why the last run did not finish: the load's cause for LoadFailed, or the
  // kind of the error it threw (write_error, memory, internal); Ok otherwise.
  const TPDFStatus& RunStatus() const { return FRunStatus; }
  // What the last run did (also when it ended by an error).
  const TRunFacts& RunFacts() const { return FRunFacts; }
  void aStopExecute() { StopRequested = true; }
  // Files dropped on the window: the last existing one is opened.
  void WMDropFiles(const std::vector<std::string>& FileNames);
  // Whether the window may close now.
  bool FormCloseQuery() const { return !Busy; }

  void AddLog(const std::string& Message);
  void ShowProgress(int32_t Page);
  void SetCurrentFile(const std::string& Name);
  // Replaces &p, &a, &f, &n and &d (in any letter case) in that order.
  std::string ExpandMacros(const std::string& Text, int32_t Page) const;


 private:
  TRunResult ExtractRun();
  TPDFStatus Load(const std::string& FileName);
  // The run's page range from the settings (throws EInnerError for a range
  // type outside the enumeration), and its pages by the page choice.
  void RunRange(int32_t& First, int32_t& Last) const;
  std::vector<int32_t> TakenPages(int32_t First, int32_t Last) const;

  TPDFEngine& FEngine;
  TSettings& FSettings;
  TMainHost& FHost;
  TPDFStatus FRunStatus;
  TRunFacts FRunFacts;
};

// The output of a run: items, each followed by CR LF, go to a temporary file
// beside FileName (created exclusively under a random name) as they come, and
// Commit renames it over the target, so that a run that fails leaves any
// earlier file untouched and never a half-written one. A temporary file that
// cannot be written fails at Commit, where writing the whole list would have
// failed. "-" is standard output, written at Commit; a device or a pipe
// (/dev/null, a FIFO) is written as the items come.
// One thread at a time.
class TItemWriter {
 public:
  // Created is told the temporary file's name as soon as it exists, with
  // the signals that end a process held back until it returns (so that a
  // handler that removes the file always knows it).
  explicit TItemWriter(std::string FileName, const std::function<void(const std::string&)>& Created = {});
  ~TItemWriter();  // removes the temporary file unless committed
  TItemWriter(const TItemWriter&) = delete;
  TItemWriter& operator=(const TItemWriter&) = delete;
  void Add(const std::string& Item);
  // What follows each item: CR LF for the text format.
  std::string Terminator = "\r\n";
  // Whether items for standard output go out as they come rather than at
  // Commit (a run that fails then leaves what was written).
  bool Stream = false;
  // Throws std::runtime_error when the output could not be written.
  void Commit();
  // The temporary file beside the target; empty for standard output or when
  // none could be created.
  const std::string& TempName() const { return FTemp; }

 private:
  std::string FFileName, FTemp, FError, FBuffer;
  std::FILE* FFile = nullptr;
  bool FCommitted = false;
  // The target is a device or a pipe, written directly.
  bool FInPlace = false;
};

// printf-style formatting of the message texts.
std::string FormatText(const char* Format, ...) __attribute__((format(printf, 1, 2)));
