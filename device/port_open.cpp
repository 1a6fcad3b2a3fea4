#include "device/port_open.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace device {

std::unique_ptr<platform::SerialPort> OpenWaitingWhileBusy(platform::PortOpener& opener, int number,
                                                           platform::OpenError& error, int busyWaitMs,
                                                           const std::stop_token& stop) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(std::max(busyWaitMs, 0));
  for (;;) {
    error = platform::OpenError::None;
    std::unique_ptr<platform::SerialPort> port = opener.Open(number, error);
    if (port || error != platform::OpenError::Busy || stop.stop_requested()) return port;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return nullptr;
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(kBusyRetryGapMs)));
  }
}

}  // namespace device
