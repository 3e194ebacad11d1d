// The small dialogs and services of the window: the text prompt, the yes/no
// question, form centring and the About box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "GuiTestSupport.h"
#include "GuiUtility.h"
#include "InputString.h"
#include "RegBox.h"

namespace {

// Types Text into the prompt's edit and presses OK (or Cancel).
TModalAnswerer::THandler TypeInto(const QString& Text, bool Ok, QString* Caption = nullptr, QString* Prompt = nullptr,
                                  bool* Masked = nullptr) {
  return [=](QWidget* W) {
    auto* Form = qobject_cast<TFrmInputString*>(W);
    ASSERT_NE(Form, nullptr);
    if (Caption) *Caption = Form->windowTitle();
    if (Prompt) *Prompt = Form->lblMsg->text();
    Form->Edit1->clear();
    QTest::keyClicks(Form->Edit1, "pw ");  // typed keys are ASCII only
    Form->Edit1->insert(Text.mid(3));
    // What the edit shows: "*" for every character when masked.
    if (Masked) *Masked = Form->Edit1->displayText() == QString(Text.size(), '*');
    if (Masked && !*Masked) EXPECT_EQ(Form->Edit1->displayText(), Text);
    if (Ok)
      QTest::keyClick(Form->Edit1, Qt::Key_Return);  // the default button
    else
      QTest::mouseClick(Form->bCancel, Qt::LeftButton);
  };
}

TEST(InputString, GivesTheTypedTextAfterOKAndAfterCancel) {
  struct Case {
    bool Masked, Ok;
  } Cases[] = {{true, true}, {false, true}, {true, false}};
  for (const Case& C : Cases) {
    TModalAnswerer Answer;
    QString Caption, Prompt;
    bool Masked = !C.Masked;
    Answer.Add(TypeInto(QString::fromUtf8("pw 密码"), C.Ok, &Caption, &Prompt, &Masked));
    QString Value;
    const bool Result = ShowInputString(Value, "\"a.pdf\" needs password to open:", "initial", C.Masked, "Password");
    EXPECT_TRUE(Answer.Done());
    EXPECT_TRUE(Answer.Unexpected.empty());
    EXPECT_EQ(Result, C.Ok);
    EXPECT_EQ(Value, QString::fromUtf8("pw 密码"));
    EXPECT_EQ(Caption, "Password");
    EXPECT_EQ(Prompt, "\"a.pdf\" needs password to open:");
    EXPECT_EQ(Masked, C.Masked);
  }
}

TEST(InputString, InitialTextAndCloseBoxCountsAsCancel) {
  TModalAnswerer Answer;
  QString Seen;
  Answer.Add([&](QWidget* W) {
    auto* Form = qobject_cast<TFrmInputString*>(W);
    ASSERT_NE(Form, nullptr);
    Seen = Form->Edit1->text();
    EXPECT_TRUE(Form->bOk->isDefault());
    EXPECT_EQ(Form->bOk->text(), QString::fromUtf8("确定(&O)"));
    EXPECT_EQ(Form->bCancel->text(), QString::fromUtf8("取消(&C)"));
    EXPECT_EQ(Form->Edit1->width(), 401);
    Form->close();
  });
  QString Value;
  EXPECT_FALSE(ShowInputString(Value, "Name:", "start", false, "Caption"));
  EXPECT_EQ(Seen, "start");
  EXPECT_EQ(Value, "start");
}

TEST(SmallDialogs, AskYesNoIsTrueExactlyForYes) {
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

TEST(SmallDialogs, CenterFormPlacesTheFormInTheMiddleOfTheScreen) {
  QWidget Form;
  Form.resize(301, 151);
  CenterForm(Form);
  const QRect Screen = QGuiApplication::primaryScreen()->geometry();
  const QSize Size = Form.frameGeometry().size();
  EXPECT_EQ(Form.frameGeometry().left(), Screen.left() + (Screen.width() - Size.width()) / 2);
  EXPECT_EQ(Form.frameGeometry().top(), Screen.top() + (Screen.height() - Size.height()) / 2);
}

TEST(SmallDialogs, TextCodecKeepsTheBytesOfItsCodePage) {
  const std::string Gb = "\xB5\xDA 1 \xD2\xB3";  // "第 1 页" in GB18030
  TTextCodec Codec("GB18030");
  EXPECT_EQ(Codec.ToQ(Gb), QString::fromUtf8("第 1 页"));
  EXPECT_EQ(Codec.FromQ(QString::fromUtf8("第 1 页")), Gb);
  TTextCodec Utf8("UTF-8");
  EXPECT_EQ(Utf8.FromQ(QString::fromUtf8("第")), "\xE7\xAC\xAC");
}

TEST(RegBox, ShowsTheBuildVersionTheLogoAndOpensThePage) {
  std::vector<QString> Opened;
  TfrmRegBox Box(nullptr, "/doc/README.md", [&](const QString& Target) { Opened.push_back(Target); });
  EXPECT_EQ(Box.windowTitle(), QString::fromUtf8("关于"));
  EXPECT_EQ(Box.lVersion->text(), VORLITH_VERSION);
  auto* Caption = Box.findChild<QLabel*>("lVersionCaption");
  ASSERT_NE(Caption, nullptr);
  EXPECT_EQ(Caption->text(), QString::fromUtf8("版本:"));
  EXPECT_EQ(Box.Image1->pixmap().size(), QSize(128, 128));
  EXPECT_TRUE(Box.pReg->isEnabled());
  EXPECT_EQ(Box.Button1->text(), QString::fromUtf8("关闭(&C)"));
  EXPECT_EQ(Box.lLink->cursor().shape(), Qt::PointingHandCursor);

  Box.show();
  QTest::mouseClick(Box.bOnline, Qt::LeftButton);
  emit Box.lLink->linkActivated("open");
  EXPECT_EQ(Opened, (std::vector<QString>{"/doc/README.md", "/doc/README.md"}));
  QTest::mouseClick(Box.Button1, Qt::LeftButton);
  EXPECT_FALSE(Box.isVisible());
  EXPECT_EQ(Box.result(), QDialog::Accepted);
}

}  // namespace
