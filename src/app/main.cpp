// The run logic of the main window.
#include "main.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CodePage.h"
#include "PDFCommon.h"
#include "Shell.h"
#include "TempFile.h"
#include "Utility.h"
#include "option.h"
#include "uPDFExtra.h"
#include "uPDFEngine.h"

std::string FormatText(const char* Format, ...) {
  va_list Args;
  va_start(Args, Format);
  va_list Copy;
  va_copy(Copy, Args);
  const int N = std::vsnprintf(nullptr, 0, Format, Copy);
  va_end(Copy);
  std::string Out(N > 0 ? static_cast<size_t>(N) : 0, '\0');
  if (N > 0) std::vsnprintf(Out.data(), Out.size() + 1, Format, Args);
  va_end(Args);
  return Out;
}

namespace {

// Replaces every occurrence of What (two bytes, letters in any case) by With,
// scanning left to right; replaced text is not scanned again.
std::string ReplaceIgnoreCase(const std::string& Text, const std::string& What, const std::string& With) {
  const std::string Folded = AsciiLowerText(Text), Key = AsciiLowerText(What);
  std::string Out;
  size_t From = 0;
  for (size_t At = Folded.find(Key); At != std::string::npos; At = Folded.find(Key, From)) {
    Out.append(Text, From, At - From);
    Out += With;
    From = At + Key.size();
  }
  Out.append(Text, From, std::string::npos);
  return Out;
}

}  // namespace

TMainLogic::TMainLogic(TPDFEngine& Engine, TSettings& Settings, TMainHost& Host)
    : FEngine(Engine), FSettings(Settings), FHost(Host) {
  SetCurrentFile("");
  FHost.EnableAction(TAction::Stop, false);
}

void TMainLogic::AddLog(const std::string& Message) {
  // The message's own line breaks (CR LF, LF or CR) split it into lines; a
  // break at its very end makes no extra line.
  std::string Line;
  auto Append = [&] {
    Log.push_back(Line);
    FHost.LogAppend(Line);
    Line.clear();
  };
  for (size_t I = 0; I < Message.size(); ++I) {
    const char C = Message[I];
    if (C == '\r' || C == '\n') {
      Append();
      if (C == '\r' && I + 1 < Message.size() && Message[I + 1] == '\n') ++I;
    } else {
      Line += C;
    }
  }
  if (!Message.empty() && Message.back() != '\r' && Message.back() != '\n') Append();
  if (!Message.empty()) Append();  // the empty line after every message
}

void TMainLogic::ShowProgress(int32_t Page) {
  std::string Text = FormatText(MessageTable::Progress, Page);
  if (RecognisedPages > 0) Text += FormatText(MessageTable::ProgressRecognised, RecognisedPages);
  if (Log.empty())
    Log.push_back(Text);
  else
    Log.back() = Text;
  FHost.LogReplaceLast(Text);
  FHost.ProcessMessages();
}

void TMainLogic::SetCurrentFile(const std::string& Name) {
  CurrentFile = Name;
  FHost.EnableAction(TAction::Extract, !Name.empty());
}

std::string ExpandMacros(const std::string& Text, int32_t Page, int32_t PageCount, const std::string& FileName) {
  std::string S = ReplaceIgnoreCase(Text, "&p", std::to_string(Page));
  S = ReplaceIgnoreCase(S, "&a", std::to_string(PageCount));
  S = ReplaceIgnoreCase(S, "&f", FileName);
  S = ReplaceIgnoreCase(S, "&n", ExtractFileName(FileName));
  S = ReplaceIgnoreCase(S, "&d", ShortDateString());
  return S;
}

std::string TPageFrame::Item(int32_t Page, const std::string& Text) const {
  // LF CR, in that order, between the lines of an item.
  std::string Out;
  if (!Header.empty()) Out = ExpandMacros(Header, Page, PageCount, FileName) + "\n\r";
  Out += Text;
  if (!Footer.empty()) Out += "\n\r" + ExpandMacros(Footer, Page, PageCount, FileName);
  return Out;
}

std::string TMainLogic::ExpandMacros(const std::string& Text, int32_t Page) const {
  return ::ExpandMacros(Text, Page, CurrentPageCount, CurrentFile);
}

