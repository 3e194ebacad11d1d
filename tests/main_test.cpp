// The run logic: opening files, the extraction run and its log, with a test host.
#include "main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "HostileFixtures.h"
#include "SettingsStore.h"
#include "Shell.h"
#include "TestPDFWriter.h"
#include "option.h"
#include "uPDFEngine.h"
#include "uPDFLibCrypto.h"

namespace {

namespace fs = std::filesystem;

// Records what the run logic shows and answers what it asks.
struct TTestHost : TMainHost {
  TMainLogic* Logic = nullptr;
  std::vector<std::string> Lines;  // the log as the window would show it
  std::deque<std::optional<std::string>> Passwords;  // nullopt: cancel
  std::vector<std::string> Prompts, Questions, Opened;
  std::string Output;  // empty: take the proposal
  std::string Proposed;
  bool CancelOutput = false, Yes = false;
  int32_t StopAtPage = 0;
  std::map<TAction, bool> Enabled;

  bool ChooseOutputFile(const std::string& P, std::string& FileName) override {
    Proposed = P;
    FileName = Output.empty() ? P : Output;
    return !CancelOutput;
  }
  bool AskPassword(const std::string& Prompt, std::string& Value) override {
    Prompts.push_back(Prompt);
    if (Passwords.empty() || !Passwords.front()) return false;
    Value = *Passwords.front();
    Passwords.pop_front();
    return true;
  }
  bool AskYesNo(const std::string& Q) override {
    Questions.push_back(Q);
    return Yes;
  }
  void OpenFile(const std::string& F) override { Opened.push_back(F); }
  void LogAppend(const std::string& L) override { Lines.push_back(L); }
  void LogReplaceLast(const std::string& L) override {
    if (Lines.empty()) Lines.push_back(L);
    else Lines.back() = L;
  }
  void EnableAction(TAction A, bool On) override { Enabled[A] = On; }
  void ProcessMessages() override {}
  void PageDone(int32_t Page, int32_t, int32_t) override {
    if (Page == StopAtPage) Logic->aStopExecute();
  }
};

// An engine whose documents all claim the standard security handler, with
// "secret" as the user password (for the password dialogue).
struct TLockedEngine : TPDFEngine {
  TPDFEncryption State = TPDFEncryption::Supported;
  std::vector<std::string> Tried;
  TPDFEncryption Encrypted() override { return State; }
  TPDFSecurityValue SecurityInfo(TPDFSecurityItem Item) override {
    return Item == TPDFSecurityItem::UserPassword ? TPDFSecurityValue::PasswordNeeded : TPDFSecurityValue::NotEncrypted;
  }
  TPDFPasswordResult SetPassword(const std::string& P) override {
    Tried.push_back(P);
    return P == "secret" ? TPDFPasswordResult::User : TPDFPasswordResult::Wrong;
  }
};

class RunLogic : public testing::Test {
 protected:
  fs::path Dir;
  TMemorySettingsStore Store;
  TSettings Settings{Store};
  TTestHost Host;

  void SetUp() override {
    char Template[] = "/tmp/vorlith-run-XXXXXX";
    Dir = ::mkdtemp(Template);
  }
  void TearDown() override {
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
  }

  std::string WritePdf(const std::string& Name, int Pages) { return WriteNumberedPages(Dir.string(), Name, Pages); }

  static std::string Read(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  }

