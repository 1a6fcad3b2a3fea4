#pragma once
// Why a serial port that is there is not listed: the user may not open it, another program
// holds it, it is no serial device at all, or its link leads nowhere. Enumeration says so in
// one detail line per port, so that a technician is not left guessing why a port is missing.

#include <string>
#include <vector>

#include "platform/port_checks.h"
#include "platform/serial_port.h"

namespace device {

enum class PortProblem { None, NoPermission, InUse, NotSerial, BrokenLink };

// The reason, from the facts and the error of the refused open; None for a port that simply
// is not there, and for errors no fact explains.
PortProblem ClassifyPort(const platform::PortFacts& facts, platform::OpenError error);

// One line saying why port `number` at `path` is not listed, e.g.
// "COM3 (/dev/ttyUSB0) is not listed: in use by process 4242 (minicom)"; empty for None.
std::string DescribePortProblem(int number, const std::string& path, PortProblem problem,
                                const platform::PortFacts& facts);

// Who holds a port in use: "in use by process 4242 (minicom)", or "in use by another program"
// when no lock file names a running process.
std::string DescribeHolder(const platform::PortFacts& facts);

// One line for every port refused for lack of permission, with the fix, e.g.
// "COM1 (/dev/ttyS0) is not listed: no permission to open it; add yourself to ...".
struct DeniedPort {
  int number;
  std::string path;
};
std::string DescribeDeniedPorts(const std::vector<DeniedPort>& ports);

// The fix for ports refused for lack of permission.
std::string PermissionFix();

}  // namespace device
