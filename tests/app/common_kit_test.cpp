// The shared kit of small steps: hexadecimal and UUID text (the file steps are the platform
// layer's, tested with it).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "common/hex_text.h"
#include "image/sha256.h"

namespace {

TEST(HexText, DigitsUuidsAndDigests) {
  const std::array<std::uint8_t, 16> bytes{0x00, 0x01, 0x7f, 0x80, 0xab, 0xcd, 0xef, 0xff,
                                           0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x9a};
  EXPECT_EQ(LowerHex(bytes), "00017f80abcdefff102030405060709a");
  EXPECT_EQ(UuidText(bytes), "00017f80-abcd-efff-1020-30405060709a");
  std::string escaped;
  AppendHexByte(escaped, 0xe9, true);
  EXPECT_EQ(escaped, "E9");
  EXPECT_EQ(image::Sha256Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(image::Sha256Text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
