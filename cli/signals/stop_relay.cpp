#include "cli/signals/stop_relay.h"

#include <chrono>
#include <utility>

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

StopRelay::StopRelay(const InterruptState* interrupts, std::function<void(int presses)> onPresses) {
  if (interrupts == nullptr) return;
  m_thread = std::jthread([interrupts, onPresses = std::move(onPresses)](const std::stop_token& done) {
    int handled = 0;
    while (!done.stop_requested()) {
      const int presses = interrupts->presses();
      if (presses > handled) {
        handled = presses;
        onPresses(presses);
      }
      std::this_thread::sleep_for(kLookEvery);
    }
  });
}

StopRelay::~StopRelay() = default;

}  // namespace cli
