#include "cli/command/permission_hint.h"

#include <algorithm>

#include "device/port_problems.h"

namespace cli {

std::unique_ptr<platform::SerialPort> ObservingPortOpener::Open(int number, platform::OpenError& error) {
  auto port = m_inner.Open(number, error);
  if (port || error != platform::OpenError::PermissionDenied) return port;
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (std::find(m_denied.begin(), m_denied.end(), number) == m_denied.end()) m_denied.push_back(number);
  return port;
}

std::vector<int> ObservingPortOpener::deniedPorts() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_denied;
}

std::string PermissionHint(const platform::PortOpener& opener, const std::vector<int>& denied) {
  if (denied.empty()) return {};
  std::string line = "vorloader-cli: no permission to open " + opener.PathOf(denied.front()) + " (" +
                     ComName(denied.front()) + ")";
  if (denied.size() > 1) line += " and " + std::to_string(denied.size() - 1) + " more port(s)";
  return line + "; " + device::PermissionFix();
}

}  // namespace cli
