// Feeds arbitrary bytes as one line of the run record file. A line that reads as a record
// must write back as a line that reads as the same record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/history_table.h"
#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::optional<app::RunRecord> record = app::ParseRecordLine(line);
  if (!record) return 0;
  const std::string again = app::ToJsonLine(*record);
  if (again.find('\n') != std::string::npos) __builtin_trap();
  const std::optional<app::RunRecord> back = app::ParseRecordLine(again);
  if (!back || !(*back == *record)) __builtin_trap();
  for (app::StationColumn station : {app::StationColumn::Without, app::StationColumn::With})
    for (const std::string& row : app::HistoryTableLines({*record}, station))
      for (char c : row)
        if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
  return 0;
}
