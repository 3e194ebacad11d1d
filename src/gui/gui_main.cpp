// The desktop window program: textextractor-gui [FILE.pdf]
#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTimer>

#include "Images.h"
#include "SettingsStore.h"
#include "Translation.h"
#include "frmMain.h"
#include "option.h"

int main(int argc, char** argv) {
  QApplication App(argc, argv);  // also takes the user's locale (setlocale)
  QApplication::setApplicationName("textextractor-gui");
  QApplication::setOrganizationName("Vorlith");
  QApplication::setDesktopFileName("textextractor-gui");
  QApplication::setWindowIcon(QIcon(LogoPixmap(128)));
  // The captions in the user's language: Chinese for Chinese locales, else English.
  InstallTranslation(QLocale::system());

  // The settings exist before the window and outlive it.
  TIniSettingsStore Store(TIniSettingsStore::DefaultPath());
  TSettings Settings(Store);
  TfrmMain Window(Settings);
  Window.show();
  // What the settings file did not give goes to the log pane, once.
  if (!Store.Warning().empty()) Window.LogAppend(Store.Warning());
  for (const std::string& Warning : Settings.Warnings) Window.LogAppend(Warning);

  // A file named on the command line is opened once the window shows.
  if (argc > 1) {
    const QString FileName = QFile::decodeName(argv[1]);
    QTimer::singleShot(0, &Window, [&Window, FileName] { Window.OpenPDFFile(FileName); });
  }
  // VORLITH_GUI_SCREENSHOT=FILE.png saves a picture of the window, then quits
  // (for the README, see tools/gui_screenshot.sh).
  const QString Shot = qEnvironmentVariable("VORLITH_GUI_SCREENSHOT");
  if (!Shot.isEmpty())
    QTimer::singleShot(1500, &Window, [&Window, Shot] {
      const bool Saved = Window.grab().save(Shot, "PNG");
      QApplication::exit(Saved ? 0 : 1);
    });
  return App.exec();
}
