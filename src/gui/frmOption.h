// The options dialog: shows the settings and stores the user's changes.
#pragma once

#include <QDialog>

#include <functional>

#include "Names.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TSettings;
class TTextCodec;

// A fixed-size dialog over one TSettings (which must outlive it). The
// constructor loads the controls from the settings and throws EInnerError for
// a Range or Page outside their values (the dialog is then not shown). OK
// stores the controls into the settings and saves them; an error on the way
// (a page text that is not an integer, ...) goes to ShowError and keeps the
// dialog open.
// On the GUI thread only, as every Qt widget.
class TfrmOption : public QDialog {
  Q_OBJECT
 public:
  using TErrorHandler = std::function<void(const QString&)>;
  // Codec converts the header and footer lines; ShowError defaults to a
  // message box.
  TfrmOption(TSettings& Settings, const TTextCodec& Codec, QWidget* Parent = nullptr,
             TErrorHandler ShowError = {});

  void LoadFromSettings();
  // The caption of a layout in the dialog's language.
  static QString LayoutCaption(TTextType Layout);
  // The caption of an OCR setting in the dialog's language.
  static QString OCRCaption(TPDFOCRMode Mode);
  static QString FormatCaption(TOutputFormat Format);
  // Throws on a page text that is not an integer, and EInnerError when no
  // item of rgExtract is selected.
  void SaveToSettings();

  // The selected item of rgExtract, -1 for none; and selecting one (-1 clears).
  int ExtractItemIndex() const;
  void SetExtractItemIndex(int Index);

  QGroupBox* GroupBox1;
  QRadioButton* rbPRAll;
  QRadioButton* rbPRRange;
  QLineEdit* eBegin;
  QLabel* Label1;
  QLineEdit* eEnd;
  QGroupBox* rgExtract;
  QGroupBox* GroupBox2;
  QLineEdit* eHeader;
  QLineEdit* eFooter;
  QComboBox* cbTextType;
  // The Repair setting: checked rebuilds damaged files, unchecked refuses them.
  QCheckBox* cbRepair;
  // The OCR setting (items hold the codes of never, when needed, always)
  // and Tesseract's languages (empty: the installed ones of eng and
  // chi_sim, which the edit shows greyed).
  QComboBox* cbOCR;
  QComboBox* cbFormat;
  QLineEdit* eOCRLanguages;
  QPushButton* bOK;
  QPushButton* bCancel;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void bOKClick();

  TSettings& FSettings;
  const TTextCodec& FCodec;
  TErrorHandler FShowError;
  QButtonGroup* FExtractItems;
};

// A page edit's text as a decimal integer, as the platform's conversion reads
// it (surrounding spaces allowed, a sign, no other character); throws
// std::invalid_argument with the text "'TEXT' is not a valid integer value"
// otherwise.
int32_t StrToInt(const QString& Text);
