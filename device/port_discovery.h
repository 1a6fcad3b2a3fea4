#pragma once
// Finding the ports that open: the list a front end offers, and why ports that are there were
// left out.

#include <string>
#include <vector>

#include "common/loader_view.h"
#include "device/serial_port.h"

namespace device {

// A port that stayed busy through the whole wait (another program holds it), and who holds it.
struct BusyPort {
  int number = 0;
  std::string path;
  std::string holder;  // "in use by process 4242 (minicom)", or "in use by another program"
};

// The port list (the window's combo box): entries in insertion order, the selected index.
struct PortList {
  std::vector<PortEntry> entries;
  int selected = -1;
  // Why ports that are there were left out (no permission, in use, not a serial device, a
  // broken link): told after the count of the ports found.
  std::vector<std::string> notes;
  // The ports left out because another program holds them, in port order.
  std::vector<BusyPort> busy;
};

// Sets "Searching Valid Com Ports.", lists every port 1..32 that opens (closing it at once),
// selects entry 0. True when a port was found. A port found busy is tried again, all of them
// together, for up to kBusyWaitMs (device/port_open.h): another loader's listing holds a
// port only for a moment. The open is exclusive and nothing is written to a listed port.
bool EnumerateComPorts(PortOpener& opener, PortList& m_cbPorts, LoaderView& view);

}  // namespace device
