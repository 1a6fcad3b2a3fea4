// Random bytes and the wipe of secrets.

#include "platform/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/aes_cipher.h"

namespace {

TEST(FillRandom, FillsEveryByteAndNeverTheSameTwice) {
  std::array<std::uint8_t, 32> a{};
  std::array<std::uint8_t, 32> b{};
  ASSERT_TRUE(platform::FillRandom(a));
  ASSERT_TRUE(platform::FillRandom(b));
  EXPECT_NE(a, b);
  // 32 random bytes are all zero once in 2^256 draws.
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](std::uint8_t x) { return x != 0; }));
  EXPECT_TRUE(platform::FillRandom({}));
}

TEST(WipeSecret, LeavesOnlyZeros) {
  std::array<std::uint8_t, 24> key{};
  key.fill(0xA5);
  platform::WipeSecret(key);
  EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](std::uint8_t x) { return x == 0; }));
  platform::WipeSecret({});
}

}  // namespace
