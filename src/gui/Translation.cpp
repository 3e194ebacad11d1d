// The window's language.
#include "Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
// The translator lives as a child of the application, found by this name, so
// that a later call replaces it rather than stacking another one.
constexpr const char* TranslatorName = "VorlithTranslator";
// Qt's own texts (the buttons of message boxes, the file dialogs), from
// Debian's qt6-translations-l10n when it is installed.
constexpr const char* QtTranslatorName = "VorlithQtTranslator";
// Where CMake embeds the .qm files (see src/gui/CMakeLists.txt).
constexpr const char* ChineseCatalog = ":/i18n/textextractor_zh_CN.qm";
}  // namespace

bool IsChineseLocale(const QLocale& Locale) { return Locale.language() == QLocale::Chinese; }

bool InstallTranslation(const QLocale& Locale) {
  QCoreApplication* App = QCoreApplication::instance();
  if (!App) return false;
  for (const char* Name : {TranslatorName, QtTranslatorName})
    if (auto* Old = App->findChild<QTranslator*>(Name, Qt::FindDirectChildrenOnly)) {
      QCoreApplication::removeTranslator(Old);
      delete Old;
    }
  if (!IsChineseLocale(Locale)) return true;
  // Qt's catalog first: a missing one leaves Qt's texts in English.
  auto* Qt = new QTranslator(App);
  Qt->setObjectName(QtTranslatorName);
  if (Qt->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(Qt);
  else
    delete Qt;
  auto* Translator = new QTranslator(App);
  Translator->setObjectName(TranslatorName);
  if (!Translator->load(QString::fromUtf8(ChineseCatalog))) {
    delete Translator;
    return false;
  }
  QCoreApplication::installTranslator(Translator);
  return true;
}
