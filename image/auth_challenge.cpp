#include "image/auth_challenge.h"

#include <chrono>
#include <cstddef>

#include "image/firmware_key.h"
#include "platform/aes_cipher.h"

namespace image {
namespace {

void PutLittleEndian16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// The time stamp the device expects: two-byte fields little-endian, the minute alone in one
// byte followed by the constant 0x01.
void WriteChallengeBlock(const UtcTime& now, std::uint8_t block[16]) {
  PutLittleEndian16(block + 0, now.day);
  PutLittleEndian16(block + 2, now.dayOfWeek);
  PutLittleEndian16(block + 4, now.hour);
  PutLittleEndian16(block + 6, now.milliseconds);
  block[8] = static_cast<std::uint8_t>(now.minute);
  block[9] = 0x01;
  PutLittleEndian16(block + 10, now.month);
  PutLittleEndian16(block + 12, now.second);
  PutLittleEndian16(block + 14, now.year);
}

}  // namespace

UtcTime UtcTimeFromUnixMilliseconds(std::int64_t ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> tp{milliseconds{ms}};
  const sys_days day = floor<days>(tp);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{tp - day};

  UtcTime t;
  t.year = static_cast<std::uint16_t>(static_cast<int>(date.year()));
  t.month = static_cast<std::uint16_t>(static_cast<unsigned>(date.month()));
  t.day = static_cast<std::uint16_t>(static_cast<unsigned>(date.day()));
  t.dayOfWeek = static_cast<std::uint16_t>(weekday{day}.c_encoding());
  t.hour = static_cast<std::uint16_t>(clock.hours().count());
  t.minute = static_cast<std::uint16_t>(clock.minutes().count());
  t.second = static_cast<std::uint16_t>(clock.seconds().count());
  t.milliseconds = static_cast<std::uint16_t>(clock.subseconds().count());
  return t;
}

UtcTime CurrentUtcTime() {
  using namespace std::chrono;
  return UtcTimeFromUnixMilliseconds(
      time_point_cast<milliseconds>(system_clock::now()).time_since_epoch().count());
}

std::optional<AuthChallenge> MakeAuthChallenge(int mode, const UtcTime& now, ChallengeEncrypter encrypt) {
  if (mode != 0) return std::nullopt;
  AuthChallenge challenge;
  WriteChallengeBlock(now, challenge.plain.data());
  challenge.encrypted = challenge.plain;
  std::uint8_t key[16];
  BuildChallengeKey1(key);
  const bool ok = encrypt != nullptr && encrypt(key, challenge.encrypted.data());
  platform::WipeSecret(key);
  if (!ok) return std::nullopt;
  return challenge;
}

bool MakeAuthChallenge(int mode, std::uint8_t block[16], const UtcTime& now, ChallengeEncrypter encrypt) {
  const std::optional<AuthChallenge> challenge = MakeAuthChallenge(mode, now, encrypt);
  if (!challenge) return false;
  for (std::size_t i = 0; i < challenge->encrypted.size(); ++i) block[i] = challenge->encrypted[i];
  return true;
}

}  // namespace image
