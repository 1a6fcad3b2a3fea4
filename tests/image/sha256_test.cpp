// The firmware file digest against published test vectors.

#include "image/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Sha256, MatchesTheKnownVectors) {
  struct Case {
    std::string message;
    const char* hex;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    const auto digest = image::Sha256Of(c.message);
    ASSERT_TRUE(digest.has_value()) << c.message.size();
    EXPECT_EQ(image::Sha256Hex(*digest), c.hex) << c.message.size();
  }
}

TEST(Sha256, HexIsLowerCaseAndTwoDigitsPerByte) {
  image::Sha256Digest digest{};
  digest[0] = 0x0A;
  digest[31] = 0xF0;
  const std::string hex = image::Sha256Hex(digest);
  EXPECT_EQ(hex.size(), 64u);
  EXPECT_EQ(hex.substr(0, 2), "0a");
  EXPECT_EQ(hex.substr(62), "f0");
}

}  // namespace
