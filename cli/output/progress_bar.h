#pragma once
// The live line drawn on a terminal while an image streams to the device: a bar, the percent,
// the bytes that have left on the line and the time left (common/time_left.h).

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "common/loader_view.h"
#include "common/time_left.h"

namespace cli {

// One line of at most `width` columns, e.g.
// "[########------------]  40.0%  400/1000 bytes  0:03 left", without control characters.
std::string RenderProgressLine(const StreamProgress& p, std::optional<double> secondsLeft, std::size_t width);

class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes the latest progress; true when the line is worth drawing again now (at most ten
  // times a second, and always for the first and the last chunk).
  bool Update(const StreamProgress& p, Clock::time_point now);
  std::string Line(std::size_t width) const;
  bool finished() const { return m_last.total > 0 && BytesOnLine(m_last) >= m_last.total; }

 private:
  bool m_started = false;
  Clock::time_point m_start{};
  Clock::time_point m_lastDrawn{};
  Clock::time_point m_now{};
  std::size_t m_startSent = 0;  // bytes on the line at the first update
  StreamProgress m_last{};
};

}  // namespace cli
