// The main window: its controls, opening files (dialog, drop, password
// prompt), the extraction run against the console program, Stop, closing and
// drops while busy, and errors shown by the window.
#include "frmMain.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "GuiTestSupport.h"
#include "InputString.h"
#include "SettingsStore.h"
#include "TestPDFWriter.h"
#include "frmOption.h"
#include "option.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

const std::string Fixtures = std::string(VORLITH_SOURCE_DIR) + "/tests/fixtures/encrypted/";
const std::string Sample = std::string(VORLITH_SOURCE_DIR) + "/examples/sample.pdf";

class MainWindow : public testing::Test {
 protected:
  fs::path Dir;
  std::unique_ptr<TIniSettingsStore> Store;
  std::unique_ptr<TSettings> Settings;
  std::unique_ptr<TfrmMain> Window;
  // What the window asked and showed through its hooks.
  std::vector<std::string> Errors, Questions, Opened;
  QString Proposed, Output;  // the save dialog: the proposal, and the answer (empty: cancel)
  int DialogsRun = 0;

  void SetUp() override {
    char Template[] = "/tmp/vorlith-gui-XXXXXX";
    Dir = ::mkdtemp(Template);
    Store = std::make_unique<TIniSettingsStore>((Dir / "config" / "Vorlith" / "TextExtractor.ini").string());
    Settings = std::make_unique<TSettings>(*Store);
    Window = std::make_unique<TfrmMain>(*Settings);
    Window->OnChooseOpenFile = [](QString&) { return false; };
    Window->OnChooseOutputFile = [this](const QString& P, QString& F) {
      Proposed = P;
      F = Output;
      return !Output.isEmpty();
    };
    Window->OnAskYesNo = [this](const QString& Q) {
      Questions.push_back(Q.toStdString());
      return false;
    };
    Window->OnShellOpen = [this](const QString& T) { Opened.push_back(T.toStdString()); };
    Window->OnShowError = [this](const QString& T) { Errors.push_back(T.toStdString()); };
    Window->OnExecDialog = [this](QDialog&) {
      ++DialogsRun;
      return int(QDialog::Rejected);
    };
    Window->show();
  }
  void TearDown() override {
    Window.reset();
    std::error_code Ec;
    fs::remove_all(Dir, Ec);
  }

  std::string WritePdf(const std::string& Name, int Pages) { return WriteNumberedPages(Dir.string(), Name, Pages); }

  // Opens File through the Open action, its dialog answered with File.
  void OpenThroughDialog(const std::string& File) {
    Window->OnChooseOpenFile = [File](QString& F) {
      F = QString::fromStdString(File);
      return true;
    };
    Window->aOpenFile->trigger();
  }

  // Extracts into Dir/Name through the Extract action; the output's bytes.
  std::string Extract(const std::string& Name) {
    Output = QString::fromStdString((Dir / Name).string());
    Window->aExtract->trigger();
    return Read(Dir / Name);
  }

  // The console program on File with the stored settings and Args; its output.
  std::string Console(const std::string& File, const std::string& Args) {
    const std::string Out = (Dir / "console.txt").string();
    const std::string Cmd = "XDG_CONFIG_HOME='" + (Dir / "config").string() + "' '" + TEXTEXTRACTOR + "' -q " + Args +
                            " '" + File + "' '" + Out + "' < /dev/null";
    const int Status = std::system(Cmd.c_str());
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Cmd;
    return Read(Out);
  }

  QStringList LogLines() const { return Window->mLog->toPlainText().split('\n'); }

  // Which of the seven actions are enabled, as a word of 0s and 1s in the
  // order Open, Option, Extract, Stop, Help, About, More tools.
  std::string Enabled() const {
    std::string S;
    for (QAction* A : {Window->aOpenFile, Window->aOption, Window->aExtract, Window->aStop, Window->aHelp,
                       Window->aAbout, Window->aMoreTools})
      S += A->isEnabled() ? '1' : '0';
    return S;
  }
};

