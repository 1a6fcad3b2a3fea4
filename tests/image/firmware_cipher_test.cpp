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
  EXPECT_TRUE(cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(in.data()),
                                reinterpret_cast<std::uint8_t*>(out.data()), in.size() / 16));
  return out;
}

TEST(FirmwareCipher, DecryptsTheAes192KnownAnswer) {
  // FIPS-197, appendix C.2; the first CBC block from a zero vector is the bare block cipher.
  std::array<std::uint8_t, 24> key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  const std::array<std::uint8_t, 16> iv{};
  const std::string cipherText("\xdd\xa9\x7c\xa4\x86\x4c\xdf\xe0\x6e\xaf\x70\xa0\xec\x0d\x71\x91", 16);
  const std::string plainText("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
  CFirmwareCipher cipher;
  ASSERT_TRUE(cipher.PrepareKey(key.data(), iv.data()));
  EXPECT_EQ(Decrypt(cipher, cipherText), plainText);
}

TEST(FirmwareCipher, ChainRunsOnAcrossCalls) {
  const std::string cipherText = image_test::RandomBytes(4 * 16, 7);

  CFirmwareCipher whole;
  ASSERT_TRUE(whole.PrepareFileKey());
  const std::string expected = Decrypt(whole, cipherText);

  CFirmwareCipher pieces;
  ASSERT_TRUE(pieces.PrepareFileKey());
  std::string got = Decrypt(pieces, cipherText.substr(0, 16));
  got += Decrypt(pieces, cipherText.substr(16, 16));
  got += Decrypt(pieces, cipherText.substr(32, 0));  // zero blocks change nothing
  got += Decrypt(pieces, cipherText.substr(32));

  EXPECT_EQ(got, expected);
  EXPECT_EQ(expected, image_test::OpenSslDecryptAsFirmware(cipherText));
}

TEST(FirmwareCipher, DecryptsInPlace) {
  const std::string cipherText = image_test::RandomBytes(3 * 16, 11);
  std::string buffer = cipherText;
  CFirmwareCipher cipher;
  ASSERT_TRUE(cipher.PrepareFileKey());
  ASSERT_TRUE(cipher.DecryptCbc(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                reinterpret_cast<std::uint8_t*>(buffer.data()), 3));
  EXPECT_EQ(buffer, image_test::OpenSslDecryptAsFirmware(cipherText));
}

TEST(FirmwareCipher, PrepareFileKeyStartsTheChainAgain) {
  const std::string cipherText = image_test::RandomBytes(2 * 16, 3);
  CFirmwareCipher cipher;
  ASSERT_TRUE(cipher.PrepareFileKey());
  const std::string first = Decrypt(cipher, cipherText);
  ASSERT_NE(Decrypt(cipher, cipherText), first);  // the chain ran on

  ASSERT_TRUE(cipher.PrepareFileKey());
  EXPECT_EQ(Decrypt(cipher, cipherText), first);
}

TEST(FirmwareCipher, WithoutAPreparedKeyNothingIsDecrypted) {
  CFirmwareCipher cipher;
  std::array<std::uint8_t, 16> block{};
  EXPECT_FALSE(cipher.DecryptCbc(block.data(), block.data(), 1));
}

// Every use of the library in one place: wrong key or vector lengths and partial blocks are
// refused, and a refused stream stays refused.
TEST(AesCipher, RefusesWhatIsNotWholeBlocksOrTheRightKey) {
  const std::array<std::uint8_t, 24> key24{};
  const std::array<std::uint8_t, 16> key16{}, iv{};
  using platform::AesCipher;
  using platform::AesMode;
  using platform::CipherDirection;
  EXPECT_FALSE(AesCipher(AesMode::k192Cbc, CipherDirection::kDecrypt, key16, iv).ok());
  EXPECT_FALSE(AesCipher(AesMode::k192Cbc, CipherDirection::kDecrypt, key24).ok());
  EXPECT_FALSE(AesCipher(AesMode::k128Ecb, CipherDirection::kEncrypt, key24).ok());

  AesCipher cipher(AesMode::k192Cbc, CipherDirection::kEncrypt, key24, iv);
  ASSERT_TRUE(cipher.ok());
  std::array<std::uint8_t, 32> buffer{};
  EXPECT_FALSE(cipher.Run(buffer.data(), buffer.data(), 17));
  EXPECT_FALSE(cipher.ok());
  EXPECT_FALSE(cipher.Run(buffer.data(), buffer.data(), 16));
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
