#include "tools/maker_crypto.h"

#include <openssl/crypto.h>

#include "image/aes_cipher.h"
#include "image/firmware_key.h"

namespace maker {

std::optional<std::vector<std::uint8_t>> EncryptFirmware(std::span<const std::uint8_t> plain) {
  if (plain.size() % 16 != 0) return std::nullopt;
  std::uint8_t key[24];
  std::uint8_t iv[16];
  image::BuildFirmwareFileKey(key, iv);
  image::AesCipher cipher(image::AesMode::k192Cbc, image::CipherDirection::kEncrypt, key, iv);
  OPENSSL_cleanse(key, sizeof key);
  std::vector<std::uint8_t> out(plain.size());
  if (!cipher.Run(plain.data(), out.data(), plain.size())) return std::nullopt;
  return out;
}

std::optional<std::array<std::uint8_t, 16>> DecryptChallenge(const std::array<std::uint8_t, 16>& block) {
  std::uint8_t key[16];
  image::BuildChallengeKey1(key);
  image::AesCipher cipher(image::AesMode::k128Ecb, image::CipherDirection::kDecrypt, key);
  OPENSSL_cleanse(key, sizeof key);
  std::array<std::uint8_t, 16> out{};
  if (!cipher.Run(block.data(), out.data(), out.size())) return std::nullopt;
  return out;
}

}  // namespace maker
