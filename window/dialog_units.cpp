#include "window/dialog_units.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <limits>

namespace window {

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const std::int64_t magnitude = product < 0 ? -product : product;
  const std::int64_t divisor = denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
  const std::int64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(negative ? -quotient : quotient);
}

BaseUnits BaseUnitsOf(const QFont& font) {
  static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const QFontMetrics metrics(font);
  // The width of the 52 letters over 26, halved with rounding: their average width.
  const int width = metrics.horizontalAdvance(kLetters);
  return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const DuRect& rect, BaseUnits base) {
  return {MulDiv(rect.x, base.x, 4), MulDiv(rect.y, base.y, 8), MulDiv(rect.width, base.x, 4),
          MulDiv(rect.height, base.y, 8)};
}

}  // namespace window
