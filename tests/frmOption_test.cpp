// The options dialog: loading and saving the settings, the page edits.
#include "frmOption.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

#include "GuiUtility.h"
#include "SettingsStore.h"
#include "main.h"
#include "option.h"

namespace {

class OptionDialog : public testing::Test {
 protected:
  TMemorySettingsStore Store;
  TTextCodec Codec{"UTF-8"};
  std::vector<std::string> Errors;

  std::unique_ptr<TfrmOption> Make(TSettings& Settings) {
    return std::make_unique<TfrmOption>(Settings, Codec, nullptr,
                                        [this](const QString& Text) { Errors.push_back(Text.toStdString()); });
  }
};

TEST_F(OptionDialog, ControlsHaveTheirNamesAndCaptions) {
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  EXPECT_EQ(Dialog->windowTitle(), QString::fromUtf8("选项"));
  struct Case {
    const char* Name;
    const char* Caption;
  } Cases[] = {{"GroupBox1", "页面范围"}, {"rbPRAll", "提取所有页面"}, {"rbPRRange", "页面"}, {"Label1", "至"},
               {"rgExtract", "提取 "},    {"GroupBox2", "页面"},     {"Label2", "标题:"},  {"Label3", "页脚:"},
               {"Label4", "提取类型:"},   {"bOK", "确定(&O)"},       {"bCancel", "取消(&C)"},
               {"cbRepair", "修复损坏的文件"}, {"Label5", "图像中的文字:"}, {"Label6", "OCR 语言:"}};
  for (const Case& C : Cases) {
    QWidget* W = Dialog->findChild<QWidget*>(C.Name);
    ASSERT_NE(W, nullptr) << C.Name;
    QString Text;
    if (auto* B = qobject_cast<QAbstractButton*>(W)) Text = B->text();
    else if (auto* G = qobject_cast<QGroupBox*>(W)) Text = G->title();
    else if (auto* L = qobject_cast<QLabel*>(W)) Text = L->text();
    EXPECT_EQ(Text, QString::fromUtf8(C.Caption)) << C.Name;
  }
  for (const char* Name : {"eBegin", "eEnd", "eHeader", "eFooter"})
    EXPECT_NE(Dialog->findChild<QLineEdit*>(Name), nullptr) << Name;
  auto* List = Dialog->findChild<QComboBox*>("cbTextType");
  ASSERT_NE(List, nullptr);
  ASSERT_EQ(List->count(), 4);
  EXPECT_EQ(List->itemText(0), QString::fromUtf8("在 PDF 命令中的应用"));
  EXPECT_EQ(List->itemText(1), QString::fromUtf8("智能重排"));
  EXPECT_EQ(List->itemText(2), QString::fromUtf8("位置"));
  EXPECT_EQ(List->itemText(3), QString::fromUtf8("阅读顺序"));
  EXPECT_FALSE(List->isEditable());
  const char* const Items[] = {"所有页面", "奇数页", "偶数页"};
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(Dialog->findChild<QRadioButton*>(QString("rgExtract_%1").arg(I))->text(), QString::fromUtf8(Items[I]));
  EXPECT_TRUE(Dialog->bOK->isDefault());
}

TEST_F(OptionDialog, LoadsEachSettingIntoItsControl) {
  struct Case {
    int32_t Range, Page, From, To;
    int TextType;
    bool RangeChosen;
    int ExtractItem, ListItem;
  } Cases[] = {
      {1, 1, 1, 1, 1, false, 0, 1},    // the defaults of a first start
      {2, 2, 3, 12, 0, true, 1, 0},    // a range, odd pages, content order
      {2, 3, -4, 0, 2, true, 2, 2},    // even pages, positioned; numbers as they are
      {1, 1, 1, 1, 3, false, 0, 3},    // reading order
      {1, 1, 1, 1, 7, false, 0, -1},   // a layout outside the list selects nothing
      {1, 1, 1, 1, 255, false, 0, -1},
  };
  for (const Case& C : Cases) {
    TSettings Settings(Store);
    Settings.Range = static_cast<TPageRange>(C.Range);
    Settings.Page = static_cast<TPageChoice>(C.Page);
    Settings.From = C.From;
    Settings.To = C.To;
    Settings.TextType = static_cast<TTextType>(C.TextType);
    Settings.Header = "H &p";
    Settings.Footer = "\xE7\xAC\xAC &p \xE9\xA1\xB5";  // UTF-8 text
    auto Dialog = Make(Settings);
    SCOPED_TRACE(C.TextType);
    EXPECT_EQ(Dialog->rbPRRange->isChecked(), C.RangeChosen);
    EXPECT_EQ(Dialog->rbPRAll->isChecked(), !C.RangeChosen);
    EXPECT_EQ(Dialog->eBegin->text(), QString::number(C.From));
    EXPECT_EQ(Dialog->eEnd->text(), QString::number(C.To));
    EXPECT_EQ(Dialog->ExtractItemIndex(), C.ExtractItem);
    EXPECT_EQ(Dialog->cbTextType->currentIndex(), C.ListItem);
    EXPECT_EQ(Dialog->eHeader->text(), "H &p");
    EXPECT_EQ(Dialog->eFooter->text(), QString::fromUtf8("第 &p 页"));
  }
}

TEST_F(OptionDialog, RepairSettingChecksItsBox) {
  struct Case {
    int32_t Repair;
    bool Checked;
  } Cases[] = {{1, true}, {0, false}, {2, true}, {-1, true}};
  for (const Case& C : Cases) {
    TSettings Settings(Store);
    Settings.Repair = C.Repair;
    auto Dialog = Make(Settings);
    EXPECT_EQ(Dialog->cbRepair->isChecked(), C.Checked) << C.Repair;
  }
}

// The OCR setting and languages, chosen in the dialog and confirmed, are
// saved and shown again; the list offers the three settings in the names
// table's order, in the dialog's language.
TEST_F(OptionDialog, OCRSettingsRoundTrip) {
  TSettings Settings(Store);
  {
    auto Dialog = Make(Settings);
    ASSERT_EQ(Dialog->cbOCR->count(), 3);
    EXPECT_EQ(Dialog->cbOCR->itemText(1), QString::fromUtf8("识别没有文字的页面"));
    EXPECT_EQ(Dialog->cbOCR->currentIndex(), 1);  // the default: when needed
    EXPECT_EQ(Dialog->eOCRLanguages->text(), "");
    Dialog->cbOCR->setCurrentIndex(2);
    Dialog->eOCRLanguages->setText(" chi_sim ");
    QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  }
  EXPECT_EQ(Store.Values->at("OCR"), "2");
  EXPECT_EQ(Store.Values->at("OCRLanguages"), "chi_sim");
  TSettings Again(Store);
  auto Dialog = Make(Again);
  EXPECT_EQ(Dialog->cbOCR->currentData().toInt(), static_cast<int>(TPDFOCRMode::Always));
  EXPECT_EQ(Dialog->eOCRLanguages->text(), "chi_sim");
}

// The output format, chosen in the dialog, is saved by its name and shown
// again; the list offers the formats in the names table's order.
TEST_F(OptionDialog, FormatRoundTrip) {
  TSettings Settings(Store);
  {
    auto Dialog = Make(Settings);
    ASSERT_EQ(Dialog->cbFormat->count(), static_cast<int>(FormatNames().size()));
    EXPECT_EQ(Dialog->cbFormat->currentData().toInt(), static_cast<int>(TOutputFormat::Text));
    Dialog->cbFormat->setCurrentIndex(Dialog->cbFormat->findData(static_cast<int>(TOutputFormat::Json)));
    QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  }
  EXPECT_EQ(Store.Values->at("Format"), "json");
  TSettings Again(Store);
  EXPECT_EQ(Again.Format, TOutputFormat::Json);
  auto Dialog = Make(Again);
  EXPECT_EQ(Dialog->cbFormat->currentData().toInt(), static_cast<int>(TOutputFormat::Json));
}

// The reading-order layout and the Repair check box, chosen in the dialog,
// confirmed with OK (or cancelled), go to the settings file and come back
// from it into a new dialog.
TEST_F(OptionDialog, ReadingOrderAndRepairRoundTripThroughTheSettingsFile) {
  namespace fs = std::filesystem;
  struct Case {
    const char* Name;
    int TextTypeBefore, RepairBefore;
    int ListItem;     // chosen in the dialog
    bool ClickRepair;  // a click on the check box
    bool Ok;
    int TextTypeAfter, RepairAfter;  // in the file and in a new dialog
  } Cases[] = {
      {"reading order, repair off", 1, 1, 3, true, true, 3, 0},
      {"repair on again", 3, 0, 3, true, true, 3, 1},
      {"reading order, repair kept", 0, 1, 3, false, true, 3, 1},
      {"from reading order to positioned", 3, 0, 2, false, true, 2, 0},
      {"a repair value other than 1 is saved as 1", 1, 5, 1, false, true, 1, 1},
      {"cancelled: the file keeps its values", 1, 1, 3, true, false, 1, 1},
  };
  char Template[] = "/tmp/vorlith-option-XXXXXX";
  const fs::path Dir = ::mkdtemp(Template);
  const std::string File = (Dir / "TextExtractor.ini").string();
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    fs::remove(File);
    {
      TIniSettingsStore Store(File);
      TSettings Settings(Store);
      Settings.TextType = static_cast<TTextType>(C.TextTypeBefore);
      Settings.Repair = C.RepairBefore;
      ASSERT_TRUE(Settings.Save());
    }
    {
      TIniSettingsStore Store(File);
      TSettings Settings(Store);
      auto Dialog = Make(Settings);
      Dialog->show();
      EXPECT_EQ(Dialog->cbTextType->currentIndex(), C.TextTypeBefore);
      Dialog->cbTextType->setCurrentIndex(C.ListItem);
      if (C.ClickRepair) QTest::mouseClick(Dialog->cbRepair, Qt::LeftButton, {}, QPoint(6, Dialog->cbRepair->height() / 2));
      QTest::mouseClick(C.Ok ? Dialog->bOK : Dialog->bCancel, Qt::LeftButton);
      EXPECT_EQ(Dialog->result(), C.Ok ? QDialog::Accepted : QDialog::Rejected);
    }
    TIniSettingsStore Store(File);
    const auto Values = Store.Read();
    ASSERT_TRUE(Values);
    EXPECT_EQ(Values->at("TextType"), std::to_string(C.TextTypeAfter));
    EXPECT_EQ(Values->at("Repair"), std::to_string(C.RepairAfter));
    TSettings Settings(Store);
    auto Dialog = Make(Settings);
    EXPECT_EQ(Dialog->cbTextType->currentIndex(), C.TextTypeAfter);
    EXPECT_EQ(Dialog->cbRepair->isChecked(), C.RepairAfter != 0);
  }
  EXPECT_TRUE(Errors.empty());
  std::error_code Ec;
  fs::remove_all(Dir, Ec);
}

