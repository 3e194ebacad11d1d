// The options dialog.
#include "frmOption.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <stdexcept>

#include "GuiUtility.h"
#include "Names.h"
#include "main.h"
#include "option.h"

int32_t StrToInt(const QString& Text) {
  bool Ok = false;
  const int32_t Value = Text.trimmed().toInt(&Ok, 10);
  if (!Ok) throw std::invalid_argument(("'" + Text + "' is not a valid integer value").toStdString());
  return Value;
}

TfrmOption::TfrmOption(TSettings& Settings, const TTextCodec& Codec, QWidget* Parent, TErrorHandler ShowError)
    : QDialog(Parent), FSettings(Settings), FCodec(Codec), FShowError(std::move(ShowError)) {
  setObjectName("frmOption");
  setWindowTitle(tr("Options"));
  if (!FShowError)
    FShowError = [this](const QString& Text) { QMessageBox::critical(this, QString::fromUtf8(ApplicationTitle), Text); };

  // Page range.
  GroupBox1 = new QGroupBox(tr("Page Range"), this);
  GroupBox1->setObjectName("GroupBox1");
  rbPRAll = new QRadioButton(tr("All pages"), GroupBox1);
  rbPRAll->setObjectName("rbPRAll");
  rbPRRange = new QRadioButton(tr("Pages"), GroupBox1);
  rbPRRange->setObjectName("rbPRRange");
  eBegin = new QLineEdit(GroupBox1);
  eBegin->setObjectName("eBegin");
  Label1 = new QLabel(tr("to"), GroupBox1);
  Label1->setObjectName("Label1");
  eEnd = new QLineEdit(GroupBox1);
  eEnd->setObjectName("eEnd");
  for (QLineEdit* Edit : {eBegin, eEnd}) {
    Edit->setFixedWidth(60);
    Edit->installEventFilter(this);
  }
  auto* RangeRow = new QHBoxLayout;
  RangeRow->addWidget(rbPRRange);
  RangeRow->addWidget(eBegin);
  RangeRow->addWidget(Label1);
  RangeRow->addWidget(eEnd);
  RangeRow->addStretch();
  auto* RangeLayout = new QVBoxLayout(GroupBox1);
  RangeLayout->addWidget(rbPRAll);
  RangeLayout->addLayout(RangeRow);

  // Which pages of the range.
  rgExtract = new QGroupBox(tr("Extract"), this);
  rgExtract->setObjectName("rgExtract");
  FExtractItems = new QButtonGroup(this);
  auto* ExtractLayout = new QVBoxLayout(rgExtract);
  const QString Items[] = {tr("All pages", "rgExtract"), tr("Odd pages"), tr("Even pages")};
  for (int I = 0; I < 3; ++I) {
    auto* Item = new QRadioButton(Items[I], rgExtract);
    Item->setObjectName(QString("rgExtract_%1").arg(I));
    FExtractItems->addButton(Item, I);
    ExtractLayout->addWidget(Item);
  }

  // Header, footer and layout.
  GroupBox2 = new QGroupBox(tr("Page"), this);
  GroupBox2->setObjectName("GroupBox2");
  auto* Label2 = new QLabel(tr("Header:"), GroupBox2);
  Label2->setObjectName("Label2");
  eHeader = new QLineEdit(GroupBox2);
  eHeader->setObjectName("eHeader");
  auto* Label3 = new QLabel(tr("Footer:"), GroupBox2);
  Label3->setObjectName("Label3");
  eFooter = new QLineEdit(GroupBox2);
  eFooter->setObjectName("eFooter");
  auto* Label4 = new QLabel(tr("Layout:"), GroupBox2);
  Label4->setObjectName("Label4");
  cbTextType = new QComboBox(GroupBox2);
  cbTextType->setObjectName("cbTextType");
  // One item per layout of the names table, in its order, holding its code.
  for (const auto& Layout : LayoutNames()) cbTextType->addItem(LayoutCaption(Layout.Value), static_cast<int>(Layout.Value));
  cbRepair = new QCheckBox(tr("Repair damaged files"), GroupBox2);
  cbRepair->setObjectName("cbRepair");
  auto* Label5 = new QLabel(tr("Text in images:"), GroupBox2);
  Label5->setObjectName("Label5");
  cbOCR = new QComboBox(GroupBox2);
  cbOCR->setObjectName("cbOCR");
  for (const auto& Mode : OCRModeNames()) cbOCR->addItem(OCRCaption(Mode.Value), static_cast<int>(Mode.Value));
  auto* Label6 = new QLabel(tr("OCR languages:"), GroupBox2);
  Label6->setObjectName("Label6");
  eOCRLanguages = new QLineEdit(GroupBox2);
  eOCRLanguages->setObjectName("eOCRLanguages");
  eOCRLanguages->setPlaceholderText(QString::fromStdString(DefaultOCRLanguages()));
  auto* Label7 = new QLabel(tr("Format:"), GroupBox2);
  Label7->setObjectName("Label7");
  cbFormat = new QComboBox(GroupBox2);
  cbFormat->setObjectName("cbFormat");
  for (const auto& Format : FormatNames()) cbFormat->addItem(FormatCaption(Format.Value), static_cast<int>(Format.Value));
  auto* PageLayout = new QGridLayout(GroupBox2);
  PageLayout->addWidget(Label2, 0, 0);
  PageLayout->addWidget(eHeader, 0, 1);
  PageLayout->addWidget(Label3, 1, 0);
  PageLayout->addWidget(eFooter, 1, 1);
  PageLayout->addWidget(Label4, 2, 0);
  PageLayout->addWidget(cbTextType, 2, 1);
  PageLayout->addWidget(cbRepair, 3, 1);
  PageLayout->addWidget(Label5, 4, 0);
  PageLayout->addWidget(cbOCR, 4, 1);
  PageLayout->addWidget(Label6, 5, 0);
  PageLayout->addWidget(eOCRLanguages, 5, 1);
  PageLayout->addWidget(Label7, 6, 0);
  PageLayout->addWidget(cbFormat, 6, 1);

  bOK = new QPushButton(tr("&OK"), this);
  bOK->setObjectName("bOK");
  bOK->setDefault(true);
  bCancel = new QPushButton(tr("&Cancel"), this);
  bCancel->setObjectName("bCancel");
  connect(bOK, &QPushButton::clicked, this, [this] { bOKClick(); });
  connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* Top = new QHBoxLayout;
  Top->addWidget(GroupBox1, 3);
  Top->addWidget(rgExtract, 2);
  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(bOK);
  Buttons->addWidget(bCancel);
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Top);
  Layout->addWidget(GroupBox2);
  Layout->addLayout(Buttons);
  setFixedSize(sizeHint().expandedTo(QSize(451, 340)));
  // The dialog opens with the range choice focused, so that it does not
  // start inside a page edit (which would choose the range).
  rbPRAll->setFocus();

  CenterForm(*this);
  LoadFromSettings();
}

