#pragma once
// Finding the ports that open: the list a front end offers, and why ports that are there were
// left out.

#include "common/loader_view.h"
#include "common/port_list.h"
#include "platform/serial_port.h"

namespace device {

// The listing's types are shared by every layer above.
using ::BusyPort;
using ::PortList;

// Sets "Searching Valid Com Ports.", lists every port 1..32 that opens (closing it at once),
// selects entry 0. True when a port was found. A port found busy is tried again, all of them
// together, for up to kBusyWaitMs (device/port_open.h): another loader's listing holds a
// port only for a moment. The open is exclusive and nothing is written to a listed port.
bool EnumerateComPorts(platform::PortOpener& opener, PortList& m_cbPorts, LoaderView& view);

}  // namespace device