TEST_F(OptionDialog, OutOfRangeValuesRefuseToOpen) {
  struct Case {
    int32_t Range, Page;
    const char* Error;
  } Cases[] = {{0, 1, "INNER ERROR: Error page range type"},
               {3, 1, "INNER ERROR: Error page range type"},
               {1, 0, "INNER ERROR: Error Extract type"},
               {2, 4, "INNER ERROR: Error Extract type"}};
  for (const Case& C : Cases) {
    TSettings Settings(Store);
    Settings.Range = static_cast<TPageRange>(C.Range);
    Settings.Page = static_cast<TPageChoice>(C.Page);
    try {
      Make(Settings);
      ADD_FAILURE() << "no error for Range " << C.Range << ", Page " << C.Page;
    } catch (const EInnerError& E) {
      EXPECT_STREQ(E.what(), C.Error);
    }
  }
}

TEST_F(OptionDialog, EvenPagesItemWritesPageThreeWithTheOtherValues) {
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  Dialog->show();
  auto* Even = Dialog->findChild<QRadioButton*>("rgExtract_2");
  QTest::mouseClick(Even, Qt::LeftButton, {}, QPoint(6, Even->height() / 2));  // on its circle
  Dialog->cbTextType->setCurrentIndex(2);
  Dialog->eHeader->setText(QString::fromUtf8("页 &p"));
  Dialog->eFooter->clear();
  Dialog->eBegin->setText("2");
  Dialog->eEnd->setText("9");
  Dialog->rbPRRange->setChecked(true);
  QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  EXPECT_TRUE(Errors.empty());
  EXPECT_EQ(Dialog->result(), QDialog::Accepted);
  ASSERT_TRUE(Store.Values);
  const std::map<std::string, std::string> Expected = {{"Range", "2"},   {"Page", "3"},  {"From", "2"},
                                                       {"To", "9"},      {"Footer", ""}, {"Header", "\xE9\xA1\xB5 &p"},
                                                       {"TextType", "2"}, {"Repair", "1"}, {"OCR", "1"},
                                                       {"OCRLanguages", ""}, {"Format", "text"}};
  EXPECT_EQ(*Store.Values, Expected);
  EXPECT_EQ(Settings.Page, TPageChoice::Even);
}

