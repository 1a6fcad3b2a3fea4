#pragma once
// The run records of a period, read from a record file from its start to its end.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/record/run_record.h"

namespace app {

// From `since` (included) to `until` (not included); an open end when not given.
struct ReportPeriod {
  std::optional<std::chrono::sys_seconds> since;
  std::optional<std::chrono::sys_seconds> until;
  bool Contains(std::chrono::sys_seconds when) const {
    return (!since || *since <= when) && (!until || when < *until);
  }
};

struct PeriodRead {
  bool noFile = false;             // the file does not exist yet
  std::string error;               // why the file cannot be read; empty when it was read
  std::vector<RunRecord> records;  // of the period, in the order of the file
  std::size_t skipped = 0;         // lines that are not records, or whose time is not a record time
};

// Every record of the file at `path` whose time lies in `period`. The file is read in chunks,
// so memory holds the records of the period and one line at a time; a line longer than
// kMaxRecordLine is skipped unread, and a last line without its line end (a record being
// written) is left out. Never throws.
PeriodRead ReadRecordsOfPeriod(const std::string& path, const ReportPeriod& period);

// The records of `records` whose time lies in `period`; `skipped` counts those whose time is
// not a record time.
std::vector<RunRecord> RecordsOfPeriod(std::vector<RunRecord> records, const ReportPeriod& period,
                                       std::size_t& skipped);

}  // namespace app
