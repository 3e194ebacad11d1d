// Small services of the window.
#include "GuiUtility.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QUrl>
#include <QWidget>

bool AskYesNo(QWidget* Parent, const QString& Question) {
  return QMessageBox::question(Parent, QString::fromUtf8(ApplicationTitle), Question,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void ShellOpen(const QString& Target) {
  // A path that exists is a file; anything else is taken as an address.
  const QUrl Url = QFileInfo::exists(Target) ? QUrl::fromLocalFile(Target) : QUrl(Target);
  QDesktopServices::openUrl(Url);
}

void CenterForm(QWidget& Form) {
  QScreen* Screen = Form.screen() ? Form.screen() : QGuiApplication::primaryScreen();
  if (!Screen) return;
  const QRect Area = Screen->geometry();
  const QSize Size = Form.frameGeometry().size();
  Form.move(Area.x() + (Area.width() - Size.width()) / 2, Area.y() + (Area.height() - Size.height()) / 2);
}

TTextCodec::TTextCodec(std::string CodePageName) : FName(std::move(CodePageName)) {
  const QString Name = QString::fromStdString(FName).toUpper();
  FUtf8 = Name == "UTF-8" || Name == "UTF8" || !QStringDecoder(FName.c_str()).isValid() ||
          !QStringEncoder(FName.c_str()).isValid();
}

QString TTextCodec::ToQ(const std::string& Text) const {
  if (FUtf8) return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
  QStringDecoder Decoder(FName.c_str());
  return Decoder.decode(QByteArrayView(Text.data(), static_cast<qsizetype>(Text.size())));
}

std::string TTextCodec::FromQ(const QString& Text) const {
  if (FUtf8) return Text.toStdString();
  QStringEncoder Encoder(FName.c_str());
  const QByteArray Bytes = Encoder.encode(Text);
  return Bytes.toStdString();
}

QString PathToQ(const std::string& Path) {
  return QFile::decodeName(QByteArray(Path.data(), static_cast<qsizetype>(Path.size())));
}

std::string PathFromQ(const QString& Path) { return QFile::encodeName(Path).toStdString(); }
