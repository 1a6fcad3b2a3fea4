// Finding the ports that open.

#include <string>
#include <vector>

#include "device/port_problems.h"
#include "device/steps.h"

namespace device {

bool EnumerateComPorts(PortOpener& opener, PortList& m_cbPorts, LoaderView& view) {
  view.setMainStatus("Searching Valid Com Ports.");
  m_cbPorts.entries.clear();
  m_cbPorts.selected = -1;
  // A port that is there but does not open is explained once, after the search: the ports
  // refused for lack of permission in one line with the fix, every other one in its own.
  std::vector<DeniedPort> denied;
  std::vector<std::string> problems;
  for (int number = 1; number <= 32; ++number) {
    OpenError error = OpenError::None;
    std::unique_ptr<SerialPort> port = opener.Open(number, error);
    if (!port) {
      const std::string path = opener.PathOf(number);
      const PortFacts facts = ProbePort(path);
      const PortProblem problem = ClassifyPort(facts, error);
      if (problem == PortProblem::NoPermission)
        denied.push_back({number, path});
      else if (problem != PortProblem::None)
        problems.push_back(DescribePortProblem(number, path, problem, facts));
      continue;
    }
    port->Close();
    PortEntry entry = opener.Describe(number);
    entry.number = number;
    if (entry.path.empty()) entry.path = opener.PathOf(number);
    m_cbPorts.entries.push_back(std::move(entry));
  }
  if (!m_cbPorts.entries.empty()) m_cbPorts.selected = 0;
  m_cbPorts.notes.clear();
  if (!denied.empty()) m_cbPorts.notes.push_back(DescribeDeniedPorts(denied));
  m_cbPorts.notes.insert(m_cbPorts.notes.end(), problems.begin(), problems.end());
  view.showPorts(m_cbPorts.entries, m_cbPorts.selected);
  return !m_cbPorts.entries.empty();
}

}  // namespace device