TEST_F(OptionDialog, TextTypeSevenIsKeptOnOK) {
  Store.Values = std::map<std::string, std::string>{{"TextType", "7"}};
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  EXPECT_EQ(Dialog->cbTextType->currentIndex(), -1);
  Dialog->show();
  QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  EXPECT_EQ(Dialog->result(), QDialog::Accepted);
  EXPECT_EQ(static_cast<int>(Settings.TextType), 7);
  EXPECT_EQ(Store.Values->at("TextType"), "7");
}

TEST_F(OptionDialog, PageTextThatIsNotAnIntegerKeepsTheDialogOpen) {
  struct Case {
    const char *Begin, *End, *Error;
    int32_t FromAfter;  // From in memory: set when eBegin was read before the error
  } Cases[] = {{"1.5", "3", "'1.5' is not a valid integer value", 1},
               {"2", "", "'' is not a valid integer value", 2},
               {"4", "9.", "'9.' is not a valid integer value", 4},
               {"99999999999", "1", "'99999999999' is not a valid integer value", 1}};
  for (const Case& C : Cases) {
    Errors.clear();
    Store.Values.reset();
    TSettings Settings(Store);
    auto Dialog = Make(Settings);
    Dialog->show();
    Dialog->eBegin->setText(C.Begin);
    Dialog->eEnd->setText(C.End);
    Dialog->SetExtractItemIndex(1);
    QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
    ASSERT_EQ(Errors.size(), 1u) << C.Begin;
    EXPECT_EQ(Errors[0], C.Error);
    EXPECT_TRUE(Dialog->isVisible());
    EXPECT_NE(Dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(Store.Values) << "nothing is saved";
    EXPECT_EQ(Settings.From, C.FromAfter);
    EXPECT_EQ(Settings.Page, TPageChoice::Every);  // not reached
  }
}

TEST_F(OptionDialog, NoExtractItemIsAnInnerErrorOnOK) {
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  Dialog->show();
  Dialog->SetExtractItemIndex(-1);
  QTest::mouseClick(Dialog->bOK, Qt::LeftButton);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "INNER ERROR: Selected extract does not exist!");
  EXPECT_FALSE(Store.Values);
  EXPECT_TRUE(Dialog->isVisible());
}

