#pragma once
// The authentication challenge: a UTC time stamp encrypted with AES-128 under the first
// challenge key.

#include <array>
#include <cstdint>
#include <optional>

#include "image/challenge_cipher.h"

namespace image {

struct UtcTime {
  std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Reads the system clock as UTC.
UtcTime CurrentUtcTime();
// The UTC calendar fields of a time given as milliseconds since 1970-01-01 00:00:00 UTC.
UtcTime UtcTimeFromUnixMilliseconds(std::int64_t ms);

// One challenge, handed whole to the caller: nothing of it is kept anywhere else.
struct AuthChallenge {
  std::array<std::uint8_t, 16> plain{};      // the time stamp as the device expects it
  std::array<std::uint8_t, 16> encrypted{};  // `plain` under the first challenge key: what is sent
};

// Mode 0: the challenge for `now`, encrypted by `encrypt`. The loader has no other mode: any
// other mode, and a failure of the cipher, give nothing.
std::optional<AuthChallenge> MakeAuthChallenge(int mode, const UtcTime& now,
                                               ChallengeEncrypter encrypt = &EncryptChallengeBlock);

// The encrypted block alone, copied to `block`. False, with `block` untouched, as above.
bool MakeAuthChallenge(int mode, std::uint8_t block[16], const UtcTime& now,
                       ChallengeEncrypter encrypt = &EncryptChallengeBlock);

}  // namespace image
