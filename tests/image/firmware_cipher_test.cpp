#include "image/firmware_cipher.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "image/firmware_key.h"
#include "tests/image/image_fixtures.h"

namespace {

using image::CFirmwareCipher;
using image_test::AsString;

std::string Decrypt(CFirmwareCipher& cipher, const std::string& in) {
  std::string out(in.size(), '\0');
  cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(in.data()),
                    reinterpret_cast<std::uint8_t*>(out.data()), in.size() / 16);
  return out;
}

std::string Chain(const CFirmwareCipher& cipher) {
  return {reinterpret_cast<const char*>(cipher.ChainingBlock()), 16};
}

TEST(FirmwareCipher, DecryptsTheAes192KnownAnswer) {
  // FIPS-197, appendix C.2.
  std::array<std::uint8_t, 24> key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  const std::array<std::uint8_t, 16> iv{};
  const std::array<std::uint8_t, 16> cipherText{0xdd, 0xa9, 0x7c, 0xa4, 0x86, 0x4c, 0xdf, 0xe0,
                                                0x6e, 0xaf, 0x70, 0xa0, 0xec, 0x0d, 0x71, 0x91};
  const std::array<std::uint8_t, 16> plainText{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                               0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  CFirmwareCipher cipher;
  cipher.PrepareKey(key.data(), iv.data());
  std::array<std::uint8_t, 16> out{};
  cipher.DecryptBlock(cipherText.data(), out.data());
  EXPECT_EQ(out, plainText);
}

TEST(FirmwareCipher, GeneratesTheStandardTables) {
  const image::FirmwareCipherTables& t = CFirmwareCipher::Tables();
  EXPECT_EQ((std::array<int, 4>{t.sbox[0], t.sbox[1], t.sbox[2], t.sbox[3]}),
            (std::array<int, 4>{0x63, 0x7C, 0x77, 0x7B}));
  EXPECT_EQ((std::array<int, 4>{t.invSbox[0], t.invSbox[1], t.invSbox[2], t.invSbox[3]}),
            (std::array<int, 4>{0x52, 0x09, 0x6A, 0xD5}));
  EXPECT_EQ(t.rcon[0], 0u);
  const std::array<std::uint32_t, 10> rcon{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36};
  for (std::size_t i = 0; i < rcon.size(); ++i)
    EXPECT_EQ(t.rcon[i + 1], rcon[i]) << "round constant " << i + 1;
  EXPECT_EQ(t.inverse[0], 0);
  EXPECT_EQ(t.inverse[0x53], 0xCA);  // the inverse worked out in FIPS-197, section 4.2
  for (int x = 0; x < 256; ++x) ASSERT_EQ(t.invSbox[t.sbox[x]], x) << "S-box entry " << x;

  // sbox[1] is 0x7C, so invSbox[0x7C] is 1 and the round tables hold the bare coefficients.
  EXPECT_EQ(t.td0[0x7C], 0x0B0D090Eu);
  EXPECT_EQ(t.td1[0x7C], 0x0D090E0Bu);
  EXPECT_EQ(t.td2[0x7C], 0x090E0B0Du);
  EXPECT_EQ(t.td3[0x7C], 0x0E0B0D09u);
  EXPECT_EQ((std::array<std::uint32_t, 4>{t.sd0[0x7C], t.sd1[0x7C], t.sd2[0x7C], t.sd3[0x7C]}),
            (std::array<std::uint32_t, 4>{0x1, 0x100, 0x10000, 0x1000000}));
}

TEST(FirmwareCipher, GeneratesTheTablesOncePerProcess) {
  const CFirmwareCipher first;
  const int generations = CFirmwareCipher::TableGenerations();
  const CFirmwareCipher second;
  EXPECT_EQ(generations, 1);
  EXPECT_EQ(CFirmwareCipher::TableGenerations(), 1);
}

TEST(FirmwareCipher, ChainRunsOnAcrossCalls) {
  const std::string cipherText = image_test::RandomBytes(4 * 16, 7);

  CFirmwareCipher whole;
  whole.PrepareFileKey();
  const std::string expected = Decrypt(whole, cipherText);

  CFirmwareCipher pieces;
  pieces.PrepareFileKey();
  std::string got = Decrypt(pieces, cipherText.substr(0, 16));
  got += Decrypt(pieces, cipherText.substr(16, 16));
  got += Decrypt(pieces, cipherText.substr(32, 0));  // zero blocks change nothing
  got += Decrypt(pieces, cipherText.substr(32));

  EXPECT_EQ(got, expected);
  EXPECT_EQ(Chain(pieces), Chain(whole));
  EXPECT_EQ(Chain(whole), cipherText.substr(48));
  EXPECT_EQ(expected, image_test::OpenSslDecryptAsFirmware(cipherText));
}

TEST(FirmwareCipher, DecryptsInPlace) {
  const std::string cipherText = image_test::RandomBytes(3 * 16, 11);
  std::string buffer = cipherText;
  CFirmwareCipher cipher;
  cipher.PrepareFileKey();
  cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                    reinterpret_cast<std::uint8_t*>(buffer.data()), 3);
  EXPECT_EQ(buffer, image_test::OpenSslDecryptAsFirmware(cipherText));
}

TEST(FirmwareCipher, PrepareFileKeyStartsTheChainAgain) {
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  const std::string cipherText = image_test::RandomBytes(2 * 16, 3);

  CFirmwareCipher cipher;
  cipher.PrepareFileKey();
  const std::string first = Decrypt(cipher, cipherText);
  ASSERT_NE(Chain(cipher), AsString({iv, iv + 16}));

  cipher.PrepareFileKey();
  EXPECT_EQ(Chain(cipher), AsString({iv, iv + 16}));
  EXPECT_EQ(Decrypt(cipher, cipherText), first);
}

// The packing tool and the device simulator rebuild these from the same rule; a change here
// would make every published firmware file unreadable.
TEST(FirmwareKey, FollowsTheAgreedConstruction) {
  const std::array<std::uint32_t, 6> fileWords{0x9AE93E8E, 0x976A6059, 0x7C08BC80,
                                               0x6F90D4C3, 0x4FF6ED21, 0xAF06FCBC};
  std::string expectedKey;
  for (std::size_t i = 0; i < 24; ++i) {
    expectedKey += static_cast<char>(((fileWords[i / 4] >> (8 * (i % 4))) + i) & 0xFF);
  }
  std::uint8_t key[24], iv[16];
  image::BuildFirmwareFileKey(key, iv);
  EXPECT_EQ(AsString({key, key + 24}), expectedKey);
  EXPECT_EQ(AsString({iv, iv + 16}),
            std::string("\x25\x31\xb5\x70\x1d\x22\xf9\x51\x69\xbf\x89\x49\x64\x89\xb8\xf0", 16));

  std::uint8_t challengeKey[16];
  image::BuildChallengeKey1(challengeKey);
  EXPECT_EQ(AsString({challengeKey, challengeKey + 16}),
            std::string("\xED\xFE\x67\xA1\x49\xF4\x91\x7B\x5E\x26\x3C\xC3\x4A\x97\x96\xA1", 16));
  image::BuildChallengeKey2(challengeKey);
  EXPECT_EQ(AsString({challengeKey, challengeKey + 16}),
            std::string("\x1D\x92\xDE\xFB\x5E\x98\xCC\x0F\x7C\x75\xED\x81\xEA\xEF\x36\x4F", 16));
}

}  // namespace