  // Opens File and runs with the given settings; the output file's bytes.
  std::string Run(TPDFEngine& Engine, TMainLogic& Logic, const std::string& File, TRunResult Expected = TRunResult::Finished) {
    Host.Logic = &Logic;
    EXPECT_TRUE(Logic.OpenPDFFile(File));
    EXPECT_EQ(Logic.aExtractExecute(), Expected);
    EXPECT_EQ(Engine.DocumentCount(), 1);  // every loaded document is removed again
    EXPECT_FALSE(Logic.Busy);
    return Read(Host.Output.empty() ? Host.Proposed : Host.Output);
  }
};

TEST_F(RunLogic, ItemFramingAndMacros) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  const std::string File = WritePdf("doc.pdf", 3);
  // Each item: header, LF CR, the page's text (reflowed), LF CR, footer.
  auto Items = [](auto Header, auto Footer) {
    std::string Out;
    for (int P = 1; P <= 3; ++P) {
      const std::string H = Header(P), F = Footer(P);
      Out += (H.empty() ? "" : H + "\n\r") + "Page " + std::to_string(P) + (F.empty() ? "" : "\n\r" + F) + "\r\n";
    }
    return Out;
  };
  auto None = [](int) { return std::string(); };
  struct Case {
    std::string Header, Footer, Expected;
  } Cases[] = {
      {"H&p", "F&P", Items([](int P) { return "H" + std::to_string(P); }, [](int P) { return "F" + std::to_string(P); })},
      {"", "", Items(None, None)},
      {"&p/&A &n", "", Items([](int P) { return std::to_string(P) + "/3 doc.pdf"; }, None)},
      {"", "[&f]", Items(None, [&](int) { return "[" + File + "]"; })},
      {"&d", "", Items([](int) { return ShortDateString(); }, None)},
  };
  for (const auto& C : Cases) {
    Logic.CurrentFile.clear();
    Settings.Header = C.Header;
    Settings.Footer = C.Footer;
    EXPECT_EQ(Run(Engine, Logic, File), C.Expected) << C.Header << "|" << C.Footer;
  }
  EXPECT_EQ(Host.Proposed, (Dir / "doc.txt").string());
}

TEST_F(RunLogic, RangeAndParity) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  const std::string Ten = WritePdf("ten.pdf", 10), One = WritePdf("one.pdf", 1);
  struct Case {
    std::string File;
    int32_t Range, From, To, Page;
    std::string Pages;  // the footers written
  } Cases[] = {
      {Ten, 1, 5, 6, 1, "1 2 3 4 5 6 7 8 9 10 "},
      {Ten, 2, 0, 3, 1, "1 2 3 "},
      {Ten, 2, 8, 20, 1, "8 9 10 "},
      {Ten, 2, -3, 4, 3, "2 4 "},
      {Ten, 2, 5, 4, 1, ""},
      {Ten, 1, 1, 1, 2, "1 3 5 7 9 "},
      {Ten, 1, 1, 1, 3, "2 4 6 8 10 "},
      {Ten, 1, 1, 1, 7, ""},
      {One, 1, 1, 1, 3, ""},
  };
  for (const auto& C : Cases) {
    Logic.CurrentFile.clear();
    Host.Output.clear();
    Host.Questions.clear();
    Settings.Header.clear();
    Settings.Footer = "&p ";
    Host.Logic = &Logic;
    ASSERT_TRUE(Logic.OpenPDFFile(C.File));
    Settings.Range = static_cast<TPageRange>(C.Range);
    Settings.From = C.From;
    Settings.To = C.To;
    Settings.Page = static_cast<TPageChoice>(C.Page);
    ASSERT_EQ(Logic.aExtractExecute(), TRunResult::Finished);
    std::string Written = Read(Host.Proposed), Pages;
    for (size_t P = Written.find("\n\r"); P != std::string::npos; P = Written.find("\n\r", P + 2))
      Pages += Written.substr(P + 2, Written.find("\r\n", P + 2) - P - 2);
    EXPECT_EQ(Pages, C.Pages) << C.Range << " " << C.From << ".." << C.To << " page " << C.Page;
    // An empty range still finishes and asks the question.
    EXPECT_EQ(Logic.Log[Logic.Log.size() - 2], "Extraction finished");
    EXPECT_EQ(Host.Questions, std::vector<std::string>{"Do you want to open the destination file?"});
  }
}

