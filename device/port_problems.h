#pragma once
// Why a serial port that is there is not listed: the user may not open it, another program
// holds it, it is no serial device at all, or its link leads nowhere. Enumeration says so in
// one detail line per port, so that a technician is not left guessing why a port is missing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/serial_port.h"

namespace device {

enum class PortProblem { None, NoPermission, InUse, NotSerial, BrokenLink };

// What the file system says about a port's path.
struct PortFacts {
  bool present = false;         // something is at the path (a link counts, even a broken one)
  bool brokenLink = false;      // a symbolic link whose target does not exist
  bool charDevice = false;      // the path leads to a character device
  bool regularFile = false;     // ... or to a plain file
  bool mayOpen = false;         // this process may read and write it
  bool terminalKnown = false;   // whether it is a terminal could be found out
  bool terminal = false;        // it is a terminal (a tty or a pseudo-terminal)
  std::optional<long> lockPid;  // the process its lock file names
  std::string lockProcess;      // that process's name, when it runs
  std::string target;           // where a link leads (for a broken link)
};

// The reason, from the facts and the error of the refused open; None for a port that simply
// is not there, and for errors no fact explains.
PortProblem ClassifyPort(const PortFacts& facts, OpenError error);

// One line saying why port `number` at `path` is not listed, e.g.
// "COM3 (/dev/ttyUSB0) is not listed: in use by process 4242 (minicom)"; empty for None.
std::string DescribePortProblem(int number, const std::string& path, PortProblem problem,
                                const PortFacts& facts);

// Who holds a port in use: "in use by process 4242 (minicom)", or "in use by another program"
// when no lock file names a running process.
std::string DescribeHolder(const PortFacts& facts);

// One line for every port refused for lack of permission, with the fix, e.g.
// "COM1 (/dev/ttyS0) is not listed: no permission to open it; add yourself to ...".
struct DeniedPort {
  int number;
  std::string path;
};
std::string DescribeDeniedPorts(const std::vector<DeniedPort>& ports);

// The fix for ports refused for lack of permission.
std::string PermissionFix();

// The process ID a serial lock file holds: ASCII decimal (blank-padded, up to a line end, as
// UUCP and Qt write it) or a 4-byte binary integer in the machine's order. nullopt for
// anything else.
std::optional<long> ParseLockFile(std::string_view bytes);

// The lock files that may guard the device at `path` (as given and as resolved), newest
// convention first, in `lockDirs`.
std::vector<std::string> LockFileCandidates(const std::string& path,
                                            const std::vector<std::string>& lockDirs);

// Gathers the facts about `path` from the file system, the lock directories and /proc.
PortFacts ProbePort(const std::string& path);

}  // namespace device
