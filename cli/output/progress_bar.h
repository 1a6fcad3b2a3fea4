#pragma once
// The live line drawn on a terminal while an image streams to the device: a bar, the percent,
// the bytes sent and an estimate of the time left.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "common/loader_view.h"

namespace cli {

// Seconds until `p` is complete at the rate seen since `start` (when `startSent` bytes had
// gone out); nullopt until there is a rate to judge by.
std::optional<double> EstimateSecondsLeft(const StreamProgress& p, std::size_t startSent,
                                          double elapsedSeconds);

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
  bool finished() const { return m_last.total > 0 && m_last.sent >= m_last.total; }

 private:
  bool m_started = false;
  Clock::time_point m_start{};
  Clock::time_point m_lastDrawn{};
  Clock::time_point m_now{};
  std::size_t m_startSent = 0;
  StreamProgress m_last{};
};

}  // namespace cli
