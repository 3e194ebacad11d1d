// The run logic of the main window: opening a PDF file and the extraction run,
// free of any GUI. Hosts (the window, the console program, the tests) supply
// the dialogs, the log and the message pump through TMainHost.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Names.h"
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
  // LF line ends, followed by a form feed unless PageBreaks is false.
  TOutputFormat Format = TOutputFormat::Text;
  bool PageBreaks = true;

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

  TPDFEngine& FEngine;
  TSettings& FSettings;
  TMainHost& FHost;
  TPDFStatus FRunStatus;
};

// The output of a run: items, each followed by CR LF, go to a temporary file
// beside FileName (created exclusively under a random name) as they come, and Commit renames it over the target, so
// that a run that fails leaves any earlier file untouched and never a
// half-written one. A temporary file that cannot be written fails at Commit,
// where writing the whole list would have failed. "-" is standard output,
// written at Commit.
// One thread at a time.
class TItemWriter {
 public:
  explicit TItemWriter(std::string FileName);
  ~TItemWriter();  // removes the temporary file unless committed
  TItemWriter(const TItemWriter&) = delete;
  TItemWriter& operator=(const TItemWriter&) = delete;
  void Add(const std::string& Item);
  // What follows each item: CR LF for the text format.
  std::string Terminator = "\r\n";
  // Throws std::runtime_error when the output could not be written.
  void Commit();
  // The temporary file beside the target; empty for standard output or when
  // none could be created.
  const std::string& TempName() const { return FTemp; }

 private:
  std::string FFileName, FTemp, FError, FBuffer;
  std::FILE* FFile = nullptr;
  bool FCommitted = false;
};

// printf-style formatting of the message texts.
std::string FormatText(const char* Format, ...) __attribute__((format(printf, 1, 2)));
