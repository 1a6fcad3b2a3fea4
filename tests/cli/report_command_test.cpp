// `vorloader-cli report`: its options on the command line, and the report made from a record
// file (the fixture of the report's own tests, whose figures are known).

#include "cli/command/report_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/command/command_line.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/recording_view.h"

namespace cli {
namespace {

const std::string kFixture = std::string(VOR_SOURCE_DIR) + "/tests/app/fixtures/report_records.jsonl";

TEST(ReportCommandLine, TakesThePeriodTheGroupingAndThePage) {
  const ParseResult r =
      ParseCommandLine({"--record", "r.jsonl", "report", "--since", "2026-12-10", "--until=2026-12-10T18:00Z",
                        "--by", "work-order", "--html", "r.html"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.line.command, Command::Report);
  EXPECT_EQ(r.line.reportSince, "2026-12-10");
  EXPECT_EQ(r.line.reportUntil, "2026-12-10T18:00Z");
  EXPECT_EQ(r.line.reportBy, "work-order");
  EXPECT_EQ(r.line.reportHtml, "r.html");
  EXPECT_EQ(r.line.recordFile, "r.jsonl");
  for (const char* by : {"hour", "day", "station", "product", "operator", "work-order"})
    EXPECT_TRUE(ParseCommandLine({"report", "--by", by}).ok()) << by;
  EXPECT_TRUE(ParseCommandLine({"--record-db", "service=runs", "report"}).ok());
}

TEST(ReportCommandLine, RefusesWhatItCannotReadInOneLine) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"report", "--since", "yesterday"}, "--since needs a time YYYY-MM-DD or YYYY-MM-DDTHH:MM"},
      {{"report", "--since", "2026-12-10 08:00"}, "'2026-12-10 08:00'"},
      {{"report", "--until", "2026-02-30"}, "--until needs a time"},
      {{"report", "--until"}, "--until needs a time"},
      {{"report", "--since", "2026-12-10T08:00+01:00"}, "'2026-12-10T08:00+01:00'"},
      {{"report", "--by", "week"},
       "--by needs hour, day, station, product, operator or work-order, not 'week'"},
      {{"report", "--by"}, "--by needs hour"},
      {{"report", "--html"}, "--html needs a file name"},
      {{"report", "--html", "--by", "day"}, "--html needs a file name"},
      {{"history", "--by", "day"}, "--since, --until, --by and --html apply to report only"},
      {{"--since", "2026-12-10", "connect"}, "apply to report only"},
      {{"report", "--since", "2026-12-11", "--until", "2026-12-10"}, "--since must be before --until"},
      {{"report", "--since", "2026-12-10Z", "--until", "2026-12-10Z"}, "--since must be before --until"},
      {{"report", "--port", "COM1"}, "--port applies to"},
  };
  for (const auto& [args, named] : cases) {
    const ParseResult r = ParseCommandLine(args);
    ASSERT_FALSE(r.ok()) << named;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(named), std::string::npos) << r.error;
  }
  const std::string usage = UsageText();
  for (const char* word : {"report", "--since WHEN", "--until WHEN", "--by", "work-order", "--html FILE"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
}

class ReportCommand : public ::testing::Test {
 protected:
  testing_support::TempDir m_temp{"report-cmd"};
  std::map<std::string, std::string> m_env;
  testing_support::RecordingView m_view;

  void SetUp() override {
    m_env["HOME"] = m_temp.path;
    // Local time is UTC here, so the fixture's hours are the hours shown.
    m_oldTz = getenv("TZ") != nullptr ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (m_oldTz)
      setenv("TZ", m_oldTz->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

  int Run(const std::vector<std::string>& args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_TRUE(r.ok()) << r.error;
    const app::Environment env = [this](const char* name) -> std::optional<std::string> {
      const auto it = m_env.find(name);
      if (it == m_env.end()) return std::nullopt;
      return it->second;
    };
    return RunReport(r.line, env, m_view);
  }

 private:
  std::optional<std::string> m_oldTz;
};

TEST_F(ReportCommand, ShowsTheFiguresOfThePeriodPerHour) {
  EXPECT_EQ(Run({"--record", kFixture, "report", "--since", "2026-12-10", "--until", "2026-12-10T10:00",
                 "--by", "hour"}),
            0);
  ASSERT_GE(m_view.log.size(), 4u);
  EXPECT_EQ(m_view.log[0].rfind(
                "Hour              Runs  No device  Devices  Programmed  Failed  Refused  Stopped", 0),
            0u)
      << m_view.log[0];
  EXPECT_EQ(
      m_view.log[1].rfind("2026-12-10 08:00  7     0          5        2           1       1        1        "
                          "50.0%",
                          0),
      0u)
      << m_view.log[1];
  EXPECT_EQ(
      m_view.log[2].rfind("2026-12-10 09:00  7     1          4        3           1       0        0        "
                          "75.0%",
                          0),
      0u)
      << m_view.log[2];
  EXPECT_EQ(
      m_view.log[3].rfind("Total             14    1          8        5           1       1        1        "
                          "71.4%  33.3%",
                          0),
      0u)
      << m_view.log[3];
  ASSERT_FALSE(m_view.details.empty());
  EXPECT_EQ(m_view.details.front(), kFixture + ": 1 line that is not a run record skipped");
  EXPECT_EQ(m_view.details.back(),
            "report: 2026-12-10 00:00 to 2026-12-10 10:00 (local time), 14 runs from " + kFixture);
}

TEST_F(ReportCommand, WritesThePageAndSaysWhenThereIsNothingToReport) {
  const std::string page = m_temp.Path("report.html");
  EXPECT_EQ(Run({"--record", kFixture, "report", "--by", "station", "--html", page}), 0);
  const std::string html = testing_support::ReadFile(page);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("bench-2"), std::string::npos);
  EXPECT_NE(html.find("16 runs"), std::string::npos) << "without a period, every record";
  EXPECT_EQ(m_view.details.back(), "report page written to " + page);

  m_view = {};
  EXPECT_EQ(Run({"--record", kFixture, "report", "--since", "2027-01-01"}), 0);
  EXPECT_TRUE(m_view.log.empty());
  EXPECT_EQ(m_view.details.back(), "no run records in the period (since 2027-01-01 00:00 (local time))");

  m_view = {};
  EXPECT_EQ(Run({"--record", m_temp.Path("none.jsonl"), "report"}), 0);
  EXPECT_EQ(m_view.details.front(), "no run records yet in " + m_temp.Path("none.jsonl"));

  // What cannot be read or written is told, with exit status 1.
  m_view = {};
  EXPECT_EQ(Run({"--record", m_temp.path, "report"}), 1);
  EXPECT_NE(m_view.details.front().find("cannot read the record file"), std::string::npos);
  m_view = {};
  EXPECT_EQ(Run({"--record", kFixture, "report", "--html", m_temp.Path("no/such/folder/r.html")}), 1);
  EXPECT_NE(m_view.details.back().find("report page not written to"), std::string::npos)
      << m_view.details.back();
}

}  // namespace
}  // namespace cli
