#pragma once
// A firmware image held in memory: the decoded Intel HEX text with a read position.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace image {

class MemImage {
 public:
  void Write(const std::uint8_t* data, std::size_t n) { m_bytes.insert(m_bytes.end(), data, data + n); }
  // Reads up to n bytes from the position; returns how many were read.
  std::size_t Read(std::uint8_t* out, std::size_t n);
  void SeekToBegin() { m_pos = 0; }
  std::size_t GetLength() const { return m_bytes.size(); }
  std::size_t GetPosition() const { return m_pos; }
  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  void Close() {
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_pos = 0;
  }

 private:
  std::vector<std::uint8_t> m_bytes;
  std::size_t m_pos = 0;
};

inline std::size_t MemImage::Read(std::uint8_t* out, std::size_t n) {
  std::size_t left = m_bytes.size() - m_pos;
  std::size_t take = n < left ? n : left;
  for (std::size_t i = 0; i < take; ++i) out[i] = m_bytes[m_pos + i];
  m_pos += take;
  return take;
}

}  // namespace image