TEST_F(OptionDialog, CancelAfterEditsChangesNothing) {
  Store.Values = std::map<std::string, std::string>{{"Range", "2"}, {"From", "3"}, {"To", "5"}, {"Header", "h"}};
  const auto Before = Store.Values;
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  Dialog->show();
  Dialog->rbPRAll->setChecked(true);
  Dialog->eBegin->setText("7");
  Dialog->eHeader->setText("changed");
  Dialog->SetExtractItemIndex(2);
  Dialog->cbTextType->setCurrentIndex(0);
  QTest::mouseClick(Dialog->bCancel, Qt::LeftButton);
  EXPECT_EQ(Dialog->result(), QDialog::Rejected);
  EXPECT_EQ(Store.Values, Before);
  EXPECT_EQ(Settings.Range, TPageRange::FromTo);
  EXPECT_EQ(Settings.From, 3);
  EXPECT_EQ(Settings.Header, "h");
  EXPECT_EQ(Settings.Page, TPageChoice::Every);
  EXPECT_EQ(Settings.TextType, TTextType::Reflow);
}

TEST_F(OptionDialog, PageEditsTakeDigitsAndDotOnlyAndChooseTheRange) {
  TSettings Settings(Store);
  auto Dialog = Make(Settings);
  Dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Dialog.get()));
  EXPECT_TRUE(Dialog->rbPRAll->isChecked()) << "the dialog does not open inside a page edit";
  for (QLineEdit* Edit : {Dialog->eBegin, Dialog->eEnd}) {
    Dialog->rbPRAll->setChecked(true);
    Edit->clear();
    QTest::mouseClick(Edit, Qt::LeftButton);  // entering the edit chooses the range
    EXPECT_TRUE(Dialog->rbPRRange->isChecked()) << Edit->objectName().toStdString();
    QTest::keyClicks(Edit, "1a2 -b.3,x");
    EXPECT_EQ(Edit->text(), "12.3");
    QTest::keyClick(Edit, Qt::Key_Backspace);
    QTest::keyClick(Edit, Qt::Key_Backspace);
    EXPECT_EQ(Edit->text(), "12");
  }
  // The header takes every character.
  QTest::keyClicks(Dialog->eHeader, "a-b x");
  EXPECT_EQ(Dialog->eHeader->text(), "a-b x");
}

}  // namespace
