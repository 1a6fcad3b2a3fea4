#pragma once
// Carries the process's stop requests (Ctrl-C and the other stop signals, recorded by a signal
// handler that may touch only atomics) to a workflow's stop source, from a thread of its own.

#include <stop_token>
#include <thread>

#include "cli/signals/interrupt.h"

namespace cli {

class StopRelay {
 public:
  StopRelay(const InterruptState* interrupts, const std::stop_source& target);
  ~StopRelay();
  StopRelay(const StopRelay&) = delete;
  StopRelay& operator=(const StopRelay&) = delete;

 private:
  std::jthread m_thread;
};

}  // namespace cli
