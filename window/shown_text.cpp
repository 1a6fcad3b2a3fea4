#include "window/shown_text.h"

namespace window {

namespace {

// Control characters (C0, DEL and C1) from a device or a catalogue would move, hide or
// garble what a label or a box shows: each becomes "?", as the terminal front end shows them.
bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

QString Shown(std::string_view text, bool keepLineBreaks) {
  QString shown;
  shown.reserve(static_cast<qsizetype>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      shown += QLatin1Char('\n');
    } else if (IsControl(c)) {
      shown += QLatin1Char('?');
    } else {
      shown += QChar(c);  // Latin-1: the byte is the code point
    }
  }
  return shown;
}

}  // namespace

QString ShownLine(std::string_view text) {
  return Shown(text, false);
}

QString ShownLines(std::string_view text) {
  return Shown(text, true);
}

}  // namespace window
