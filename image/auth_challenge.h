#pragma once
// The authentication challenge: a UTC time stamp encrypted with AES-128 under the first
// challenge key.

#include <cstdint>

namespace image {

struct UtcTime {
  std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Reads the system clock as UTC.
UtcTime CurrentUtcTime();
// The UTC calendar fields of a time given as milliseconds since 1970-01-01 00:00:00 UTC.
UtcTime UtcTimeFromUnixMilliseconds(std::int64_t ms);

// Mode 0: builds the challenge block from `now`, keeps it in the challenge store, copies it to
// `block` and encrypts `block` in place under the first challenge key. Returns true.
// The loader has no other mode: any other mode returns false and touches nothing.
bool MakeAuthChallenge(int mode, std::uint8_t block[16], const UtcTime& now);
// The same with the system clock.
bool MakeAuthChallenge(int mode, std::uint8_t block[16]);

// The plain block of the last challenge made.
const std::uint8_t* LastChallengeBlock();

}  // namespace image
