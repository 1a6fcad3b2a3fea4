#include "app/report/yield_report.h"

#include <algorithm>
#include <array>
#include <map>

#include "common/load_result.h"

namespace app {

namespace {

using std::chrono::sys_seconds;

struct NamedGrouping {
  std::string_view word;
  std::string_view heading;
  ReportGrouping grouping;
};

constexpr std::array<NamedGrouping, 7> kGroupings{{
    {"", "Period", ReportGrouping::None},
    {"hour", "Hour", ReportGrouping::Hour},
    {"day", "Day", ReportGrouping::Day},
    {"station", "Station", ReportGrouping::Station},
    {"product", "Product", ReportGrouping::Product},
    {"operator", "Operator", ReportGrouping::Operator},
    {"work-order", "Work order", ReportGrouping::WorkOrder},
}};

struct TimedRun {
  sys_seconds time;
  const RunRecord* record = nullptr;
};

// The first and the last outcome of one device's runs.
struct DeviceRuns {
  RunOutcome first;
  RunOutcome last;
};

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

// Devices name themselves with blanks at the end ("VORnet Amp "); one product is one group.
std::string TrimmedRight(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string KeyOf(const TimedRun& run, ReportGrouping grouping, const LocalZone& zone) {
  const RunRecord& r = *run.record;
  switch (grouping) {
    case ReportGrouping::None:
      return "all";
    case ReportGrouping::Hour:
      return HourText(zone.toLocal(run.time));
    case ReportGrouping::Day:
      return DayText(zone.toLocal(run.time));
    case ReportGrouping::Station:
      return OrDash(r.station);
    case ReportGrouping::Product:
      return OrDash(r.product ? TrimmedRight(*r.product) : std::string());
    case ReportGrouping::Operator:
      return OrDash(r.operatorName);
    case ReportGrouping::WorkOrder:
      return OrDash(r.workOrder);
  }
  return "-";
}

YieldFigures FiguresOf(std::string key, const std::vector<TimedRun>& runs) {
  YieldFigures f;
  f.group = std::move(key);
  f.runs = static_cast<int>(runs.size());
  std::map<std::uint32_t, DeviceRuns> devices;
  std::vector<std::int64_t> durations;
  std::map<int, FailureCount> failures;
  for (const TimedRun& run : runs) {
    const RunRecord& r = *run.record;
    const RunOutcome outcome = OutcomeOfResult(r.code);
    if (r.deviceId) {
      const auto [at, first] = devices.try_emplace(*r.deviceId, DeviceRuns{outcome, outcome});
      if (!first) at->second.last = outcome;
    } else {
      ++f.runsWithoutDevice;
    }
    if (outcome == RunOutcome::Programmed) durations.push_back(r.durationMs);
    if (outcome == RunOutcome::Failed) {
      FailureCount& count = failures[r.code];
      if (count.runs == 0) {
        count.code = r.code;
        count.result = r.result;
      }
      ++count.runs;
    }
  }
  f.devices = static_cast<int>(devices.size());
  for (const auto& [id, device] : devices) {
    switch (device.last) {
      case RunOutcome::Programmed:
        ++f.programmed;
        break;
      case RunOutcome::Failed:
        ++f.failed;
        break;
      case RunOutcome::Refused:
        ++f.refused;
        break;
      case RunOutcome::Stopped:
        ++f.stopped;
        break;
    }
    if (device.first != RunOutcome::Refused) ++f.firstPassTried;
    if (device.first == RunOutcome::Programmed) ++f.firstPassProgrammed;
  }
  f.programmedRuns = static_cast<int>(durations.size());
  if (!durations.empty()) {
    std::sort(durations.begin(), durations.end());
    const std::size_t n = durations.size();
    f.medianMs = n % 2 == 1 ? durations[n / 2] : (durations[n / 2 - 1] + durations[n / 2]) / 2;
    const std::size_t rank = (95 * n + 99) / 100;  // ceil(0.95 n), at least 1
    f.p95Ms = durations[rank - 1];
  }
  for (auto& [code, count] : failures) f.failures.push_back(std::move(count));
  std::stable_sort(f.failures.begin(), f.failures.end(),
                   [](const FailureCount& a, const FailureCount& b) { return a.runs > b.runs; });
  return f;
}

std::optional<double> Percent(int part, int whole) {
  if (whole <= 0) return std::nullopt;
  return 100.0 * part / whole;
}

}  // namespace

std::optional<ReportGrouping> ParseGrouping(std::string_view word) {
  for (const NamedGrouping& g : kGroupings)
    if (!word.empty() && g.word == word) return g.grouping;
  return std::nullopt;
}

std::string_view GroupingHeading(ReportGrouping grouping) {
  for (const NamedGrouping& g : kGroupings)
    if (g.grouping == grouping) return g.heading;
  return "Period";
}

std::optional<double> YieldFigures::yieldPercent() const {
  return Percent(programmed, programmed + failed + stopped);
}

std::optional<double> YieldFigures::firstPassPercent() const {
  return Percent(firstPassProgrammed, firstPassTried);
}

std::vector<FailureCount> YieldFigures::topFailures() const {
  return {failures.begin(),
          failures.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(3, failures.size()))};
}

YieldReport ComputeYieldReport(const std::vector<RunRecord>& records, ReportGrouping grouping,
                               const LocalZone& zone) {
  YieldReport report;
  report.grouping = grouping;
  std::vector<TimedRun> runs;
  runs.reserve(records.size());
  for (const RunRecord& r : records) {
    if (const std::optional<sys_seconds> time = ParseRecordTime(r.time))
      runs.push_back({*time, &r});
    else
      ++report.unreadableTimes;
  }
  std::stable_sort(runs.begin(), runs.end(),
                   [](const TimedRun& a, const TimedRun& b) { return a.time < b.time; });

  report.total = FiguresOf("all", runs);
  if (grouping != ReportGrouping::None) {
    std::map<std::string, std::vector<TimedRun>> groups;
    for (const TimedRun& run : runs) groups[KeyOf(run, grouping, zone)].push_back(run);
    for (auto& [key, members] : groups) report.groups.push_back(FiguresOf(key, members));
  }
  if (runs.empty()) return report;

  using std::chrono::floor;
  using std::chrono::hours;
  const auto firstHour = floor<hours>(zone.toLocal(runs.front().time));
  const auto lastHour = floor<hours>(zone.toLocal(runs.back().time));
  report.timelineInDays = static_cast<std::size_t>((lastHour - firstHour).count()) + 1 > kMostHourSlots;
  const ReportGrouping slotGrouping = report.timelineInDays ? ReportGrouping::Day : ReportGrouping::Hour;
  std::map<std::string, std::vector<TimedRun>> bySlot;
  for (const TimedRun& run : runs) bySlot[KeyOf(run, slotGrouping, zone)].push_back(run);
  const hours step = report.timelineInDays ? hours{24} : hours{1};
  using LocalHours = std::chrono::local_time<hours>;
  const LocalHours firstSlot =
      report.timelineInDays ? LocalHours(floor<std::chrono::days>(firstHour)) : firstHour;
  for (LocalHours slot = firstSlot; slot <= lastHour; slot += step) {
    const std::string key = report.timelineInDays ? DayText(slot) : HourText(slot);
    const auto found = bySlot.find(key);
    report.timeline.push_back(
        FiguresOf(key, found != bySlot.end() ? found->second : std::vector<TimedRun>{}));
  }
  return report;
}

}  // namespace app
