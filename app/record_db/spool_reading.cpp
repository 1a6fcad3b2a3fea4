#include "app/record_db/spool_reading.h"

#include <algorithm>
#include <span>
#include <system_error>

#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"
#include "common/hex_text.h"
#include "image/sha256.h"

namespace app {

std::string DerivedRunId(std::string_view line) {
  image::Sha256Digest digest =
      image::Sha256Of(reinterpret_cast<const std::uint8_t*>(line.data()), line.size())
          .value_or(image::Sha256Digest{});
  digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x80);  // version 8
  digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);  // the RFC variant
  return UuidText(std::span(digest).first<16>());
}

SpoolRead ReadSpool(const platform::File& file, std::uint64_t from, std::uint64_t size,
                    std::size_t maxRecords, bool keep) {
  SpoolRead read;
  read.endOffset = from;
  constexpr std::size_t kChunk = std::size_t{256} * 1024;
  std::string pending;            // the start of a line not yet ended
  std::uint64_t at = from;        // the file offset of the next byte to read
  bool skippingLongLine = false;  // inside a line too long to be a record
  std::string chunk;
  while (at < size && read.count < maxRecords) {
    chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at)));
    std::error_code error;
    const std::int64_t n = platform::ReadSomeAt(file, at, chunk.data(), chunk.size(), error);
    if (n < 0) {
      read.error = error.message();
      return read;
    }
    if (n == 0) break;
    chunk.resize(static_cast<std::size_t>(n));
    std::size_t start = 0;
    while (start < chunk.size() && read.count < maxRecords) {
      const std::size_t end = chunk.find('\n', start);
      if (end == std::string::npos) {
        if (!skippingLongLine) pending.append(std::string_view(chunk).substr(start));
        if (pending.size() > kMaxRecordLine) {
          pending.clear();
          skippingLongLine = true;
        }
        start = chunk.size();
        break;
      }
      const std::uint64_t lineEnd = at + end + 1;
      if (!skippingLongLine) {
        pending.append(chunk, start, end - start);
        if (pending.size() <= kMaxRecordLine) {
          if (std::optional<RunRecord> record = ParseRecordLine(pending)) {
            if (record->runId.empty()) record->runId = DerivedRunId(pending);
            ++read.count;
            if (keep) {
              read.records.push_back(std::move(*record));
              read.lines.push_back(pending);
              read.ends.push_back(lineEnd);
            }
          }
        }
      }
      pending.clear();
      skippingLongLine = false;
      read.endOffset = lineEnd;
      start = end + 1;
    }
    at += start;
  }
  return read;
}

}  // namespace app
