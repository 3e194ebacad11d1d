// The single-line text prompt (used for passwords).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// A fixed-size dialog: the prompt lblMsg, the edit Edit1, the default button
// bOk and bCancel. Closing it with the close box counts as Cancel.
// On the GUI thread only, as every Qt widget.
class TFrmInputString : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmInputString(QWidget* Parent = nullptr);

  QLabel* lblMsg;
  QLineEdit* Edit1;
  QPushButton* bOk;
  QPushButton* bCancel;
};

// Shows the prompt modally with Caption, the text Prompt and Initial in the
// edit, masked with "*" when Masked. True when closed with OK; Value gets the
// edit's text in every case, after Cancel too.
bool ShowInputString(QString& Value, const QString& Prompt, const QString& Initial, bool Masked,
                     const QString& Caption, QWidget* Parent = nullptr);
