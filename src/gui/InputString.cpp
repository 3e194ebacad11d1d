// The single-line text prompt.
#include "InputString.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "GuiUtility.h"

TFrmInputString::TFrmInputString(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmInputString");
  lblMsg = new QLabel(this);
  lblMsg->setObjectName("lblMsg");
  lblMsg->setTextFormat(Qt::PlainText);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName("Edit1");
  Edit1->setFixedWidth(401);
  bOk = new QPushButton(tr("&OK"), this);
  bOk->setObjectName("bOk");
  bOk->setDefault(true);
  bCancel = new QPushButton(tr("&Cancel"), this);
  bCancel->setObjectName("bCancel");
  connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(bOk);
  Buttons->addWidget(bCancel);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(9, 9, 9, 9);
  Layout->addWidget(lblMsg);
  Layout->addWidget(Edit1);
  Layout->addLayout(Buttons);
  setFixedSize(sizeHint().expandedTo(QSize(419, 100)));
  CenterForm(*this);
}

bool ShowInputString(QString& Value, const QString& Prompt, const QString& Initial, bool Masked,
                     const QString& Caption, QWidget* Parent) {
  TFrmInputString Form(Parent);
  Form.setWindowTitle(Caption);
  Form.Edit1->setEchoMode(Masked ? QLineEdit::Password : QLineEdit::Normal);
  // The mask character is "*" whatever the style's own.
  Form.Edit1->setStyleSheet(Masked ? "QLineEdit { lineedit-password-character: 42; }" : "");
  Form.Edit1->setText(Initial);
  Form.lblMsg->setText(Prompt);
  const bool Ok = Form.exec() == QDialog::Accepted;
  Value = Form.Edit1->text();
  return Ok;
}
