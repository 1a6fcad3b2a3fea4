#pragma once
// SHA-256 through the system's cipher library.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest of n bytes at `data` (data may be null when n is 0). Empty when the library
// fails: no digest is ever made up.
std::optional<Sha256Digest> Sha256Of(const std::uint8_t* data, std::size_t n);

}  // namespace platform
