#pragma once
// SHA-256 of a byte string: what a firmware file held when it was checked, so that the very
// same bytes can be confirmed before they are programmed. The digest itself comes from the
// platform; this is the text form the loader stores and compares.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sha256.h"

namespace image {

using platform::Sha256Digest;
using platform::Sha256Of;

// Empty when the library fails (no digest is ever made up).
std::optional<Sha256Digest> Sha256Of(const std::string& bytes);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const Sha256Digest& digest);

// The SHA-256 of the bytes as 64 lower-case hexadecimal digits; empty when the library fails.
std::string Sha256Text(std::string_view bytes);

}  // namespace image
