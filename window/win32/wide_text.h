#pragma once
// Text as the Windows controls take it (UTF-16). The layout's texts are UTF-8; texts from
// workflows, devices and catalogue files are bytes, one byte to one character (Latin-1), with
// every control character shown as "?", as the other front ends show them.

#include <string>
#include <string_view>

namespace window::win32 {

std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

// One line: a status line, a log line.
std::wstring ShownLine(std::string_view text);
// A message box text: "\r\n" and "\n" become the box's line breaks ("\r\n").
std::wstring ShownLines(std::string_view text);

}  // namespace window::win32