TEST_F(RunLogic, LogLinesOfOpenAndRun) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.Logic = &Logic;
  const std::string File = WritePdf("two.pdf", 2);
  Host.Output = (Dir / "out.txt").string();
  Host.Yes = true;
  ASSERT_TRUE(Logic.OpenPDFFile(File));
  EXPECT_EQ(Logic.CurrentPageCount, 2);
  EXPECT_EQ(Settings.To, 2);
  EXPECT_TRUE(Host.Enabled[TAction::Extract]);
  ASSERT_EQ(Logic.aExtractExecute(), TRunResult::Finished);
  const std::vector<std::string> Expected = {
      "Current file is: " + File, " Pages: 2", " Press Extract button to extract text", "",
      "Begin to extract from " + File + " to " + Host.Output, " Page from 1 to 2",
      "Extracting page 2. Press Stop button to terminate", "Extraction finished", ""};
  EXPECT_EQ(Host.Lines, Expected);
  EXPECT_EQ(Logic.Log, Expected);
  EXPECT_EQ(Host.Opened, std::vector<std::string>{Host.Output});
  EXPECT_TRUE(Host.Enabled[TAction::Extract]);
  EXPECT_TRUE(Host.Enabled[TAction::OpenFile]);
  EXPECT_FALSE(Host.Enabled[TAction::Stop]);

  // The same file again, in another letter case: nothing changes.
  std::string Upper = File;
  for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  EXPECT_FALSE(Logic.OpenPDFFile(Upper));
  EXPECT_EQ(Logic.CurrentFile, File);
  EXPECT_EQ(Host.Lines.end()[-2], "The requested file have alreadly opened.");
}

TEST_F(RunLogic, DamagedFilesFollowTheRepairSetting) {
  // Offsets short by 600 bytes, and a root Count of 2147483647 over 2 pages.
  TSimpleDocOptions O;
  O.Pages = {{"BT /F1 12 Tf 72 720 Td (Page 1) Tj ET"}, {"BT /F1 12 Tf 72 720 Td (Page 2) Tj ET"}};
  TTestPDFWriter W = MakeSimpleDocument(O);
  W.SetJunkAfterHeader(std::string(600, ' '));
  std::string Pdf = W.Finish();
  const size_t Count = Pdf.find("/Count 2");
  ASSERT_NE(Count, std::string::npos);
  Pdf.replace(Count, 8, "/Count 2147483647");
  const std::string File = (Dir / "damaged.pdf").string();
  std::ofstream(File, std::ios::binary) << Pdf;
  Settings.Footer = "";
  for (int32_t Repair : {1, 0}) {
    SCOPED_TRACE(Repair);
    Settings.Repair = Repair;
    Host.Lines.clear();
    TPDFEngine Engine;
    TMainLogic Logic(Engine, Settings, Host);
    Host.Logic = &Logic;
    Host.Output = (Dir / "out.txt").string();
    if (Repair == 0) {
      EXPECT_FALSE(Logic.OpenPDFFile(File));
      EXPECT_EQ(Host.Lines.front(), "Can not load file: " + File + ". It is may be not a valid PDF file.");
      continue;
    }
    ASSERT_TRUE(Logic.OpenPDFFile(File));
    EXPECT_EQ(Host.Lines.front(), " The file is damaged: its cross-reference was rebuilt.");
    EXPECT_EQ(Host.Lines[1], "");
    EXPECT_EQ(Logic.CurrentPageCount, 2);
    ASSERT_EQ(Logic.aExtractExecute(), TRunResult::Finished);
    EXPECT_EQ(Read(Host.Output), "Page 1\r\nPage 2\r\n");
    // The run's second load logs nothing more.
    EXPECT_EQ(std::count(Host.Lines.begin(), Host.Lines.end(), " The file is damaged: its cross-reference was rebuilt."), 1);
  }
}

TEST_F(RunLogic, StopDuringAPage) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.StopAtPage = 5;
  Settings.Footer = "&p";
  const std::string Written = Run(Engine, Logic, WritePdf("ten.pdf", 10), TRunResult::Stopped);
  EXPECT_EQ(Written, "Page 1\n\r1\r\nPage 2\n\r2\r\nPage 3\n\r3\r\nPage 4\n\r4\r\nPage 5\n\r5\r\n");
  EXPECT_EQ(Logic.Log.end()[-2], "User teminate");
  EXPECT_TRUE(Host.Questions.empty());
  // The next run starts afresh.
  Host.StopAtPage = 0;
  Logic.CurrentFile.clear();
  Run(Engine, Logic, WritePdf("ten.pdf", 10));
  EXPECT_EQ(Logic.Log.end()[-2], "Extraction finished");
}

