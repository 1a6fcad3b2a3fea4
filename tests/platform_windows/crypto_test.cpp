// The CNG side of the ciphers, the digest and the random bytes, against published known answers.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/hex_text.h"
#include "platform/aes_cipher.h"
#include "platform/random.h"
#include "platform/sha256.h"

namespace {

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string Hex(const std::uint8_t* data, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) AppendHexByte(out, data[i], false);
  return out;
}

TEST(WindowsSha256, KnownAnswers) {
  const std::string abc = "abc";
  const auto digest = platform::Sha256Of(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size());
  ASSERT_TRUE(digest);
  EXPECT_EQ(Hex(digest->data(), digest->size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const auto empty = platform::Sha256Of(nullptr, 0);
  ASSERT_TRUE(empty);
  EXPECT_EQ(Hex(empty->data(), empty->size()),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(WindowsSha256, NullDataWithLengthIsRefused) {
  EXPECT_FALSE(platform::Sha256Of(nullptr, 4));
}

TEST(WindowsAes, Aes128EcbKnownAnswer) {
  const auto key = FromHex("000102030405060708090a0b0c0d0e0f");
  auto block = FromHex("00112233445566778899aabbccddeeff");
  platform::AesCipher encrypt(platform::AesMode::k128Ecb, platform::CipherDirection::kEncrypt, key);
  ASSERT_TRUE(encrypt.ok());
  ASSERT_TRUE(encrypt.Run(block.data(), block.data(), block.size()));
  EXPECT_EQ(Hex(block.data(), block.size()), "69c4e0d86a7b0430d8cdb78070b4c55a");
  platform::AesCipher decrypt(platform::AesMode::k128Ecb, platform::CipherDirection::kDecrypt, key);
  ASSERT_TRUE(decrypt.Run(block.data(), block.data(), block.size()));
  EXPECT_EQ(Hex(block.data(), block.size()), "00112233445566778899aabbccddeeff");
}

// The CBC chain runs on from one call to the next, in place.
TEST(WindowsAes, Aes192CbcKnownAnswerAcrossCalls) {
  const auto key = FromHex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
  const auto iv = FromHex("000102030405060708090a0b0c0d0e0f");
  auto data = FromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  const std::string cipherText = "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a";
  platform::AesCipher encrypt(platform::AesMode::k192Cbc, platform::CipherDirection::kEncrypt, key, iv);
  ASSERT_TRUE(encrypt.ok());
  ASSERT_TRUE(encrypt.Run(data.data(), data.data(), 16));
  ASSERT_TRUE(encrypt.Run(data.data() + 16, data.data() + 16, 16));
  EXPECT_EQ(Hex(data.data(), data.size()), cipherText);

  platform::AesCipher decrypt(platform::AesMode::k192Cbc, platform::CipherDirection::kDecrypt, key, iv);
  std::vector<std::uint8_t> plain(data.size());
  ASSERT_TRUE(decrypt.Run(data.data(), plain.data(), 16));
  ASSERT_TRUE(decrypt.Run(data.data() + 16, plain.data() + 16, 16));
  EXPECT_EQ(Hex(plain.data(), plain.size()),
            "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
}

TEST(WindowsAes, WrongLengthsLeaveTheCipherNotOk) {
  const auto key16 = FromHex("000102030405060708090a0b0c0d0e0f");
  const auto iv = FromHex("000102030405060708090a0b0c0d0e0f");
  EXPECT_FALSE(
      platform::AesCipher(platform::AesMode::k192Cbc, platform::CipherDirection::kDecrypt, key16, iv).ok());
  const auto key24 = FromHex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
  EXPECT_FALSE(
      platform::AesCipher(platform::AesMode::k192Cbc, platform::CipherDirection::kDecrypt, key24).ok());
  platform::AesCipher cipher(platform::AesMode::k128Ecb, platform::CipherDirection::kEncrypt, key16);
  std::array<std::uint8_t, 15> part{};
  EXPECT_FALSE(cipher.Run(part.data(), part.data(), part.size()));
  EXPECT_FALSE(cipher.ok());
}

TEST(WindowsRandom, FillsWithBytesThatDiffer) {
  std::array<std::uint8_t, 32> a{};
  std::array<std::uint8_t, 32> b{};
  ASSERT_TRUE(platform::FillRandom(a));
  ASSERT_TRUE(platform::FillRandom(b));
  EXPECT_NE(a, b);
  EXPECT_NE(a, (std::array<std::uint8_t, 32>{}));
}

TEST(WindowsRandom, WipeSecretZeroes) {
  std::array<std::uint8_t, 8> secret{1, 2, 3, 4, 5, 6, 7, 8};
  platform::WipeSecret(secret);
  EXPECT_EQ(secret, (std::array<std::uint8_t, 8>{}));
}

}  // namespace
