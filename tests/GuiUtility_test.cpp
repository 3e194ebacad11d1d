// The window's small services: the yes/no question, form centring and the
// text conversion.
#include "GuiUtility.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include "GuiTestSupport.h"

namespace {

TEST(GuiUtility, AskYesNoIsTrueExactlyForYes) {
  for (bool Yes : {true, false}) {
    TModalAnswerer Answer;
    Answer.Add([&](QWidget* W) {
      auto* Box = qobject_cast<QMessageBox*>(W);
      ASSERT_NE(Box, nullptr);
      EXPECT_EQ(Box->windowTitle(), "Vorlith Text Extractor");
      EXPECT_EQ(Box->text(), "Do you want to open the destination file?");
      EXPECT_EQ(Box->icon(), QMessageBox::Question);
      EXPECT_EQ(Box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
      Box->button(Yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    EXPECT_EQ(AskYesNo(nullptr, "Do you want to open the destination file?"), Yes);
    EXPECT_TRUE(Answer.Done());
  }
}

TEST(GuiUtility, CenterFormPlacesTheFormInTheMiddleOfTheScreen) {
  QWidget Form;
  Form.resize(301, 151);
  CenterForm(Form);
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  const QSize Size = Form.frameGeometry().size();
  EXPECT_EQ(Form.frameGeometry().left(), Screen.left() + (Screen.width() - Size.width()) / 2);
  EXPECT_EQ(Form.frameGeometry().top(), Screen.top() + (Screen.height() - Size.height()) / 2);
}

TEST(GuiUtility, TextCodecKeepsTheBytesOfItsCodePage) {
  const std::string Gb = "\xB5\xDA 1 \xD2\xB3";  // "第 1 页" in GB18030
  TTextCodec Codec("GB18030");
  EXPECT_EQ(Codec.ToQ(Gb), QString::fromUtf8("第 1 页"));
  EXPECT_EQ(Codec.FromQ(QString::fromUtf8("第 1 页")), Gb);
  TTextCodec Utf8("UTF-8");
  EXPECT_EQ(Utf8.FromQ(QString::fromUtf8("第")), "\xE7\xAC\xAC");
}

}  // namespace
