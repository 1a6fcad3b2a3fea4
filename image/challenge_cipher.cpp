#include "image/challenge_cipher.h"

#include <array>

#include "platform/aes_cipher.h"

namespace image {

bool EncryptChallengeBlock(const std::uint8_t key[16], std::uint8_t block[16]) {
  platform::AesCipher cipher(platform::AesMode::k128Ecb, platform::CipherDirection::kEncrypt,
                             std::span<const std::uint8_t>(key, 16));
  std::array<std::uint8_t, 16> out{};
  if (!cipher.Run(block, out.data(), out.size())) return false;
  for (std::size_t i = 0; i < out.size(); ++i) block[i] = out[i];
  return true;
}

}  // namespace image
