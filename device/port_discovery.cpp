// Finding the ports that open.

#include "device/port_discovery.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/port_open.h"
#include "device/port_problems.h"

namespace device {
namespace {

constexpr int kPortCount = 32;

}  // namespace

bool EnumerateComPorts(platform::PortOpener& opener, PortList& m_cbPorts, LoaderView& view) {
  view.setMainStatus("Searching Valid Com Ports.");
  m_cbPorts.entries.clear();
  m_cbPorts.selected = -1;
  m_cbPorts.busy.clear();
  // Every port is tried once; the ones found busy are then tried again together until they
  // open or the wait is over, so the listing waits at most kBusyWaitMs however many are busy.
  std::array<platform::OpenError, kPortCount + 1> errors{};
  std::array<bool, kPortCount + 1> opened{};
  std::vector<int> busy;
  const auto tryOpen = [&](int number) {
    platform::OpenError error = platform::OpenError::None;
    std::unique_ptr<platform::SerialPort> port = opener.Open(number, error);
    if (port) port->Close();
    opened[static_cast<std::size_t>(number)] = port != nullptr;
    errors[static_cast<std::size_t>(number)] = port ? platform::OpenError::None : error;
    return port == nullptr && error == platform::OpenError::Busy;
  };
  for (int number = 1; number <= kPortCount; ++number)
    if (tryOpen(number)) busy.push_back(number);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyWaitMs);
  while (!busy.empty() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryGapMs));
    std::erase_if(busy, [&](int number) { return !tryOpen(number); });
  }

  // A port that is there but does not open is explained once, after the search: the ports
  // refused for lack of permission in one line with the fix, every other one in its own.
  std::vector<DeniedPort> denied;
  std::vector<std::string> problems;
  for (int number = 1; number <= kPortCount; ++number) {
    if (!opened[static_cast<std::size_t>(number)]) {
      const std::string path = opener.PathOf(number);
      const platform::PortFacts facts = platform::ProbePort(path);
      const PortProblem problem = ClassifyPort(facts, errors[static_cast<std::size_t>(number)]);
      if (problem == PortProblem::NoPermission)
        denied.push_back({number, path});
      else if (problem != PortProblem::None)
        problems.push_back(DescribePortProblem(number, path, problem, facts));
      if (problem == PortProblem::InUse) m_cbPorts.busy.push_back({number, path, DescribeHolder(facts)});
      continue;
    }
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
