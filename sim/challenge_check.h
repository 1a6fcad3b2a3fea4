#pragma once
// The device's check of a decrypted authentication challenge: the UTC time-stamp layout the
// loader writes, compared with the device's own clock.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace sim {

struct ChallengeVerdict {
  std::string problem;   // empty when the challenge is accepted
  long long skewMs = 0;  // challenge time minus device time
};

// Layout (two-byte fields little-endian): day, day of week, hour, milliseconds, minute (one
// byte), the constant 01, month, second, year.
ChallengeVerdict CheckChallenge(const std::array<std::uint8_t, 16>& plain,
                                std::chrono::system_clock::time_point deviceNow, int toleranceSeconds);

}  // namespace sim
