#include "tools/maker_crypto.h"

#include "image/firmware_key.h"
#include "platform/aes_cipher.h"

namespace maker {

std::optional<std::vector<std::uint8_t>> EncryptFirmware(std::span<const std::uint8_t> plain) {
  if (plain.size() % 16 != 0) return std::nullopt;
  std::uint8_t key[24];
  std::uint8_t iv[16];
  image::BuildFirmwareFileKey(key, iv);
  platform::AesCipher cipher(platform::AesMode::k192Cbc, platform::CipherDirection::kEncrypt, key, iv);
  platform::WipeSecret(key);
  std::vector<std::uint8_t> out(plain.size());
  if (!cipher.Run(plain.data(), out.data(), plain.size())) return std::nullopt;
  return out;
}

std::optional<std::array<std::uint8_t, 16>> DecryptChallenge(const std::array<std::uint8_t, 16>& block) {
  std::uint8_t key[16];
  image::BuildChallengeKey1(key);
  platform::AesCipher cipher(platform::AesMode::k128Ecb, platform::CipherDirection::kDecrypt, key);
  platform::WipeSecret(key);
  std::array<std::uint8_t, 16> out{};
  if (!cipher.Run(block.data(), out.data(), out.size())) return std::nullopt;
  return out;
}

}  // namespace maker
