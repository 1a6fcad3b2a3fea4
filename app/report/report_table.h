#pragma once
// The yield report as the terminal shows it, and the texts the table and the page share.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/report/record_period.h"
#include "app/report/report_time.h"
#include "app/report/yield_report.h"

namespace app {

// "87.5%"; "-" when nothing was tried.
std::string PercentText(std::optional<double> percent);
// Milliseconds as seconds with one decimal, "41.2"; "-" for none.
std::string SecondsText(std::optional<std::int64_t> ms);
// The short name of a failure result: its "Enn" ("E13"), else "code N".
std::string FailureLabel(const FailureCount& failure);
// "3 E13, 1 E05, 1 E02": the three most frequent failure results; "-" for none.
std::string TopFailuresText(const YieldFigures& figures);

// The column headings, then the figures of one group as the cells of its row, in the order
// the table and the page show them. Texts are Latin-1, as the records hold them.
std::vector<std::string> ReportHeadings(ReportGrouping grouping);
std::vector<std::string> ReportCells(const YieldFigures& figures);

// "2026-12-10 00:00 to 2026-12-11 00:00 (local time)", "since ...", "until ...", or
// "all records" for an open period.
std::string PeriodText(const ReportPeriod& period, const LocalZone& zone);

// The table as lines of UTF-8 text: the headings, a row per group and, with a grouping, the
// total row; then, when there were failures, the full texts of the failure results it names.
// Without runs, no line.
std::vector<std::string> ReportTableLines(const YieldReport& report);

}  // namespace app
