#pragma once
// The yield report: what a supervisor asks of the run records of a period (devices programmed,
// failed, refused and stopped, yield, first-pass yield, run times, the failures that cost
// most), for the whole period and per group. Pure: the records come in, the figures go out.
//
// The meanings, per group of runs:
//   - runs: every run of the group; runs without a device (no device ID: no device answered)
//     are counted apart and in nothing else but the failure results;
//   - devices: the distinct device IDs of the group's runs;
//   - programmed, failed, refused, stopped: the devices whose last run in the group had that
//     outcome (OutcomeOfResult, the classification the line's summary uses), so the four add
//     up to devices;
//   - yield: programmed / (programmed + failed + stopped); refused devices were never tried;
//   - first-pass yield: the devices whose first run in the group programmed them / the
//     devices whose first run was not a refusal;
//   - median and 95th percentile of the run time (duration_ms, waiting for answers left out)
//     of the group's programmed runs: the median of an even count is the mean of the two
//     middle values, the 95th percentile is the value at rank ceil(0.95 n);
//   - failure results: the failed runs (with or without a device) by result code, most first.
// Runs are taken in time order; runs of one second keep the order they were given in.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/record/run_record.h"
#include "app/report/report_time.h"

namespace app {

enum class ReportGrouping { None, Hour, Day, Station, Product, Operator, WorkOrder };

// "hour", "day", "station", "product", "operator", "work-order"; nullopt for any other word.
std::optional<ReportGrouping> ParseGrouping(std::string_view word);
// The heading of a grouping's column: "Hour", ..., "Work order"; "Period" without one.
std::string_view GroupingHeading(ReportGrouping grouping);

struct FailureCount {
  int code = 0;
  std::string result;  // the result text of the first such run, as recorded
  int runs = 0;
};

struct YieldFigures {
  std::string group;  // the group's key as shown ("2026-12-10 14:00", "bench-1"; "-" for none)
  int runs = 0;
  int runsWithoutDevice = 0;
  int devices = 0;
  int programmed = 0;
  int failed = 0;
  int refused = 0;
  int stopped = 0;
  int firstPassProgrammed = 0;  // devices whose first run programmed them
  int firstPassTried = 0;       // devices whose first run was not a refusal
  int programmedRuns = 0;
  std::optional<std::int64_t> medianMs;  // of the programmed runs; nullopt without one
  std::optional<std::int64_t> p95Ms;
  std::vector<FailureCount> failures;  // every failure result, most runs first (then by code)

  // Percentages; nullopt when nothing was tried.
  std::optional<double> yieldPercent() const;
  std::optional<double> firstPassPercent() const;
  // The three most frequent failure results.
  std::vector<FailureCount> topFailures() const;
};

struct YieldReport {
  ReportGrouping grouping = ReportGrouping::None;
  std::vector<YieldFigures> groups;  // in the order of their keys (hours and days in time order)
  YieldFigures total;                // every run of the period, as one group
  // Per hour of the period, from the first run's hour to the last run's, hours without runs
  // included; per day instead when that would be more than kMostHourSlots hours.
  std::vector<YieldFigures> timeline;
  bool timelineInDays = false;
  std::size_t unreadableTimes = 0;  // records left out: their time is not a record time
};

inline constexpr std::size_t kMostHourSlots = 168;

// The report over `records` (any order), their local hours and days in `zone`.
YieldReport ComputeYieldReport(const std::vector<RunRecord>& records, ReportGrouping grouping,
                               const LocalZone& zone);

}  // namespace app
