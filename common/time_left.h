#pragma once
// How far an image stream has got and how long the rest will take: one estimate for the
// window's bar and the terminal's. It counts what has left on the line, not what was handed to
// the port's buffer, which runs seconds ahead of the line.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "common/loader_view.h"

// Bits on the line per byte: 8N1 is a start bit, eight data bits and a stop bit.
inline constexpr double kLineBitsPerByte = 10.0;

// The bytes that have left on the line: p.onLine where the port can tell, else p.sent.
inline std::size_t BytesOnLine(const StreamProgress& p) {
  return std::min(p.onLine.value_or(p.sent), p.sent);
}

struct TimeLeft {
  double share = 0.0;             // 0..1 of the stream on the line
  std::optional<double> seconds;  // until the whole stream has left; none while unknown
};

// The share on the line, and the seconds until the rest has left: at the line rate when the
// stream knows it (p.lineRate), else at the rate seen since the stream started (`startOnLine`
// bytes on the line `elapsedSeconds` ago). With a total of 0 the share is p.percent's.
inline TimeLeft EstimateTimeLeft(const StreamProgress& p, std::size_t startOnLine = 0,
                                 double elapsedSeconds = 0.0) {
  TimeLeft estimate;
  if (p.total == 0) {
    estimate.share = std::clamp(p.percent, 0.0, 100.0) / 100.0;
    return estimate;
  }
  const std::size_t onLine = BytesOnLine(p);
  estimate.share = std::min(1.0, static_cast<double>(onLine) / static_cast<double>(p.total));
  if (onLine >= p.total) {
    if (onLine == p.total) estimate.seconds = 0.0;
    return estimate;
  }
  const auto left = static_cast<double>(p.total - onLine);
  if (p.lineRate > 0) {
    estimate.seconds = left * kLineBitsPerByte / static_cast<double>(p.lineRate);
  } else if (elapsedSeconds > 0.0 && onLine > startOnLine) {
    estimate.seconds = left * elapsedSeconds / static_cast<double>(onLine - startOnLine);
  }
  return estimate;
}

// An estimate further out than this says nothing useful: it is shown as unknown.
inline constexpr double kMaxShownSecondsLeft = 86400.0;

// The time left as both front ends write it, rounded to the nearest second: "0:42 left",
// "1:02:05 left" from an hour on, "--:-- left" while unknown or beyond a day.
inline std::string TimeLeftText(std::optional<double> seconds) {
  if (!seconds || !(*seconds <= kMaxShownSecondsLeft)) return "--:-- left";
  const long s = std::lround(std::max(*seconds, 0.0));
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld left", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld left", s / 60, s % 60);
  return text;
}
