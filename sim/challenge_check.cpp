#include "sim/challenge_check.h"

#include <ctime>

namespace sim {
namespace {

unsigned Word(const std::array<std::uint8_t, 16>& b, std::size_t at) {
  return static_cast<unsigned>(b[at] | (b[at + 1] << 8));
}

}  // namespace

ChallengeVerdict CheckChallenge(const std::array<std::uint8_t, 16>& plain,
                                std::chrono::system_clock::time_point deviceNow, int toleranceSeconds) {
  ChallengeVerdict v;
  const unsigned day = Word(plain, 0);
  const unsigned dayOfWeek = Word(plain, 2);
  const unsigned hour = Word(plain, 4);
  const unsigned ms = Word(plain, 6);
  const unsigned minute = plain[8];
  const unsigned month = Word(plain, 10);
  const unsigned second = Word(plain, 12);
  const unsigned year = Word(plain, 14);
  if (plain[9] != 0x01) {
    v.problem = "layout";
    return v;
  }
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 59 || ms > 999 || dayOfWeek > 6) {
    v.problem = "field-range";
    return v;
  }
  std::tm tm{};
  tm.tm_year = static_cast<int>(year) - 1900;
  tm.tm_mon = static_cast<int>(month) - 1;
  tm.tm_mday = static_cast<int>(day);
  tm.tm_hour = static_cast<int>(hour);
  tm.tm_min = static_cast<int>(minute);
  tm.tm_sec = static_cast<int>(second);
  const std::time_t secs = timegm(&tm);
  // timegm normalises: a day past the month's end shows up as a changed day of the month.
  if (tm.tm_mday != static_cast<int>(day) || tm.tm_mon != static_cast<int>(month) - 1) {
    v.problem = "date";
    return v;
  }
  if (tm.tm_wday != static_cast<int>(dayOfWeek)) {
    v.problem = "day-of-week";
    return v;
  }
  const auto stamp = std::chrono::system_clock::from_time_t(secs) + std::chrono::milliseconds(ms);
  v.skewMs = std::chrono::duration_cast<std::chrono::milliseconds>(stamp - deviceNow).count();
  const long long limit = static_cast<long long>(toleranceSeconds) * 1000;
  if (v.skewMs > limit || v.skewMs < -limit) v.problem = "clock";
  return v;
}

}  // namespace sim
