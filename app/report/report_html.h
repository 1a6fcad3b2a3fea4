#pragma once
// The yield report as one self-contained HTML page: no script, nothing fetched, the charts as
// inline SVG and the style inline, laid out to print on A4.

#include <string>

#include "app/report/yield_report.h"

namespace app {

// The colours of the charts' bars, so that a picture of the page can be checked.
inline constexpr const char* kProgrammedColour = "#2e7d32";
inline constexpr const char* kFailedColour = "#c62828";
inline constexpr const char* kFailureResultColour = "#1565c0";

// The page: a heading with `period` (see PeriodText) and `source` (where the records came
// from), the table, a bar chart of the devices programmed and failed per hour (the report's
// timeline), and the failed runs by result. Texts of the records are Latin-1 and are escaped.
std::string ReportHtml(const YieldReport& report, const std::string& period, const std::string& source);

}  // namespace app
