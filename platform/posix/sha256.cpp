// SHA-256 through libcrypto's EVP interface.

#include "platform/sha256.h"

#include <openssl/evp.h>

namespace platform {

std::optional<Sha256Digest> Sha256Of(const std::uint8_t* data, std::size_t n) {
  Sha256Digest digest{};
  unsigned int length = 0;
  static constexpr std::uint8_t kNothing = 0;
  if (EVP_Digest(n == 0 ? &kNothing : data, n, digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size())
    return std::nullopt;
  return digest;
}

}  // namespace platform
