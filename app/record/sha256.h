#pragma once
// SHA-256, for the record of which firmware file a device was programmed with: the digest
// names the exact file bytes, whatever the file was called.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

class Sha256 {
 public:
  Sha256();
  void Add(const void* data, std::size_t size);
  // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
  std::string FinishHex();

 private:
  std::array<std::uint32_t, 8> m_state;
  std::array<std::uint8_t, 64> m_block{};
  std::size_t m_used = 0;
  std::uint64_t m_bytes = 0;
  void Compress(const std::uint8_t* block);
};

std::string Sha256Hex(std::string_view bytes);

// The digest of the file at `path`, or nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace app
