#include "sim/hex_receiver.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kEndOfFileRecord = 0x01;

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

HexReceiver::Step HexReceiver::Feed(std::uint8_t byte) {
  ++m_bytes;
  m_crc.Add(byte);
  if (m_ended) return Step::None;  // what the file holds after its last record
  if (!m_inRecord) {
    if (byte == ':') {
      m_inRecord = true;
      m_nibble = -1;
      m_record.clear();
    } else if (byte != '\r' && byte != '\n') {
      ++m_stray;
    }
    return Step::None;
  }
  const int v = HexValue(byte);
  if (v < 0) {
    Step s = Abandon();
    if (byte == ':') {  // a record cut short by the next one
      m_inRecord = true;
      m_nibble = -1;
      m_record.clear();
    }
    return s;
  }
  if (m_nibble < 0) {
    m_nibble = v;
    return Step::None;
  }
  m_record.push_back(static_cast<std::uint8_t>((m_nibble << 4) | v));
  m_nibble = -1;
  // count, address (2), type, data, checksum
  if (m_record.size() == static_cast<std::size_t>(m_record[0]) + 5) return FinishRecord();
  return Step::None;
}

HexReceiver::Step HexReceiver::Abandon() {
  m_inRecord = false;
  ++m_badRecords;
  return Step::BadRecord;
}

HexReceiver::Step HexReceiver::FinishRecord() {
  m_inRecord = false;
  std::uint8_t sum = 0;
  for (std::uint8_t b : m_record) sum = static_cast<std::uint8_t>(sum + b);
  if (sum != 0) {
    ++m_badRecords;
    return Step::BadRecord;
  }
  ++m_records;
  const std::uint8_t type = m_record[3];
  if (type == kDataRecord) m_data.insert(m_data.end(), m_record.begin() + 4, m_record.end() - 1);
  if (type == kEndOfFileRecord) {
    m_ended = true;
    return Step::EndOfFile;
  }
  return Step::Record;
}

std::optional<std::string> FindVersion(const std::vector<std::uint8_t>& data, const std::string& tag) {
  auto it = std::search(data.begin(), data.end(), tag.begin(), tag.end());
  if (it == data.end()) return std::nullopt;
  std::string version;
  for (auto p = it + static_cast<std::ptrdiff_t>(tag.size()); p != data.end() && version.size() < 8; ++p) {
    if (!((*p >= '0' && *p <= '9') || *p == '.')) break;
    version += static_cast<char>(*p);
  }
  if (version.empty()) return std::nullopt;
  return version;
}

}  // namespace sim
