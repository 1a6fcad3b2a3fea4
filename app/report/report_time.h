#pragma once
// Times as the reports read and show them: the UTC time of a record, the WHEN of --since and
// --until, and the local hour and day that runs are grouped by.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// A --since or --until time as written: a wall-clock time, local unless it ended in "Z".
struct WhenText {
  std::chrono::local_seconds wallClock;
  bool utc = false;
};

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", each with "Z" at its end for a
// UTC time; a date alone is its midnight. Nothing else is read: other separators, a day or
// hour that does not exist (2026-02-30, 24:00), blanks, a year before 1970 or after 9999.
std::optional<WhenText> ParseWhen(std::string_view text);

// The time of a record, "YYYY-MM-DDThh:mm:ssZ"; nullopt when it is not written so.
std::optional<std::chrono::sys_seconds> ParseRecordTime(std::string_view text);

// How the wall clock of the place where the report is read maps to instants and back.
struct LocalZone {
  std::function<std::chrono::local_seconds(std::chrono::sys_seconds)> toLocal;
  // A wall-clock time that a clock change skips or repeats maps to one of its instants.
  std::function<std::chrono::sys_seconds(std::chrono::local_seconds)> toUtc;
};

// The process's own zone (TZ, else the system's).
LocalZone SystemZone();
// A zone `east` ahead of UTC all year.
LocalZone FixedZone(std::chrono::minutes east);

// The instant a WhenText names in `zone`.
std::chrono::sys_seconds InstantOf(const WhenText& when, const LocalZone& zone);

// "2026-12-10 14:00" (the hour a wall-clock time falls in) and "2026-12-10".
std::string HourText(std::chrono::local_seconds when);
std::string DayText(std::chrono::local_seconds when);

}  // namespace app