int TfrmOption::ExtractItemIndex() const { return FExtractItems->checkedId(); }

void TfrmOption::SetExtractItemIndex(int Index) {
  if (Index < 0) {
    // An exclusive group keeps one button checked; let go of it for a moment.
    FExtractItems->setExclusive(false);
    for (QAbstractButton* Button : FExtractItems->buttons()) Button->setChecked(false);
    FExtractItems->setExclusive(true);
    return;
  }
  FExtractItems->button(Index)->setChecked(true);
}

QString TfrmOption::LayoutCaption(TTextType Layout) {
  switch (Layout) {
    case TTextType::Content: return tr("Content order");
    case TTextType::Reflow: return tr("Reflow");
    case TTextType::Positioned: return tr("Positioned");
    case TTextType::Reading: return tr("Reading order");
  }
  return QString::fromUtf8(NameOf(Layout));
}

QString TfrmOption::FormatCaption(TOutputFormat Format) {
  switch (Format) {
    case TOutputFormat::Text: return tr("Text with header and footer");
    case TOutputFormat::Plain: return tr("Plain text");
    case TOutputFormat::Json: return tr("JSON with word boxes");
    case TOutputFormat::Markdown: return tr("Markdown");
  }
  return QString::fromUtf8(NameOf(Format));
}

