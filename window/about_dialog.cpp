#include "window/about_dialog.h"

#include <QPushButton>

#include "window/dialog_builder.h"
#include "window/window_resources.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  const window::DialogTemplate* t = window::DialogResource(window::kAboutDialogId);
  if (t == nullptr) return;
  const window::BuiltDialog built = window::BuildDialog(*this, *t);
  const auto ok = built.controls.find(1);
  if (ok != built.controls.end()) {
    if (auto* button = qobject_cast<QPushButton*>(ok->second))
      connect(button, &QPushButton::clicked, this, &QDialog::accept);
  }
}
