#pragma once
// CRC-32 (reflected polynomial 0xEDB88320, initial value and final XOR 0xFFFFFFFF): the
// simulator's fingerprint of a received image.

#include <cstddef>
#include <cstdint>
#include <span>

namespace sim {

class Crc32Accumulator {
 public:
  void Add(std::span<const std::uint8_t> bytes);
  void Add(std::uint8_t byte);
  std::uint32_t Value() const { return ~m_state; }

 private:
  std::uint32_t m_state = 0xFFFFFFFFu;
};

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace sim
