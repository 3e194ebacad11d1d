// The main window.
#include "frmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "CodePage.h"
#include "Images.h"
#include "InputString.h"
#include "RegBox.h"
#include "frmOption.h"
#include "option.h"
#include "uPDFEngine.h"

namespace {
// Logged when files are dropped while a run is under way.
constexpr const char* DropRefused = "A run is under way: the dropped file was not opened.";
}  // namespace

TfrmMain::TfrmMain(TSettings& Settings, QWidget* Parent)
    : QMainWindow(Parent),
      FSettings(Settings),
      FEngine(std::make_unique<TPDFEngine>()),
      FCodec(FEngine->CodePage ? FEngine->CodePage->Name() : "UTF-8") {
  setObjectName("frmMain");
  setWindowTitle(QString::fromUtf8(ApplicationTitle));
  setWindowIcon(QIcon(LogoPixmap(128)));
  setMinimumSize(400, 300);
  resize(640, 480);

  // The actions, their captions and accelerators.
  ALActs = new QObject(this);
  ALActs->setObjectName("ALActs");
  auto MakeAction = [this](const char* Name, const QString& Caption, TImage Image, Qt::Key Key) {
    auto* A = new QAction(ToolbarIcon(Image), Caption, ALActs);
    A->setObjectName(Name);
    if (Key != Qt::Key_unknown) A->setShortcut(QKeySequence(Qt::ALT | Key));
    addAction(A);
    return A;
  };
  aOpenFile = MakeAction("aOpenFile", tr("&Open..."), TImage::OpenFile, Qt::Key_O);
  aOption = MakeAction("aOption", tr("O&ptions"), TImage::Option, Qt::Key_P);
  aExtract = MakeAction("aExtract", tr("&Extract Text"), TImage::Extract, Qt::Key_E);
  aStop = MakeAction("aStop", tr("&Stop"), TImage::Stop, Qt::Key_S);
  aHelp = MakeAction("aHelp", tr("&Help"), TImage::Help, Qt::Key_H);
  aAbout = MakeAction("aAbout", tr("&About..."), TImage::About, Qt::Key_A);
  aMoreTools = MakeAction("aMoreTools", tr("More Tools"), TImage::MoreTools, Qt::Key_unknown);

  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(32, 32));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBar1->toggleViewAction()->setVisible(false);
  for (QAction* A : {aOpenFile, aOption, aExtract, aStop}) ToolBar1->addAction(A);
  ToolBar1->addSeparator();
  for (QAction* A : {aHelp, aAbout, aMoreTools}) ToolBar1->addAction(A);
  for (QAction* A : ToolBar1->actions())
    if (QWidget* Button = ToolBar1->widgetForAction(A); Button && !A->isSeparator()) Button->setMinimumSize(72, 52);
  addToolBar(Qt::TopToolBarArea, ToolBar1);
  setContextMenuPolicy(Qt::NoContextMenu);

  mLog = new QPlainTextEdit(this);
  mLog->setObjectName("mLog");
  mLog->setReadOnly(true);
  mLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  mLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Drops go to the window, not into the log.
  mLog->setAcceptDrops(false);
  setCentralWidget(mLog);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(true);
  pbProgress = new QProgressBar(StatusBar1);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setTextVisible(true);
  StatusBar1->addPermanentWidget(pbProgress, 1);
  setStatusBar(StatusBar1);
  ResetProgress();
  setAcceptDrops(true);

  odOpen = new QFileDialog(this);
  odOpen->setObjectName("odOpen");
  odOpen->setAcceptMode(QFileDialog::AcceptOpen);
  odOpen->setFileMode(QFileDialog::ExistingFile);
  odOpen->setNameFilters({tr("PDF File (*.pdf)"), tr("All File (*)")});

  sdSave = new QFileDialog(this);
  sdSave->setObjectName("sdSave");
  sdSave->setAcceptMode(QFileDialog::AcceptSave);
  sdSave->setFileMode(QFileDialog::AnyFile);
  sdSave->setDefaultSuffix("TXT");
  sdSave->setNameFilters({tr("Text File (*.txt)"), tr("All File (*)")});
  sdSave->setOption(QFileDialog::DontConfirmOverwrite, false);
  sdSave->setSizeGripEnabled(true);

  // The default hooks: the real dialogs.
  OnChooseOpenFile = [this](QString& FileName) {
    if (odOpen->exec() != QDialog::Accepted || odOpen->selectedFiles().isEmpty()) return false;
    FileName = odOpen->selectedFiles().first();
    return true;
  };
  OnChooseOutputFile = [this](const QString& Proposed, QString& FileName) {
    sdSave->selectFile(Proposed);
    if (sdSave->exec() != QDialog::Accepted || sdSave->selectedFiles().isEmpty()) return false;
    FileName = sdSave->selectedFiles().first();
    return true;
  };
  OnAskPassword = [this](const QString& Prompt, QString& Value) {
    return ShowInputString(Value, Prompt, QString(), true, tr("Password"), this);
  };
  OnAskYesNo = [this](const QString& Question) { return ::AskYesNo(this, Question); };
  OnShellOpen = [](const QString& Target) { ::ShellOpen(Target); };
  OnShowError = [this](const QString& Text) {
    QMessageBox::critical(this, QString::fromUtf8(ApplicationTitle), Text);
  };
  OnExecDialog = [](QDialog& Dialog) { return Dialog.exec(); };

  connect(aOpenFile, &QAction::triggered, this, [this] { aOpenFileExecute(); });
  connect(aOption, &QAction::triggered, this, [this] { aOptionExecute(); });
  connect(aExtract, &QAction::triggered, this, [this] { aExtractExecute(); });
  connect(aStop, &QAction::triggered, this, [this] { FLogic->aStopExecute(); });
  connect(aHelp, &QAction::triggered, this, [this] { ShowHelp(WindowHelpPage()); });
  connect(aAbout, &QAction::triggered, this, [this] { aAboutExecute(); });
  // The README describes the other tool, the console program, too.
  connect(aMoreTools, &QAction::triggered, this, [this] { ShowHelp(HelpPage()); });

  // The logic sets the idle state: Extract and Stop disabled.
  FLogic = std::make_unique<TMainLogic>(*FEngine, FSettings, *this);
  CenterForm(*this);
}