TPDFStatus TMainLogic::OpenPDFFile(const std::string& FileName) {
  if (SameTextIgnoringCase(FileName, CurrentFile)) {
    AddLog(MessageTable::AlreadyOpen);
    return TPDFStatus::Failure(TPDFStatusKind::Internal, "the file is already open");
  }
  SetCurrentFile("");
  // What the engine recovers from while the file opens goes to the log (once:
  // the extraction run loads the file again without it).
  struct TWarnings {
    TPDFEngine& E;
    ~TWarnings() { E.OnWarning = nullptr; }
  } Warnings{FEngine};
  FEngine.OnWarning = [this](const std::string& Text) { AddLog(Text); };
  FEngine.Repair = FSettings.Repair != 0;
  if (TPDFStatus Loaded = Load(FileName); !Loaded) {
    AddLog(FormatText(MessageTable::LoadFailed, FileName.c_str()));
    return Loaded;
  }
  TPDFDocument* Doc = FEngine.SelectedDocument();
  CurrentPassword.clear();
  // Whatever way the open ends, the engine keeps no document of this file.
  struct TRemove {
    TPDFEngine& E;
    TPDFDocument* D;
    ~TRemove() { E.RemoveDocument(D); }
  } Remove{FEngine, Doc};

  switch (FEngine.Encrypted()) {
    case TPDFEncryption::None:
      break;
    case TPDFEncryption::Unsupported:
      AddLog(MessageTable::UnknownEncryption);
      return TPDFStatus::Failure(TPDFStatusKind::UnknownEncryption, "unknown encryption");
    default:
      // Without libcrypto an AES document opens with no password and no
      // text, or asks for one no password can give: neither says why.
      if (TPDFStatus Crypto = FEngine.CryptoStatus(); !Crypto) return Crypto;
      if (FEngine.SecurityInfo(TPDFSecurityItem::UserPassword) == TPDFSecurityValue::PasswordNeeded) {
        const std::string Prompt = FormatText(MessageTable::PasswordPrompt, ExtractFileName(FileName).c_str());
        for (bool Tried = false;; Tried = true) {
          std::string Typed;
          if (!FHost.AskPassword(Prompt, Typed))
            return TPDFStatus::Failure(TPDFStatusKind::Password,
                                       Tried ? "the password is wrong" : "a password is needed");
          CurrentPassword = Typed;
          if (PasswordOpens(FEngine.SetPassword(CurrentPassword))) break;
        }
      }
  }
  // A damaged file is rebuilt at the load, or once a password opens it.
  if (FEngine.Rebuilt()) AddLog(MessageTable::Rebuilt);
  const int32_t Pages = FEngine.PageCount();
  AddLog(FormatText(MessageTable::FileInfo, FileName.c_str(), Pages));
  SetCurrentFile(FileName);
  CurrentPageCount = Pages;
  FSettings.ResetRange(CurrentPageCount);
  return {};
}

TRunResult TMainLogic::aExtractExecute() {
  FRunStatus = {};
  FRunFacts = {};
  try {
    return ExtractRun();
  } catch (const ERunLimit& E) {
    FRunStatus = E.Status();
    throw;
  } catch (const EWriteError& E) {
    FRunStatus = TPDFStatus::Failure(TPDFStatusKind::WriteError, E.what());
    throw;
  } catch (const std::bad_alloc&) {
    FRunStatus = TPDFStatus::Failure(TPDFStatusKind::Memory, "out of memory");
    throw;
  } catch (const std::exception& E) {
    FRunStatus = TPDFStatus::Failure(TPDFStatusKind::Internal, E.what());
    throw;
  }
}

TPDFStatus TMainLogic::Load(const std::string& FileName) {
  return InputData ? FEngine.LoadFromData(*InputData) : FEngine.LoadFromFile(FileName);
}

namespace {

// Page numbers as ranges: "3", "3, 5-7".
std::string PageList(const std::vector<int32_t>& Pages) {
  std::string Out;
  for (size_t I = 0; I < Pages.size();) {
    size_t J = I;
    while (J + 1 < Pages.size() && Pages[J + 1] == Pages[J] + 1) ++J;
    if (!Out.empty()) Out += ", ";
    Out += std::to_string(Pages[I]);
    if (J > I) {
      Out += '-';
      Out += std::to_string(Pages[J]);
    }
    I = J + 1;
  }
  return Out;
}

// A page's text for the plain format: LF line ends (CR LF and lone CR
// become LF), ending in LF when it has any text.
std::string PlainText(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size() + 1);
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\r') {
      Out += '\n';
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else {
      Out += Text[I];
    }
  }
  if (!Out.empty() && Out.back() != '\n') Out += '\n';
  return Out;
}

