#include "image/sha256.h"

#include "common/hex_text.h"

namespace image {

std::optional<Sha256Digest> Sha256Of(const std::string& bytes) {
  return platform::Sha256Of(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string Sha256Hex(const Sha256Digest& digest) {
  return LowerHex(digest);
}

std::string Sha256Text(std::string_view bytes) {
  const std::optional<Sha256Digest> digest =
      platform::Sha256Of(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return digest ? Sha256Hex(*digest) : std::string();
}

}  // namespace image
