#pragma once
// Line-rate pacing: a real serial line carries one byte per 10 bit times (start bit, eight
// data bits, stop bit). With pacing on, the device takes received bytes and puts its replies
// on the line no faster than that, so the loader's stream meets a real line's speed. Bytes
// are scheduled against an absolute time line, so late wake-ups catch up instead of adding up.

#include <chrono>
#include <cstddef>

#include "sim/transcript.h"

namespace sim {

class LinePacer {
 public:
  explicit LinePacer(bool enabled) : m_enabled(enabled) {}
  bool Enabled() const { return m_enabled; }

  // How many received bytes may be taken at `now` (unlimited without pacing or rate).
  std::size_t Allowance(Clock::time_point now, int rate);
  // When `count` bytes will be allowed, counted from the next one.
  Clock::time_point ReadyAt(std::size_t count, int rate) const;
  // `n` bytes were taken; `drained` when none were left waiting, so the line went idle.
  void Took(std::size_t n, bool drained, int rate);
  // When a reply of `n` bytes handed to the line at `due` has been sent whole.
  Clock::time_point SendDone(Clock::time_point due, std::size_t n, int rate);

  static Clock::duration ByteTime(int rate);

 private:
  bool m_enabled;
  bool m_idle = true;
  Clock::time_point m_next{};    // when the next received byte is complete
  Clock::time_point m_txFree{};  // when the device's transmitter is free again
};

}  // namespace sim