// "256 MiB", or "2000 bytes" for a size of no whole mebibytes.
std::string SizeText(size_t Bytes) {
  if (Bytes != 0 && Bytes % (size_t{1} << 20) == 0) return std::to_string(Bytes >> 20) + " MiB";
  return std::to_string(Bytes) + " bytes";
}

// The characters of Text: its bytes, a UTF-8 sequence counting once.
uint64_t CountChars(const std::string& Text, bool UTF8) {
  if (!UTF8) return Text.size();
  return static_cast<uint64_t>(
      std::count_if(Text.begin(), Text.end(), [](char C) { return (static_cast<unsigned char>(C) & 0xC0) != 0x80; }));
}

bool IsBlankText(const std::string& Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) <= 0x20; });
}

// The log lines of a run's OCR: the pages read, in Languages; the pages that
// could not be, with the packages that would read them.
void LogRecognition(TMainLogic& Logic, TPDFEngine& Engine, const std::vector<int32_t>& Read,
                    const std::vector<int32_t>& Unread) {
  const std::string Languages = Engine.OCRLanguagesInUse();
  if (!Read.empty())
    Logic.AddLog(FormatText(Read.size() == 1 ? MessageTable::RecognisedPage : MessageTable::RecognisedPages,
                            PageList(Read).c_str(), Languages.c_str()));
  if (Unread.empty()) return;
  std::string Packages;
  std::vector<std::string> Missing = Languages.empty() ? std::vector<std::string>{"eng"} : MissingOCRLanguages(Languages);
  for (const std::string& L : Missing) Packages += (Packages.empty() ? "" : " and ") + OCRLanguagePackage(L);
  if (Packages.empty()) Packages = "tesseract-ocr";
  Logic.AddLog(FormatText(Unread.size() == 1 ? MessageTable::PageUnread : MessageTable::PagesUnread,
                          PageList(Unread).c_str(), Packages.c_str()));
}

}  // namespace

TPageResult ReadPage(TPDFEngine& Engine, int32_t Page, std::optional<TPDFTextMode> Mode, TTextType TextType,
                     bool Layout) {
  TPageResult R;
  Engine.SelectPage(Page);
  if (Mode) {
    R.Text = Engine.GetPageText(*Mode);
  } else if (Layout) {
    R.Layout = ReadingOrderPage(Engine.GetPageWords(), Engine.PageBox());
    R.Layout->Number = Page;
    R.Text = ReadingOrderText(*R.Layout);
  } else {
    GetPageTextByType(Engine, TextType, R.Text);
  }
  R.Recognised = Engine.PageRecognised();
  R.Unread = !R.Recognised && Engine.PageUnread();
  R.NoText = !R.Recognised && !R.Unread && IsBlankText(R.Text) && !Mode && Engine.PageHasImages();
  R.OCRWarnings = Engine.PageOCRWarnings();
  const TPDFPageBudget& Budget = Engine.PageBudget();
  R.Exceeded = Budget.Exceeded();
  R.Limit = Budget.Limit(R.Exceeded);
  R.CutAt = Budget.Cut() ? Budget.CutAt() : 0;
  return R;
}

void TMainLogic::RunRange(int32_t& First, int32_t& Last) const {
  if (FSettings.Range == TPageRange::All) {
    First = 1;
    Last = CurrentPageCount;
  } else if (FSettings.Range == TPageRange::FromTo) {
    First = FSettings.From < 1 ? 1 : FSettings.From;
    Last = FSettings.To > CurrentPageCount ? CurrentPageCount : FSettings.To;
  } else {
    throw EInnerError("INNER ERROR: Error page range type");
  }
}

std::vector<int32_t> TMainLogic::TakenPages(int32_t First, int32_t Last) const {
  std::vector<int32_t> Taken;
  for (int64_t Page = First; Page <= Last; ++Page) {
    const int32_t P = static_cast<int32_t>(Page);
    if (FSettings.Page == TPageChoice::Every || (FSettings.Page == TPageChoice::Odd && P % 2 == 1) ||
        (FSettings.Page == TPageChoice::Even && P % 2 == 0))
      Taken.push_back(P);
  }
  return Taken;
}

