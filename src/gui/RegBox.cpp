// The About box.
#include "RegBox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiUtility.h"
#include "Images.h"
#include "Shell.h"

TfrmRegBox::TfrmRegBox(QWidget* Parent, QString PageAddress, TOpener Opener)
    : QDialog(Parent), FPage(std::move(PageAddress)), FOpener(std::move(Opener)) {
  setObjectName("frmRegBox");
  setWindowTitle(tr("About"));
  if (!FOpener) FOpener = [](const QString& Target) { ShellOpen(Target); };

  // The white band: logo, name, version and link.
  auto* Band = new QWidget(this);
  Band->setObjectName("pBand");
  Band->setAutoFillBackground(true);
  QPalette White = Band->palette();
  White.setColor(QPalette::Window, Qt::white);
  Band->setPalette(White);

  Image1 = new QLabel(Band);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(128, 128);
  Image1->setPixmap(LogoPixmap(128));

  auto* Title = new QLabel(QString::fromUtf8(ApplicationTitle), Band);
  Title->setObjectName("lTitle");
  QFont Bold = Title->font();
  Bold.setBold(true);
  Bold.setPointSizeF(Bold.pointSizeF() * 1.4);
  Title->setFont(Bold);

  int Major = 0, Minor = 0, Release = 0, Build = 0;
  GetFileVersion(Major, Minor, Release, Build);
  auto* VersionCaption = new QLabel(tr("Version:"), Band);
  VersionCaption->setObjectName("lVersionCaption");
  lVersion = new QLabel(QString::asprintf("%d.%d.%d", Major, Minor, Release), Band);
  lVersion->setObjectName("lVersion");

  lLink = new QLabel(Band);
  lLink->setObjectName("lLink");
  lLink->setTextFormat(Qt::RichText);
  lLink->setText("<a href=\"open\" style=\"color: navy; text-decoration: underline;\">" +
                 tr("Vorlith Text Extractor manual").toHtmlEscaped() + "</a>");
  lLink->setCursor(Qt::PointingHandCursor);
  lLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  connect(lLink, &QLabel::linkActivated, this, [this] { FOpener(FPage); });

  auto* Version = new QHBoxLayout;
  Version->addWidget(VersionCaption);
  Version->addWidget(lVersion);
  Version->addStretch();
  auto* Texts = new QVBoxLayout;
  Texts->addWidget(Title);
  Texts->addLayout(Version);
  Texts->addWidget(lLink);
  Texts->addStretch();
  auto* BandLayout = new QHBoxLayout(Band);
  BandLayout->addWidget(Image1);
  BandLayout->addSpacing(12);
  BandLayout->addLayout(Texts);

  auto* Line = new QFrame(this);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);

  // The panel of buttons.
  pReg = new QWidget(this);
  pReg->setObjectName("pReg");
  bOnline = new QPushButton(tr("&Read Me"), pReg);
  bOnline->setObjectName("bOnline");
  connect(bOnline, &QPushButton::clicked, this, [this] { FOpener(FPage); });
  Button1 = new QPushButton(tr("&Close"), pReg);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  auto* Panel = new QHBoxLayout(pReg);
  Panel->addWidget(bOnline);
  Panel->addStretch();
  Panel->addWidget(Button1);
  pReg->setEnabled(true);
  pReg->setVisible(true);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(Band);
  Layout->addWidget(Line);
  Layout->addWidget(pReg);
  // Sized to its contents, and not resizable.
  Layout->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  CenterForm(*this);
}
