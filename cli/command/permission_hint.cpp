#include "cli/command/permission_hint.h"

#include <algorithm>

#include "device/port_problems.h"

namespace cli {

std::unique_ptr<device::SerialPort> ObservingPortOpener::Open(int number, device::OpenError& error) {
  auto port = m_inner.Open(number, error);
  if (!port && error == device::OpenError::PermissionDenied &&
      std::find(m_denied.begin(), m_denied.end(), number) == m_denied.end())
    m_denied.push_back(number);
  return port;
}

std::string PermissionHint(const device::PortOpener& opener, const std::vector<int>& denied) {
  if (denied.empty()) return {};
  std::string line = "vorloader-cli: no permission to open " + opener.PathOf(denied.front()) + " (COM" +
                     std::to_string(denied.front()) + ")";
  if (denied.size() > 1) line += " and " + std::to_string(denied.size() - 1) + " more port(s)";
  return line + "; " + device::PermissionFix();
}

}  // namespace cli
