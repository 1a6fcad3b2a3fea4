// Finding the ports that open.

#include <string>

#include "device/steps.h"

namespace device {

bool EnumerateComPorts(PortOpener& opener, PortList& m_cbPorts, LoaderView& view) {
  view.setMainStatus("Searching Valid Com Ports.");
  m_cbPorts.entries.clear();
  m_cbPorts.selected = -1;
  for (int number = 1; number <= 32; ++number) {
    OpenError error = OpenError::None;
    std::unique_ptr<SerialPort> port = opener.Open(number, error);
    if (!port) continue;
    port->Close();
    m_cbPorts.entries.push_back({number, opener.PathOf(number)});
  }
  if (!m_cbPorts.entries.empty()) m_cbPorts.selected = 0;
  view.showPorts(m_cbPorts.entries, m_cbPorts.selected);
  return !m_cbPorts.entries.empty();
}


}  // namespace device
