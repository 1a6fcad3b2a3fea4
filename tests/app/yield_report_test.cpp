// The yield report: the times it reads, the records of a period, and the figures over a small
// fixture with known answers (retries, failures, refusals, stops, a run without a device, two
// stations, a line of an older loader and one that is no record).

#include "app/report/yield_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/record/record_file.h"
#include "app/report/record_period.h"
#include "app/report/report_html.h"
#include "app/report/report_table.h"
#include "app/report/report_time.h"
#include "tests/support/fixtures/temp_dir.h"

namespace app {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

const std::string kFixture = std::string(VOR_SOURCE_DIR) + "/tests/app/fixtures/report_records.jsonl";

sys_seconds Utc(int day, int hour, int minute = 0) {
  return sys_days{year{2026} / 12 / day} + hours{hour} + minutes{minute};
}

// The fixture's records of 2026-12-10 from 00:00 to 10:00 UTC: its first and last records
// lie outside.
std::vector<RunRecord> Period() {
  ReportPeriod period;
  period.since = Utc(10, 0);
  period.until = Utc(10, 10);
  PeriodRead read = ReadRecordsOfPeriod(kFixture, period);
  EXPECT_TRUE(read.error.empty()) << read.error;
  EXPECT_EQ(read.skipped, 1u) << "the line that is no record";
  return read.records;
}

const YieldFigures& Group(const YieldReport& report, const std::string& key) {
  const auto found = std::find_if(report.groups.begin(), report.groups.end(),
                                  [&key](const YieldFigures& f) { return f.group == key; });
  if (found == report.groups.end()) throw std::runtime_error("no group " + key);
  return *found;
}

std::vector<std::string> Keys(const std::vector<YieldFigures>& groups) {
  std::vector<std::string> keys;
  for (const YieldFigures& g : groups) keys.push_back(g.group);
  return keys;
}

std::string Failures(const std::vector<FailureCount>& failures) {
  std::string text;
  for (const FailureCount& f : failures) text += std::to_string(f.code) + "x" + std::to_string(f.runs) + " ";
  return text;
}

// --- times ---

TEST(ReportTime, ReadsTheWhenFormsAndRefusesOthers) {
  struct Case {
    const char* text;
    bool good;
    local_seconds wallClock;
    bool utc;
  } cases[] = {
      {"2026-12-10", true, local_days{year{2026} / 12 / 10}, false},
      {"2026-12-10Z", true, local_days{year{2026} / 12 / 10}, true},
      {"2026-12-10T14:30", true, local_days{year{2026} / 12 / 10} + 14h + 30min, false},
      {"2026-12-10T14:30Z", true, local_days{year{2026} / 12 / 10} + 14h + 30min, true},
      {"2026-12-10T14:30:15", true, local_days{year{2026} / 12 / 10} + 14h + 30min + 15s, false},
      {"2024-02-29", true, local_days{year{2024} / 2 / 29}, false},
      {"2026-02-29", false, {}, false},
      {"2026-13-01", false, {}, false},
      {"2026-12-10T24:00", false, {}, false},
      {"2026-12-10T14:60", false, {}, false},
      {"2026-12-10 14:30", false, {}, false},
      {"2026-12-10T14", false, {}, false},
      {"2026-12-10T14:30+01:00", false, {}, false},
      {"2026-12-1", false, {}, false},
      {"26-12-10", false, {}, false},
      {"yesterday", false, {}, false},
      {"", false, {}, false},
      {"Z", false, {}, false},
      {"1969-12-31", false, {}, false},
      {"2026-12-10ZZ", false, {}, false},
      {" 2026-12-10", false, {}, false},
  };
  for (const Case& c : cases) {
    const std::optional<WhenText> when = ParseWhen(c.text);
    EXPECT_EQ(when.has_value(), c.good) << c.text;
    if (!when || !c.good) continue;
    EXPECT_EQ(when->wallClock, c.wallClock) << c.text;
    EXPECT_EQ(when->utc, c.utc) << c.text;
  }
}

TEST(ReportTime, LocalTimesAreTakenInTheZoneAndUtcAsItIs) {
  const LocalZone berlin = FixedZone(60min);
  EXPECT_EQ(InstantOf(*ParseWhen("2026-12-10T09:00"), berlin), Utc(10, 8));
  EXPECT_EQ(InstantOf(*ParseWhen("2026-12-10T09:00Z"), berlin), Utc(10, 9));
  EXPECT_EQ(InstantOf(*ParseWhen("2026-12-10"), FixedZone(-300min)), Utc(10, 5));
  EXPECT_EQ(HourText(berlin.toLocal(Utc(10, 23, 59))), "2026-12-11 00:00");
  EXPECT_EQ(DayText(berlin.toLocal(Utc(10, 23, 59))), "2026-12-11");
  EXPECT_EQ(ParseRecordTime("2026-12-10T08:05:07Z"), Utc(10, 8, 5) + 7s);
  for (const char* bad : {"2026-12-10T08:05:07", "2026-12-10T08:05Z", "2026-12-10 08:05:07Z", "t", ""})
    EXPECT_FALSE(ParseRecordTime(bad)) << bad;
}

// --- the records of a period ---

TEST(ReportPeriodReading, KeepsThePeriodSkipsWhatIsNoRecordAndLeavesATornLineOut) {
  EXPECT_EQ(Period().size(), 14u);
  ReportPeriod all;
  EXPECT_EQ(ReadRecordsOfPeriod(kFixture, all).records.size(), 16u);

  testing_support::TempDir dir("vor-report");
  const std::string good = testing_support::ReadFile(kFixture);
  const std::string first = good.substr(0, good.find('\n') + 1);
  // An overlong line between two records, and a last record still being written.
  testing_support::WriteFile(dir.Path("r.jsonl"), first + std::string(kMaxRecordLine + 10, 'x') + "\n" +
                                                      first + first.substr(0, 40));
  const PeriodRead read = ReadRecordsOfPeriod(dir.Path("r.jsonl"), all);
  EXPECT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.skipped, 1u);
  EXPECT_TRUE(ReadRecordsOfPeriod(dir.Path("none.jsonl"), all).noFile);
  EXPECT_FALSE(ReadRecordsOfPeriod(dir.path, all).error.empty()) << "a folder is no record file";
}

