#include "platform/windows/wide_text.h"

#include <climits>

namespace platform::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(utf8.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  const int made = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
  wide.resize(made > 0 ? static_cast<std::size_t>(made) : 0);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string utf8(static_cast<std::size_t>(needed), '\0');
  const int made =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
  utf8.resize(made > 0 ? static_cast<std::size_t>(made) : 0);
  return utf8;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (n > 0 && text != nullptr) message = Narrow(std::wstring_view(text, n));
  if (text != nullptr) ::LocalFree(text);
  // The system ends its messages with a full stop and a line end; the loader's lines go on.
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "error " + std::to_string(error);
  return message;
}

}  // namespace platform::win
