#include "cli/output/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {

constexpr std::size_t kMinBar = 10;
constexpr std::size_t kMaxBar = 40;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

double PercentOf(const StreamProgress& p) {
  return 100.0 * EstimateTimeLeft(p).share;
}

}  // namespace

std::string RenderProgressLine(const StreamProgress& p, std::optional<double> secondsLeft,
                               std::size_t width) {
  const double percent = PercentOf(p);
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, " %5.1f%%  %zu/%zu bytes  ", percent, BytesOnLine(p), p.total);
  const std::string tail = numbers + TimeLeftText(secondsLeft);

  const std::size_t room = width > tail.size() + 2 ? width - tail.size() - 2 : 0;
  const std::size_t barWidth = std::min(room, kMaxBar);
  if (barWidth < kMinBar) {
    // Too narrow for a bar: the numbers alone, or at least the percent.
    if (tail.size() - 1 <= width) return tail.substr(1);
    const std::string percentOnly = std::string(numbers + 1, 6);
    return percentOnly.substr(percentOnly.find_first_not_of(' '), width);
  }

  const auto filled = static_cast<std::size_t>(static_cast<double>(barWidth) * percent / 100.0);
  return "[" + std::string(filled, '#') + std::string(barWidth - filled, '-') + "]" + tail;
}

bool ProgressBar::Update(const StreamProgress& p, Clock::time_point now) {
  m_now = now;
  m_last = p;
  if (!m_started) {
    m_started = true;
    m_start = now;
    m_startSent = BytesOnLine(p);
    m_lastDrawn = now;
    return true;
  }
  if (finished() || now - m_lastDrawn >= kRedrawEvery) {
    m_lastDrawn = now;
    return true;
  }
  return false;
}

std::string ProgressBar::Line(std::size_t width) const {
  const double elapsed = std::chrono::duration<double>(m_now - m_start).count();
  return RenderProgressLine(m_last, EstimateTimeLeft(m_last, m_startSent, elapsed).seconds, width);
}

}  // namespace cli
