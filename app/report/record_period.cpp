#include "app/report/record_period.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"
#include "app/report/report_time.h"

namespace app {

namespace {

// Takes one whole line: a record of the period, or a line counted as skipped.
void TakeLine(const std::string& line, const ReportPeriod& period, PeriodRead& read) {
  if (line.empty()) return;
  std::optional<RunRecord> record = ParseRecordLine(line);
  const std::optional<std::chrono::sys_seconds> time =
      record ? ParseRecordTime(record->time) : std::optional<std::chrono::sys_seconds>();
  if (!time) {
    ++read.skipped;
    return;
  }
  if (period.Contains(*time)) read.records.push_back(std::move(*record));
}

}  // namespace

PeriodRead ReadRecordsOfPeriod(const std::string& path, const ReportPeriod& period) {
  PeriodRead read;
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) {
    read.noFile = true;
    return read;
  }
  if (std::filesystem::is_directory(path, error)) {
    read.error = "cannot read the record file " + path + ": it is a folder";
    return read;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    read.error = "cannot read the record file " + path + ": " + std::strerror(errno);
    return read;
  }
  std::string line;
  bool overlong = false;
  std::vector<char> chunk(std::size_t{64} * 1024);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t start = 0; start < got;) {
      const char* end = static_cast<const char*>(std::memchr(chunk.data() + start, '\n', got - start));
      const std::size_t stop = end != nullptr ? static_cast<std::size_t>(end - chunk.data()) : got;
      if (!overlong) {
        if (line.size() + (stop - start) > kMaxRecordLine) {
          overlong = true;
          line.clear();
        } else {
          line.append(chunk.data() + start, stop - start);
        }
      }
      if (end == nullptr) break;
      if (overlong)
        ++read.skipped;
      else
        TakeLine(line, period, read);
      line.clear();
      overlong = false;
      start = stop + 1;
    }
  }
  if (in.bad()) read.error = "cannot read the record file " + path + ": " + std::strerror(errno);
  return read;
}

std::vector<RunRecord> RecordsOfPeriod(std::vector<RunRecord> records, const ReportPeriod& period,
                                       std::size_t& skipped) {
  std::vector<RunRecord> kept;
  for (RunRecord& r : records) {
    const std::optional<std::chrono::sys_seconds> time = ParseRecordTime(r.time);
    if (!time)
      ++skipped;
    else if (period.Contains(*time))
      kept.push_back(std::move(r));
  }
  return kept;
}

}  // namespace app
