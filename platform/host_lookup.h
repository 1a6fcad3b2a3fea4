#pragma once
// Looking up a host name's network addresses, the system's way (its resolver, hosts file and
// name servers). The call may take any time: a caller that must not wait for a name server that
// never answers runs it on a thread it can abandon.

#include <string>
#include <vector>

namespace platform {

// A host name's addresses as text ("192.0.2.7", "2001:db8::7"), each once, in the system's
// order; or, when it has none, why ("no address" when the lookup gave only other kinds).
struct HostAddresses {
  std::vector<std::string> addresses;
  std::string error;
};

// The TCP addresses of every family of `host` that this machine has a configured address of.
HostAddresses ResolveHost(const std::string& host);

// Whether `text` is an IPv4 or IPv6 address written as such (nothing to look up).
bool IsNumericAddress(const std::string& text);

}  // namespace platform