TRunResult TMainLogic::ExtractRun() {
  std::string Output;
  if (!FHost.ChooseOutputFile(ChangeFileExt(CurrentFile, FormatSuffix(Format)), Output)) return TRunResult::Cancelled;

  // The busy state is left however the run ends.
  struct TBusy {
    TMainLogic& L;
    explicit TBusy(TMainLogic& Logic) : L(Logic) {
      L.Busy = true;
      for (TAction A : {TAction::Extract, TAction::OpenFile, TAction::Option}) L.FHost.EnableAction(A, false);
      L.FHost.EnableAction(TAction::Stop, true);
      L.StopRequested = false;
    }
    ~TBusy() {
      L.FHost.EnableAction(TAction::Stop, false);
      for (TAction A : {TAction::Extract, TAction::OpenFile, TAction::Option}) L.FHost.EnableAction(A, true);
      L.Busy = false;
    }
  } Busy(*this);

  FEngine.Repair = FSettings.Repair != 0;
  FEngine.OCRMode = FSettings.OCR;
  FEngine.OCRLanguages = FSettings.OCRLanguages;
  RecognisedPages = 0;
  FEngine.Limits = Limits;
  FEngine.Deadline.reset();
  const double Timeout = FSettings.Timeout.value_or(0);
  if (Timeout > 0) FEngine.Deadline = DeadlineAfter(Timeout);
  // The limits are this run's: the engine serves other callers afterwards.
  struct TLimitsBack {
    TPDFEngine& E;
    ~TLimitsBack() {
      E.Deadline.reset();
      E.Limits = {};
    }
  } LimitsBack{FEngine};
  // The structured formats are UTF-8 whatever the code page of the text.
  const bool Structured = IsStructured(Format);
  struct TCodePageBack {
    TPDFEngine& E;
    std::shared_ptr<const TCodePage> Page;
    ~TCodePageBack() { E.CodePage = Page; }
  } CodePageBack{FEngine, FEngine.CodePage};
  if (Structured) FEngine.CodePage = TCodePage::Create("UTF-8");
  // Pages read elsewhere start before this process loads the file again,
  // and come back in the run's order; the source stops however the run ends.
  struct TSourceEnd {
    TPageSource* S;
    ~TSourceEnd() {
      if (S) S->Finish();
    }
  } SourceEnd{PageSource};
  if (PageSource) {
    int32_t First, Last;
    RunRange(First, Last);
    PageSource->Start(TakenPages(First, Last), FEngine.Limits, FEngine.Deadline);
  }
  if (TPDFStatus Loaded = Load(CurrentFile); !Loaded) {
    AddLog(FormatText(MessageTable::LoadFailed, CurrentFile.c_str()));
    FRunStatus = Loaded;
    return TRunResult::LoadFailed;
  }
  FEngine.SetPassword(CurrentPassword);
  FRunFacts.Repaired = FEngine.Rebuilt();
  {
    // The document goes however the pages end.
    struct TRemove {
      TPDFEngine& E;
      ~TRemove() { E.RemoveDocument(E.SelectedDocument()); }
    } Remove{FEngine};

    int32_t First, Last;
    RunRange(First, Last);
    AddLog(FormatText(MessageTable::RunStart, CurrentFile.c_str(), Output.c_str(), First, Last));
    // The output is written all the same (empty); the log says why.
    if (First > Last) AddLog(FormatText(MessageTable::NoPageSelected, First, Last, CurrentPageCount));
    std::vector<int32_t> NoText, Recognised, Unread;
    std::string CutAt;
    const bool UTF8 = (FEngine.CodePage ? FEngine.CodePage : TCodePage::Default())->Name() == "UTF-8";

    TItemWriter Items(Output, [this](const std::string& Temp) { FHost.TemporaryFileCreated(Temp); });
    const bool Plain = Format == TOutputFormat::Plain;
    if (Plain) Items.Terminator.assign(PageBreaks ? 1 : 0, '\f');
    // JSON goes out page by page, also to standard output; Markdown when the
    // whole document is known.
    TJSONDocument Json;
    TMarkdownWriter Markdown;
    const std::vector<std::string> Labels =
        Format == TOutputFormat::Json ? FEngine.PageLabels() : std::vector<std::string>{};
    if (Format == TOutputFormat::Json) {
      Items.Terminator.clear();
      Items.Stream = true;
      Items.Add(Json.Begin(CurrentFile));
    }
    for (const int32_t P : TakenPages(First, Last)) {
      TPageResult Page =
          PageSource ? PageSource->Next(P) : ReadPage(FEngine, P, Structured ? std::nullopt : PageTextMode, FSettings.TextType, Structured);
      const std::string& Text = Page.Text;
      // The macros read CurrentFile and CurrentPageCount as they are now (a
      // file dropped during the run changes them for the pages after it).
      if (Page.Recognised) {
        Recognised.push_back(P);
        RecognisedPages = static_cast<int32_t>(Recognised.size());
      } else if (Page.Unread) {
        Unread.push_back(P);
      } else if (Page.NoText) {
        NoText.push_back(P);
      }
      for (const std::string& Warning : Page.OCRWarnings) AddLog(" " + Warning);
      // A page that ran out of time ends the run: nothing is written.
      if (Page.Exceeded == TPDFBudgetKind::Time || DeadlinePassed(FEngine.Deadline)) {
        AddLog(FormatText(MessageTable::PageTimeBudget, P, std::to_string(*FSettings.Timeout).c_str()));
        throw ERunLimit(TPDFStatus::Failure(TPDFStatusKind::Timeout,
                                            FormatText(MessageTable::TimedOut, std::to_string(*FSettings.Timeout).c_str())));
      }
      if (Page.Exceeded != TPDFBudgetKind::None) {
        AddLog(FormatText(MessageTable::PageBudget, P, std::to_string(Page.Limit).c_str(), BudgetName(Page.Exceeded)));
        FRunFacts.Budget = true;
      }
      if (Page.CutAt) {
        CutAt = SizeText(Page.CutAt);
        AddLog(FormatText(MessageTable::PageCut, P, CutAt.c_str()));
        FRunFacts.Truncated = true;
      }
      FRunFacts.Chars += CountChars(Text, UTF8);
      ++FRunFacts.Pages;
      if (Format == TOutputFormat::Json && Page.Layout) {
        const size_t Index = static_cast<size_t>(P) - 1;
        Items.Add(Json.Page(*Page.Layout, Index < Labels.size() ? Labels[Index] : std::string()));
      } else if (Format == TOutputFormat::Markdown && Page.Layout) {
        Markdown.AddPage(std::move(*Page.Layout));
      } else if (Plain) {
        Items.Add(PlainText(Text));
      } else {
        const TPageFrame Frame{FSettings.Header, FSettings.Footer, CurrentPageCount, CurrentFile};
        Items.Add(Frame.Item(P, Text));
      }
      FHost.PageDone(P, First, Last);
      ShowProgress(P);
      if (StopRequested) break;
    }
    if (Format == TOutputFormat::Json) Items.Add(Json.End(FEngine.Metadata(), FEngine.Outline()));
    if (Format == TOutputFormat::Markdown) {
      Items.Terminator.clear();
      Items.Add(Markdown.Finish(PageMarks));
    }
    if (!StopRequested || WriteWhenStopped) Items.Commit();
    if (NoText.size() == 1) AddLog(FormatText(MessageTable::PageWithoutText, PageList(NoText).c_str()));
    if (NoText.size() > 1) AddLog(FormatText(MessageTable::PagesWithoutText, PageList(NoText).c_str()));
    LogRecognition(*this, FEngine, Recognised, Unread);
    if (FRunFacts.Truncated && !AllowTruncation && !StopRequested)
      throw ERunLimit(TPDFStatus::Failure(TPDFStatusKind::Truncated, FormatText(MessageTable::ContentCut, CutAt.c_str())));
  }
  AddLog(StopRequested ? MessageTable::Stopped : MessageTable::Finished);
  if (StopRequested) return TRunResult::Stopped;
  if (FHost.AskYesNo(MessageTable::OpenResult)) FHost.OpenFile(Output);
  return TRunResult::Finished;
}

