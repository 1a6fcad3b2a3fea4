#pragma once
// The authentication exchange: a time-stamp challenge, encrypted, packed into one frame.

#include <cstddef>
#include <optional>
#include <string>

#include "common/load_result.h"
#include "device/link.h"
#include "image/auth_challenge.h"

namespace device {

// Why an authentication ended before anything was sent: the challenge could not be made.
inline constexpr const char* kChallengeFailedDetail =
    "The authentication challenge could not be encrypted (the cipher library failed); nothing was "
    "sent to the device.";

// Makes a fresh challenge from `now` into id.m_authBlock (encrypted by `encrypt`) and writes the
// 30-byte authentication frame into m_txBuf; returns its length. Nothing when the challenge
// cannot be made: m_authBlock and m_txBuf then keep what they held.
std::optional<std::size_t> BuildAuthFrame(Link& link, Identity& id, const image::UtcTime& now,
                                          image::ChallengeEncrypter encrypt = &image::EncryptChallengeBlock);

// The authentication exchange with the clock read now. A challenge that cannot be made is never
// sent: the port is closed and the result is RESULT_AUTH_FAILED, with `why` (when given) set to
// the cause.
LoadResult AuthenticateDevice(Link& link, Identity& id, std::string* why = nullptr);

// AuthenticateDevice with the clock (and the challenge cipher) given instead of read.
LoadResult AuthenticateDevice(Link& link, Identity& id, const image::UtcTime& now, std::string* why = nullptr,
                              image::ChallengeEncrypter encrypt = &image::EncryptChallengeBlock);

}  // namespace device