TEST_F(RunLogic, FailuresLeaveTheBusyStateAndNoFile) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.Logic = &Logic;
  const std::string File = WritePdf("doc.pdf", 2);
  ASSERT_TRUE(Logic.OpenPDFFile(File));
  const std::string Out = (Dir / "doc.txt").string();
  std::ofstream(Out) << "earlier";

  // A range type out of range: the error leaves busy state and document, the
  // list is not written, neither end text is logged.
  Settings.Range = static_cast<TPageRange>(3);
  const size_t LogBefore = Logic.Log.size();
  try {
    Logic.aExtractExecute();
    ADD_FAILURE() << "no error";
  } catch (const EInnerError& E) {
    EXPECT_STREQ(E.what(), "INNER ERROR: Error page range type");
  }
  EXPECT_EQ(Logic.RunStatus().Kind, TPDFStatusKind::Internal);
  EXPECT_FALSE(Logic.Busy);
  EXPECT_TRUE(Host.Enabled[TAction::Extract]);
  EXPECT_FALSE(Host.Enabled[TAction::Stop]);
  EXPECT_EQ(Engine.DocumentCount(), 1);
  EXPECT_EQ(Read(Out), "earlier");
  EXPECT_EQ(Logic.Log.size(), LogBefore);

  // An output that cannot be created.
  Settings.Range = TPageRange::All;
  Host.Output = (Dir / "missing" / "out.txt").string();
  EXPECT_THROW(Logic.aExtractExecute(), EWriteError);
  EXPECT_EQ(Logic.RunStatus().Kind, TPDFStatusKind::WriteError);
  EXPECT_NE(Logic.RunStatus().Message.find("out.txt"), std::string::npos) << Logic.RunStatus().Message;
  EXPECT_FALSE(Logic.Busy);
  EXPECT_EQ(Engine.DocumentCount(), 1);

  // The file is gone by the time of the run.
  Host.Output = Out;
  fs::remove(File);
  EXPECT_EQ(Logic.aExtractExecute(), TRunResult::LoadFailed);
  EXPECT_EQ(Logic.RunStatus().Kind, TPDFStatusKind::Unreadable);
  EXPECT_EQ(Logic.RunStatus().Message, "no such file");
  EXPECT_EQ(Logic.Log.end()[-2], "Can not load file: " + File + ". It is may be not a valid PDF file.");
  EXPECT_EQ(Read(Out), "earlier");
  EXPECT_TRUE(Host.Enabled[TAction::OpenFile]);

  // Cancelling the output choice does nothing.
  Host.CancelOutput = true;
  EXPECT_EQ(Logic.aExtractExecute(), TRunResult::Cancelled);
}

