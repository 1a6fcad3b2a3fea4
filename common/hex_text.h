#pragma once
// Bytes as hexadecimal text, in one place: lower-case for digests and UUIDs, upper-case where a
// format asks for it (the escapes of a URL).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Appends the byte as two digits, the high four bits first.
inline void AppendHexByte(std::string& out, std::uint8_t byte, bool upper = false) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[byte >> 4];
  out += digits[byte & 0x0F];
}

// The bytes as lower-case digits, two per byte.
inline std::string LowerHex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) AppendHexByte(text, b);
  return text;
}

// Sixteen bytes in a UUID's text form, lower-case: "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
inline std::string UuidText(std::span<const std::uint8_t, 16> bytes) {
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    AppendHexByte(text, bytes[i]);
  }
  return text;
}
