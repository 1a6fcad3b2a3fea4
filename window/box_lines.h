#pragma once
// The informative text of a message box, fitted to the screen. The box wraps its lines at
// blanks, but a word wider than the box may be (a long file name, a deep device path) would
// widen the box past the screen: such a word loses its middle, so both its start and its end,
// where a file name holds its version, stay in sight. Everything else stays as it is.

#include <QFontMetrics>
#include <QString>

class QScreen;

namespace window {

// `text` with every word (blank-separated) no wider than `maxWidth` pixels in `metrics`.
QString FitWordsToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth);

// The widest a word of a box's text may be on `screen`: half its available width, so the box with
// its icon, margins and frame stays on the screen.
int BoxWordWidthLimit(const QScreen* screen);

}  // namespace window
