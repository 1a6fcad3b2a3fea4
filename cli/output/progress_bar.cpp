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
  if (p.total == 0) return std::clamp(p.percent, 0.0, 100.0);
  return std::min(100.0, 100.0 * static_cast<double>(p.sent) / static_cast<double>(p.total));
}

std::string TimeLeft(std::optional<double> seconds) {
  if (!seconds) return "--:-- left";
  // Estimates beyond a day say nothing useful; they are shown as unknown.
  if (*seconds > 86400.0) return "--:-- left";
  const auto s = static_cast<long>(std::lround(*seconds));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld left", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld left", s / 60, s % 60);
  return text;
}

}  // namespace

std::optional<double> EstimateSecondsLeft(const StreamProgress& p, std::size_t startSent,
                                          double elapsedSeconds) {
  if (p.total == 0 || p.sent >= p.total) return p.total == 0 ? std::nullopt : std::optional<double>(0.0);
  if (elapsedSeconds <= 0.0 || p.sent <= startSent) return std::nullopt;
  const double rate = static_cast<double>(p.sent - startSent) / elapsedSeconds;
  return static_cast<double>(p.total - p.sent) / rate;
}

std::string RenderProgressLine(const StreamProgress& p, std::optional<double> secondsLeft,
                               std::size_t width) {
  const double percent = PercentOf(p);
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, " %5.1f%%  %zu/%zu bytes  ", percent, p.sent, p.total);
  const std::string tail = numbers + TimeLeft(secondsLeft);

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
    m_startSent = p.sent;
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
  return RenderProgressLine(m_last, EstimateSecondsLeft(m_last, m_startSent, elapsed), width);
}

}  // namespace cli
