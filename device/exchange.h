#pragma once
// The write-then-read exchange that every protocol step runs, and the link's traced writes,
// reads and waits beneath it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "device/link.h"

namespace device {

// The exchange's preparation (total read time-out, discard unread input) and its read into
// m_rxBuf, for steps that wait for a reply they did not ask for (the raw boot banner).
// ReadReply returns the number of bytes read.
void PreparePort(Link& link, int timeoutMs);
long ReadReply(Link& link, std::size_t n);

// Writes the first n bytes of m_txBuf; returns how many the port took (0 without a port or
// on a write error).
std::size_t WriteTx(Link& link, std::size_t n);

struct ExchangeOutcome {
  bool wroteAll = false;                // false: the port was closed and nothing was read
  std::span<const std::uint8_t> reply;  // the bytes read into m_rxBuf
};

// Prepares the port (total read time-out, discard unread input), writes the first msgLen bytes
// of m_txBuf and reads up to replyLen bytes into m_rxBuf. A message the port takes only in
// part closes the port.
ExchangeOutcome Exchange(Link& link, std::size_t msgLen, std::size_t replyLen, int timeoutMs);

// Waits ms milliseconds through link.m_sleep, or, when none is set, in short slices that end
// early once link.m_stop turns true.
void SleepMs(Link& link, int ms);

}  // namespace device
