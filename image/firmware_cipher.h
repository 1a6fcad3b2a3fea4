#pragma once
// AES-192 decryption in CBC mode for encrypted firmware files, through libcrypto.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/aes_cipher.h"

namespace image {

class CFirmwareCipher {
 public:
  // Prepares no key: DecryptCbc fails until one is prepared.
  CFirmwareCipher() = default;

  // AES-192 with the firmware file key; the chaining block starts again at the firmware
  // initialisation vector. Called once per file, before the first DecryptCbc. False when the
  // cipher library fails.
  bool PrepareFileKey();

  // The same with another AES-192 key and initialisation vector (known-answer tests).
  bool PrepareKey(const std::uint8_t key[24], const std::uint8_t iv[16]);

  // Decrypts `blocks` consecutive 16-byte blocks in CBC mode, continuing the chain from the
  // previous call. `in` and `out` may be the same buffer. Zero blocks do nothing. False when no
  // key is prepared or the cipher library fails; the cipher then stays unusable until the next
  // preparation.
  bool DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);

 private:
  std::optional<platform::AesCipher> m_cipher;
};

}  // namespace image
