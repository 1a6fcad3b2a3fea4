#pragma once
// Creates a dialog's controls from its template: each at its rectangle converted with the
// dialog font's base units, in tab order, with its id as object name ("1001") and as the
// property "controlId". Nothing lays them out again later: resizing moves no control.

#include <map>

#include "window/dialog_units.h"
#include "window/resource_script.h"

class QDialog;
class QWidget;

namespace window {

struct BuiltDialog {
  BaseUnits units;
  std::map<int, QWidget*> controls;  // by id; controls without an id are not listed
};

// The font a template names. The face "MS Shell Dlg" is the platform's dialog font: here the
// application's own font family, at the template's size.
QFont DialogFont(const DialogTemplate& t);

// Sets the dialog's caption, font and client size, and creates its controls.
BuiltDialog BuildDialog(QDialog& dialog, const DialogTemplate& t);

}  // namespace window