QString TfrmOption::OCRCaption(TPDFOCRMode Mode) {
  switch (Mode) {
    case TPDFOCRMode::Never: return tr("Never read");
    case TPDFOCRMode::Auto: return tr("Read pages without text");
    case TPDFOCRMode::Always: return tr("Always read");
  }
  return QString::fromUtf8(NameOf(Mode));
}

void TfrmOption::LoadFromSettings() {
  switch (FSettings.Range) {
    case TPageRange::All: rbPRAll->setChecked(true); break;
    case TPageRange::FromTo: rbPRRange->setChecked(true); break;
    default: throw EInnerError("INNER ERROR: Error page range type");
  }
  eBegin->setText(QString::number(FSettings.From));
  eEnd->setText(QString::number(FSettings.To));
  const int32_t Page = static_cast<int32_t>(FSettings.Page);
  if (Page < 1 || Page > 3) throw EInnerError("INNER ERROR: Error Extract type");
  SetExtractItemIndex(Page - 1);
  eFooter->setText(FCodec.ToQ(FSettings.Footer));
  eHeader->setText(FCodec.ToQ(FSettings.Header));
  // A stored number without a layout selects no item.
  cbTextType->setCurrentIndex(cbTextType->findData(static_cast<int>(FSettings.TextType)));
  cbRepair->setChecked(FSettings.Repair != 0);
  cbOCR->setCurrentIndex(cbOCR->findData(static_cast<int>(FSettings.OCR)));
  eOCRLanguages->setText(QString::fromStdString(FSettings.OCRLanguages));
  cbFormat->setCurrentIndex(cbFormat->findData(static_cast<int>(FSettings.Format)));
}

void TfrmOption::SaveToSettings() {
  FSettings.From = StrToInt(eBegin->text());
  FSettings.To = StrToInt(eEnd->text());
  FSettings.Range = rbPRAll->isChecked() ? TPageRange::All : TPageRange::FromTo;
  const int Item = ExtractItemIndex();
  if (Item < 0) throw EInnerError("INNER ERROR: Selected extract does not exist!");
  FSettings.Page = static_cast<TPageChoice>(Item + 1);
  FSettings.Footer = FCodec.FromQ(eFooter->text());
  FSettings.Header = FCodec.FromQ(eHeader->text());
  if (cbTextType->currentIndex() >= 0) FSettings.TextType = static_cast<TTextType>(cbTextType->currentData().toInt());
  FSettings.Repair = cbRepair->isChecked() ? 1 : 0;
  if (cbOCR->currentIndex() >= 0) FSettings.OCR = static_cast<TPDFOCRMode>(cbOCR->currentData().toInt());
  FSettings.OCRLanguages = eOCRLanguages->text().trimmed().toStdString();
  if (cbFormat->currentIndex() >= 0) FSettings.Format = static_cast<TOutputFormat>(cbFormat->currentData().toInt());
  if (!FSettings.Save()) throw std::runtime_error("Can not save the settings.");
}

void TfrmOption::bOKClick() {
  try {
    SaveToSettings();
    accept();
  } catch (const std::exception& E) {
    FShowError(QString::fromStdString(E.what()));
  }
}

bool TfrmOption::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == eBegin || Watched == eEnd) {
    if (Event->type() == QEvent::FocusIn) {
      rbPRRange->setChecked(true);
    } else if (Event->type() == QEvent::KeyPress) {
      // Typed characters other than digits and "." are dropped; control
      // characters (backspace, enter, and keys that type nothing) go on.
      const QString Text = static_cast<QKeyEvent*>(Event)->text();
      if (Text.size() == 1) {
        const QChar C = Text[0];
        const bool Allowed = (C >= '0' && C <= '9') || C == '.' || C.unicode() < 0x20 || C.unicode() == 0x7f;
        if (!Allowed) return true;
      } else if (Text.size() > 1) {
        return true;
      }
    }
  }
  return QDialog::eventFilter(Watched, Event);
}
