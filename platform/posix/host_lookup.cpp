#include "platform/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace platform {

HostAddresses ResolveHost(const std::string& host) {
  HostAddresses found;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (status != 0) {
    found.error = status == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(status);
    return found;
  }
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    const void* bytes = nullptr;
    if (a->ai_family == AF_INET)
      bytes = &reinterpret_cast<const sockaddr_in*>(a->ai_addr)
                   ->sin_addr;  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    else if (a->ai_family == AF_INET6)
      bytes = &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)
                   ->sin6_addr;  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    if (bytes == nullptr || ::inet_ntop(a->ai_family, bytes, text.data(), text.size()) == nullptr) continue;
    const std::string address(text.data());
    if (std::find(found.addresses.begin(), found.addresses.end(), address) == found.addresses.end())
      found.addresses.push_back(address);
  }
  ::freeaddrinfo(list);
  if (found.addresses.empty()) found.error = "no address";
  return found;
}

bool IsNumericAddress(const std::string& text) {
  in6_addr v6{};
  in_addr v4{};
  return ::inet_pton(AF_INET, text.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, text.c_str(), &v6) == 1;
}

}  // namespace platform
