#include "app/window/shown_text.h"

namespace window {

QString ShownLine(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString ShownLines(std::string_view text) {
  QString shown = ShownLine(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace window
