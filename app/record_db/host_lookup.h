#pragma once
// The host names of a record database's connection string looked up before libpq sees them, on
// a thread that a stop request or a deadline abandons: a name server that never answers then
// holds neither the delivery worker nor the end of a run. libpq is given the addresses
// (`hostaddr`) beside the names (`host`, still used for TLS and the password file).

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/host_lookup.h"

namespace app {

using platform::HostAddresses;
// Looks up one host name; may take any time.
using HostResolver = std::function<HostAddresses(const std::string& host)>;
// The system's lookup, TCP addresses of every family (platform::ResolveHost).
HostAddresses ResolveHost(const std::string& host);

// What to give libpq after the connection string: empty lists when nothing is to be looked up
// (Unix sockets, addresses given as such, or a `hostaddr` already set).
struct HostTargets {
  std::string host;      // "name,name,/socket": one entry per address
  std::string hostaddr;  // "192.0.2.7,2001:db8::7,": empty entries for sockets
  std::string port;      // one entry per address, or empty for libpq's own rule
  std::string error;     // why no host could be used ("stopped" when the stop came first)
  bool stopped = false;
  bool empty() const { return hostaddr.empty() && host.empty(); }
};

// Looks up every host name of `conninfo` (or of PGHOST when it names none), each entry
// expanded to its addresses in order. Waits at most until `deadline` and never past a stop.
HostTargets LookUpHosts(const std::string& conninfo, const HostResolver& resolver,
                        std::chrono::steady_clock::time_point deadline, const std::stop_token& stop);

}  // namespace app
