// Once the window is up: ports, catalogue, product table, firmware files, then Connect.

#include <string>

#include "app/loader.h"

namespace app {

void Loader::RunStartupSequence(bool thenConnect, const std::function<bool()>& portsListed) {
  m_bPortsFound = device::EnumerateComPorts(*m_link.m_opener, m_cbPorts, m_view) ? 1 : 0;
  m_view.appendLog(std::to_string(m_cbPorts.entries.size()) + " Com Ports Found.");
  if (portsListed && !portsListed()) return;
  m_view.enableConnect(false);
  m_view.enableRawBoot(false);
  if (!m_folderProblem.empty()) m_view.appendLog(m_folderProblem);
  if (Stopped()) return;

  if (!RunCatalogueSteps()) return;
  if (m_bPortsFound != 0 && thenConnect) OnConnect();
}

}  // namespace app
