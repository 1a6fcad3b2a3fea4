#pragma once
// Dialog units to pixels, the way dialog templates are laid out: one horizontal unit is a
// quarter of the dialog font's average character width, one vertical unit an eighth of its
// height, so the window follows the font and the screen.

#include <QRect>

#include "window/resource_script.h"

class QFont;

namespace window {

struct BaseUnits {
  int x = 0;  // average width of the letters A-Z a-z, pixels
  int y = 0;  // font height, pixels
};

// number * numerator / denominator with a 64-bit intermediate, rounded half away from zero;
// -1 when the denominator is 0 or the result does not fit an int.
int MulDiv(int number, int numerator, int denominator);

BaseUnits BaseUnitsOf(const QFont& font);

// x_px = MulDiv(x, base.x, 4), y_px = MulDiv(y, base.y, 8), and the same for the size.
QRect DialogUnitsToPixels(const DuRect& rect, BaseUnits base);

}  // namespace window