TfrmMain::~TfrmMain() = default;

QString TfrmMain::HelpPage() {
  // The installed copy, else the one of the source tree.
  const QString Installed = QString::fromUtf8(VORLITH_INSTALLED_README);
  if (QFileInfo::exists(Installed)) return Installed;
  return QString::fromUtf8(VORLITH_SOURCE_README);
}

QString TfrmMain::WindowHelpPage() {
  const QString Installed = QString::fromUtf8(VORLITH_INSTALLED_DOCS) + "/window.md";
  if (QFileInfo::exists(Installed)) return Installed;
  return QString::fromUtf8(VORLITH_SOURCE_DOCS) + "/window.md";
}

void TfrmMain::ShowHelp(const QString& Page) {
  // The Markdown page rendered, its links to the other pages followed in the
  // same view, links to the web opened by the desktop.
  QDialog Dialog(this);
  Dialog.setObjectName("frmHelp");
  Dialog.setWindowTitle(tr("Help"));
  auto* Browser = new QTextBrowser(&Dialog);
  Browser->setObjectName("tbHelp");
  Browser->setOpenExternalLinks(true);
  Browser->setSource(QUrl::fromLocalFile(Page), QTextDocument::MarkdownResource);
  auto* Layout = new QVBoxLayout(&Dialog);
  Layout->addWidget(Browser);
  Dialog.resize(760, 560);
  OnExecDialog(Dialog);
}

void TfrmMain::Guarded(const std::function<void()>& Work) {
  try {
    Work();
  } catch (const std::exception& E) {
    OnShowError(FCodec.ToQ(E.what()));
  }
}

void TfrmMain::OpenPDFFile(const QString& FileName) {
  Guarded([&] { FLogic->OpenPDFFile(PathFromQ(FileName)); });
}

void TfrmMain::aOpenFileExecute() {
  QString FileName;
  if (OnChooseOpenFile(FileName)) OpenPDFFile(FileName);
}

void TfrmMain::aOptionExecute() {
  Guarded([&] {
    TfrmOption Dialog(FSettings, FCodec, this, OnShowError);
    OnExecDialog(Dialog);
  });
}