// --- the figures ---

TEST(YieldReport, TheWholePeriodGivesTheKnownFigures) {
  const YieldReport report = ComputeYieldReport(Period(), ReportGrouping::None, FixedZone(0min));
  const YieldFigures& t = report.total;
  EXPECT_EQ(t.runs, 14);
  EXPECT_EQ(t.runsWithoutDevice, 1);
  EXPECT_EQ(t.devices, 8);
  // By each device's last run: 101 (retried), 102, 106, 107 (refused first), 108 (stopped
  // first) programmed; 104 failed three times; 103 refused; 105 stopped.
  EXPECT_EQ(t.programmed, 5);
  EXPECT_EQ(t.failed, 1);
  EXPECT_EQ(t.refused, 1);
  EXPECT_EQ(t.stopped, 1);
  EXPECT_DOUBLE_EQ(*t.yieldPercent(), 100.0 * 5 / 7);
  // First runs: 102 and 106 programmed, of 101, 102, 104, 105, 106, 108 (103 and 107 were
  // refused first).
  EXPECT_EQ(t.firstPassProgrammed, 2);
  EXPECT_EQ(t.firstPassTried, 6);
  EXPECT_DOUBLE_EQ(*t.firstPassPercent(), 100.0 * 2 / 6);
  // Programmed runs of 40, 42, 44, 50 and 60 s.
  EXPECT_EQ(t.programmedRuns, 5);
  EXPECT_EQ(t.medianMs, 44000);
  EXPECT_EQ(t.p95Ms, 60000);
  EXPECT_EQ(Failures(t.failures), "5x2 13x2 2x1 ");
  EXPECT_EQ(t.topFailures().size(), 3u);
  EXPECT_TRUE(report.groups.empty());
  EXPECT_EQ(report.unreadableTimes, 0u);

  // The order the records come in does not matter: the times order them.
  std::vector<RunRecord> reversed = Period();
  std::reverse(reversed.begin(), reversed.end());
  const YieldFigures again = ComputeYieldReport(reversed, ReportGrouping::None, FixedZone(0min)).total;
  EXPECT_EQ(again.programmed, 5);
  EXPECT_EQ(again.firstPassProgrammed, 2);
  EXPECT_EQ(again.stopped, 1);
}

