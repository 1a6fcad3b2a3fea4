#pragma once
// Sending the device into its bootloader.

#include <string>

#include "common/load_result.h"
#include "device/link.h"

namespace device {

LoadResult RequestBoot(Link& link, const Identity& id, const std::string& productCode);

}  // namespace device
