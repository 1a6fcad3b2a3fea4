#include "image/firmware_cipher.h"

#include "image/firmware_key.h"

namespace image {

bool CFirmwareCipher::PrepareFileKey() {
  std::uint8_t key[24];
  std::uint8_t iv[16];
  BuildFirmwareFileKey(key, iv);
  const bool ok = PrepareKey(key, iv);
  // The key leaves no copy behind in this stack frame.
  platform::WipeSecret(key);
  return ok;
}

bool CFirmwareCipher::PrepareKey(const std::uint8_t key[24], const std::uint8_t iv[16]) {
  m_cipher.emplace(platform::AesMode::k192Cbc, platform::CipherDirection::kDecrypt,
                   std::span<const std::uint8_t>(key, 24), std::span<const std::uint8_t>(iv, 16));
  if (m_cipher->ok()) return true;
  m_cipher.reset();
  return false;
}

bool CFirmwareCipher::DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  if (!m_cipher) return false;
  if (m_cipher->Run(in, out, blocks * 16)) return true;
  m_cipher.reset();
  return false;
}

}  // namespace image
