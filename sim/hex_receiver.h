#pragma once
// The bootloader's receiver of the Intel HEX stream: checks every record as it arrives,
// keeps the data of the data records (the new flash contents) and fingerprints every byte
// received, the bytes after the end-of-file record included.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/crc32.h"

namespace sim {

class HexReceiver {
 public:
  enum class Step { None, Record, BadRecord, EndOfFile };

  // One received byte. Between records, CR and LF are skipped and anything else counts as
  // stray; within a record a non-hexadecimal character or a wrong checksum makes it bad.
  Step Feed(std::uint8_t byte);

  bool Ended() const { return m_ended; }
  std::size_t ByteCount() const { return m_bytes; }
  std::uint32_t Crc() const { return m_crc.Value(); }
  std::size_t Records() const { return m_records; }
  std::size_t BadRecords() const { return m_badRecords; }
  std::size_t StrayBytes() const { return m_stray; }
  const std::vector<std::uint8_t>& Data() const { return m_data; }

 private:
  Step FinishRecord();
  Step Abandon();

  bool m_ended = false;
  bool m_inRecord = false;
  int m_nibble = -1;  // the high half of a byte being read, or -1
  std::vector<std::uint8_t> m_record;
  std::vector<std::uint8_t> m_data;
  std::size_t m_bytes = 0, m_records = 0, m_badRecords = 0, m_stray = 0;
  Crc32Accumulator m_crc;
};

// The version text that follows `tag` ("VOR_T" + code + "_V") in `data`: the digits and dots
// after its first occurrence (at most 8). Empty when the tag is absent or no version follows.
std::optional<std::string> FindVersion(const std::vector<std::uint8_t>& data, const std::string& tag);

}  // namespace sim
