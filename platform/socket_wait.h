#pragma once
// Waiting on a network socket that a library drives in non-blocking mode (the record database's
// connection), bounded by a deadline and a stop request.

#include <chrono>
#include <cstdint>
#include <stop_token>

namespace platform {

enum class SocketReady { kReadable, kWritable, kReadableOrWritable };

// Waits until the socket `socket` (the library's number for it) is ready as `ready` asks, or
// reports an error or hang-up (true: the library's next call says what). False when `deadline`
// has passed or `stop` is requested first; a stop is seen within 100 ms. A socket number that is
// no socket (-1) is never ready: the wait runs to the deadline or the stop.
bool WaitForSocket(std::intptr_t socket, SocketReady ready, std::chrono::steady_clock::time_point deadline,
                   const std::stop_token& stop);

}  // namespace platform
