// The rate at which a device answers on a port.

#include "device/find_device.h"

#include <string>

#include "device/frame_codec.h"
#include "device/identify.h"

namespace device {

LoadResult FindDeviceBaud(Link& link, Identity& id, int port, LoaderView& view) {
  for (int rate : kDeviceRates) {
    if (link.StopRequested()) return RESULT_STOPPED;
    view.setPortStatus("Connected Com " + std::to_string(port) + " at Baud " + std::to_string(rate));
    if (OpenComPort(link, port, rate) != RESULT_OK) return RESULT_PORT_OPEN_FAILED;
    if (IdentifyDevice(link, id, true) == RESULT_OK) return RESULT_OK;
  }
  return link.StopRequested() ? RESULT_STOPPED : RESULT_NO_SINGLE_DEVICE;
}

std::string DeviceTagOf(const Identity& id) {
  return DeviceTag(id.m_devCode[4], id.m_devCode[5]);
}

}  // namespace device
