#include "app/report/report_table.h"

#include <cstdio>
#include <set>

#include "app/record/history_table.h"
#include "common/aligned_table.h"

namespace app {

namespace {

std::string MinuteText(std::chrono::local_seconds when) {
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::hh_mm_ss<std::chrono::seconds> clock{when - day};
  char text[32];
  std::snprintf(text, sizeof text, " %02d:%02d", static_cast<int>(clock.hours().count()),
                static_cast<int>(clock.minutes().count()));
  return DayText(when) + text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string PercentText(std::optional<double> percent) {
  if (!percent) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", *percent);
  return text;
}

std::string SecondsText(std::optional<std::int64_t> ms) {
  if (!ms) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(*ms) / 1000.0);
  return text;
}

std::string FailureLabel(const FailureCount& failure) {
  const std::string& r = failure.result;
  if (r.size() >= 4 && r[0] == 'E' && IsDigit(r[1]) && IsDigit(r[2]) && r[3] == '-') return r.substr(0, 3);
  return "code " + std::to_string(failure.code);
}

std::string TopFailuresText(const YieldFigures& figures) {
  std::string text;
  for (const FailureCount& f : figures.topFailures())
    text += (text.empty() ? "" : ", ") + std::to_string(f.runs) + " " + FailureLabel(f);
  return text.empty() ? "-" : text;
}

std::vector<std::string> ReportHeadings(ReportGrouping grouping) {
  return {std::string(GroupingHeading(grouping)),
          "Runs",
          "No device",
          "Devices",
          "Programmed",
          "Failed",
          "Refused",
          "Stopped",
          "Yield",
          "First pass",
          "Median s",
          "P95 s",
          "Top failures"};
}

std::vector<std::string> ReportCells(const YieldFigures& f) {
  return {f.group,
          std::to_string(f.runs),
          std::to_string(f.runsWithoutDevice),
          std::to_string(f.devices),
          std::to_string(f.programmed),
          std::to_string(f.failed),
          std::to_string(f.refused),
          std::to_string(f.stopped),
          PercentText(f.yieldPercent()),
          PercentText(f.firstPassPercent()),
          SecondsText(f.medianMs),
          SecondsText(f.p95Ms),
          TopFailuresText(f)};
}

std::string PeriodText(const ReportPeriod& period, const LocalZone& zone) {
  const auto shown = [&zone](std::chrono::sys_seconds when) { return MinuteText(zone.toLocal(when)); };
  if (period.since && period.until)
    return shown(*period.since) + " to " + shown(*period.until) + " (local time)";
  if (period.since) return "since " + shown(*period.since) + " (local time)";
  if (period.until) return "until " + shown(*period.until) + " (local time)";
  return "all records";
}

std::vector<std::string> ReportTableLines(const YieldReport& report) {
  if (report.total.runs == 0) return {};
  std::vector<std::vector<std::string>> rows{ReportHeadings(report.grouping)};
  const auto add = [&rows](const YieldFigures& figures, const std::string& label) {
    std::vector<std::string> cells = ReportCells(figures);
    cells.front() = TableCell(label);
    rows.push_back(std::move(cells));
  };
  for (const YieldFigures& group : report.groups) add(group, group.group);
  add(report.total, report.grouping == ReportGrouping::None ? "all" : "Total");

  std::vector<std::string> lines;
  for (const std::string& line : AlignedTableLines(rows)) lines.push_back(Latin1ToUtf8(line));
  // The failure results the table names by their short names, in full.
  std::set<std::string> named;
  std::vector<std::string> legend;
  const auto name = [&](const FailureCount& f) {
    const std::string label = FailureLabel(f);
    if (!named.insert(label).second) return;
    legend.push_back(label.rfind("code ", 0) == 0 ? label + ": " + f.result : f.result);
  };
  for (const YieldFigures& group : report.groups)
    for (const FailureCount& f : group.topFailures()) name(f);
  for (const FailureCount& f : report.total.topFailures()) name(f);
  if (!legend.empty()) {
    lines.emplace_back();
    lines.emplace_back("Failure results:");
    for (std::string text : legend) {
      for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
      lines.push_back("  " + Latin1ToUtf8(text));
    }
  }
  return lines;
}

}  // namespace app
