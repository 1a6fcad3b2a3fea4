#include "window/win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace window::win32 {

namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

std::wstring Shown(std::string_view text, bool keepLineBreaks) {
  std::wstring shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      shown += L"\r\n";
    } else if (IsControl(c)) {
      shown += L'?';
    } else {
      shown += static_cast<wchar_t>(c);  // Latin-1: the byte is the code point
    }
  }
  return shown;
}

}  // namespace

std::wstring FromUtf8(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::wstring ShownLine(std::string_view text) {
  return Shown(text, false);
}

std::wstring ShownLines(std::string_view text) {
  return Shown(text, true);
}

}  // namespace window::win32
