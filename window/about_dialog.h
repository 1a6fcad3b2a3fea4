#pragma once
// The about box (template 100): the icon, the name and version, one line about the program,
// and OK.

#include <QDialog>

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
