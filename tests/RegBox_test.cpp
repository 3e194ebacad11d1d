// The About box: version, logo, buttons and link.
#include "RegBox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

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
