#include "app/record_db/spool_reading.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"

namespace app {

std::string DerivedRunId(std::string_view line) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  EVP_Digest(line.data(), line.size(), digest.data(), &size, EVP_sha256(), nullptr);
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0F) | 0x80);  // version 8
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3F) | 0x80);  // the RFC variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[digest[i] >> 4];
    id += kHex[digest[i] & 0xF];
  }
  return id;
}

SpoolRead ReadSpool(int fd, std::uint64_t from, std::uint64_t size, std::size_t maxRecords, bool keep) {
  SpoolRead read;
  read.endOffset = from;
  constexpr std::size_t kChunk = std::size_t{256} * 1024;
  std::string pending;            // the start of a line not yet ended
  std::uint64_t at = from;        // the file offset of the next byte to read
  bool skippingLongLine = false;  // inside a line too long to be a record
  std::string chunk;
  while (at < size && read.count < maxRecords) {
    chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at)));
    const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      read.error = std::strerror(errno);
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
