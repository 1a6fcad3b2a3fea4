#include "app/port_listing.h"

#include <string>

namespace app {

PortList ListPorts(platform::PortOpener& opener, LoaderView& view) {
  PortList ports;
  device::EnumerateComPorts(opener, ports, view);
  view.appendLog(std::to_string(ports.entries.size()) + " Com Ports Found.");
  for (const std::string& note : ports.notes) view.detail(note);
  return ports;
}

int IndexOfPort(const PortList& ports, int number) {
  for (std::size_t i = 0; i < ports.entries.size(); ++i)
    if (ports.entries[i].number == number) return static_cast<int>(i);
  return -1;
}

}  // namespace app
