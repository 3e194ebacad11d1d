// The window's language: its captions in English or, for Chinese locales, in Chinese.
#pragma once

#include <QLocale>

// Whether Locale gets the Chinese captions (any Chinese locale: zh_CN, zh_TW, ...).
bool IsChineseLocale(const QLocale& Locale);

// Installs the window's translation for Locale in the running application
// (which must exist), replacing the one installed before. English, the
// language of the source texts, needs no translation: the earlier one is
// only removed. Returns false when the Chinese translation could not be
// loaded from the resources (the captions are then English).
bool InstallTranslation(const QLocale& Locale);