void TMainLogic::WMDropFiles(const std::vector<std::string>& FileNames) {
  std::string Chosen;
  for (const std::string& Name : FileNames)
    if (FileExists(Name)) Chosen = Name;
  if (!Chosen.empty()) OpenPDFFile(Chosen);
}

TItemWriter::TItemWriter(std::string FileName, const std::function<void(const std::string&)>& Created)
    : FFileName(std::move(FileName)) {
  if (FFileName == "-") return;
  // A device or a pipe (/dev/null, a FIFO) is written in place: a file
  // renamed over it would take its place.
  struct stat St;
  if (::stat(FFileName.c_str(), &St) == 0 && !S_ISREG(St.st_mode) && !S_ISDIR(St.st_mode)) {
    const int Fd = ::open(FFileName.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (Fd >= 0) FFile = ::fdopen(Fd, "wb");
    if (!FFile) {
      FError = "Cannot create file \"" + FFileName + "\". " + std::strerror(errno);
      if (Fd >= 0) ::close(Fd);
    }
    FInPlace = true;
    return;
  }
  // Created exclusively under a random name, so that nothing planted beside
  // the target (a symbolic link in a shared folder) is ever opened; told to
  // Created before a TERM, INT or HUP can end the process.
  sigset_t Ending, Before;
  sigemptyset(&Ending);
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&Ending, Signal);
  pthread_sigmask(SIG_BLOCK, &Ending, &Before);
  const int Fd = CreateTempBeside(FFileName, FTemp);
  if (Fd >= 0 && Created) {
    try {
      Created(FTemp);
    } catch (...) {
      pthread_sigmask(SIG_SETMASK, &Before, nullptr);
      ::close(Fd);
      std::remove(FTemp.c_str());
      throw;
    }
  }
  pthread_sigmask(SIG_SETMASK, &Before, nullptr);
  if (Fd >= 0) FFile = ::fdopen(Fd, "wb");
  if (!FFile) {
    FError = "Cannot create file \"" + FFileName + "\". " + std::strerror(errno);
    if (Fd >= 0) ::close(Fd);
  }
}

