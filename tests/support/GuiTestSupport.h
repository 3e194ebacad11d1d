// Helpers of the window tests: answering modal dialogs from a timer, a drop
// of files, and the window's language. The tests' main installs the Chinese
// translation: a test reads the Chinese captions unless it picks another
// language with TLanguage.
#pragma once

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QWidget;

// Answers the modal dialogs that appear while it lives, one handler per
// dialog in the order they come. A dialog with no handler left is rejected
// (so that no test waits on it) and recorded in Unexpected.
class TModalAnswerer : public QObject {
 public:
  using THandler = std::function<void(QWidget* Dialog)>;
  TModalAnswerer();
  void Add(THandler Handler) { FHandlers.push_back(std::move(Handler)); }
  bool Done() const { return FHandlers.empty(); }
  std::vector<std::string> Unexpected;

 private:
  void Tick();
  std::deque<THandler> FHandlers;
  QTimer FTimer;
};

// Installs the window's translation for a locale while it lives, and the
// Chinese one (the tests' default) again afterwards.
class TLanguage {
 public:
  explicit TLanguage(const QLocale& Locale);
  ~TLanguage();
  TLanguage(const TLanguage&) = delete;
  TLanguage& operator=(const TLanguage&) = delete;
};

// The locale the window tests run under unless they pick another.
QLocale DefaultTestLocale();

// Sends Target a drop of the local files Paths, as the desktop would.
// Returns whether the drop was accepted.
bool DropFiles(QWidget& Target, const QStringList& Paths);
