#include "platform/host.h"

#include <array>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

std::string HostName() {
  // The DNS host name, as the POSIX side gives it; NetBIOS names are upper-case and shortened.
  // Asked for in wide text: the narrow call gives it in the ANSI code page, not UTF-8.
  std::array<wchar_t, 256> name{};
  auto size = static_cast<DWORD>(name.size() - 1);
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size) || name[0] == L'\0')
    return "unknown";
  const std::string text = win::Narrow(std::wstring_view(name.data(), size));
  return text.empty() ? "unknown" : text;
}

}  // namespace platform
