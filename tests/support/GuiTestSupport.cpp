// Helpers of the window tests, and their main: a QApplication on Qt's
// offscreen platform, so that no display is needed.
#include "GuiTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>

#include "Translation.h"

TModalAnswerer::TModalAnswerer() {
  connect(&FTimer, &QTimer::timeout, this, [this] { Tick(); });
  FTimer.start(10);
}

void TModalAnswerer::Tick() {
  QWidget* Dialog = QApplication::activeModalWidget();
  if (!Dialog || !Dialog->isVisible()) return;
  if (FHandlers.empty()) {
    Unexpected.push_back(Dialog->metaObject()->className() + std::string(" ") + Dialog->windowTitle().toStdString());
    if (auto* D = qobject_cast<QDialog*>(Dialog)) D->reject();
    else Dialog->close();
    return;
  }
  THandler Handler = std::move(FHandlers.front());
  FHandlers.pop_front();
  Handler(Dialog);
}

QLocale DefaultTestLocale() { return QLocale(QLocale::Chinese, QLocale::China); }

TLanguage::TLanguage(const QLocale& Locale) { EXPECT_TRUE(InstallTranslation(Locale)) << Locale.name().toStdString(); }

TLanguage::~TLanguage() { InstallTranslation(DefaultTestLocale()); }

bool DropFiles(QWidget& Target, const QStringList& Paths) {
  QMimeData Data;
  QList<QUrl> Urls;
  for (const QString& Path : Paths) Urls.push_back(QUrl::fromLocalFile(Path));
  Data.setUrls(Urls);
  const QPointF At(Target.width() / 2.0, Target.height() / 2.0);
  QDragEnterEvent Enter(At.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Target, &Enter);
  if (!Enter.isAccepted()) return false;
  QDropEvent Drop(At, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Target, &Drop);
  return Drop.isAccepted();
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  // Whatever the machine's locale: the Chinese captions, as under zh_CN.
  if (!InstallTranslation(DefaultTestLocale())) {
    std::fprintf(stderr, "The Chinese translation is missing from the resources.\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