TEST_F(MainWindow, ControlsCaptionsAndIdleState) {
  EXPECT_EQ(Window->windowTitle(), "Vorlith Text Extractor");
  EXPECT_EQ(Window->minimumSize(), QSize(400, 300));
  struct Case {
    const char *Name, *Caption, *Shortcut;
  } Cases[] = {{"aOpenFile", "打开(&O)...", "Alt+O"}, {"aOption", "选项(&P)", "Alt+P"},
               {"aExtract", "提取文本(&E)", "Alt+E"},  {"aStop", "停止(&S)", "Alt+S"},
               {"aHelp", "帮助(&H)", "Alt+H"},         {"aAbout", "关于(&A)...", "Alt+A"},
               {"aMoreTools", "更多工具", ""}};
  auto* Bar = Window->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(Bar, nullptr);
  const QList<QAction*> OnBar = Bar->actions();
  ASSERT_EQ(OnBar.size(), 8);
  EXPECT_TRUE(OnBar[4]->isSeparator());
  int I = 0;
  for (const Case& C : Cases) {
    auto* A = Window->findChild<QAction*>(C.Name);
    ASSERT_NE(A, nullptr) << C.Name;
    EXPECT_EQ(A->text(), QString::fromUtf8(C.Caption));
    EXPECT_EQ(A->shortcut().toString(), C.Shortcut);
    EXPECT_FALSE(A->icon().isNull());
    EXPECT_EQ(OnBar[I == 4 ? ++I : I], A) << C.Name;  // left to right, the separator fifth
    ++I;
    auto* Button = qobject_cast<QToolButton*>(Bar->widgetForAction(A));
    ASSERT_NE(Button, nullptr);
    EXPECT_GE(Button->width(), 72);
    EXPECT_GE(Button->height(), 52);
  }
  EXPECT_EQ(Bar->iconSize(), QSize(32, 32));

  auto* Log = Window->findChild<QPlainTextEdit*>("mLog");
  ASSERT_NE(Log, nullptr);
  EXPECT_TRUE(Log->isReadOnly());
  EXPECT_EQ(Window->centralWidget(), Log);

  auto* Open = Window->findChild<QFileDialog*>("odOpen");
  ASSERT_NE(Open, nullptr);
  EXPECT_EQ(Open->nameFilters(), QStringList({"PDF File (*.pdf)", "All File (*)"}));
  EXPECT_EQ(Open->fileMode(), QFileDialog::ExistingFile);
  auto* Save = Window->findChild<QFileDialog*>("sdSave");
  ASSERT_NE(Save, nullptr);
  EXPECT_EQ(Save->nameFilters(), QStringList({"Text File (*.txt)", "All File (*)"}));
  EXPECT_EQ(Save->defaultSuffix(), "TXT");
  EXPECT_EQ(Save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(Save->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(Save->isSizeGripEnabled());

  EXPECT_EQ(Enabled(), "1100111");  // idle with no file: no Extract, no Stop
}

TEST_F(MainWindow, OpenShowsTheFileAndEnablesExtract) {
  const std::string File = WritePdf("four.pdf", 4);
  OpenThroughDialog(File);
  EXPECT_EQ(Window->Logic().CurrentFile, File);
  EXPECT_EQ(LogLines(), QStringList({QString::fromStdString("Current file is: " + File), " Pages: 4",
                                     " Press Extract button to extract text", ""}));
  EXPECT_EQ(Enabled(), "1110111");
  EXPECT_EQ(Settings->To, 4);  // the range is the whole file

  // The same file again (in another letter case) changes nothing.
  std::string Upper = File;
  for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  Window->OpenPDFFile(QString::fromStdString(Upper));
  EXPECT_EQ(LogLines().mid(4), QStringList({"The requested file have alreadly opened.", ""}));
  EXPECT_EQ(Window->Logic().CurrentFile, File);

  // A file that does not load leaves no current file.
  std::ofstream(Dir / "bad.pdf") << "not a PDF";
  OpenThroughDialog((Dir / "bad.pdf").string());
  EXPECT_EQ(LogLines().mid(6), QStringList({QString::fromStdString("Can not load file: " + (Dir / "bad.pdf").string() +
                                                                   ". It is may be not a valid PDF file."),
                                            ""}));
  EXPECT_EQ(Enabled(), "1100111");
}

TEST_F(MainWindow, DamagedFilesFollowTheRepairSetting) {
  TSimpleDocOptions O;
  O.Pages = {{"BT /F1 12 Tf 72 720 Td (Page 1) Tj ET"}};
  TTestPDFWriter W = MakeSimpleDocument(O);
  W.Section().StartXRefShift = 100000;
  const std::string File = (Dir / "damaged.pdf").string();
  std::ofstream(File, std::ios::binary) << W.Finish();
  Settings->Repair = 0;
  OpenThroughDialog(File);
  EXPECT_EQ(LogLines().mid(0, 2),
            QStringList({QString::fromStdString("Can not load file: " + File + ". It is may be not a valid PDF file."), ""}));
  Settings->Repair = 1;
  OpenThroughDialog(File);
  EXPECT_EQ(LogLines().mid(2, 3), QStringList({" The file is damaged: its cross-reference was rebuilt.", "",
                                               QString::fromStdString("Current file is: " + File)}));
  EXPECT_EQ(Window->Logic().CurrentPageCount, 1);
}

TEST_F(MainWindow, ExtractionWritesWhatTheConsoleProgramWrites) {
  struct Case {
    int32_t Page;
    uint8_t TextType;
    const char *Header, *Footer;
    int32_t From, To;  // Range 2 when From > 0
    const char* ConsoleArgs;
  } Cases[] = {
      {1, 1, "", " = Page &p =", 0, 0, ""},               // the defaults: reflow
      {1, 0, "&n: &p/&a", "", 0, 0, ""},                  // content order, a header
      {2, 2, "", "[&P]", 0, 0, ""},                       // positioned, odd pages
      {3, 1, "H", "F", 2, 3, "-f 2 -l 3"},                // even pages of a range
      {1, 7, "only &p", "", 0, 0, ""},                    // no page text at all
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.TextType);
    Settings->Range = static_cast<TPageRange>(1);
    Settings->Page = static_cast<TPageChoice>(C.Page);
    Settings->TextType = static_cast<TTextType>(C.TextType);
    Settings->Header = C.Header;
    Settings->Footer = C.Footer;
    ASSERT_TRUE(Settings->Save());
    Window->Logic().CurrentFile.clear();
    OpenThroughDialog(Sample);
    if (C.From > 0) {  // as the options dialog would set them after the open
      Settings->Range = static_cast<TPageRange>(2);
      Settings->From = C.From;
      Settings->To = C.To;
    }
    Questions.clear();
    const std::string Gui = Extract("gui.txt");
    EXPECT_EQ(Proposed, QString::fromStdString(std::string(VORLITH_SOURCE_DIR) + "/examples/sample.txt"));
    EXPECT_FALSE(Gui.empty());
    EXPECT_EQ(Gui, Console(Sample, C.ConsoleArgs));
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(Questions, std::vector<std::string>{"Do you want to open the destination file?"});
    const QStringList Lines = LogLines();
    EXPECT_EQ(Lines.mid(Lines.size() - 2), QStringList({"Extraction finished", ""}));
    EXPECT_TRUE(Lines[Lines.size() - 3].startsWith("Extracting page "));
  }
  EXPECT_EQ(Enabled(), "1110111");
  EXPECT_TRUE(Opened.empty());  // the question was answered no
}

TEST_F(MainWindow, CancelledSaveDialogStartsNoRun) {
  OpenThroughDialog(WritePdf("two.pdf", 2));
  const QString Before = Window->mLog->toPlainText();
  Output.clear();
  Window->aExtract->trigger();
  EXPECT_EQ(Proposed, QString::fromStdString((Dir / "two.txt").string()));
  EXPECT_EQ(Window->mLog->toPlainText(), Before);
  EXPECT_FALSE(fs::exists(Dir / "two.txt"));
}

// The stored format decides the proposed name, the save dialog's suffix and
// filter, and what is written.
TEST_F(MainWindow, TheStoredFormatNamesAndWritesTheOutput) {
  OpenThroughDialog(WritePdf("two.pdf", 2));
  Settings->Format = TOutputFormat::Json;
  const std::string Json = Extract("two.json");
  EXPECT_EQ(Proposed, QString::fromStdString((Dir / "two.json").string()));
  auto* Save = Window->findChild<QFileDialog*>("sdSave");
  EXPECT_EQ(Save->defaultSuffix(), "json");
  EXPECT_EQ(Save->nameFilters().first(), "JSON File (*.json)");
  EXPECT_EQ(Json.rfind("{\"file\":", 0), 0u) << Json;
  EXPECT_NE(Json.find("{\"text\":\"Page\","), std::string::npos);
  Settings->Format = TOutputFormat::Text;
  Extract("two.txt");
  EXPECT_EQ(Proposed, QString::fromStdString((Dir / "two.txt").string()));
  EXPECT_EQ(Save->defaultSuffix(), "TXT");
}

// A run of ten pages; At(Page) is called after each page is done, before the
// window handles its pending events.
class BusyWindow : public MainWindow {
 protected:
  std::string File;
  std::vector<std::string> States;  // Enabled() after each page

  void SetUp() override {
    MainWindow::SetUp();
    File = WritePdf("ten.pdf", 10);
    Settings->Footer = "&n &p/&a";
    OpenThroughDialog(File);
    QObject::connect(Window.get(), &TfrmMain::PageExtracted, [this](int) { States.push_back(Enabled()); });
  }
  // Posts Work to run when the window next handles events (inside the run).
  // Once only: a later run does not do it again.
  void PostAt(int Page, std::function<void()> Work) {
    auto Posted = std::make_shared<bool>(false);
    QObject::connect(Window.get(), &TfrmMain::PageExtracted, [Page, Work, Posted](int P) {
      if (P != Page || *Posted) return;
      *Posted = true;
      QTimer::singleShot(0, Work);
    });
  }
  static std::string Pages(int First, int Last, const std::string& Name = "ten.pdf") {
    std::string S;
    for (int P = First; P <= Last; ++P)
      S += "Page " + std::to_string(P) + "\n\r" + Name + " " + std::to_string(P) + "/10\r\n";
    return S;
  }
};

TEST_F(BusyWindow, StopDuringTheRunWritesThePagesSoFar) {
  PostAt(3, [this] { Window->aStop->trigger(); });
  EXPECT_EQ(Extract("out.txt"), Pages(1, 3));
  EXPECT_EQ(LogLines().mid(LogLines().size() - 3),
            QStringList({"Extracting page 3. Press Stop button to terminate", "User teminate", ""}));
  EXPECT_TRUE(Questions.empty());
  ASSERT_EQ(States.size(), 3u);
  for (const std::string& S : States) EXPECT_EQ(S, "0001111");  // running: only Stop, Help, About, More tools
  EXPECT_EQ(Enabled(), "1110111");
  EXPECT_FALSE(Window->Logic().Busy);

  // The next run starts afresh.
  EXPECT_EQ(Extract("again.txt"), Pages(1, 10));
}

// The status bar's progress bar after each page: pages done of the pages
// selected, and the page in its text; hidden and rewound once the run ends.
TEST_F(BusyWindow, ProgressBarCountsSelectedPagesAndResetsWhenTheRunEnds) {
  struct TProgress {
    int Value, Maximum;
    QString Text;
    bool Visible;
  };
  std::vector<TProgress> Seen;
  QObject::connect(Window.get(), &TfrmMain::PageExtracted, [&](int) {
    Seen.push_back({Window->pbProgress->value(), Window->pbProgress->maximum(), Window->pbProgress->text(),
                    Window->pbProgress->isVisible()});
  });
  auto* Bar = Window->findChild<QStatusBar*>("StatusBar1");
  ASSERT_NE(Bar, nullptr);
  EXPECT_EQ(Window->statusBar(), Bar);
  EXPECT_EQ(Window->pbProgress->parentWidget(), Bar);
  EXPECT_FALSE(Window->pbProgress->isVisible()) << "no run yet";

  struct Case {
    const char* Name;
    int32_t Range, Page, From, To;
    int StopAt;  // 0: the run finishes
    std::vector<int> Values;
    int Maximum;
    const char* LastText;
  } Cases[] = {
      {"all pages, stopped after page 4", 1, 1, 1, 1, 4, {1, 2, 3, 4}, 10, "第 4 页：4 / 10"},
      {"odd pages, to the end", 1, 2, 1, 1, 0, {1, 2, 3, 4, 5}, 5, "第 9 页：5 / 5"},
      {"even pages of 3..8", 2, 3, 3, 8, 0, {1, 2, 3}, 3, "第 8 页：3 / 3"},
      {"pages 2..6, stopped after page 3", 2, 1, 2, 6, 3, {1, 2}, 5, "第 3 页：2 / 5"},
  };
  int Run = 0;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Seen.clear();
    Settings->Range = static_cast<TPageRange>(C.Range);
    Settings->Page = static_cast<TPageChoice>(C.Page);
    Settings->From = C.From;
    Settings->To = C.To;
    if (C.StopAt) PostAt(C.StopAt, [this] { Window->aStop->trigger(); });
    Extract("progress" + std::to_string(++Run) + ".txt");
    ASSERT_EQ(Seen.size(), C.Values.size());
    for (size_t I = 0; I < Seen.size(); ++I) {
      EXPECT_EQ(Seen[I].Value, C.Values[I]) << I;
      EXPECT_EQ(Seen[I].Maximum, C.Maximum) << I;
      EXPECT_TRUE(Seen[I].Visible) << I;
    }
    EXPECT_EQ(Seen.back().Text, QString::fromUtf8(C.LastText));
    // Ended or stopped: hidden, and rewound below its minimum (no value).
    EXPECT_FALSE(Window->pbProgress->isVisible());
    EXPECT_LT(Window->pbProgress->value(), Window->pbProgress->minimum());
    EXPECT_EQ(Window->Logic().StopRequested, C.StopAt != 0);
  }

  // In English.
  TLanguage English(QLocale(QLocale::English, QLocale::UnitedStates));
  TfrmMain Other(*Settings);
  Other.OnChooseOutputFile = [this](const QString&, QString& F) {
    F = QString::fromStdString((Dir / "english.txt").string());
    return true;
  };
  Other.OnAskYesNo = [](const QString&) { return false; };
  Other.OpenPDFFile(QString::fromStdString(File));
  QString Text;
  QObject::connect(&Other, &TfrmMain::PageExtracted, [&](int P) {
    if (P == 3) Text = Other.pbProgress->text();
  });
  Settings->Range = static_cast<TPageRange>(1);
  Settings->Page = static_cast<TPageChoice>(1);
  Other.aExtract->trigger();
  EXPECT_EQ(Text, "Page 3: 3 of 10");
}

