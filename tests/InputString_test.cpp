// The single-line text prompt: caption, prompt, mask, OK and Cancel.
#include "InputString.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GuiTestSupport.h"

namespace {

// Types Typed (ASCII keys) and inserts Pasted into the prompt's edit, then
// presses Enter (OK, the default button) or Cancel.
TModalAnswerer::THandler TypeInto(const char* Typed, const QString& Pasted, bool Ok, QString* Caption,
                                  QString* Prompt, bool* Masked) {
  return [=](QWidget* W) {
    auto* Form = qobject_cast<TFrmInputString*>(W);
    ASSERT_NE(Form, nullptr);
    *Caption = Form->windowTitle();
    *Prompt = Form->lblMsg->text();
    Form->Edit1->clear();
    QTest::keyClicks(Form->Edit1, Typed);
    Form->Edit1->insert(Pasted);
    // What the edit shows: "*" for every character when masked.
    const QString Text = Typed + Pasted;
    *Masked = Form->Edit1->displayText() == QString(Text.size(), '*');
    if (!*Masked) {
      EXPECT_EQ(Form->Edit1->displayText(), Text);
    }
    if (Ok)
      QTest::keyClick(Form->Edit1, Qt::Key_Return);
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
    Answer.Add(TypeInto("pw ", QString::fromUtf8("密码"), C.Ok, &Caption, &Prompt, &Masked));
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

}  // namespace
