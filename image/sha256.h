#pragma once
// SHA-256 of a byte string, through libcrypto: what a firmware file held when it was checked,
// so that the very same bytes can be confirmed before they are programmed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace image {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Empty when the library fails (no digest is ever made up).
std::optional<Sha256Digest> Sha256Of(const std::uint8_t* data, std::size_t n);
std::optional<Sha256Digest> Sha256Of(const std::string& bytes);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const Sha256Digest& digest);

// The SHA-256 of the bytes as 64 lower-case hexadecimal digits; empty when the library fails.
std::string Sha256Text(std::string_view bytes);

}  // namespace image
