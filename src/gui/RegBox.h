// The About box.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QWidget;

// A fixed-size dialog: the logo Image1, the product's name, "版本:" with the
// version lVersion ("%d.%d.%d" of the build), a link to the project's page,
// and in the panel pReg the buttons Button1 (close) and bOnline (the page).
// On the GUI thread only, as every Qt widget.
class TfrmRegBox : public QDialog {
  Q_OBJECT
 public:
  // Opens an address; by default the desktop's (ShellOpen).
  using TOpener = std::function<void(const QString&)>;
  TfrmRegBox(QWidget* Parent, QString PageAddress, TOpener Opener = {});

  QLabel* Image1;
  QLabel* lVersion;
  QLabel* lLink;
  QWidget* pReg;
  QPushButton* Button1;
  QPushButton* bOnline;

 private:
  QString FPage;
  TOpener FOpener;
};
