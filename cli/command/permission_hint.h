#pragma once
// Serial ports on Linux belong to a group (dialout on Debian); a user outside it sees no ports
// at all, or a port that will not open. The front end watches every open and, when one was
// refused for lack of permission, says how to fix that in one line.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace cli {

// Passes every open through to `inner` and remembers the ports refused for lack of permission.
// Shared by every session of a production line: Open and deniedPorts may be called from
// several threads at once (the list is guarded by a mutex).
class ObservingPortOpener final : public platform::PortOpener {
 public:
  explicit ObservingPortOpener(platform::PortOpener& inner) : m_inner(inner) {}

  std::unique_ptr<platform::SerialPort> Open(int number, platform::OpenError& error) override;
  std::string PathOf(int number) const override { return m_inner.PathOf(number); }
  PortEntry Describe(int number) const override { return m_inner.Describe(number); }

  // Port numbers refused for lack of permission, each once, in the order first refused.
  std::vector<int> deniedPorts() const;

 private:
  platform::PortOpener& m_inner;
  mutable std::mutex m_mutex;
  std::vector<int> m_denied;  // guarded by m_mutex
};

// One line naming the refused ports' paths and the fix; empty when `denied` is empty.
std::string PermissionHint(const platform::PortOpener& opener, const std::vector<int>& denied);

}  // namespace cli