TItemWriter::~TItemWriter() {
  if (FFile) std::fclose(FFile);
  if (!FCommitted && !FTemp.empty()) std::remove(FTemp.c_str());
}

void TItemWriter::Add(const std::string& Item) {
  if (FFileName == "-" && Stream) {
    std::cout.write(Item.data(), static_cast<std::streamsize>(Item.size()));
    std::cout.write(Terminator.data(), static_cast<std::streamsize>(Terminator.size()));
    std::cout.flush();
    if (!std::cout && FError.empty()) FError = "Cannot write to standard output.";
    return;
  }
  if (FFileName == "-") {
    FBuffer += Item;
    FBuffer += Terminator;
    return;
  }
  if (!FFile || !FError.empty()) return;
  if (std::fwrite(Item.data(), 1, Item.size(), FFile) != Item.size() ||
      std::fwrite(Terminator.data(), 1, Terminator.size(), FFile) != Terminator.size())
    FError = "Cannot write file \"" + FFileName + "\". " + std::strerror(errno);
}

void TItemWriter::Commit() {
  if (FFileName == "-" && Stream) {
    if (!FError.empty()) throw EWriteError(FError);
    FCommitted = true;
    return;
  }
  if (FFileName == "-") {
    std::cout.write(FBuffer.data(), static_cast<std::streamsize>(FBuffer.size()));
    std::cout.flush();
    if (!std::cout) throw EWriteError("Cannot write to standard output.");
    FCommitted = true;
    return;
  }
  if (FInPlace) {
    if (FFile && std::fclose(FFile) != 0 && FError.empty())
      FError = "Cannot write file \"" + FFileName + "\". " + std::strerror(errno);
    FFile = nullptr;
    if (!FError.empty()) throw EWriteError(FError);
    FCommitted = true;
    return;
  }
  // The finished file gets the permissions a plain create would give.
  if (FFile && ::fchmod(::fileno(FFile), PlainCreateMode()) != 0 && FError.empty())
    FError = "Cannot write file \"" + FFileName + "\". " + std::strerror(errno);
  if (FFile && std::fclose(FFile) != 0 && FError.empty())
    FError = "Cannot write file \"" + FFileName + "\". " + std::strerror(errno);
  FFile = nullptr;
  if (!FError.empty()) throw EWriteError(FError);
  std::error_code Ec;
  std::filesystem::rename(FTemp, FFileName, Ec);
  if (Ec) throw EWriteError("Cannot create file \"" + FFileName + "\". " + Ec.message());
  FCommitted = true;
}
