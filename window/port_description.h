#pragma once
// What the system knows of a serial port, as the port list's tooltip shows it beside the
// entry's "COMn": the device path, then whatever the adapter behind it tells (USB vendor and
// product ID, manufacturer, product, serial number), one per line.

#include <QString>

#include "common/loader_view.h"

namespace window {

QString PortDescription(const PortEntry& port);

}  // namespace window
