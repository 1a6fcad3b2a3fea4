#include "window/box_lines.h"

#include <QScreen>
#include <QStringList>

namespace window {

namespace {

// Without a screen to measure (never the case with a window shown): wide enough for 80
// average characters of a common font.
constexpr int kWidthWithoutScreen = 560;

}  // namespace

QString FitWordsToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth) {
  QString fitted;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = start;
    while (end < text.size() && !text[end].isSpace()) ++end;
    const QString word = text.mid(start, end - start);
    fitted += metrics.horizontalAdvance(word) > maxWidth ? metrics.elidedText(word, Qt::ElideMiddle, maxWidth)
                                                         : word;
    while (end < text.size() && text[end].isSpace()) fitted += text[end++];
    start = end;
  }
  return fitted;
}

int BoxWordWidthLimit(const QScreen* screen) {
  return screen == nullptr ? kWidthWithoutScreen : screen->availableGeometry().width() / 2;
}

}  // namespace window
