#pragma once
// A tiny loader stand-in for the simulator's tests: opens the COMn link like a serial port,
// sets its rate, writes a message and reads the reply by a deadline.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sim_test {

using Bytes = std::vector<std::uint8_t>;

class RawClient {
 public:
  RawClient(const std::string& path, int rate) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) return;
    termios t{};
    ::tcgetattr(m_fd, &t);
    ::cfmakeraw(&t);
    const speed_t speed = rate == 38400 ? B38400 : rate == 115200 ? B115200 : rate == 9600 ? B9600 : B57600;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ::tcsetattr(m_fd, TCSANOW, &t);
  }
  ~RawClient() {
    if (m_fd >= 0) ::close(m_fd);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Ok() const { return m_fd >= 0; }

  void Discard() const { ::tcflush(m_fd, TCIFLUSH); }

  bool Write(const Bytes& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
      }
    }
    return true;
  }

  // Up to n bytes, returning early once n have come.
  Bytes Read(std::size_t n, int timeoutMs) const {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) break;
      pollfd p{m_fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      std::uint8_t buf[256];
      const std::size_t want = std::min(sizeof buf, n - got.size());
      ssize_t r = ::read(m_fd, buf, want);
      if (r > 0) got.insert(got.end(), buf, buf + r);
    }
    return got;
  }

  // The exchange as the loader runs it: discard unread input, write, read the reply.
  Bytes Transact(const Bytes& msg, std::size_t replyLen, int timeoutMs = 500) const {
    Discard();
    if (!Write(msg)) return {};
    return Read(replyLen, timeoutMs);
  }

 private:
  int m_fd = -1;
};

inline std::uint8_t SevenBitSum(const Bytes& b, std::size_t n) {
  std::uint8_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s = static_cast<std::uint8_t>(s + b[i]);
  return static_cast<std::uint8_t>(s & 0x7F);
}

}  // namespace sim_test
