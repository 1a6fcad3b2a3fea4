#pragma once
// The test that tells plain Intel HEX text from anything else by its first bytes.

#include <cstddef>
#include <cstdint>

#include "image/hex_digits.h"

namespace image {

// How many leading bytes the test looks at.
inline constexpr std::size_t kProbeLength = 80;

// True when the text starts with ":" and the second record's ":" follows the first record
// where a CR LF line end puts it: at 13 + 2 x L, L being the first record's byte count. Only the
// first min(n, kProbeLength) bytes are looked at; a position beyond them fails the test, so a
// first record of more than 33 data bytes, or an empty text, never passes.
constexpr bool StartsLikeIntelHex(const std::uint8_t* probe, std::size_t n) {
  if (n > kProbeLength) n = kProbeLength;
  if (n < 3 || probe[0] != ':') return false;
  std::uint8_t count = 0;
  if (!ParseHexPair(probe[1], probe[2], count)) return false;
  const std::size_t secondRecord = 13 + 2 * static_cast<std::size_t>(count);
  return secondRecord < n && probe[secondRecord] == ':';
}

}  // namespace image