TEST(SelectedPages, CountsThePagesARunTakes) {
  struct Case {
    int32_t Kind, First, Last;
    int Count;
  } Cases[] = {
      {1, 1, 10, 10}, {2, 1, 10, 5}, {3, 1, 10, 5}, {2, 1, 9, 5},  {3, 1, 9, 4},  {2, 2, 2, 0}, {3, 2, 2, 1},
      {2, 3, 8, 3},   {3, 3, 8, 3},  {1, 5, 4, 0},  {1, 0, 3, 3},  {2, -3, 3, 2}, {4, 1, 10, 0}, {0, 1, 10, 0},
      {1, 1, 2147483647, 2147483647}, {2, 1, 2147483647, 1073741824},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(SelectedPages(static_cast<TPageChoice>(C.Kind), C.First, C.Last), C.Count) << C.Kind << " " << C.First << ".." << C.Last;
}

TEST_F(BusyWindow, ClosingIsRefusedWhileBusy) {
  bool Closed = true;
  PostAt(2, [&] { Closed = Window->close(); });
  EXPECT_EQ(Extract("out.txt"), Pages(1, 10));
  EXPECT_FALSE(Closed);
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(Window->close());  // idle again
}

TEST_F(BusyWindow, DropDuringTheRunIsRefused) {
  const std::string Other = WritePdf("other.pdf", 2);
  bool Accepted = true;
  PostAt(4, [&] { Accepted = DropFiles(*Window, {QString::fromStdString(Other)}); });
  // Every page still names the first file and its page count.
  EXPECT_EQ(Extract("out.txt"), Pages(1, 10));
  EXPECT_FALSE(Accepted);
  const QStringList Lines = LogLines();
  EXPECT_TRUE(Lines.contains("A run is under way: the dropped file was not opened."));
  EXPECT_FALSE(Lines.join('\n').contains("other.pdf"));
  EXPECT_EQ(Window->Logic().CurrentFile, File);
  EXPECT_EQ(Window->Logic().CurrentPageCount, 10);
  EXPECT_EQ(States[5], "0001111");  // the drop enabled nothing
  EXPECT_EQ(Lines.mid(Lines.size() - 2), QStringList({"Extraction finished", ""}));

  // Once idle, the same drop opens the file.
  EXPECT_TRUE(DropFiles(*Window, {QString::fromStdString(Other)}));
  EXPECT_EQ(Window->Logic().CurrentFile, Other);
}

TEST_F(MainWindow, DropOpensTheLastExistingFile) {
  const std::string A = WritePdf("a.pdf", 1), B = WritePdf("b.pdf", 2);
  const QString Missing = QString::fromStdString((Dir / "missing.pdf").string());
  EXPECT_TRUE(DropFiles(*Window, {Missing, QString::fromStdString(A), Missing}));
  EXPECT_EQ(Window->Logic().CurrentFile, A);
  EXPECT_TRUE(DropFiles(*Window, {QString::fromStdString(A), QString::fromStdString(B), Missing}));
  EXPECT_EQ(Window->Logic().CurrentFile, B);
  EXPECT_EQ(Window->Logic().CurrentPageCount, 2);
  // Only missing files: nothing happens.
  const QString Before = Window->mLog->toPlainText();
  DropFiles(*Window, {Missing});
  EXPECT_EQ(Window->mLog->toPlainText(), Before);
  EXPECT_EQ(Window->Logic().CurrentFile, B);
}

TEST_F(MainWindow, PasswordPromptAnsweredWrongThenRight) {
  const std::string File = Fixtures + "rc4-128.pdf";
  std::vector<QString> Prompts;
  {
  TModalAnswerer Answer;
  for (const char* Typed : {"wrong", "user"})
    Answer.Add([&Prompts, Typed](QWidget* W) {
      auto* Form = qobject_cast<TFrmInputString*>(W);
      ASSERT_NE(Form, nullptr);
      EXPECT_EQ(Form->windowTitle(), "Password");
      EXPECT_EQ(Form->Edit1->echoMode(), QLineEdit::Password);
      EXPECT_TRUE(Form->Edit1->text().isEmpty());
      Prompts.push_back(Form->lblMsg->text());
      QTest::keyClicks(Form->Edit1, Typed);
      QTest::mouseClick(Form->bOk, Qt::LeftButton);
    });
  // The real prompt, not a hook.
  Window->OnAskPassword = [this](const QString& Prompt, QString& Value) {
    return ShowInputString(Value, Prompt, QString(), true, "Password", Window.get());
  };
  OpenThroughDialog(File);
  EXPECT_TRUE(Answer.Done());
  EXPECT_TRUE(Answer.Unexpected.empty());
  EXPECT_EQ(Prompts, std::vector<QString>(2, "\"rc4-128.pdf\" needs password to open:"));
  EXPECT_EQ(Window->Logic().CurrentFile, File);
  EXPECT_EQ(Window->Logic().CurrentPassword, "user");
  }
  EXPECT_EQ(Extract("locked.txt"), Console(File, "-p user"));

  // Cancelling the prompt opens nothing and logs nothing.
  Window->Logic().CurrentFile.clear();
  const QString Before = Window->mLog->toPlainText();
  TModalAnswerer Cancel;
  Cancel.Add([](QWidget* W) { qobject_cast<QDialog*>(W)->reject(); });
  Window->OpenPDFFile(QString::fromStdString(Fixtures + "rc4-40.pdf"));
  EXPECT_TRUE(Cancel.Done());
  EXPECT_EQ(Window->mLog->toPlainText(), Before);
  EXPECT_TRUE(Window->Logic().CurrentFile.empty());
  EXPECT_EQ(Enabled(), "1100111");
}

TEST_F(MainWindow, ErrorsAreShownAfterTheRunIsUndone) {
  OpenThroughDialog(WritePdf("three.pdf", 3));
  Settings->Range = static_cast<TPageRange>(3);
  const int Lines = LogLines().size();
  std::ofstream(Dir / "out.txt") << "earlier";
  Extract("out.txt");
  EXPECT_EQ(Errors, std::vector<std::string>{"INNER ERROR: Error page range type"});
  EXPECT_EQ(Read(Dir / "out.txt"), "earlier");
  EXPECT_EQ(LogLines().size(), Lines);  // neither the stopped nor the finished text, no run start
  EXPECT_EQ(Enabled(), "1110111");
  EXPECT_FALSE(Window->Logic().Busy);

  // The options dialog does not open on such a value; the error is shown.
  Errors.clear();
  Window->aOption->trigger();
  EXPECT_EQ(Errors, std::vector<std::string>{"INNER ERROR: Error page range type"});
  EXPECT_EQ(DialogsRun, 0);

  // An output that cannot be written.
  Settings->Range = static_cast<TPageRange>(1);
  Errors.clear();
  Extract("no-such-folder/out.txt");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("no-such-folder/out.txt"), std::string::npos);
  EXPECT_EQ(Enabled(), "1110111");
}

