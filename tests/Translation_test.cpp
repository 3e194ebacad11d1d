// The window's language: English and Chinese captions of the main window and
// its dialogs by locale, and which locales are Chinese.
#include "Translation.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLibraryInfo>
#include <QLabel>

#include <filesystem>
#include <map>

#include "GuiTestSupport.h"
#include "GuiUtility.h"
#include "InputString.h"
#include "RegBox.h"
#include "SettingsStore.h"
#include "frmMain.h"
#include "frmOption.h"
#include "option.h"

namespace {

TEST(Translation, ChineseLocalesAreTheChineseOnes) {
  struct Case {
    QLocale Locale;
    bool Chinese;
  } Cases[] = {
      {QLocale(QLocale::Chinese, QLocale::China), true},   {QLocale("zh_TW"), true},
      {QLocale("zh_HK"), true},                            {QLocale("zh"), true},
      {QLocale(QLocale::English, QLocale::UnitedStates), false},
      {QLocale("en_GB"), false},                           {QLocale("de_DE"), false},
      {QLocale("ja_JP"), false},                           {QLocale::c(), false},
  };
  for (const Case& C : Cases) EXPECT_EQ(IsChineseLocale(C.Locale), C.Chinese) << C.Locale.name().toStdString();
}

// The caption of each named object of Root (its window title under "").
std::map<QString, QString> Captions(QObject& Root) {
  std::map<QString, QString> Texts;
  if (auto* W = qobject_cast<QWidget*>(&Root)) Texts[""] = W->windowTitle();
  for (QObject* O : Root.findChildren<QObject*>()) {
    if (O->objectName().isEmpty()) continue;
    if (auto* A = qobject_cast<QAction*>(O)) Texts[O->objectName()] = A->text();
    else if (auto* B = qobject_cast<QAbstractButton*>(O)) Texts[O->objectName()] = B->text();
    else if (auto* G = qobject_cast<QGroupBox*>(O)) Texts[O->objectName()] = G->title();
    else if (auto* L = qobject_cast<QLabel*>(O)) Texts[O->objectName()] = L->text();
    else if (auto* List = qobject_cast<QComboBox*>(O))
      for (int I = 0; I < List->count(); ++I) Texts[O->objectName() + QString("[%1]").arg(I)] = List->itemText(I);
  }
  return Texts;
}

struct TCaption {
  const char *Form, *Name, *English, *Chinese;
};

// Every caption of the window and its dialogs in both languages; the Chinese
// ones are the captions the window has always had.
const TCaption CaptionTable[] = {
    {"frmMain", "", "Vorlith Text Extractor", "Vorlith Text Extractor"},
    {"frmMain", "aOpenFile", "&Open...", "打开(&O)..."},
    {"frmMain", "aOption", "O&ptions", "选项(&P)"},
    {"frmMain", "aExtract", "&Extract Text", "提取文本(&E)"},
    {"frmMain", "aStop", "&Stop", "停止(&S)"},
    {"frmMain", "aHelp", "&Help", "帮助(&H)"},
    {"frmMain", "aAbout", "&About...", "关于(&A)..."},
    {"frmMain", "aMoreTools", "More Tools", "更多工具"},
    {"frmOption", "", "Options", "选项"},
    {"frmOption", "GroupBox1", "Page Range", "页面范围"},
    {"frmOption", "rbPRAll", "All pages", "提取所有页面"},
    {"frmOption", "rbPRRange", "Pages", "页面"},
    {"frmOption", "Label1", "to", "至"},
    {"frmOption", "rgExtract", "Extract", "提取 "},
    {"frmOption", "rgExtract_0", "All pages", "所有页面"},
    {"frmOption", "rgExtract_1", "Odd pages", "奇数页"},
    {"frmOption", "rgExtract_2", "Even pages", "偶数页"},
    {"frmOption", "GroupBox2", "Page", "页面"},
    {"frmOption", "Label2", "Header:", "标题:"},
    {"frmOption", "Label3", "Footer:", "页脚:"},
    {"frmOption", "Label4", "Layout:", "提取类型:"},
    {"frmOption", "cbTextType[0]", "Content order", "在 PDF 命令中的应用"},
    {"frmOption", "cbTextType[1]", "Reflow", "智能重排"},
    {"frmOption", "cbTextType[2]", "Positioned", "位置"},
    {"frmOption", "cbTextType[3]", "Reading order", "阅读顺序"},
    {"frmOption", "cbRepair", "Repair damaged files", "修复损坏的文件"},
    {"frmOption", "bOK", "&OK", "确定(&O)"},
    {"frmOption", "bCancel", "&Cancel", "取消(&C)"},
    {"frmRegBox", "", "About", "关于"},
    {"frmRegBox", "lTitle", "Vorlith Text Extractor", "Vorlith Text Extractor"},
    {"frmRegBox", "lVersionCaption", "Version:", "版本:"},
    {"frmRegBox", "bOnline", "&Read Me", "说明文件(&R)"},
    {"frmRegBox", "Button1", "&Close", "关闭(&C)"},
    {"FrmInputString", "bOk", "&OK", "确定(&O)"},
    {"FrmInputString", "bCancel", "&Cancel", "取消(&C)"},
};

TEST(Translation, WindowAndDialogsReadInTheLocalesLanguage) {
  namespace fs = std::filesystem;
  struct Case {
    QLocale Locale;
    bool Chinese;
  } Cases[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), false},
      {QLocale(QLocale::Chinese, QLocale::China), true},
      {QLocale(QLocale::German, QLocale::Germany), false},
      {QLocale("zh_TW"), true},
  };
  char Template[] = "/tmp/vorlith-i18n-XXXXXX";
  const fs::path Dir = ::mkdtemp(Template);
  TIniSettingsStore Store((Dir / "TextExtractor.ini").string());
  TSettings Settings(Store);
  TTextCodec Codec("UTF-8");
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Locale.name().toStdString());
    TLanguage Language(C.Locale);
    TfrmMain Main(Settings);
    TfrmOption Option(Settings, Codec);
    TfrmRegBox About(nullptr, "/doc/README.md", [](const QString&) {});
    TFrmInputString Prompt;
    std::map<std::string, std::map<QString, QString>> Forms = {{"frmMain", Captions(Main)},
                                                                {"frmOption", Captions(Option)},
                                                                {"frmRegBox", Captions(About)},
                                                                {"FrmInputString", Captions(Prompt)}};
    for (const TCaption& Row : CaptionTable) {
      const auto& Texts = Forms[Row.Form];
      auto It = Texts.find(Row.Name);
      ASSERT_NE(It, Texts.end()) << Row.Form << " " << Row.Name;
      EXPECT_EQ(It->second, QString::fromUtf8(C.Chinese ? Row.Chinese : Row.English)) << Row.Form << " " << Row.Name;
    }
    // The link's text, and the file dialogs' filters (the same in both languages).
    EXPECT_TRUE(About.lLink->text().contains(C.Chinese ? QString::fromUtf8("Vorlith Text Extractor 说明")
                                                       : QString("Vorlith Text Extractor manual")));
    EXPECT_EQ(Main.odOpen->nameFilters(), QStringList({"PDF File (*.pdf)", "All File (*)"}));
    EXPECT_EQ(Main.sdSave->nameFilters(), QStringList({"Text File (*.txt)", "All File (*)"}));
  }
  // Back to the tests' default: Chinese.
  TfrmOption Option(Settings, Codec);
  EXPECT_EQ(Option.windowTitle(), QString::fromUtf8("选项"));
  std::error_code Ec;
  fs::remove_all(Dir, Ec);
}

