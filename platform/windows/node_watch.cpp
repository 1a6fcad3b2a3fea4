// A serial port on Windows is a name, not a node in a folder: there is nothing to watch, and the
// caller looks at its ports on a timer.

#include "platform/node_watch.h"

#include <algorithm>

#include "platform/windows/windows_api.h"

namespace platform {

namespace {

constexpr long long kSliceMs = 100;  // how soon a stop request is seen

}  // namespace

NodeWatch::NodeWatch(const std::vector<std::string>& /*paths*/) {}

NodeWatch::~NodeWatch() = default;

bool NodeWatch::WaitForChange(std::chrono::milliseconds atMost, const std::stop_token& stop) {
  const auto deadline = std::chrono::steady_clock::now() + atMost;
  while (!stop.stop_requested()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return false;
    ::Sleep(static_cast<DWORD>(std::min(left, kSliceMs)));
  }
  return false;
}

}  // namespace platform