TEST(YieldReport, EachStationIsAGroupOfItsOwn) {
  const YieldReport report = ComputeYieldReport(Period(), ReportGrouping::Station, FixedZone(0min));
  EXPECT_EQ(Keys(report.groups), (std::vector<std::string>{"bench-1", "bench-2"}));
  const YieldFigures& one = Group(report, "bench-1");
  EXPECT_EQ(one.runs, 9);
  EXPECT_EQ(one.runsWithoutDevice, 1);
  EXPECT_EQ(one.devices, 5);
  EXPECT_EQ(one.programmed, 4);
  EXPECT_EQ(one.refused, 1);
  EXPECT_EQ(one.failed + one.stopped, 0);
  EXPECT_DOUBLE_EQ(*one.yieldPercent(), 100.0);
  EXPECT_EQ(one.firstPassProgrammed, 1);
  EXPECT_EQ(one.firstPassTried, 3);
  EXPECT_EQ(one.medianMs, 43000) << "the mean of the two middle runs, 42 and 44 s";
  EXPECT_EQ(one.p95Ms, 60000);
  EXPECT_EQ(Failures(one.failures), "2x1 13x1 ");
  const YieldFigures& two = Group(report, "bench-2");
  EXPECT_EQ(two.runs, 5);
  EXPECT_EQ(two.devices, 3);
  EXPECT_EQ(two.programmed, 1);
  EXPECT_EQ(two.failed, 1);
  EXPECT_EQ(two.stopped, 1);
  EXPECT_EQ(two.refused, 0);
  EXPECT_DOUBLE_EQ(*two.yieldPercent(), 100.0 / 3);
  EXPECT_EQ(two.medianMs, 50000);
  EXPECT_EQ(two.p95Ms, 50000);
  EXPECT_EQ(Failures(two.failures), "5x2 13x1 ");
  EXPECT_EQ(report.total.runs, 14);
}

TEST(YieldReport, HoursAndDaysAreThoseOfTheLocalClock) {
  const YieldReport report = ComputeYieldReport(Period(), ReportGrouping::Hour, FixedZone(60min));
  EXPECT_EQ(Keys(report.groups), (std::vector<std::string>{"2026-12-10 09:00", "2026-12-10 10:00"}));
  const YieldFigures& first = report.groups[0];
  EXPECT_EQ(first.runs, 7);
  EXPECT_EQ(first.devices, 5);
  EXPECT_EQ(first.programmed, 2);
  EXPECT_EQ(first.failed, 1);
  EXPECT_EQ(first.refused, 1);
  EXPECT_EQ(first.stopped, 1);
  const YieldFigures& second = report.groups[1];
  EXPECT_EQ(second.runs, 7);
  EXPECT_EQ(second.runsWithoutDevice, 1);
  EXPECT_EQ(second.devices, 4);
  EXPECT_EQ(second.programmed, 3);
  EXPECT_EQ(second.failed, 1);
  // The chart's slots are the same hours.
  EXPECT_FALSE(report.timelineInDays);
  EXPECT_EQ(Keys(report.timeline), Keys(report.groups));

  // Ten hours behind, the period's runs fall on the evening before.
  const YieldReport days = ComputeYieldReport(Period(), ReportGrouping::Day, FixedZone(-600min));
  EXPECT_EQ(Keys(days.groups), (std::vector<std::string>{"2026-12-09"}));
}

TEST(YieldReport, ProductsOperatorsAndWorkOrdersGroupTheRuns) {
  const std::vector<RunRecord> records = Period();
  const YieldReport products = ComputeYieldReport(records, ReportGrouping::Product, FixedZone(0min));
  // The run without a device names no product; "VORnet Amp " loses its blank.
  EXPECT_EQ(Keys(products.groups), (std::vector<std::string>{"-", "VORnet Amp", "VORnet Stage"}));
  EXPECT_EQ(Group(products, "-").devices, 0);
  EXPECT_FALSE(Group(products, "-").yieldPercent());
  EXPECT_EQ(Group(products, "VORnet Amp").runs, 8);

  // Device 108's lines come from a loader that wrote no operator or work order.
  const YieldReport operators = ComputeYieldReport(records, ReportGrouping::Operator, FixedZone(0min));
  EXPECT_EQ(Keys(operators.groups), (std::vector<std::string>{"-", "anna", "ben"}));
  EXPECT_EQ(Group(operators, "-").runs, 2);
  EXPECT_EQ(Group(operators, "-").programmed, 1);
  EXPECT_EQ(Group(operators, "anna").runs, 7);

  const YieldReport orders = ComputeYieldReport(records, ReportGrouping::WorkOrder, FixedZone(0min));
  EXPECT_EQ(Keys(orders.groups), (std::vector<std::string>{"-", "WO-1", "WO-2"}));
  EXPECT_EQ(Group(orders, "WO-1").runs, 7);
  EXPECT_EQ(Group(orders, "WO-2").runs, 5);
  // Device 104 failed in both orders: it counts as a device of each.
  EXPECT_EQ(Group(orders, "WO-1").failed, 1);
  EXPECT_EQ(Group(orders, "WO-2").failed, 1);
}

