#include "cli/command/report_command.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stop_token>
#include <string>
#include <vector>

#include "app/record_db/record_database.h"
#include "app/report/record_period.h"
#include "app/report/report_html.h"
#include "app/report/report_table.h"
#include "app/report/report_time.h"
#include "app/report/yield_report.h"
#include "cli/command/history_command.h"
#include "cli/command/sync_command.h"

namespace cli {

namespace {

std::optional<std::chrono::sys_seconds> Instant(const std::string& text, const app::LocalZone& zone) {
  if (text.empty()) return std::nullopt;
  const std::optional<app::WhenText> when = app::ParseWhen(text);
  if (!when) return std::nullopt;  // the command line has refused it
  return app::InstantOf(*when, zone);
}

// The records of the period, where they came from, and how many lines were not records.
struct Source {
  std::vector<app::RunRecord> records;
  std::string name;
  std::size_t skipped = 0;
};

bool ReadDatabase(const CommandLine& line, const app::ReportPeriod& period, Source& source,
                  LoaderView& view) {
  app::RecordDatabase database(line.recordDb);
  std::vector<app::RunRecord> rows;
  const auto bound = [](const std::optional<std::chrono::sys_seconds>& when) {
    return when ? app::UtcTimeText(*when) : std::string();
  };
  const app::DbOutcome outcome = database.ReadBetween(bound(period.since), bound(period.until), rows, {});
  if (!outcome.ok()) {
    view.detail(DatabaseReadNote(outcome));
    return false;
  }
  source.records = app::RecordsOfPeriod(std::move(rows), period, source.skipped);
  source.name = "the record database";
  return true;
}

bool ReadFile(const CommandLine& line, const app::Environment& env, const app::ReportPeriod& period,
              Source& source, LoaderView& view, int& status) {
  const std::optional<std::string> path = app::RecordFilePath(env, line.recordFile);
  if (!path) {
    const std::optional<std::string> named = env("VORLOADER_HISTORY");
    view.detail(named ? "run records are off (VORLOADER_HISTORY is empty)"
                      : "run records are off (neither XDG_STATE_HOME nor HOME names a folder)");
    source.name = "no record file";
    return true;
  }
  app::PeriodRead read = app::ReadRecordsOfPeriod(*path, period);
  if (!read.error.empty()) {
    view.detail(read.error);
    status = 1;
    return false;
  }
  if (read.noFile) view.detail("no run records yet in " + *path);
  source.records = std::move(read.records);
  source.skipped = read.skipped;
  source.name = *path;
  return true;
}

bool WritePage(const std::string& file, const std::string& page, LoaderView& view) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out << page;
  if (out) out.close();
  if (!out) {
    view.detail("report page not written to " + file + ": " + std::strerror(errno));
    return false;
  }
  view.detail("report page written to " + file);
  return true;
}

}  // namespace

int RunReport(const CommandLine& line, const app::Environment& env, LoaderView& view) {
  const app::LocalZone zone = app::SystemZone();
  app::ReportPeriod period;
  period.since = Instant(line.reportSince, zone);
  period.until = Instant(line.reportUntil, zone);
  const app::ReportGrouping grouping =
      line.reportBy.empty() ? app::ReportGrouping::None
                            : app::ParseGrouping(line.reportBy).value_or(app::ReportGrouping::None);

  Source source;
  int status = 1;
  if (line.recordDb.empty() ? !ReadFile(line, env, period, source, view, status)
                            : !ReadDatabase(line, period, source, view))
    return status;
  if (source.skipped > 0) view.detail(source.name + ": " + SkippedText(source.skipped));

  const app::YieldReport report = app::ComputeYieldReport(source.records, grouping, zone);
  const std::string periodText = app::PeriodText(period, zone);
  if (report.total.runs == 0)
    view.detail("no run records in the period (" + periodText + ")");
  else
    view.detail("report: " + periodText + ", " + std::to_string(report.total.runs) +
                (report.total.runs == 1 ? " run" : " runs") + " from " + source.name);
  for (const std::string& text : app::ReportTableLines(report)) view.appendLog(text);

  if (!line.reportHtml.empty() &&
      !WritePage(line.reportHtml, app::ReportHtml(report, periodText, source.name), view))
    return 1;
  return 0;
}

}  // namespace cli
