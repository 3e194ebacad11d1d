// The main window: a host of the run logic with a toolbar and a log pane.
#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

#include "GuiUtility.h"
#include "Names.h"
#include "main.h"

class QAction;
class QDialog;
class QFileDialog;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QToolBar;
class TPDFEngine;
class TSettings;

// The window owns the engine and the run logic; Settings must outlive it.
// Every question the run asks goes through a hook below, set by default to
// the real dialog; tests replace the hooks to answer without a person.
// Errors that reach an action's handler (after the run's own clean-up ran)
// are shown by OnShowError.
// On the GUI thread only, as every Qt widget.
class TfrmMain : public QMainWindow, public TMainHost {
  Q_OBJECT
 public:
  explicit TfrmMain(TSettings& Settings, QWidget* Parent = nullptr);
  ~TfrmMain() override;

  // The file to open (default: odOpen); false when cancelled.
  std::function<bool(QString& FileName)> OnChooseOpenFile;
  // The output file given the proposal (default: sdSave); false when cancelled.
  std::function<bool(const QString& Proposed, QString& FileName)> OnChooseOutputFile;
  // A password (default: the masked prompt "Password"); false when cancelled.
  std::function<bool(const QString& Prompt, QString& Value)> OnAskPassword;
  std::function<bool(const QString& Question)> OnAskYesNo;
  // Opens a file or address with the desktop (default: ShellOpen).
  std::function<void(const QString& Target)> OnShellOpen;
  // Shows an error's text (default: a message box).
  std::function<void(const QString& Text)> OnShowError;
  // Runs a modal dialog, the options dialog or the About box (default: exec).
  std::function<int(QDialog& Dialog)> OnExecDialog;

  TMainLogic& Logic() { return *FLogic; }
  const TTextCodec& Codec() const { return FCodec; }
  // Opens FileName (a file named on the command line, for one).
  void OpenPDFFile(const QString& FileName);
  // The page the Help and More tools actions open: the project's README.
  static QString HelpPage();
  // The window's own help page (docs/window.md, installed or of the source tree).
  static QString WindowHelpPage();
  // Shows a Markdown page rendered in a dialog (through OnExecDialog).
  void ShowHelp(const QString& Page);

  QToolBar* ToolBar1;
  QObject* ALActs;
  QAction* aOpenFile;
  QAction* aOption;
  QAction* aExtract;
  QAction* aStop;
  QAction* aHelp;
  QAction* aAbout;
  QAction* aMoreTools;
  QPlainTextEdit* mLog;
  QFileDialog* odOpen;
  QFileDialog* sdSave;
  // The progress of a run: pages done of the pages selected, with the page
  // just extracted in its text. Hidden and reset while no run is under way.
  QStatusBar* StatusBar1;
  QProgressBar* pbProgress;

  // TMainHost
  bool ChooseOutputFile(const std::string& Proposed, std::string& FileName) override;
  bool AskPassword(const std::string& Prompt, std::string& Value) override;
  bool AskYesNo(const std::string& Question) override;
  void OpenFile(const std::string& FileName) override;
  void LogAppend(const std::string& Line) override;
  void LogReplaceLast(const std::string& Line) override;
  void EnableAction(TAction Action, bool Enabled) override;
  void ProcessMessages() override;
  void PageDone(int32_t Page, int32_t First, int32_t Last) override;

 signals:
  // A page of the run is done, before the pending events are handled.
  void PageExtracted(int Page);

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  void aOpenFileExecute();
  void aOptionExecute();
  void aExtractExecute();
  void aAboutExecute();
  // Runs an action's work; an error it throws is shown with its text.
  void Guarded(const std::function<void()>& Work);
  // Hides the progress bar and rewinds it.
  void ResetProgress();

  TSettings& FSettings;
  std::unique_ptr<TPDFEngine> FEngine;
  TTextCodec FCodec;
  std::unique_ptr<TMainLogic> FLogic;
};

// How many pages of First..Last a run extracts with the Page setting Kind
// (every, odd or even; another value takes none, as in the run); 0 when
// Last < First. Pages below 1 are not counted.
int SelectedPages(TPageChoice Kind, int32_t First, int32_t Last);