TEST(Translation, EnglishReplacesAnInstalledTranslationAndChineseComesBack) {
  // Installing twice does not stack translators: English after Chinese shows
  // the source texts, Chinese after English the Chinese ones.
  ASSERT_TRUE(InstallTranslation(QLocale(QLocale::Chinese, QLocale::China)));
  ASSERT_TRUE(InstallTranslation(QLocale(QLocale::Chinese, QLocale::China)));
  EXPECT_EQ(TfrmMain::tr("&Stop"), QString::fromUtf8("停止(&S)"));
  ASSERT_TRUE(InstallTranslation(QLocale(QLocale::English, QLocale::UnitedStates)));
  EXPECT_EQ(TfrmMain::tr("&Stop"), "&Stop");
  ASSERT_TRUE(InstallTranslation(DefaultTestLocale()));
  EXPECT_EQ(TfrmMain::tr("&Stop"), QString::fromUtf8("停止(&S)"));
}

// Qt's own texts (message box buttons, file dialogs) follow the language
// too, from Qt's catalog; English puts them back.
TEST(Translation, QtsOwnTextsFollowTheLanguage) {
  if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm"))
    GTEST_SKIP() << "Qt's catalogs (qt6-translations-l10n) are not installed";
  ASSERT_TRUE(InstallTranslation(QLocale(QLocale::Chinese, QLocale::China)));
  EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), "File &name:");
  ASSERT_TRUE(InstallTranslation(QLocale(QLocale::English, QLocale::UnitedStates)));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
  ASSERT_TRUE(InstallTranslation(DefaultTestLocale()));
}

}  // namespace
