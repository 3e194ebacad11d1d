// Small services of the window: the yes/no question, opening a file or address
// with the desktop, centring a form, and text between the code page and Qt.
#pragma once

#include <QString>

#include <string>

class QWidget;

// The title of the application: the main window's caption and the caption of
// its message boxes.
inline constexpr const char* ApplicationTitle = "Vorlith Text Extractor";

// A modal question with the application title as caption, a question icon and
// the buttons Yes and No; true exactly when Yes is chosen.
bool AskYesNo(QWidget* Parent, const QString& Question);

// Asks the desktop to open Target (a file path or a web address) with its
// associated program; the outcome is not looked at.
void ShellOpen(const QString& Target);

// Places Form in the middle of its screen (by its frame size when shown).
void CenterForm(QWidget& Form);

// Conversion between the 8-bit text of the run logic and the engine (in one
// code page, see TCodePage) and Qt's strings. A code page Qt does not know is
// read as UTF-8.
// Safe to read from several threads (its code page is).
class TTextCodec {
 public:
  explicit TTextCodec(std::string CodePageName);
  QString ToQ(const std::string& Text) const;
  std::string FromQ(const QString& Text) const;

 private:
  std::string FName;
  bool FUtf8 = true;
};

// A file path of the run logic (bytes as the file system has them) and back.
QString PathToQ(const std::string& Path);
std::string PathFromQ(const QString& Path);