TEST(YieldReport, ALongPeriodIsChartedByDayAndEmptyHoursStayInTheChart) {
  std::vector<RunRecord> records = Period();
  EXPECT_EQ(ComputeYieldReport({records.front(), records.back()}, ReportGrouping::None, FixedZone(0min))
                .timeline.size(),
            2u);
  RunRecord late = records.back();
  late.time = "2026-12-12T09:00:00Z";  // 49 hours after the first
  records.push_back(late);
  const YieldReport hours = ComputeYieldReport(records, ReportGrouping::None, FixedZone(0min));
  EXPECT_FALSE(hours.timelineInDays);
  EXPECT_EQ(hours.timeline.size(), 50u);
  EXPECT_EQ(hours.timeline[2].runs, 0);
  late.time = "2026-12-20T09:00:00Z";
  records.push_back(late);
  const YieldReport days = ComputeYieldReport(records, ReportGrouping::None, FixedZone(0min));
  EXPECT_TRUE(days.timelineInDays);
  EXPECT_EQ(Keys(days.timeline).front(), "2026-12-10");
  EXPECT_EQ(days.timeline.size(), 11u);
}

TEST(ReportHtml, APeriodOfYearsKeepsEveryDayInTheChart) {
  std::vector<RunRecord> records = Period();
  RunRecord late = records.back();
  late.time = "2028-12-10T09:45:00Z";
  records.push_back(late);
  const YieldReport report = ComputeYieldReport(records, ReportGrouping::None, FixedZone(0min));
  ASSERT_TRUE(report.timelineInDays);
  EXPECT_EQ(report.timeline.size(), 732u);
  const std::string page = ReportHtml(report, "all records", "r.jsonl");
  EXPECT_NE(page.find("<title>2026-12-10: 5</title>"), std::string::npos);
  EXPECT_NE(page.find("<title>2028-12-10: 1</title>"), std::string::npos) << "the last day is drawn too";
  // And it lies inside the picture.
  const std::size_t svg = page.find("<svg");
  const std::size_t width = page.find("width='", svg) + 7;
  const int pictureWidth = std::stoi(page.substr(width));
  const std::size_t last = page.rfind("<rect x='", page.find("<title>2028-12-10: 1</title>")) + 9;
  EXPECT_LT(std::stoi(page.substr(last)), pictureWidth);
}

TEST(YieldReport, NoRunsGiveEmptyFiguresAndNoTable) {
  const YieldReport report = ComputeYieldReport({}, ReportGrouping::Station, FixedZone(0min));
  EXPECT_EQ(report.total.runs, 0);
  EXPECT_FALSE(report.total.yieldPercent());
  EXPECT_FALSE(report.total.medianMs);
  EXPECT_TRUE(report.timeline.empty());
  EXPECT_TRUE(ReportTableLines(report).empty());
  EXPECT_NE(ReportHtml(report, "all records", "r.jsonl").find("No run in this period."), std::string::npos);
}

// --- the table and the page ---

TEST(ReportTable, AlignsTheFiguresAndNamesTheFailureResults) {
  const YieldReport report = ComputeYieldReport(Period(), ReportGrouping::Station, FixedZone(0min));
  const std::vector<std::string> expected = {
      "Station  Runs  No device  Devices  Programmed  Failed  Refused  Stopped  Yield   First pass  Median s "
      " "
      "P95 s  Top failures",
      "bench-1  9     1          5        4           0       1        0        100.0%  33.3%       43.0     "
      " "
      "60.0   1 E02, 1 E13",
      "bench-2  5     0          3        1           1       0        1        33.3%   33.3%       50.0     "
      " "
      "50.0   2 E05, 1 E13",
      "Total    14    1          8        5           1       1        1        71.4%   33.3%       44.0     "
      " "
      "60.0   2 E05, 2 E13, 1 E02",
      "",
      "Failure results:",
      "  E02-Cannot Connect to a Single Device.",
      "  E13-Device Failed to Erase Flash.",
      "  E05-Comm Error - Bad Checksum.",
  };
  EXPECT_EQ(ReportTableLines(report), expected);
}

TEST(ReportHtml, IsOnePageThatFetchesNothingAndEscapesTheRecords) {
  std::vector<RunRecord> records = Period();
  records.front().station = "<b>&\"bench\"</b>";
  const YieldReport report = ComputeYieldReport(records, ReportGrouping::Station, FixedZone(0min));
  const std::string page = ReportHtml(report, "2026-12-10 00:00 to 2026-12-10 10:00 (local time)", "r.jsonl");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("@page { size: A4"), std::string::npos);
  EXPECT_NE(page.find("&lt;b&gt;&amp;&quot;bench&quot;&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  for (const char* fetching : {"<script", "src=", "href=", "url(", "@import", "<link", "<img"})
    EXPECT_EQ(page.find(fetching), std::string::npos) << fetching;
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_NE(page.find(kProgrammedColour), std::string::npos);
  EXPECT_NE(page.find("E13-Device Failed to Erase Flash."), std::string::npos);
}

}  // namespace
}  // namespace app
