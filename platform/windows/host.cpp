#include "platform/host.h"

#include <array>

#include "platform/windows/windows_api.h"

namespace platform {

std::string HostName() {
  // The DNS host name, as the POSIX side gives it; NetBIOS names are upper-case and shortened.
  std::array<char, 256> name{};
  DWORD size = static_cast<DWORD>(name.size() - 1);
  if (!::GetComputerNameExA(ComputerNameDnsHostname, name.data(), &size) || name[0] == '\0') return "unknown";
  return name.data();
}

}  // namespace platform
