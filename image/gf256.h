#pragma once
// Arithmetic in GF(2^8) modulo the AES polynomial x^8 + x^4 + x^3 + x + 1, for the firmware
// cipher's table generation and key schedule.

#include <cstdint>

namespace image::detail {

// Shift-and-add multiplication, reducing by 0x1B whenever the high bit is shifted out.
constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b != 0) {
    if ((b & 1) != 0) product = static_cast<std::uint8_t>(product ^ a);
    const bool carry = (a & 0x80) != 0;
    a = static_cast<std::uint8_t>(a << 1);
    if (carry) a = static_cast<std::uint8_t>(a ^ 0x1B);
    b = static_cast<std::uint8_t>(b >> 1);
  }
  return product;
}

}  // namespace image::detail
