#include "sim/line_pacer.h"

#include <algorithm>
#include <limits>

namespace sim {

Clock::duration LinePacer::ByteTime(int rate) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / rate));
}

std::size_t LinePacer::Allowance(Clock::time_point now, int rate) {
  if (!m_enabled || rate <= 0) return std::numeric_limits<std::size_t>::max();
  // Bytes arriving on an idle line: the first one is complete as it arrives.
  if (m_idle) {
    m_next = std::max(m_next, now);
    m_idle = false;
  }
  if (now < m_next) return 0;
  return 1 + static_cast<std::size_t>((now - m_next) / ByteTime(rate));
}

Clock::time_point LinePacer::ReadyAt(std::size_t count, int rate) const {
  if (count == 0 || rate <= 0) return m_next;
  return m_next + ByteTime(rate) * static_cast<long>(count - 1);
}

void LinePacer::Took(std::size_t n, bool drained, int rate) {
  if (!m_enabled || rate <= 0) return;
  m_next += ByteTime(rate) * static_cast<long>(n);
  m_idle = drained;
}

Clock::time_point LinePacer::SendDone(Clock::time_point due, std::size_t n, int rate) {
  if (!m_enabled || rate <= 0) return due;
  m_txFree = std::max(due, m_txFree) + ByteTime(rate) * static_cast<long>(n);
  return m_txFree;
}

}  // namespace sim
