#pragma once
// Opening a port that another program holds for a moment. Loaders that share a machine list
// their ports by opening each one briefly, so a port may be busy for some milliseconds
// although nobody is using it: an open that finds it busy is tried again for a short, bounded
// time before the port counts as in use.

#include <memory>
#include <stop_token>

#include "platform/serial_port.h"

namespace device {

// How long a busy port is tried again, and the pause between tries.
inline constexpr int kBusyWaitMs = 1000;
inline constexpr int kBusyRetryGapMs = 20;

// Opens port `number` through `opener`; while the open fails with OpenError::Busy it is tried
// again every kBusyRetryGapMs for up to `busyWaitMs`, or until `stop` is requested. Any other
// failure ends at once. nullptr on failure with the last reason in `error`.
std::unique_ptr<platform::SerialPort> OpenWaitingWhileBusy(platform::PortOpener& opener, int number,
                                                           platform::OpenError& error,
                                                           int busyWaitMs = kBusyWaitMs,
                                                           const std::stop_token& stop = {});

}  // namespace device
