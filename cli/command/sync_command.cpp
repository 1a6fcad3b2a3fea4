#include "cli/command/sync_command.h"

#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

#include "app/record/history_table.h"
#include "app/record_db/conninfo_check.h"
#include "app/record_db/pending_delivery.h"
#include "app/record_db/record_database.h"
#include "app/record_db/record_delivery.h"

namespace cli {

namespace {

std::string Plural(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " run record" : " run records");
}

}  // namespace

int RunSync(const CommandLine& line, const app::Environment& env, LoaderView& view) {
  if (!app::RecordDatabaseBuiltIn()) {
    view.detail(std::string("vorloader-cli: sync: ") + app::kNoRecordDatabase);
    return kExitUsage;
  }
  if (line.recordDb.empty()) {
    view.detail("vorloader-cli: sync needs a record database: --record-db CONNINFO or VORLOADER_RECORD_DB");
    return kExitUsage;
  }
  const std::optional<std::string> file = app::RecordFilePath(env, line.recordFile);
  if (!file) {
    view.detail("run records are off, so there is nothing to deliver");
    view.appendLog("delivered 0 run records; 0 refused; 0 remain");
    return 0;
  }
  app::RecordDatabase database(line.recordDb);
  const app::DeliveryReport report = app::DeliverPending(database, *file, std::stop_token());
  if (!report.plainTextNote.empty()) view.detail(report.plainTextNote);
  if (!report.outcome.ok()) view.detail(app::FaultNote(report.outcome));
  if (!report.fileError.empty()) view.detail("record database: " + report.fileError);
  if (report.refused > 0) view.detail(app::RefusedNote(report, *file));
  view.appendLog("delivered " + Plural(report.sent) + "; " + std::to_string(report.refused) + " refused; " +
                 std::to_string(report.remaining) + " remain");
  // Records set aside are dealt with: they are no longer pending.
  return report.remaining == 0 && report.fileError.empty() ? 0 : 1;
}

std::string DatabaseReadNote(const app::DbOutcome& outcome) {
  if (outcome.fault == app::DbFault::NoTable)
    return "record database cannot be read: it has no table vorloader_runs (run "
           "packaging/sql/vorloader_runs.sql as the database owner)";
  std::string note = "record database cannot be read";
  if (outcome.message.empty()) return note;
  note += " (" + outcome.message + ")";
  if (outcome.message.find(R"(column ")") != std::string::npos &&
      outcome.message.find("does not exist") != std::string::npos)
    note +=
        "; a table made for an older loader gets the new columns from "
        "packaging/sql/vorloader_runs_upgrade_site.sql";
  return note;
}

int ShowDatabaseHistory(const CommandLine& line, LoaderView& view) {
  app::RecordDatabase database(line.recordDb);
  std::vector<app::RunRecord> records;
  const app::DbOutcome outcome =
      database.ReadLast(static_cast<std::size_t>(line.historyCount), records, std::stop_token());
  if (!database.plainTextNote().empty()) view.detail(database.plainTextNote());
  if (!outcome.ok()) {
    view.detail(DatabaseReadNote(outcome));
    return 1;
  }
  if (records.empty()) {
    view.detail("no run records yet in the record database");
    return 0;
  }
  // The runs of every station: the local table with the station before each row.
  for (const std::string& row : app::HistoryTableLines(records, app::StationColumn::With))
    view.appendLog(row);
  return 0;
}

}  // namespace cli
