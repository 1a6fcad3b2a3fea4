#include "cli/signals/stop_relay.h"

#include <chrono>

namespace cli {

namespace {
// A press is seen within this time; the thread sleeps between looks and costs next to nothing.
constexpr auto kLookEvery = std::chrono::milliseconds(20);
}  // namespace

StopRelay::StopRelay(const InterruptState* interrupts, const std::stop_source& target) {
  if (interrupts == nullptr) return;
  m_thread = std::jthread([interrupts, target](const std::stop_token& done) mutable {
    while (!done.stop_requested()) {
      if (interrupts->stopRequested()) {
        target.request_stop();
        return;
      }
      std::this_thread::sleep_for(kLookEvery);
    }
  });
}

StopRelay::~StopRelay() = default;

}  // namespace cli
