#pragma once
// Hexadecimal digit pairs as Intel HEX writes them; either letter case is accepted.

#include <cstdint>

namespace image {

// The value of one hexadecimal digit, or -1 when the character is not one.
constexpr int HexDigitValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two digits, the first giving the high four bits, to one byte. False (and `out` untouched)
// when either character is not a hexadecimal digit.
constexpr bool ParseHexPair(std::uint8_t high, std::uint8_t low, std::uint8_t& out) {
  const int h = HexDigitValue(high);
  const int l = HexDigitValue(low);
  if (h < 0 || l < 0) return false;
  out = static_cast<std::uint8_t>(h << 4 | l);
  return true;
}

}  // namespace image
