#pragma once
// --port given as a device path (/dev/ttyUSB0, /dev/serial/by-id/...): the listed COMn whose
// path leads to the same device.

#include <string>
#include <vector>

#include "common/loader_view.h"

namespace cli {

// The number of the listed port that is the device at `path`: the same file once every link
// is resolved, or the same character device node. 0 when no listed port is.
int ListedPortOfPath(const std::string& path, const std::vector<PortEntry>& listed);

// The usage error for a --port path that is not listed, naming the ports that are.
std::string UnlistedPathMessage(const std::string& path, const std::vector<PortEntry>& listed);

}  // namespace cli
