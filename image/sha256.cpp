#include "image/sha256.h"

#include <openssl/evp.h>

#include "common/hex_text.h"

namespace image {

std::optional<Sha256Digest> Sha256Of(const std::uint8_t* data, std::size_t n) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(data, n, digest.data(), &length, EVP_sha256(), nullptr) != 1 || length != digest.size())
    return std::nullopt;
  return digest;
}

std::optional<Sha256Digest> Sha256Of(const std::string& bytes) {
  return Sha256Of(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string Sha256Hex(const Sha256Digest& digest) {
  return LowerHex(digest);
}

std::string Sha256Text(std::string_view bytes) {
  const std::optional<Sha256Digest> digest =
      Sha256Of(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return digest ? Sha256Hex(*digest) : std::string();
}

}  // namespace image
