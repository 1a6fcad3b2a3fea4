#pragma once
// What Windows knows of a COM port without opening it: the registry's list of serial devices
// (HARDWARE\DEVICEMAP\SERIALCOMM) and the device manager's entry for the port (SetupAPI).

#include <optional>
#include <string>

#include "common/port_entry.h"

namespace platform::win {

// The kernel device behind "COMn" as the registry's list of serial devices names it (e.g.
// "\Device\Serial0"); nullopt when the list does not hold the port.
std::optional<std::string> SerialDeviceOf(int number);

// Fills the adapter's identity into `entry` (by entry.number): the device manager's friendly
// name as the product, its maker, and for a USB adapter the vendor and product ID and serial
// number. A port the device manager does not know keeps the kernel device name as the product,
// when the registry's list names one. Never opens the port; fields nothing is known of stay
// empty.
void FillPortIdentity(PortEntry& entry);

// The vendor and product ID in a device's hardware or instance ID ("USB\VID_0403&PID_6001",
// "FTDIBUS\VID_0403+PID_6001+A1B2C3D4\0000"); 0 for what the text does not hold.
struct UsbIds {
  int vendorId = 0;
  int productId = 0;
};
UsbIds ParseUsbIds(const std::string& id);

// The serial number in a USB instance ID ("USB\VID_0403&PID_6001\A1B2C3D4": its last part;
// "FTDIBUS\VID_0403+PID_6001+A1B2C3D4\0000": the part after the IDs),
// unless the system made that part up (it then holds '&'); empty when there is none.
std::string UsbSerialFromInstanceId(const std::string& id);

}  // namespace platform::win
