// The report page as a browser draws it: headless Chromium renders the page of the fixture's
// records, and the picture is checked (the bars are there, in their colours, in the ratios of
// the counts), as is the printed page's paper size.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/report/record_period.h"
#include "app/report/report_html.h"
#include "app/report/report_time.h"
#include "app/report/yield_report.h"
#include "tests/support/fixtures/temp_dir.h"

namespace app {
namespace {

using namespace std::chrono_literals;

std::optional<std::string> Chromium() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    for (const char* name : {"chromium", "chromium-browser"}) {
      const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
      std::error_code error;
      if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Runs Chromium headless on `page` with `what` ("--screenshot=FILE" or "--print-to-pdf=FILE"),
// nothing fetched and nothing kept; its output goes to `log`.
int RunChromium(const std::string& chromium, const testing_support::TempDir& dir, const std::string& what,
                const std::string& page, const std::string& log) {
  const std::string command = "HOME=" + dir.path + " timeout 120 " + chromium +
                              " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                              " --disable-background-networking --disable-component-update --disable-sync"
                              " --hide-scrollbars --force-device-scale-factor=1 --user-data-dir=" +
                              dir.Path("profile") + " --window-size=794,1500 " + what + " file://" + page +
                              " >" + log + " 2>&1";
  return std::system(command.c_str());
}

// The number of pixels of `colour` in each column of `image` that has any.
std::map<int, int> ColumnHeights(const QImage& image, QRgb colour) {
  std::map<int, int> heights;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu)) ++heights[x];
  return heights;
}

// The lengths of the runs of `colour` along each row, with how many rows have each.
std::map<int, int> RowRuns(const QImage& image, QRgb colour) {
  std::map<int, int> runs;
  for (int y = 0; y < image.height(); ++y) {
    int run = 0;
    for (int x = 0; x <= image.width(); ++x) {
      if (x < image.width() && (image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu)) {
        ++run;
      } else if (run > 0) {
        ++runs[run];
        run = 0;
      }
    }
  }
  return runs;
}

// The values of `counts` met at least `often` times: bars are wide, the legend's swatches
// and any stray pixel are not.
std::vector<int> Frequent(const std::map<int, int>& counts, int often) {
  std::map<int, int> tally;
  for (const auto& [at, value] : counts) ++tally[value];
  std::vector<int> values;
  for (const auto& [value, times] : tally)
    if (times >= often) values.push_back(value);
  return values;
}

std::vector<int> FrequentKeys(const std::map<int, int>& counts, int often) {
  std::vector<int> keys;
  for (const auto& [key, times] : counts)
    if (times >= often) keys.push_back(key);
  return keys;
}

class ReportRender : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<std::string> found = Chromium();
    if (!found) GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
    chromium = *found;
    ReportPeriod period;
    period.since = std::chrono::sys_days{std::chrono::year{2026} / 12 / 10};
    period.until = *period.since + 10h;
    const PeriodRead read =
        ReadRecordsOfPeriod(std::string(VOR_SOURCE_DIR) + "/tests/app/fixtures/report_records.jsonl", period);
    ASSERT_EQ(read.records.size(), 14u);
    const YieldReport report = ComputeYieldReport(read.records, ReportGrouping::Station, FixedZone(0min));
    // Per hour: 2 and 3 devices programmed, 1 and 1 failed; failed runs by result 2, 2 and 1.
    ASSERT_EQ(report.timeline.size(), 2u);
    page = dir.Path("report.html");
    testing_support::WriteFile(page,
                               ReportHtml(report, "2026-12-10 00:00 to 2026-12-10 10:00", "the fixture"));
  }

  testing_support::TempDir dir{"vor-render"};
  std::string chromium;
  std::string page;
};

TEST_F(ReportRender, TheChartsAreDrawnInTheRatiosOfTheCounts) {
  const std::string shot = dir.Path("shot.png");
  const int status = RunChromium(chromium, dir, "--screenshot=" + shot, page, dir.Path("chromium.log"));
  ASSERT_EQ(status, 0) << testing_support::ReadFile(dir.Path("chromium.log"));
  const QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull()) << testing_support::ReadFile(dir.Path("chromium.log"));

  // Each bar is a block of columns of one height; the legend's swatch is too narrow to count.
  const std::vector<int> programmed = Frequent(ColumnHeights(image, QColor(kProgrammedColour).rgb()), 20);
  const std::vector<int> failed = Frequent(ColumnHeights(image, QColor(kFailedColour).rgb()), 20);
  ASSERT_EQ(programmed.size(), 2u) << "two hours with devices programmed";
  ASSERT_EQ(failed.size(), 1u) << "the same number failed in both hours";
  const int unit = failed.front();  // one device
  EXPECT_GT(unit, 10);
  EXPECT_EQ(programmed[0], 2 * unit);
  EXPECT_EQ(programmed[1], 3 * unit);

  // The failed runs by result: bars along rows, two of one length and one of half of it.
  const std::vector<int> lengths = FrequentKeys(RowRuns(image, QColor(kFailureResultColour).rgb()), 8);
  ASSERT_EQ(lengths.size(), 2u);
  EXPECT_NEAR(lengths[1], 2 * lengths[0], 1);
  EXPECT_EQ(RowRuns(image, QColor(kFailureResultColour).rgb()).at(lengths[1]),
            2 * RowRuns(image, QColor(kFailureResultColour).rgb()).at(lengths[0]))
      << "as many rows of the two long bars as of the short one, twice";
}

TEST_F(ReportRender, PrintsOnOneA4Page) {
  const std::string pdf = dir.Path("report.pdf");
  const int status = RunChromium(chromium, dir, "--no-pdf-header-footer --print-to-pdf=" + pdf, page,
                                 dir.Path("chromium.log"));
  ASSERT_EQ(status, 0) << testing_support::ReadFile(dir.Path("chromium.log"));
  const std::string bytes = testing_support::ReadFile(pdf);
  // A4 is 595 x 842 points.
  EXPECT_NE(bytes.find("/MediaBox [0 0 594.95996 841.91998]"), std::string::npos) << bytes.substr(0, 2000);
  std::size_t pages = 0;
  for (std::size_t at = bytes.find("/Type /Page"); at != std::string::npos;
       at = bytes.find("/Type /Page", at + 1))
    if (bytes.compare(at, 12, "/Type /Pages") != 0) ++pages;
  EXPECT_EQ(pages, 1u);
}

}  // namespace
}  // namespace app
