#include "platform/host.h"

#include <unistd.h>

#include <array>

namespace platform {

std::string HostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "unknown";
  return name.data();
}

}  // namespace platform
