#include "app/report/report_time.h"

#include <cstdio>
#include <ctime>

namespace app {

namespace {

using namespace std::chrono;

// `count` decimal digits at `at`, nothing else.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The date at the start of `text` ("YYYY-MM-DD"), when it is a real day.
std::optional<local_days> DateAt(std::string_view text) {
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const std::optional<int> y = Digits(text, 0, 4);
  const std::optional<int> m = Digits(text, 5, 2);
  const std::optional<int> d = Digits(text, 8, 2);
  if (!y || !m || !d || *y < 1970) return std::nullopt;
  const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)}, day{static_cast<unsigned>(*d)}};
  if (!date.ok()) return std::nullopt;
  return local_days{date};
}

// "HH:MM" or "HH:MM:SS" exactly, as the time of day.
std::optional<seconds> ClockOf(std::string_view text) {
  if (text.size() != 5 && text.size() != 8) return std::nullopt;
  if (text[2] != ':' || (text.size() == 8 && text[5] != ':')) return std::nullopt;
  const std::optional<int> h = Digits(text, 0, 2);
  const std::optional<int> m = Digits(text, 3, 2);
  const std::optional<int> s = text.size() == 8 ? Digits(text, 6, 2) : std::optional<int>(0);
  if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
  return hours{*h} + minutes{*m} + seconds{*s};
}

std::tm BrokenDown(local_seconds when) {
  const local_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss<seconds> clock{when - day};
  std::tm tm{};
  tm.tm_year = static_cast<int>(date.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  tm.tm_hour = static_cast<int>(clock.hours().count());
  tm.tm_min = static_cast<int>(clock.minutes().count());
  tm.tm_sec = static_cast<int>(clock.seconds().count());
  return tm;
}

local_seconds FromBrokenDown(const std::tm& tm) {
  const year_month_day date{year{tm.tm_year + 1900}, month{static_cast<unsigned>(tm.tm_mon + 1)},
                            day{static_cast<unsigned>(tm.tm_mday)}};
  return local_days{date} + hours{tm.tm_hour} + minutes{tm.tm_min} + seconds{tm.tm_sec};
}

}  // namespace

std::optional<WhenText> ParseWhen(std::string_view text) {
  WhenText when;
  if (!text.empty() && text.back() == 'Z') {
    when.utc = true;
    text.remove_suffix(1);
  }
  const std::optional<local_days> date = DateAt(text);
  if (!date) return std::nullopt;
  if (text.size() == 10) {
    when.wallClock = *date;
    return when;
  }
  if (text[10] != 'T') return std::nullopt;
  const std::optional<seconds> clock = ClockOf(text.substr(11));
  if (!clock) return std::nullopt;
  when.wallClock = *date + *clock;
  return when;
}

std::optional<sys_seconds> ParseRecordTime(std::string_view text) {
  if (text.size() != 20 || text.back() != 'Z' || text[10] != 'T') return std::nullopt;
  const std::optional<local_days> date = DateAt(text);
  const std::optional<seconds> clock = ClockOf(text.substr(11, 8));
  if (!date || !clock) return std::nullopt;
  return sys_seconds{date->time_since_epoch() + *clock};
}

LocalZone SystemZone() {
  LocalZone zone;
  zone.toLocal = [](sys_seconds when) {
    const std::time_t t = system_clock::to_time_t(when);
    std::tm tm{};
    if (::localtime_r(&t, &tm) == nullptr) return local_seconds{when.time_since_epoch()};
    return FromBrokenDown(tm);
  };
  zone.toUtc = [](local_seconds when) {
    std::tm tm = BrokenDown(when);
    tm.tm_isdst = -1;  // the zone's rules say whether summer time applies
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return sys_seconds{when.time_since_epoch()};
    return time_point_cast<seconds>(system_clock::from_time_t(t));
  };
  return zone;
}

LocalZone FixedZone(minutes east) {
  LocalZone zone;
  zone.toLocal = [east](sys_seconds when) { return local_seconds{when.time_since_epoch() + east}; };
  zone.toUtc = [east](local_seconds when) { return sys_seconds{when.time_since_epoch() - east}; };
  return zone;
}

sys_seconds InstantOf(const WhenText& when, const LocalZone& zone) {
  return when.utc ? sys_seconds{when.wallClock.time_since_epoch()} : zone.toUtc(when.wallClock);
}

std::string HourText(local_seconds when) {
  const local_days day = floor<days>(when);
  const hh_mm_ss<seconds> clock{when - day};
  char text[32];
  std::snprintf(text, sizeof text, " %02d:00", static_cast<int>(clock.hours().count()));
  return DayText(when) + text;
}

std::string DayText(local_seconds when) {
  const year_month_day date{floor<days>(when)};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace app