TEST_F(RunLogic, LimitsOfAPageAndOfTheRun) {
  const auto Write = [&](const std::string& Name, const std::string& Pdf) {
    const std::string Path = (Dir / Name).string();
    std::ofstream(Path, std::ios::binary) << Pdf;
    return Path;
  };
  const std::string Chain = Write("chain.pdf", FormChainPdf(7, 10));
  const std::string Past = Write("past.pdf", TextPastSpacesPdf(5000));
  for (TTextType Layout : {TTextType::Content, TTextType::Reflow, TTextType::Reading}) {
    SCOPED_TRACE(static_cast<int>(Layout));
    // A page past its budget stops with a line in the log; the file is
    // written with the text so far.
    {
      TPDFEngine Engine;
      TMainLogic Logic(Engine, Settings, Host);
      Settings.TextType = Layout;
      Logic.Limits.Operators = 2000;
      const std::string Out = Run(Engine, Logic, Chain);
      EXPECT_NE(Out.find("level0"), std::string::npos);
      EXPECT_NE(std::find(Logic.Log.begin(), Logic.Log.end(),
                          " page 1 stopped at its budget of 2000 operators; its text so far is kept."),
                Logic.Log.end());
      EXPECT_TRUE(Logic.RunFacts().Budget);
      EXPECT_EQ(Logic.RunFacts().Pages, 1);
      EXPECT_GT(Logic.RunFacts().Chars, 6u);
      // The limits were the run's: the engine has its defaults again.
      EXPECT_EQ(Engine.Limits.Operators, TPDFLimits().Operators);
    }
    // Content cut at the cap: written, said in the log, and the run ends with
    // the kind "truncated" unless that is allowed.
    for (bool Allow : {false, true}) {
      TPDFEngine Engine;
      Engine.MaxDecodedSize = 2000;
      TMainLogic Logic(Engine, Settings, Host);
      Settings.TextType = Layout;
      Logic.AllowTruncation = Allow;
      Host.Logic = &Logic;
      ASSERT_TRUE(Logic.OpenPDFFile(Past));
      const std::string Out = (Dir / "past.txt").string();
      fs::remove(Out);
      if (Allow) {
        EXPECT_EQ(Logic.aExtractExecute(), TRunResult::Finished);
        EXPECT_EQ(Logic.Log.end()[-2], "Extraction finished");
      } else {
        try {
          Logic.aExtractExecute();
          ADD_FAILURE() << "no error";
        } catch (const ERunLimit& E) {
          EXPECT_STREQ(E.what(), "the page's content was cut at 2000 bytes");
        }
        EXPECT_EQ(Logic.RunStatus().Kind, TPDFStatusKind::Truncated);
      }
      EXPECT_NE(Read(Out).find("start"), std::string::npos);
      EXPECT_NE(std::find(Logic.Log.begin(), Logic.Log.end(),
                          " page 1: its content was cut at 2000 bytes; the text after that is lost."),
                Logic.Log.end());
      EXPECT_TRUE(Logic.RunFacts().Truncated);
      EXPECT_FALSE(Logic.Busy);
    }
  }
  // Time: past it the run ends with the kind "timeout" and writes nothing.
  // With no other limit the page of 10^11 forms would run for hours.
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.Logic = &Logic;
  const std::string Endless = Write("endless.pdf", FormChainPdf(12, 10));
  ASSERT_TRUE(Logic.OpenPDFFile(Endless));
  Settings.TextType = TTextType::Content;
  Settings.Timeout = 1;
  Logic.Limits.Operators = Logic.Limits.Glyphs = Logic.Limits.Words = UINT64_MAX;
  const std::string Out = (Dir / "endless.txt").string();
  EXPECT_THROW(Logic.aExtractExecute(), ERunLimit);
  EXPECT_EQ(Logic.RunStatus().Kind, TPDFStatusKind::Timeout);
  EXPECT_EQ(Logic.RunStatus().Message, "the file took longer than its time limit (1 s)");
  EXPECT_NE(std::find(Logic.Log.begin(), Logic.Log.end(), " page 1 stopped: the file took longer than its time limit (1 s)."),
            Logic.Log.end());
  EXPECT_FALSE(fs::exists(Out));
  for (const auto& E : fs::directory_iterator(Dir))  // no temporary file left
    EXPECT_NE(E.path().filename().string()[0], '.') << E.path();
  EXPECT_FALSE(Engine.Deadline);
}

TEST_F(RunLogic, OpeningFailures) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  const std::string Bad = (Dir / "bad.pdf").string();
  std::ofstream(Bad) << "not a pdf";
  EXPECT_FALSE(Logic.OpenPDFFile(Bad));
  EXPECT_EQ(Logic.Log.end()[-2], "Can not load file: " + Bad + ". It is may be not a valid PDF file.");
  EXPECT_EQ(Logic.CurrentFile, "");
  EXPECT_FALSE(Host.Enabled[TAction::Extract]);

  TLockedEngine Unknown;
  Unknown.State = TPDFEncryption::Unsupported;
  TMainLogic Locked(Unknown, Settings, Host);
  EXPECT_FALSE(Locked.OpenPDFFile(WritePdf("doc.pdf", 1)));
  EXPECT_EQ(Locked.Log.end()[-2], "Unknown Encryption.");
  EXPECT_EQ(Unknown.DocumentCount(), 1);
}

