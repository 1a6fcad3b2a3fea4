#pragma once
// Carries the process's stop requests (Ctrl-C and the other stop signals, recorded by a signal
// handler that may touch only atomics) to a workflow, from a thread of its own.

#include <functional>
#include <stop_token>
#include <thread>

#include "cli/signals/interrupt.h"

namespace cli {

class StopRelay {
 public:
  // One workflow: `target` is asked to stop once a stop is requested.
  StopRelay(const InterruptState* interrupts, const std::stop_source& target);
  // Several sessions: `onPresses` is called (on the relay's thread) with the number of
  // signals so far whenever another one has come.
  StopRelay(const InterruptState* interrupts, std::function<void(int presses)> onPresses);
  ~StopRelay();
  StopRelay(const StopRelay&) = delete;
  StopRelay& operator=(const StopRelay&) = delete;

 private:
  std::jthread m_thread;
};

}  // namespace cli
