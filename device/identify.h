#pragma once
// Asking the device who it is: the identify and device queries.

#include <string>

#include "common/load_result.h"
#include "device/link.h"

namespace device {

LoadResult IdentifyDevice(Link& link, Identity& id, bool closeOnFailure);
LoadResult QueryDevice(Link& link, Identity& id);

// "Device: %s    ID: %i    Version: V%s"
std::string DeviceLine(const Identity& id);

}  // namespace device
