#pragma once
// What the system says of a port's device path when the port did not open, so a technician is
// told why a port that is there is not listed; and whether two paths name one device.
// These calls never keep a port open: a probe that opens it closes it again at once.

#include <optional>
#include <string>

namespace platform {

// What the system says about a port's path. Fields a system cannot tell stay at their
// defaults (false, empty).
struct PortFacts {
  bool present = false;         // something is at the path (a link counts, even a broken one)
  bool brokenLink = false;      // a symbolic link whose target does not exist
  bool charDevice = false;      // the path leads to a character (serial-capable) device
  bool regularFile = false;     // ... or to a plain file
  bool mayOpen = false;         // this process may read and write it
  bool terminalKnown = false;   // whether it is a terminal could be found out
  bool terminal = false;        // it is a terminal (a tty or a pseudo-terminal)
  std::optional<long> lockPid;  // the running process a lock file names as the holder
  std::string lockProcess;      // that process's name, when known
  std::string target;           // where a link leads (for a broken link)
};

// Gathers the facts about `path`. Never blocks on the device (no waiting for a carrier) and
// never writes to it. An empty path gives facts with present == false.
PortFacts ProbePort(const std::string& path);

// True when `a` and `b` both lead to a character device and it is the same device (two nodes
// or links for one device); false when either is missing or is no character device.
bool SameCharDevice(const std::string& a, const std::string& b);

}  // namespace platform
