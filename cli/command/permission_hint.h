#pragma once
// Serial ports on Linux belong to a group (dialout on Debian); a user outside it sees no ports
// at all, or a port that will not open. The front end watches every open and, when one was
// refused for lack of permission, says how to fix that in one line.

#include <memory>
#include <string>
#include <vector>

#include "device/serial_port.h"

namespace cli {

// Passes every open through to `inner` and remembers the ports refused for lack of permission.
class ObservingPortOpener final : public device::PortOpener {
 public:
  explicit ObservingPortOpener(device::PortOpener& inner) : m_inner(inner) {}

  std::unique_ptr<device::SerialPort> Open(int number, device::OpenError& error) override;
  std::string PathOf(int number) const override { return m_inner.PathOf(number); }
  PortEntry Describe(int number) const override { return m_inner.Describe(number); }

  // Port numbers refused for lack of permission, each once, in the order first refused.
  const std::vector<int>& deniedPorts() const { return m_denied; }

 private:
  device::PortOpener& m_inner;
  std::vector<int> m_denied;
};

// One line naming the refused ports' paths and the fix; empty when `denied` is empty.
std::string PermissionHint(const device::PortOpener& opener, const std::vector<int>& denied);

}  // namespace cli