// Why a file does not open, by kind and message; the log keeps its own
// words.
TEST_F(RunLogic, OpeningFailuresHaveTheirCause) {
  const std::string Text = (Dir / "text.pdf").string(), Cut = (Dir / "cut.pdf").string();
  std::ofstream(Text) << "plain text, not a PDF file";
  std::ofstream(Cut, std::ios::binary) << "%PDF-1.4\n%cut short\n";
  const std::string Locked = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/rc4-128.pdf";
  struct TCase {
    std::string File;
    std::deque<std::optional<std::string>> Passwords;
    TPDFStatusKind Kind;
    const char* Message;
  } Cases[] = {
      {(Dir / "missing.pdf").string(), {}, TPDFStatusKind::Unreadable, "no such file"},
      {Dir.string(), {}, TPDFStatusKind::Unreadable, "a folder"},
      {Text, {}, TPDFStatusKind::NotPDF, "not a PDF (no header)"},
      {Cut, {}, TPDFStatusKind::DamagedRefused, "damaged beyond repair"},
      {Locked, {std::nullopt}, TPDFStatusKind::Password, "a password is needed"},
      {Locked, {"wrong", std::nullopt}, TPDFStatusKind::Password, "the password is wrong"},
  };
  for (const TCase& C : Cases) {
    TPDFEngine Engine;
    TMainLogic Logic(Engine, Settings, Host);
    Host.Passwords = C.Passwords;
    const TPDFStatus Status = Logic.OpenPDFFile(C.File);
    EXPECT_EQ(Status.Kind, C.Kind) << C.File << ": " << StatusKindName(Status.Kind) << " " << Status.Message;
    EXPECT_EQ(Status.Message, C.Message) << C.File;
    EXPECT_EQ(Logic.CurrentFile, "");
  }
  TLockedEngine Unknown;
  Unknown.State = TPDFEncryption::Unsupported;
  TMainLogic Logic(Unknown, Settings, Host);
  EXPECT_EQ(Logic.OpenPDFFile(WritePdf("doc.pdf", 1)).Kind, TPDFStatusKind::UnknownEncryption);
  EXPECT_STREQ(StatusKindName(TPDFStatusKind::UnknownEncryption), "unknown_encryption");
}

// Without libcrypto an AES document says so (naming the library) instead of
// opening with no text or asking for a password nothing can give; RC4
// documents do not need it.
TEST_F(RunLogic, AESWithoutLibcryptoSaysWhy) {
  if (!UseLibCryptoPathForTests("/nonexistent/libcrypto.so.3")) GTEST_SKIP() << "libcrypto was opened already";
  const std::string Fixtures = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/";
  for (const char* File : {"aes-128-empty-user.pdf", "aes-256.pdf"}) {
    TPDFEngine Engine;
    TMainLogic Logic(Engine, Settings, Host);
    Host.Passwords = {"user"};
    const TPDFStatus Status = Logic.OpenPDFFile(Fixtures + File);
    EXPECT_EQ(Status.Kind, TPDFStatusKind::AESUnavailable) << File;
    EXPECT_NE(Status.Message.find("/nonexistent/libcrypto.so.3"), std::string::npos) << Status.Message;
  }
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.Passwords = {"user"};
  EXPECT_TRUE(Logic.OpenPDFFile(Fixtures + "rc4-128.pdf"));
  EXPECT_STREQ(StatusKindName(TPDFStatusKind::AESUnavailable), "aes_unavailable");
}