void TfrmMain::aExtractExecute() {
  // The save dialog offers the suffix of the chosen format (the text
  // formats keep the dialog's own "TXT").
  FLogic->Format = FSettings.Format;
  const bool Structured = IsStructured(FSettings.Format);
  sdSave->setDefaultSuffix(Structured ? QString::fromUtf8(FormatSuffix(FSettings.Format) + 1) : QString("TXT"));
  const QString Filter = FSettings.Format == TOutputFormat::Json       ? tr("JSON File (*.json)")
                         : FSettings.Format == TOutputFormat::Markdown ? tr("Markdown File (*.md)")
                                                                       : tr("Text File (*.txt)");
  sdSave->setNameFilters({Filter, tr("All File (*)")});
  Guarded([&] { FLogic->aExtractExecute(); });
  // However the run ended: finished, stopped, cancelled or by an error.
  ResetProgress();
}

void TfrmMain::ResetProgress() {
  pbProgress->reset();
  pbProgress->setVisible(false);
}

void TfrmMain::aAboutExecute() {
  TfrmRegBox Box(this, HelpPage(), OnShellOpen);
  OnExecDialog(Box);
}

void TfrmMain::closeEvent(QCloseEvent* Event) {
  // FormCloseQuery: no closing while a run is under way.
  if (FLogic->FormCloseQuery())
    Event->accept();
  else
    Event->ignore();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* Event) {
  // A drop in the middle of a run would open another file in the same engine
  // and change the current file, the page count and the actions under the
  // run's feet: it is refused.
  if (FLogic->Busy) {
    FLogic->AddLog(DropRefused);
    Event->ignore();
    return;
  }
  std::vector<std::string> Names;
  for (const QUrl& Url : Event->mimeData()->urls())
    if (Url.isLocalFile()) Names.push_back(PathFromQ(Url.toLocalFile()));
  Event->acceptProposedAction();
  Guarded([&] { FLogic->WMDropFiles(Names); });
}

// ---- TMainHost ----

bool TfrmMain::ChooseOutputFile(const std::string& Proposed, std::string& FileName) {
  QString Chosen;
  if (!OnChooseOutputFile(PathToQ(Proposed), Chosen)) return false;
  FileName = PathFromQ(Chosen);
  return true;
}

bool TfrmMain::AskPassword(const std::string& Prompt, std::string& Value) {
  QString Typed;
  const bool Ok = OnAskPassword(FCodec.ToQ(Prompt), Typed);
  Value = FCodec.FromQ(Typed);
  return Ok;
}

bool TfrmMain::AskYesNo(const std::string& Question) { return OnAskYesNo(FCodec.ToQ(Question)); }

void TfrmMain::OpenFile(const std::string& FileName) { OnShellOpen(PathToQ(FileName)); }

void TfrmMain::LogAppend(const std::string& Line) { mLog->appendPlainText(FCodec.ToQ(Line)); }

void TfrmMain::LogReplaceLast(const std::string& Line) {
  QTextCursor Cursor(mLog->document());
  Cursor.movePosition(QTextCursor::End);
  Cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
  Cursor.insertText(FCodec.ToQ(Line));
  mLog->ensureCursorVisible();
}

void TfrmMain::EnableAction(TAction Action, bool Enabled) {
  switch (Action) {
    case TAction::OpenFile: aOpenFile->setEnabled(Enabled); break;
    case TAction::Option: aOption->setEnabled(Enabled); break;
    case TAction::Extract: aExtract->setEnabled(Enabled); break;
    case TAction::Stop: aStop->setEnabled(Enabled); break;
  }
}

void TfrmMain::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TfrmMain::PageDone(int32_t Page, int32_t First, int32_t Last) {
  const int Selected = SelectedPages(FSettings.Page, First, Last);
  pbProgress->setRange(0, Selected > 0 ? Selected : 1);
  pbProgress->setValue(SelectedPages(FSettings.Page, First, Page));
  pbProgress->setFormat(tr("Page %1: %2 of %3").arg(Page).arg(pbProgress->value()).arg(Selected));
  pbProgress->setVisible(true);
  emit PageExtracted(Page);
}

int SelectedPages(TPageChoice Kind, int32_t First, int32_t Last) {
  if (First < 1) First = 1;
  if (Last < First) return 0;
  // Pages of 1..N taken by Kind: all, the odd or the even ones.
  const auto Upto = [Kind](int64_t N) -> int64_t {
    if (Kind == TPageChoice::Odd) return (N + 1) / 2;
    if (Kind == TPageChoice::Even) return N / 2;
    return Kind == TPageChoice::Every ? N : 0;
  };
  return static_cast<int>(Upto(Last) - Upto(int64_t(First) - 1));
}
