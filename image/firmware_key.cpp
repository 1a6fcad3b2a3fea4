#include "image/firmware_key.h"

#include <array>
#include <cstddef>

namespace image {
namespace {

// Lays the words down in little-endian byte order, the first word first.
template <std::size_t N>
void StoreWordsLittleEndian(const std::array<std::uint32_t, N>& words, std::uint8_t* out) {
  for (std::size_t w = 0; w < N; ++w) {
    for (std::size_t b = 0; b < 4; ++b) out[4 * w + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
  }
}

}  // namespace

void BuildFirmwareFileKey(std::uint8_t key[24], std::uint8_t iv[16]) {
  StoreWordsLittleEndian(
      std::array<std::uint32_t, 6>{0x9AE93E8E, 0x976A6059, 0x7C08BC80, 0x6F90D4C3, 0x4FF6ED21, 0xAF06FCBC},
      key);
  // Each key byte is offset by its own index, so the constants alone are not the key.
  for (std::size_t i = 0; i < 24; ++i) key[i] = static_cast<std::uint8_t>(key[i] + i);

  static constexpr std::array<std::uint8_t, 16> kIv{0x25, 0x31, 0xb5, 0x70, 0x1d, 0x22, 0xf9, 0x51,
                                                    0x69, 0xbf, 0x89, 0x49, 0x64, 0x89, 0xb8, 0xf0};
  for (std::size_t i = 0; i < kIv.size(); ++i) iv[i] = kIv[i];
}

void BuildChallengeKey1(std::uint8_t key[16]) {
  StoreWordsLittleEndian(std::array<std::uint32_t, 4>{0xA167FEED, 0x7B91F449, 0xC33C265E, 0xA196974A}, key);
}

void BuildChallengeKey2(std::uint8_t key[16]) {
  StoreWordsLittleEndian(std::array<std::uint32_t, 4>{0xFBDE921D, 0x0FCC985E, 0x81ED757C, 0x4F36EFEA}, key);
}

}  // namespace image
