#include "platform/socket_wait.h"

#include <poll.h>

namespace platform {

namespace {

constexpr int kSliceMs = 100;  // how soon a stop request is seen

short EventsOf(SocketReady ready) {
  switch (ready) {
    case SocketReady::kReadable:
      return POLLIN;
    case SocketReady::kWritable:
      return POLLOUT;
    case SocketReady::kReadableOrWritable:
      break;
  }
  return static_cast<short>(POLLIN | POLLOUT);
}

}  // namespace

bool WaitForSocket(std::intptr_t socket, SocketReady ready, std::chrono::steady_clock::time_point deadline,
                   const std::stop_token& stop) {
  pollfd fd{static_cast<int>(socket), EventsOf(ready), 0};
  while (!stop.stop_requested() && std::chrono::steady_clock::now() < deadline) {
    const int n = ::poll(&fd, 1, kSliceMs);
    if (n != 0) return true;  // ready, or an error the next call of the library reports
  }
  return false;
}

}  // namespace platform
