#include "image/auth_challenge.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "image/challenge_cipher.h"
#include "image/firmware_key.h"
#include "tests/image/image_fixtures.h"

namespace {

using image::UtcTime;

std::string AsText(const std::uint8_t* p) {
  return {reinterpret_cast<const char*>(p), 16};
}

TEST(ChallengeCipher, EncryptsTheAes128KnownAnswer) {
  // FIPS-197, appendix C.1.
  std::array<std::uint8_t, 16> key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  std::array<std::uint8_t, 16> block{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                     0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  ASSERT_TRUE(image::EncryptChallengeBlock(key.data(), block.data()));
  EXPECT_EQ(block, (std::array<std::uint8_t, 16>{0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd,
                                                 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}));
}

TEST(AuthChallenge, LaysOutTheTimeAndEncryptsItUnderTheFirstKey) {
  // Wednesday 2014-03-05 14:07:09.250 UTC.
  UtcTime t;
  t.year = 2014;
  t.month = 3;
  t.dayOfWeek = 3;
  t.day = 5;
  t.hour = 14;
  t.minute = 7;
  t.second = 9;
  t.milliseconds = 250;
  const std::string plain("\x05\x00\x03\x00\x0E\x00\xFA\x00\x07\x01\x03\x00\x09\x00\xDE\x07", 16);

  const auto challenge = image::MakeAuthChallenge(0, t);
  ASSERT_TRUE(challenge.has_value());
  EXPECT_EQ(AsText(challenge->plain.data()), plain);

  std::uint8_t key[16];
  image::BuildChallengeKey1(key);
  EXPECT_EQ(AsText(challenge->encrypted.data()), image_test::OpenSslEncrypt128Block(plain, key));

  // The block form hands over the same encrypted block, and the same instant gives the same one.
  std::uint8_t block[16];
  ASSERT_TRUE(image::MakeAuthChallenge(0, block, t));
  EXPECT_EQ(AsText(block), AsText(challenge->encrypted.data()));
}

TEST(AuthChallenge, OtherModesTouchNothing) {
  UtcTime t;
  t.year = 2021;
  EXPECT_FALSE(image::MakeAuthChallenge(1, t).has_value());
  std::uint8_t untouched[16] = {1, 2, 3};
  const std::string before = AsText(untouched);
  EXPECT_FALSE(image::MakeAuthChallenge(1, untouched, t));
  EXPECT_EQ(AsText(untouched), before);
}

// A cipher that fails gives no challenge, and the caller's block keeps what it held: nothing
// half made can be sent.
TEST(AuthChallenge, AFailingCipherGivesNothing) {
  UtcTime t;
  t.year = 2021;
  const image::ChallengeEncrypter failing = [](const std::uint8_t*, std::uint8_t* block) {
    block[0] ^= 0xFF;  // what a failing library may leave behind
    return false;
  };
  EXPECT_FALSE(image::MakeAuthChallenge(0, t, failing).has_value());
  std::uint8_t untouched[16] = {1, 2, 3};
  const std::string before = AsText(untouched);
  EXPECT_FALSE(image::MakeAuthChallenge(0, untouched, t, failing));
  EXPECT_EQ(AsText(untouched), before);
  EXPECT_FALSE(image::MakeAuthChallenge(0, untouched, t, nullptr));
  EXPECT_EQ(AsText(untouched), before);
}

// Sessions on several threads make their challenges at once: each gets its own, whole.
TEST(AuthChallenge, ChallengesMadeAtOnceOnSeveralThreadsStayApart) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::array<int, kThreads> wrong{};
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([k, &wrong] {
      UtcTime t;
      t.year = static_cast<std::uint16_t>(2000 + k);
      const std::string want = AsText(image::MakeAuthChallenge(0, t).value().plain.data());
      for (int i = 0; i < kRounds; ++i) {
        const auto got = image::MakeAuthChallenge(0, t);
        if (!got || AsText(got->plain.data()) != want) ++wrong[static_cast<std::size_t>(k)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong, (std::array<int, kThreads>{}));
}

TEST(UtcClock, SplitsMillisecondsIntoCalendarFields) {
  struct Case {
    std::int64_t ms;
    UtcTime want;
  };
  const Case cases[] = {
      {1394028429250, {2014, 3, 3, 5, 14, 7, 9, 250}}, {0, {1970, 1, 4, 1, 0, 0, 0, 0}},
      {-1, {1969, 12, 3, 31, 23, 59, 59, 999}},        {951868799999, {2000, 2, 2, 29, 23, 59, 59, 999}},
      {2147483648000, {2038, 1, 2, 19, 3, 14, 8, 0}},
  };
  for (const Case& c : cases) {
    const UtcTime got = image::UtcTimeFromUnixMilliseconds(c.ms);
    const auto fields = [](const UtcTime& u) {
      return std::array<int, 8>{u.year, u.month,  u.dayOfWeek, u.day,
                                u.hour, u.minute, u.second,    u.milliseconds};
    };
    EXPECT_EQ(fields(got), fields(c.want)) << "at " << c.ms << " ms";
  }
}

TEST(UtcClock, ReadsTheSystemClockAsUtc) {
  const std::time_t before = std::time(nullptr);
  const UtcTime now = image::CurrentUtcTime();
  const std::time_t after = std::time(nullptr);

  std::tm tm{};
  tm.tm_year = now.year - 1900;
  tm.tm_mon = now.month - 1;
  tm.tm_mday = now.day;
  tm.tm_hour = now.hour;
  tm.tm_min = now.minute;
  tm.tm_sec = now.second;
  const std::time_t read = timegm(&tm);
  EXPECT_LE(before, read);
  EXPECT_LE(read, after);
  EXPECT_EQ(tm.tm_wday, now.dayOfWeek);
}

}  // namespace
