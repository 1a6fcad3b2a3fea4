#pragma once
// Finding the device on a port: the rates it may answer at, and the tag of its product.

#include <string>

#include "common/load_result.h"
#include "common/loader_view.h"
#include "device/link.h"

namespace device {

inline constexpr int kDeviceRates[3] = {57600, 115200, 38400};

// Tries the three rates on `port`: RESULT_OK when the device answered (port left open),
// RESULT_PORT_OPEN_FAILED when the port cannot be opened, RESULT_NO_SINGLE_DEVICE when no rate
// got an answer, RESULT_STOPPED on a stop request.
LoadResult FindDeviceBaud(Link& link, Identity& id, int port, LoaderView& view);

// The device tag of the identity's device code, "VOR_T%02x%02x_V".
std::string DeviceTagOf(const Identity& id);

}  // namespace device
