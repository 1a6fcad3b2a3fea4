#pragma once
// Text from workflows, devices and catalogue files as the window shows it. Those texts are
// bytes, one byte to one character (Latin-1); they become QStrings here and nowhere else, with
// every control character shown as "?".

#include <QString>
#include <string_view>

namespace window {

// One line: a status line, a log line.
QString ShownLine(std::string_view text);
// A message box text: "\r\n" and "\n" are its line breaks.
QString ShownLines(std::string_view text);

}  // namespace window
