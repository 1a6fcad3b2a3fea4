#include "sim/crc32.h"

#include <array>

namespace sim {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

void Crc32Accumulator::Add(std::uint8_t byte) {
  m_state = kTable[(m_state ^ byte) & 0xFFu] ^ (m_state >> 8);
}

void Crc32Accumulator::Add(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) Add(b);
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  Crc32Accumulator acc;
  acc.Add(bytes);
  return acc.Value();
}

}  // namespace sim
