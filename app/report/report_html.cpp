#include "app/report/report_html.h"

#include <algorithm>
#include <cstddef>

#include "app/report/report_table.h"

namespace app {

namespace {

// UTF-8 text for a page: markup characters escaped, control bytes as '?'.
std::string Html(std::string_view utf8) {
  std::string out;
  for (const char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
  }
  return out;
}

// A text of the records (Latin-1) for a page.
std::string Text(std::string_view latin1) {
  return Html(Latin1ToUtf8(latin1));
}

std::string Num(long value) {
  return std::to_string(value);
}

constexpr const char* kStyle = R"(
@page { size: A4; margin: 14mm 12mm; }
* { box-sizing: border-box; }
body { font: 9.5pt/1.35 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #222; background: #fff;
       margin: 0 auto; max-width: 186mm; padding: 10px; }
h1 { font-size: 15pt; margin: 0 0 2pt; }
h2 { font-size: 11.5pt; margin: 14pt 0 4pt; break-after: avoid; }
p.period { color: #555; margin: 0 0 10pt; }
table { border-collapse: collapse; width: 100%; font-size: 7.5pt; }
th, td { padding: 2pt 3pt; text-align: right; border-bottom: 1px solid #ccc; }
th { vertical-align: bottom; border-bottom: 1.5px solid #555; }
td { white-space: nowrap; }
th:first-child, td:first-child, td.failures { text-align: left; }
td.failures { white-space: normal; }
tr.total td { font-weight: bold; border-top: 1.5px solid #555; }
thead { display: table-header-group; }
tr, figure { break-inside: avoid; }
figure { margin: 0; }
svg { display: block; max-width: 100%; height: auto; }
svg text { font: 9px "DejaVu Sans", "Liberation Sans", Arial, sans-serif; fill: #333; }
p.none { color: #555; }
ul.results { margin: 4pt 0 0; padding-left: 14pt; font-size: 8pt; }
)";

std::string TableHtml(const YieldReport& report) {
  std::string out = "<table>\n<thead><tr>";
  for (const std::string& heading : ReportHeadings(report.grouping)) out += "<th>" + Text(heading) + "</th>";
  out += "</tr></thead>\n<tbody>\n";
  const auto row = [&out](const YieldFigures& figures, const std::string& label, bool total) {
    std::vector<std::string> cells = ReportCells(figures);
    cells.front() = label;
    out += total ? "<tr class='total'>" : "<tr>";
    for (std::size_t c = 0; c < cells.size(); ++c)
      out += (c + 1 == cells.size() ? "<td class='failures'>" : "<td>") + Text(cells[c]) + "</td>";
    out += "</tr>\n";
  };
  for (const YieldFigures& group : report.groups) row(group, group.group, false);
  row(report.total, report.grouping == ReportGrouping::None ? "all" : "Total",
      report.grouping != ReportGrouping::None);
  return out + "</tbody>\n</table>\n";
}

// The short slot name under a bar: "14:00" for an hour, "12-10" for a day.
std::string SlotLabel(const std::string& key, bool days) {
  if (days) return key.size() >= 10 ? key.substr(5, 5) : key;
  return key.size() >= 16 ? key.substr(11, 5) : key;
}

// Bars in whole pixels: a device is `unit` pixels high while the highest bar fits, so bars of
// equal counts are equal and their areas are in the ratio of their counts.
struct Scale {
  int plotHeight;
  int most;
  int Height(int count) const {
    if (most <= 0) return 0;
    const int unit = plotHeight / most;
    if (unit >= 1) return count * unit;
    return static_cast<int>((static_cast<long>(count) * plotHeight + most / 2) / most);
  }
  // The count at the top of the plot.
  int Top() const {
    if (most <= 0) return 1;
    const int unit = plotHeight / most;
    return unit >= 1 ? plotHeight / unit : most;
  }
};

std::string SlotChart(const YieldReport& report) {
  constexpr int kWidth = 680;
  constexpr int kLeft = 36;
  constexpr int kRight = 8;
  constexpr int kTop = 26;
  constexpr int kPlotHeight = 200;
  constexpr int kBottom = 30;
  constexpr int kHeight = kTop + kPlotHeight + kBottom;
  const int slots = static_cast<int>(report.timeline.size());
  int most = 0;
  for (const YieldFigures& s : report.timeline) most = std::max({most, s.programmed, s.failed});
  const Scale scale{kPlotHeight, most};
  const int plotWidth = kWidth - kLeft - kRight;
  const int slotWidth = std::max(2, plotWidth / std::max(slots, 1));
  const int barWidth = std::max(1, slotWidth * 2 / 5);
  const int baseline = kTop + kPlotHeight;
  // A period of more days than the plot has pixel pairs widens the picture, which the page
  // then shrinks to its width, rather than leaving days out.
  const int width = std::max(kWidth, kLeft + slots * slotWidth + kRight);

  std::string svg =
      "<svg xmlns='http://www.w3.org/2000/svg' width='" + Num(width) + "' height='" + Num(kHeight) +
      "' viewBox='0 0 " + Num(width) + " " + Num(kHeight) +
      "' shape-rendering='crispEdges' role='img' aria-label='Devices programmed and failed per " +
      (report.timelineInDays ? "day" : "hour") + "'>\n";
  // The legend.
  svg += "<rect x='" + Num(kLeft) + "' y='6' width='10' height='10' fill='" + kProgrammedColour + "'/>";
  svg += "<text x='" + Num(kLeft + 14) + "' y='15'>programmed</text>";
  svg += "<rect x='" + Num(kLeft + 90) + "' y='6' width='10' height='10' fill='" + kFailedColour + "'/>";
  svg += "<text x='" + Num(kLeft + 104) + "' y='15'>failed</text>\n";
  // Grid lines and their counts: the bottom, the middle and the top of the plot.
  const int top = scale.Top();
  for (const int count : {0, top / 2, top}) {
    if (count == top / 2 && (top < 2 || count == 0)) continue;
    const int y = baseline - scale.Height(count);
    svg += "<line x1='" + Num(kLeft) + "' x2='" + Num(width - kRight) + "' y1='" + Num(y) + "' y2='" +
           Num(y) + "' stroke='" + (count == 0 ? "#777" : "#ddd") + "' stroke-width='1'/>";
    svg += "<text x='" + Num(kLeft - 4) + "' y='" + Num(y + 3) + "' text-anchor='end'>" + Num(count) +
           "</text>\n";
  }
  // The bars, programmed left of failed in each slot; a label under every slot that has room.
  const int labelEvery = std::max(1, 36 / slotWidth + (36 % slotWidth != 0 ? 1 : 0));
  for (int i = 0; i < slots; ++i) {
    const YieldFigures& s = report.timeline[static_cast<std::size_t>(i)];
    const int x = kLeft + i * slotWidth + (slotWidth - 2 * barWidth) / 2;
    const auto bar = [&](int left, int count, const char* colour) {
      const int h = scale.Height(count);
      if (h <= 0) return;
      svg += "<rect x='" + Num(left) + "' y='" + Num(baseline - h) + "' width='" + Num(barWidth) +
             "' height='" + Num(h) + "' fill='" + colour + "'><title>" + Text(s.group) + ": " + Num(count) +
             "</title></rect>";
    };
    bar(x, s.programmed, kProgrammedColour);
    bar(x + barWidth, s.failed, kFailedColour);
    if (i % labelEvery == 0)
      svg += "<text x='" + Num(kLeft + i * slotWidth + slotWidth / 2) + "' y='" + Num(baseline + 14) +
             "' text-anchor='middle'>" + Text(SlotLabel(s.group, report.timelineInDays)) + "</text>";
    svg += "\n";
  }
  return svg + "</svg>\n";
}

std::string FailureChart(const YieldReport& report) {
  const std::vector<FailureCount>& failures = report.total.failures;
  if (failures.empty()) return "<p class='none'>No run failed in this period.</p>\n";
  constexpr int kWidth = 680;
  constexpr int kLabelWidth = 280;
  constexpr int kRow = 22;
  constexpr int kBar = 14;
  constexpr int kBarSpace = kWidth - kLabelWidth - 50;
  const int rows = static_cast<int>(failures.size());
  const int height = rows * kRow + 6;
  const Scale scale{kBarSpace, failures.front().runs};
  std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + Num(kWidth) + "' height='" +
                    Num(height) + "' viewBox='0 0 " + Num(kWidth) + " " + Num(height) +
                    "' shape-rendering='crispEdges' role='img' aria-label='Failed runs by result'>\n";
  for (int i = 0; i < rows; ++i) {
    const FailureCount& f = failures[static_cast<std::size_t>(i)];
    const int y = 3 + i * kRow;
    std::string label = f.result;
    if (label.size() > 48) label = label.substr(0, 45) + "...";
    if (const std::string shortName = FailureLabel(f); shortName.rfind("code ", 0) == 0)
      label.insert(0, shortName + ": ");
    const int w = std::max(1, scale.Height(f.runs));
    svg += "<text x='" + Num(kLabelWidth - 6) + "' y='" + Num(y + 11) + "' text-anchor='end'>" + Text(label) +
           "</text>";
    svg += "<rect x='" + Num(kLabelWidth) + "' y='" + Num(y) + "' width='" + Num(w) + "' height='" +
           Num(kBar) + "' fill='" + kFailureResultColour + "'/>";
    svg += "<text x='" + Num(kLabelWidth + w + 4) + "' y='" + Num(y + 11) + "'>" + Num(f.runs) + "</text>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace

std::string ReportHtml(const YieldReport& report, const std::string& period, const std::string& source) {
  std::string page = "<!DOCTYPE html>\n<html lang='en'>\n<head>\n<meta charset='utf-8'>\n";
  // Nothing may be fetched: no script, no image, no style from elsewhere.
  page +=
      R"(<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">)";
  page += "\n";
  page += "<title>Yield report</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
  page += "<h1>Yield report</h1>\n<p class='period'>" + Html(period) + " &middot; " + Html(source) +
          " &middot; " + Num(report.total.runs) + (report.total.runs == 1 ? " run" : " runs") + "</p>\n";
  if (report.total.runs == 0) return page + "<p class='none'>No run in this period.</p>\n</body>\n</html>\n";
  page += TableHtml(report);
  page += std::string("<h2>Devices programmed and failed per ") + (report.timelineInDays ? "day" : "hour") +
          "</h2>\n<figure>\n" + SlotChart(report) + "</figure>\n";
  page += "<h2>Failed runs by result</h2>\n<figure>\n" + FailureChart(report) + "</figure>\n";
  return page + "</body>\n</html>\n";
}

}  // namespace app
