#pragma once
// SHA-256 of a byte string: what a firmware file held when it was checked, so that the very
// same bytes can be confirmed before they are programmed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace image {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* data, std::size_t n);
  // Ends the message; the object must not be updated afterwards.
  Sha256Digest Final();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> m_state;
  std::array<std::uint8_t, 64> m_buffer{};
  std::size_t m_buffered = 0;
  std::uint64_t m_length = 0;  // bytes hashed so far
};

Sha256Digest Sha256Of(const std::uint8_t* data, std::size_t n);
Sha256Digest Sha256Of(const std::string& bytes);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const Sha256Digest& digest);

}  // namespace image
