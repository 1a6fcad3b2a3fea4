#pragma once
// Reads the records of the record file after the delivered part. Only complete lines count:
// the last line may still be written by another loader. Lines that are not records (or longer
// than a record line may be) are passed over. A record of an older loader without a run ID is
// given one derived from its line, the same every time it is read, so it is delivered once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/run_record.h"
#include "platform/files.h"

namespace app {

struct SpoolRead {
  std::vector<RunRecord> records;   // filled only when asked for
  std::vector<std::string> lines;   // each record's line (without its line end), when asked for
  std::vector<std::uint64_t> ends;  // the byte after each record's line, when asked for
  std::size_t count = 0;            // records found
  std::uint64_t endOffset = 0;      // the byte after the last line read
  std::string error;                // why the file could not be read; empty when it was
};

// The records on the complete lines of the open file `file` from byte `from` up to byte
// `size`, at most `maxRecords` of them; with `keep` false they are only counted.
SpoolRead ReadSpool(const platform::File& file, std::uint64_t from, std::uint64_t size,
                    std::size_t maxRecords, bool keep);

// A name-based UUID (version 8, from the SHA-256 of the line's bytes) for a record line
// without a run ID.
std::string DerivedRunId(std::string_view line);

}  // namespace app
