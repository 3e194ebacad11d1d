// The window's language.
#include "Translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {
// The translator lives as a child of the application, found by this name, so
// that a later call replaces it rather than stacking another one.
constexpr const char* TranslatorName = "VorlithTranslator";
// Where CMake embeds the .qm files (see src/gui/CMakeLists.txt).
constexpr const char* ChineseCatalog = ":/i18n/textextractor_zh_CN.qm";
}  // namespace

bool IsChineseLocale(const QLocale& Locale) { return Locale.language() == QLocale::Chinese; }

bool InstallTranslation(const QLocale& Locale) {
  QCoreApplication* App = QCoreApplication::instance();
  if (!App) return false;
  if (auto* Old = App->findChild<QTranslator*>(TranslatorName, Qt::FindDirectChildrenOnly)) {
    QCoreApplication::removeTranslator(Old);
    delete Old;
  }
  if (!IsChineseLocale(Locale)) return true;
  auto* Translator = new QTranslator(App);
  Translator->setObjectName(TranslatorName);
  if (!Translator->load(QString::fromUtf8(ChineseCatalog))) {
    delete Translator;
    return false;
  }
  QCoreApplication::installTranslator(Translator);
  return true;
}