TEST_F(MainWindow, OptionsDialogWorksOnTheWindowsSettings) {
  OpenThroughDialog(WritePdf("twelve.pdf", 12));
  Window->OnExecDialog = [](QDialog& D) { return D.exec(); };
  TModalAnswerer Answer;
  QString From, To;
  Answer.Add([&](QWidget* W) {
    auto* Dialog = qobject_cast<TfrmOption*>(W);
    ASSERT_NE(Dialog, nullptr);
    From = Dialog->eBegin->text();
    To = Dialog->eEnd->text();
    Dialog->SetExtractItemIndex(2);  // even pages
    Dialog->eFooter->clear();
    Dialog->eEnd->setText("6");
    Dialog->rbPRRange->setChecked(true);
    QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  });
  Window->aOption->trigger();
  EXPECT_TRUE(Answer.Done());
  EXPECT_EQ(From, "1");  // the opened file's whole range
  EXPECT_EQ(To, "12");
  EXPECT_EQ(Extract("out.txt"), "Page 2\r\nPage 4\r\nPage 6\r\n");
  EXPECT_NE(Read(Store->Path()).find("Page=3\n"), std::string::npos);
}

TEST_F(MainWindow, OptionsAboutAndHelpRunTheirDialogsAndPage) {
  QString Title;
  Window->OnExecDialog = [&](QDialog& D) {
    Title = D.windowTitle();
    return int(QDialog::Rejected);
  };
  Window->aOption->trigger();
  EXPECT_EQ(Title, QString::fromUtf8("选项"));
  Window->aAbout->trigger();
  EXPECT_EQ(Title, QString::fromUtf8("关于"));
  // Help shows the window's page rendered, not its Markdown source; More
  // tools the README, the same way.
  QString Shown;
  Window->OnExecDialog = [&](QDialog& D) {
    Title = D.windowTitle();
    if (auto* Browser = D.findChild<QTextBrowser*>("tbHelp")) Shown = Browser->toPlainText();
    return int(QDialog::Rejected);
  };
  Window->aHelp->trigger();
  EXPECT_EQ(Title, QString::fromUtf8("帮助"));
  EXPECT_TRUE(Shown.contains("window")) << Shown.left(200).toStdString();
  EXPECT_FALSE(Shown.startsWith("#")) << "rendered, not the source";
  Window->aMoreTools->trigger();
  EXPECT_TRUE(Shown.contains("textextractor"));
  EXPECT_TRUE(fs::exists(TfrmMain::WindowHelpPage().toStdString()));
  EXPECT_TRUE(Opened.empty());
}

}  // namespace