TEST_F(RunLogic, PasswordDialogue) {
  TLockedEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  const std::string File = WritePdf("locked.pdf", 2);
  // Cancelled: no log line, no current file, no document left.
  Host.Passwords = {std::nullopt};
  EXPECT_FALSE(Logic.OpenPDFFile(File));
  EXPECT_EQ(Host.Prompts, std::vector<std::string>{"\"locked.pdf\" needs password to open:"});
  EXPECT_TRUE(Logic.Log.empty());
  EXPECT_EQ(Logic.CurrentFile, "");
  EXPECT_EQ(Engine.DocumentCount(), 1);
  // Wrong, then right: asked again until accepted; the run applies it.
  Host.Prompts.clear();
  Host.Passwords = {"wrong", "secret"};
  EXPECT_TRUE(Logic.OpenPDFFile(File));
  EXPECT_EQ(Host.Prompts.size(), 2u);
  EXPECT_EQ(Logic.CurrentPassword, "secret");
  Host.Logic = &Logic;
  Engine.Tried.clear();
  EXPECT_EQ(Logic.aExtractExecute(), TRunResult::Finished);
  EXPECT_EQ(Engine.Tried, std::vector<std::string>{"secret"});
}

TEST_F(RunLogic, WhatTheEngineRecoversFromIsLoggedWhenTheFileOpens) {
  // An AES-256 file whose Perms entry does not match: one log line at the
  // open, none from the run, which loads the file again.
  std::string Data = Read(std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/aes-256.pdf");
  const size_t At = Data.find("/Perms <");
  ASSERT_NE(At, std::string::npos);
  Data[At + 8] = Data[At + 8] == '0' ? '1' : '0';
  const std::string File = (Dir / "perms.pdf").string();
  std::ofstream(File, std::ios::binary) << Data;
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  Host.Passwords = {"user"};
  auto Warnings = [&] {
    return std::count_if(Logic.Log.begin(), Logic.Log.end(),
                         [](const std::string& Line) { return Line.find("(Perms)") != std::string::npos; });
  };
  Run(Engine, Logic, File);
  EXPECT_EQ(Warnings(), 1);
  EXPECT_FALSE(Engine.OnWarning);
  for (const std::string& Line : Logic.Log) EXPECT_EQ(Line.find("user"), std::string::npos) << Line;
}

TEST_F(RunLogic, DroppedFilesTakeTheLastExistingOne) {
  TPDFEngine Engine;
  TMainLogic Logic(Engine, Settings, Host);
  const std::string Real = WritePdf("real.pdf", 1);
  Logic.WMDropFiles({(Dir / "missing1.pdf").string(), Real, (Dir / "missing2.pdf").string()});
  EXPECT_EQ(Logic.CurrentFile, Real);
  Logic.WMDropFiles({(Dir / "missing3.pdf").string()});
  EXPECT_EQ(Logic.CurrentFile, Real);
}

TEST(AddLog, SplitsAtLineBreaksAndAddsAnEmptyLine) {
  TMemorySettingsStore Store;
  TSettings Settings(Store);
  TPDFEngine Engine;
  TTestHost Host;
  TMainLogic Logic(Engine, Settings, Host);
  Logic.AddLog("a\r\nb\nc\rd");
  Logic.AddLog("");
  Logic.AddLog("e\r\n");
  EXPECT_EQ(Logic.Log, (std::vector<std::string>{"a", "b", "c", "d", "", "e", ""}));
}

TEST(PageFrame, ItemOfOnePage) {
  struct Case {
    std::string Header, Footer, Text, Expected;
  } Cases[] = {
      {"", "", "text", "text"},
      {"", "", "", ""},
      {"H&p", "", "", "H7\n\r"},
      {"", "F&a", "t", "t\n\rF9"},
      {"&P/&A &n", "[&f]", "a\r\nb", "7/9 b.pdf\n\ra\r\nb\n\r[/x/b.pdf]"},
      // &p is replaced first, so "&&p" keeps one "&", and a page number
      // followed by a macro letter is not read as a macro.
      {"&&p&a", "", "", "&79\n\r"},
  };
  for (const auto& C : Cases) {
    const TPageFrame Frame{C.Header, C.Footer, 9, "/x/b.pdf"};
    EXPECT_EQ(Frame.Item(7, C.Text), C.Expected) << C.Header << "|" << C.Footer;
  }
}

}  // namespace
