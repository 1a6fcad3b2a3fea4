// Delivery to a real PostgreSQL server (the tests' throwaway one): each record arrives once
// with its texts as they were, each refusal has its cause and keeps the records, and loaders
// delivering at once make no second row.

#include "app/record_db/record_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <stop_token>
#include <thread>

#include "app/record/record_fields.h"
#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"
#include "app/record_db/delivery_state.h"
#include "app/record_db/pending_delivery.h"
#include "app/record_db/record_columns.h"
#include "app/record_db/record_delivery.h"
#include "app/record_db/spool_reading.h"
#include "app/record_db/spooling_database_sink.h"
#include "app/report/report_time.h"
#include "app/report/yield_report.h"
#include "common/load_result.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/pg/tcp_proxy.h"
#include "tests/support/pg/test_database.h"

namespace app {
namespace {

using testing_support::TempDir;
using testing_support::TestDatabase;

RunRecord Record(int n, const std::string& station = "bench-1") {
  RunRecord r;
  r.time = "2026-12-10T13:46:" + std::string(n < 10 ? "0" : "") + std::to_string(n % 60) + "Z";
  r.workflow = std::string(kWorkflowConnect);
  r.port = "COM3";
  r.path = "/dev/ttyUSB0";
  r.deviceId = 11456u + static_cast<unsigned>(n);
  r.product = "VORnet Amp ";
  r.versionBefore = "1.20";
  r.versionAfter = "1.30";
  r.file = "amp.hex";
  r.sha256 = std::string(64, 'a');
  r.result = "   -Device Programed OK.";
  r.durationMs = 1234;
  r.loader = "1.70.0";
  r.runId = station + "-run-" + std::to_string(n);
  r.station = station;
  return r;
}

void Append(const std::string& file, const std::string& line) {
  std::ofstream(file, std::ios::binary | std::ios::app) << line << "\n";
}

class RecordDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<std::string> server = testing_support::TestServer();
    if (!server) GTEST_SKIP() << testing_support::kNoTestServer;
    m_db = std::make_unique<TestDatabase>(*server, "rec");
  }
  std::string File() const { return m_dir.Path("history.jsonl"); }
  void CreateTable() const { testing_support::CreateRunsTable(*m_db); }
  // The rows of the table; 0 while there is none.
  std::size_t Rows() const {
    if (m_db->Column("SELECT to_regclass('vorloader_runs') IS NULL").at(0) == "t") return 0;
    return std::stoul(m_db->Column("SELECT count(*) FROM vorloader_runs").at(0));
  }

  TempDir m_dir{"vor-recdb"};
  std::unique_ptr<TestDatabase> m_db;
};

TEST_F(RecordDatabaseTest, DeliversEachRecordOnceWithItsTextsVerbatim) {
  RunRecord odd = Record(1);
  odd.product = "Caf\xe9 \"Amp\" O'Neil \\ 100%\xff";
  odd.result = "E07-it's \\\"quoted\\\"";
  odd.versionBefore.reset();
  odd.deviceId.reset();
  Append(File(), ToJsonLine(odd));
  Append(File(), ToJsonLine(Record(2)));
  // A record of an older loader: no run ID, no station.
  const std::string old =
      R"({"time":"2025-01-01T00:00:00Z","workflow":"raw-boot","port":"COM1","code":2,"result":"E02"})";
  Append(File(), old);

  CreateTable();
  RecordDatabase database(m_db->conninfo());
  DeliveryReport report = DeliverPending(database, File(), {});
  ASSERT_TRUE(report.outcome.ok()) << report.outcome.message;
  EXPECT_EQ(report.delivered, 3u);
  EXPECT_EQ(report.remaining, 0u);
  EXPECT_EQ(CountPending(File()), 0u);

  std::vector<RunRecord> back;
  ASSERT_TRUE(database.ReadLast(10, back, {}).ok());
  ASSERT_EQ(back.size(), 3u);
  RunRecord oldRecord = *ParseRecordLine(old);
  oldRecord.runId = back[0].runId;
  EXPECT_EQ(back[0], oldRecord);
  EXPECT_FALSE(back[0].runId.empty());
  EXPECT_EQ(back[1], *ParseRecordLine(ToJsonLine(odd)));
  EXPECT_EQ(back[1].product, odd.product);
  EXPECT_EQ(back[2], Record(2));

  // Nothing pending: nothing sent. A lost state sends all again, and no row is added.
  EXPECT_EQ(DeliverPending(database, File(), {}).sent, 0u);
  std::remove(DeliveryStatePath(File()).c_str());
  EXPECT_EQ(CountPending(File()), 3u);
  report = DeliverPending(database, File(), {});
  EXPECT_EQ(report.sent, 3u);
  EXPECT_EQ(report.delivered, 0u);
  EXPECT_EQ(Rows(), 3u);
}

struct RefusalCase {
  const char* name;
  const char* setup;     // SQL as the superuser, with ROLE for the station's role
  const char* password;  // the one the station gives
  DbFault fault;
};

// The case's name, so that test names stay the same from run to run.
[[maybe_unused]] void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.name;
}

class RecordDatabaseRefusal : public RecordDatabaseTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RecordDatabaseRefusal, KeepsTheRecordsAndNamesTheCause) {
  const RefusalCase& c = GetParam();
  const std::string role = m_db->Role("station");
  std::string setup = c.setup;
  for (std::size_t at = setup.find("ROLE_"); at != std::string::npos; at = setup.find("ROLE_"))
    setup.replace(at, 5, role);
  m_db->Exec(setup);
  Append(File(), ToJsonLine(Record(1)));
  Append(File(), ToJsonLine(Record(2)));

  RecordDatabase database(m_db->ConninfoAs(role, c.password));
  const DeliveryReport report = DeliverPending(database, File(), {});
  EXPECT_EQ(report.outcome.fault, c.fault) << report.outcome.message;
  if (c.fault == DbFault::None) {
    EXPECT_EQ(report.delivered, 2u);
    EXPECT_EQ(Rows(), 2u);
  } else {
    EXPECT_EQ(report.remaining, 2u);
    EXPECT_EQ(CountPending(File()), 2u);
    EXPECT_NE(FaultNote(report.outcome), "");
  }
  if (c.fault == DbFault::NoTable) {
    EXPECT_EQ(m_db->Column("SELECT to_regclass('vorloader_runs') IS NULL"), std::vector<std::string>{"t"});
    EXPECT_NE(FaultNote(report.outcome).find("run packaging/sql/vorloader_runs.sql as the database owner"),
              std::string::npos)
        << FaultNote(report.outcome);
  }
}

// A table made by the site beforehand.
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage)
#define TABLE_SQL                                                                                   \
  "CREATE TABLE vorloader_runs (time text, workflow text, port text, path text, device_id bigint, " \
  "product text, version_before text, version_after text, file text, sha256 text, code integer, "   \
  "result text, duration_ms bigint, loader text, run_id text PRIMARY KEY, station text, "           \
  "erase_began boolean, wait_ms bigint, operator text, work_order text, profile text, "             \
  "profile_sha256 text);"

INSTANTIATE_TEST_SUITE_P(
    Table, RecordDatabaseRefusal,
    ::testing::Values(
        RefusalCase{"WrongPassword", "CREATE ROLE ROLE_ LOGIN PASSWORD 'right'", "wrong", DbFault::Login},
        RefusalCase{"NoPasswordGiven", "CREATE ROLE ROLE_ LOGIN PASSWORD 'right'", "", DbFault::Login},
        RefusalCase{"NoTable", "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'", "pw", DbFault::NoTable},
        RefusalCase{"ReadOnlyRole",
                    "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'; " TABLE_SQL
                    " GRANT SELECT ON vorloader_runs TO ROLE_",
                    "pw", DbFault::NotPermitted},
        RefusalCase{"ReadOnlySession",
                    "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'; ALTER ROLE ROLE_ SET "
                    "default_transaction_read_only = on; " TABLE_SQL
                    " GRANT INSERT ON vorloader_runs TO ROLE_",
                    "pw", DbFault::NotPermitted},
        RefusalCase{"MayInsertButNotCreate",
                    "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'; " TABLE_SQL
                    " GRANT INSERT, SELECT ON vorloader_runs TO ROLE_",
                    "pw", DbFault::None},
        // The loader never makes the table, even where it could: its maker would own every
        // station's rows.
        RefusalCase{"NoTableEvenForARoleThatMayCreateIt",
                    "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'; GRANT CREATE ON SCHEMA public TO ROLE_", "pw",
                    DbFault::NoTable}),
    [](const ::testing::TestParamInfo<RefusalCase>& param) { return std::string(param.param.name); });

TEST_F(RecordDatabaseTest, AnUnreachableServerIsToldAtOnceAndKeepsTheRecords) {
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database("host=" + m_dir.Path("no-server") + " dbname=none");
  const DeliveryReport report = DeliverPending(database, File(), {});
  EXPECT_EQ(report.outcome.fault, DbFault::Unreachable);
  EXPECT_EQ(report.remaining, 1u);
  EXPECT_NE(FaultNote(report.outcome).find("not reached"), std::string::npos);
}

TEST_F(RecordDatabaseTest, TheShippedSchemaHasTheColumnsTheLoaderWritesAndTheInsertingRole) {
  CreateTable();
  // Every column the loader writes, in the record's order, then the one the database fills.
  std::vector<std::string> expected;
  for (const RecordColumn& c : RecordColumns()) expected.push_back(std::string(c.name));
  expected.emplace_back("db_role");
  EXPECT_EQ(
      m_db->Column("SELECT column_name FROM information_schema.columns WHERE table_name = 'vorloader_runs' "
                   "ORDER BY ordinal_position"),
      expected);
  EXPECT_EQ(m_db->Column("SELECT privilege_type FROM information_schema.role_table_grants WHERE grantee = "
                         "'vorloader_station' AND table_name = 'vorloader_runs' ORDER BY 1"),
            (std::vector<std::string>{"INSERT", "SELECT"}));
  // Each column's type as the loader would name it in a note.
  for (const RecordColumn& c : RecordColumns()) {
    const std::string type(c.type.substr(0, c.type.find(' ')));
    EXPECT_EQ(m_db->Column("SELECT data_type FROM information_schema.columns WHERE table_name = "
                           "'vorloader_runs' AND column_name = '" +
                           std::string(c.name) + "'"),
              std::vector<std::string>{type})
        << c.name;
  }

  // A station's rows carry its role, whatever it claims.
  const std::string role = m_db->Role("bench");
  m_db->Exec("CREATE ROLE " + role + " LOGIN PASSWORD 'pw' IN ROLE vorloader_station");
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database(m_db->ConninfoAs(role, "pw"));
  ASSERT_TRUE(DeliverPending(database, File(), {}).outcome.ok());
  const std::string columns =
      "time, workflow, port, path, code, result, duration_ms, loader, run_id, station, db_role";
  EXPECT_NO_THROW(TestDatabase::ExecAs(
      m_db->ConninfoAs(role, "pw"), "INSERT INTO vorloader_runs (" + columns +
                                        ") VALUES ('t', 'connect', 'COM1', '', 0, 'ok', 0, '1', 'claimed', "
                                        "'bench-9', 'someone_else')"));
  EXPECT_EQ(m_db->Column("SELECT db_role FROM vorloader_runs ORDER BY run_id"),
            (std::vector<std::string>{role, role}));
}

TEST_F(RecordDatabaseTest, TheUpgradeScriptAddsTheInsertingRole) {
  m_db->Exec(TABLE_SQL);
  m_db->Exec(
      "INSERT INTO vorloader_runs (time, workflow, port, run_id) VALUES ('2025-01-01T00:00:00Z', 'connect', "
      "'COM1', 'old')");
  m_db->Exec(testing_support::PackagedSql("vorloader_runs_add_db_role.sql"));
  m_db->Exec(testing_support::PackagedSql("vorloader_runs_add_db_role.sql"));  // twice: no change
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database(m_db->conninfo());
  ASSERT_TRUE(DeliverPending(database, File(), {}).outcome.ok());
  const std::string super = m_db->Column("SELECT session_user").at(0);
  EXPECT_EQ(m_db->Column("SELECT run_id || ' ' || db_role FROM vorloader_runs ORDER BY run_id"),
            (std::vector<std::string>{"bench-1-run-1 " + super, "old unknown"}));
}

// A new record field cannot be forgotten in the table: the columns are the fields, in order.
TEST(RecordColumns, AreTheRecordFieldsInTheirOrder) {
  std::vector<std::string> fields;
  for (const record_fields::Field& f : record_fields::kFields) fields.emplace_back(f.name);
  std::vector<std::string> columns;
  for (const RecordColumn& c : RecordColumns()) columns.emplace_back(c.name);
  EXPECT_EQ(columns, fields);
}

TEST_F(RecordDatabaseTest, TheSiteUpgradeAddsTheOperatorOrderAndProfileToAnOlderTable) {
  // The table as loaders before the operator and the profile made it, with one of their rows.
  m_db->Exec(
      "CREATE TABLE vorloader_runs (time text NOT NULL, workflow text NOT NULL, port text NOT NULL, path "
      "text NOT "
      "NULL, device_id bigint, product text, version_before text, version_after text, file text, sha256 "
      "text, code "
      "integer NOT NULL, result text NOT NULL, duration_ms bigint NOT NULL, loader text NOT NULL, run_id "
      "text "
      "PRIMARY KEY, station text NOT NULL, erase_began boolean, wait_ms bigint NOT NULL DEFAULT 0)");
  m_db->Exec(
      "INSERT INTO vorloader_runs VALUES ('2026-12-10T08:00:00Z', 'connect', 'COM3', '/dev/ttyUSB0', 7, "
      "'Amp', "
      "'1.20', '1.30', 'amp.hex', NULL, 0, '   -Device Programed OK.', 1000, '1.60.0', 'old-run', 'bench-1', "
      "true, "
      "0)");
  std::ifstream in(std::string(VOR_SOURCE_DIR) + "/packaging/sql/vorloader_runs_upgrade_site.sql");
  ASSERT_TRUE(in) << "packaging/sql/vorloader_runs_upgrade_site.sql";
  std::stringstream sql;
  sql << in.rdbuf();
  m_db->Exec(sql.str());
  m_db->Exec(sql.str());  // once more changes nothing
  std::vector<std::string> expected;
  for (const RecordColumn& c : RecordColumns()) expected.emplace_back(c.name);
  EXPECT_EQ(
      m_db->Column("SELECT column_name FROM information_schema.columns WHERE table_name = 'vorloader_runs' "
                   "ORDER BY ordinal_position"),
      expected);

  // New records arrive with who and what for; the old row reads with them empty.
  RunRecord named = Record(1);
  named.time = "2026-12-10T09:00:00Z";
  named.operatorName = "Jos\xe9";
  named.workOrder = "WO-4711";
  named.profileName = "line-a";
  named.profileSha256 = std::string(64, 'c');
  RecordDatabase database(m_db->conninfo());
  ASSERT_TRUE(database.Insert(std::vector<RunRecord>{named}, {}).ok());
  std::vector<RunRecord> back;
  ASSERT_TRUE(database.ReadLast(10, back, {}).ok());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].runId, "old-run");
  EXPECT_EQ(back[0].operatorName + back[0].workOrder + back[0].profileName + back[0].profileSha256, "");
  EXPECT_EQ(back[1], named);
}

TEST_F(RecordDatabaseTest, ReadsTheRecordsOfAPeriodOldestFirst) {
  CreateTable();
  std::vector<RunRecord> records;
  for (int n : {5, 1, 30, 12}) records.push_back(Record(n, n % 2 == 0 ? "bench-2" : "bench-1"));
  RecordDatabase database(m_db->conninfo());
  ASSERT_TRUE(database.Insert(records, {}).ok());
  const auto times = [](const std::vector<RunRecord>& rs) {
    std::vector<std::string> t;
    for (const RunRecord& r : rs) t.push_back(r.time);
    return t;
  };
  std::vector<RunRecord> back;
  ASSERT_TRUE(database.ReadBetween("", "", back, {}).ok());
  EXPECT_EQ(times(back), (std::vector<std::string>{"2026-12-10T13:46:01Z", "2026-12-10T13:46:05Z",
                                                   "2026-12-10T13:46:12Z", "2026-12-10T13:46:30Z"}));
  // From (included) and until (not included).
  ASSERT_TRUE(database.ReadBetween("2026-12-10T13:46:05Z", "2026-12-10T13:46:30Z", back, {}).ok());
  EXPECT_EQ(times(back), (std::vector<std::string>{"2026-12-10T13:46:05Z", "2026-12-10T13:46:12Z"}));
  ASSERT_TRUE(database.ReadBetween("2026-12-10T13:46:06Z", "", back, {}).ok());
  EXPECT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].station, "bench-2");
}

std::string SqlFile(const std::string& name) {
  std::ifstream in(std::string(VOR_SOURCE_DIR) + "/packaging/sql/" + name);
  std::stringstream sql;
  sql << in.rdbuf();
  return sql.str();
}

// The dashboards' views count as `vorloader-cli report` does: the same outcome of every result
// code, and per hour and station the same figures as the report over the same records.
TEST_F(RecordDatabaseTest, TheDashboardViewsCountAsTheReportDoes) {
  m_db->Exec(
      "DO $$ BEGIN CREATE ROLE vorloader_station NOLOGIN; EXCEPTION WHEN duplicate_object OR "
      "unique_violation THEN NULL; END $$");
  m_db->Exec(SqlFile("vorloader_runs.sql"));
  const std::string views = SqlFile("vorloader_views.sql");
  ASSERT_FALSE(views.empty());
  m_db->Exec(views);
  m_db->Exec(views);  // again: replaced

  std::vector<RunRecord> records;
  std::ifstream fixture(std::string(VOR_SOURCE_DIR) + "/tests/app/fixtures/report_records.jsonl");
  for (std::string line; std::getline(fixture, line);)
    if (std::optional<RunRecord> r = ParseRecordLine(line)) records.push_back(*r);
  ASSERT_EQ(records.size(), 16u);
  // Every code of the table, a stop and a code beyond it, once each.
  for (int code = -1; code <= static_cast<int>(kLoadResults.size()); ++code) {
    RunRecord r = records.front();
    r.time = "2026-11-01T00:00:00Z";
    r.deviceId = 5000u + static_cast<unsigned>(code + 1);
    r.code = code;
    r.runId = "code-" + std::to_string(code);
    r.station = "codes";
    records.push_back(r);
  }
  RecordDatabase database(m_db->conninfo());
  ASSERT_TRUE(database.Insert(records, {}).ok());

  for (int code = -1; code <= static_cast<int>(kLoadResults.size()); ++code)
    EXPECT_EQ(m_db->Column("SELECT outcome FROM vorloader_runs_timed WHERE run_id = 'code-" +
                           std::to_string(code) + "'"),
              std::vector<std::string>{std::string(OutcomeName(OutcomeOfResult(code)))})
        << "code " << code;

  for (const std::string station : {"bench-1", "bench-2"}) {
    std::vector<RunRecord> ofStation;
    for (const RunRecord& r : records)
      if (r.station == station) ofStation.push_back(r);
    const YieldReport report =
        ComputeYieldReport(ofStation, ReportGrouping::Hour, FixedZone(std::chrono::minutes(0)));
    std::vector<std::string> expected;
    for (const YieldFigures& f : report.groups) {
      const std::optional<double> yield = f.yieldPercent();
      char percent[32] = "<null>";
      if (yield) std::snprintf(percent, sizeof percent, "%.1f", *yield);
      expected.push_back(f.group + " " + std::to_string(f.runs) + " " + std::to_string(f.runsWithoutDevice) +
                         " " + std::to_string(f.devices) + " " + std::to_string(f.programmed) + " " +
                         std::to_string(f.failed) + " " + std::to_string(f.refused) + " " +
                         std::to_string(f.stopped) + " " + percent);
    }
    ASSERT_FALSE(expected.empty()) << station;
    EXPECT_EQ(m_db->Column(
                  "SELECT concat_ws(' ', to_char(hour AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:00'), runs, "
                  "runs_without_device, devices, programmed, failed, refused, stopped, "
                  "coalesce(yield_percent::text, '<null>')) FROM vorloader_yield_hourly WHERE station = '" +
                  station + "' ORDER BY hour"),
              expected)
        << station;
  }
  // The failed runs by result over every day: E13 three times, E05 twice, E02 once (and the
  // codes' own runs once each).
  EXPECT_EQ(m_db->Column(
                "SELECT concat_ws(' ', code, sum(runs)) FROM vorloader_failures_daily WHERE code IN (2, 5, "
                "13) GROUP BY code ORDER BY code"),
            (std::vector<std::string>{"2 2", "5 3", "13 4"}));
}

TEST_F(RecordDatabaseTest, LoadersDeliveringAtOnceStoreEachRecordOnce) {
  // Two loaders share one record file; a third station has its own.
  const std::string other = m_dir.Path("other.jsonl");
  constexpr int kRecords = 300;
  CreateTable();
  for (int n = 0; n < kRecords; ++n) {
    Append(File(), ToJsonLine(Record(n, "bench-1")));
    Append(other, ToJsonLine(Record(n, "bench-2")));
  }
  std::vector<std::thread> loaders;
  std::vector<DeliveryReport> reports(3);
  const std::vector<std::string> files{File(), File(), other};
  for (std::size_t i = 0; i < files.size(); ++i)
    loaders.emplace_back([&, i] {
      RecordDatabase database(m_db->conninfo());
      reports[i] = DeliverPending(database, files[i], {});
    });
  for (std::thread& t : loaders) t.join();
  for (const DeliveryReport& r : reports) EXPECT_TRUE(r.outcome.ok()) << r.outcome.message;
  EXPECT_EQ(reports[0].delivered + reports[1].delivered, static_cast<std::size_t>(kRecords));
  EXPECT_EQ(reports[2].delivered, static_cast<std::size_t>(kRecords));
  EXPECT_EQ(Rows(), 2u * kRecords);
  EXPECT_EQ(CountPending(File()) + CountPending(other), 0u);
}

TEST_F(RecordDatabaseTest, TheWorkerDeliversInTheBackgroundAndTellsEachCauseOnce) {
  std::vector<std::string> notes;
  std::mutex mutex;
  auto note = [&](const std::string& n) {
    const std::lock_guard lock(mutex);
    notes.push_back(n);
  };
  Append(File(), ToJsonLine(Record(1)));
  {
    // Refused: told once however often it is asked, and the end does not wait.
    RecordDelivery delivery({"host=" + m_dir.Path("no-server"), File(), std::chrono::milliseconds(10)}, note);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Append(File(), ToJsonLine(Record(2)));
    delivery.Kick();
    const RecordDelivery::Outcome outcome = delivery.Finish(std::chrono::seconds(5));
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(outcome.pending, 2u);
  }
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("record database not reached"), std::string::npos) << notes[0];
  CreateTable();
  {
    // Reachable: what was kept is delivered at once, and what comes later when it is told.
    RecordDelivery delivery({m_db->conninfo(), File(), std::chrono::milliseconds(10)}, note);
    for (int i = 0; i < 500 && CountPending(File()) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Rows(), 2u);
    Append(File(), ToJsonLine(Record(3)));
    delivery.Kick();
    for (int i = 0; i < 500 && Rows() != 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Rows(), 3u);
    Append(File(), ToJsonLine(Record(4)));
    const RecordDelivery::Outcome outcome = delivery.Finish(std::chrono::seconds(5));
    EXPECT_FALSE(outcome.refused);
    EXPECT_EQ(outcome.pending, 0u);
  }
  EXPECT_EQ(Rows(), 4u);
  EXPECT_EQ(notes.size(), 1u);
}

// The record file as the sink in front of the database.
class FileSink : public RecordSink {
 public:
  explicit FileSink(std::string path) : m_path(std::move(path)) {}
  std::string Write(const RunRecord& record) override {
    return AppendRecord(m_path, ToJsonLine(record)).error;
  }

 private:
  std::string m_path;
};

TEST_F(RecordDatabaseTest, TheSpoolingSinkWritesTheFileFirstAndWakesTheWorker) {
  CreateTable();
  // The worker never looks at the file by itself while it waits.
  RecordDelivery delivery({m_db->conninfo(), File(), std::chrono::hours(1)}, nullptr);
  FileSink file(File());
  SpoolingDatabaseSink sink(file, delivery);
  EXPECT_EQ(sink.Write(Record(1)), "");
  EXPECT_EQ(testing_support::ReadFile(File()), ToJsonLine(Record(1)) + "\n");
  for (int i = 0; i < 500 && Rows() != 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(m_db->Column("SELECT run_id FROM vorloader_runs"), std::vector<std::string>{"bench-1-run-1"});
  // A record that cannot be kept is told, and nothing is delivered for it.
  FileSink nowhere(m_dir.Path("history.jsonl/not-a-folder/h.jsonl"));
  SpoolingDatabaseSink broken(nowhere, delivery);
  EXPECT_NE(broken.Write(Record(2)), "");
  EXPECT_EQ(delivery.Finish(std::chrono::seconds(5)).pending, 0u);
  EXPECT_EQ(Rows(), 1u);
}

// A text that does not shrink when the server compresses it: hex of chained SHA-256 sums.
std::string Incompressible(std::size_t size) {
  std::string text;
  std::string seed = "seed";
  while (text.size() < size) {
    seed = DerivedRunId(seed);
    text += seed;
  }
  return text.substr(0, size);
}

TEST_F(RecordDatabaseTest, RecordsRefusedForTheirDataAreSetAsideAndTheRestArrive) {
  CreateTable();
  // A check the site added: no port named BAD.
  m_db->Exec("ALTER TABLE vorloader_runs ADD CONSTRAINT no_bad_port CHECK (port <> 'BAD')");
  RunRecord tooLong = Record(2);
  tooLong.runId = Incompressible(6000);  // beyond what the key's index can hold
  RunRecord badPort = Record(4);
  badPort.port = "BAD";
  const std::vector<RunRecord> records{Record(1), tooLong, Record(3), badPort, Record(5)};
  for (const RunRecord& r : records) Append(File(), ToJsonLine(r));

  RecordDatabase database(m_db->conninfo());
  DeliveryReport report = DeliverPending(database, File(), {});
  EXPECT_TRUE(report.outcome.ok()) << report.outcome.message;
  EXPECT_TRUE(report.fileError.empty()) << report.fileError;
  EXPECT_EQ(report.delivered, 3u);
  EXPECT_EQ(report.refused, 2u);
  EXPECT_EQ(report.remaining, 0u);
  EXPECT_EQ(m_db->Column("SELECT run_id FROM vorloader_runs ORDER BY run_id"),
            (std::vector<std::string>{"bench-1-run-1", "bench-1-run-3", "bench-1-run-5"}));
  // Each refused line follows a comment with the server's reason.
  const std::string refused = testing_support::ReadFile(RefusedPath(File()));
  std::vector<std::string> lines;
  std::istringstream in(refused);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 4u) << refused;
  EXPECT_EQ(lines[0].rfind("# refused by the record database ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("index row"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], ToJsonLine(tooLong));
  EXPECT_NE(lines[2].find("no_bad_port"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3], ToJsonLine(badPort));
  const std::string note = RefusedNote(report, File());
  EXPECT_NE(note.find("refused 2 run records"), std::string::npos) << note;
  EXPECT_NE(note.find(RefusedPath(File())), std::string::npos) << note;

  // Nothing is pending or sent again; a good record after them goes at once.
  EXPECT_EQ(CountPending(File()), 0u);
  Append(File(), ToJsonLine(Record(6)));
  report = DeliverPending(database, File(), {});
  EXPECT_EQ(report.sent, 1u);
  EXPECT_EQ(report.refused, 0u);
  EXPECT_EQ(Rows(), 4u);
  EXPECT_EQ(testing_support::ReadFile(RefusedPath(File())), refused);
}

TEST_F(RecordDatabaseTest, AMissingColumnIsNamedWithTheSqlThatAddsIt) {
  CreateTable();
  m_db->Exec("ALTER TABLE vorloader_runs DROP COLUMN wait_ms, DROP COLUMN erase_began");
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database(m_db->conninfo());
  DeliveryReport report = DeliverPending(database, File(), {});
  ASSERT_EQ(report.outcome.fault, DbFault::MissingColumn) << report.outcome.message;
  EXPECT_EQ(report.outcome.message, "erase_began, wait_ms");
  EXPECT_EQ(report.remaining, 1u);
  const std::string note = FaultNote(report.outcome);
  EXPECT_NE(note.find("lacks the columns erase_began, wait_ms that this loader writes"), std::string::npos)
      << note;
  // The statements the note gives mend the table.
  const std::size_t from = note.find("ALTER TABLE");
  const std::size_t to = note.find(" (or the upgrade scripts");
  ASSERT_NE(from, std::string::npos) << note;
  ASSERT_NE(to, std::string::npos) << note;
  m_db->Exec(note.substr(from, to - from));
  report = DeliverPending(database, File(), {});
  EXPECT_TRUE(report.outcome.ok()) << report.outcome.message;
  EXPECT_EQ(Rows(), 1u);
}

TEST_F(RecordDatabaseTest, RowsWithTextsBeyondLatin1AreReadWithQuestionMarks) {
  CreateTable();
  // Written by another tool: a euro sign, an e-acute and a Greek letter, as UTF-8.
  m_db->Exec(
      "INSERT INTO vorloader_runs (time, workflow, port, path, code, result, duration_ms, loader, run_id, "
      "station, product) VALUES ('2026-12-10T13:45:00Z', 'connect', 'COM1', '', 0, 'ok', 0, '1', 'other', "
      "convert_from('\\xe282ac20c3a9'::bytea, 'UTF8'), convert_from('\\xcebb2d416d70'::bytea, 'UTF8'))");
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database(m_db->conninfo());
  std::vector<RunRecord> back;
  const DbOutcome read = database.ReadLast(10, back, {});
  ASSERT_TRUE(read.ok()) << read.message;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].station, "? \xe9");
  EXPECT_EQ(back[0].product, "?-Amp");
  // The same connection still sends Latin-1 bytes verbatim.
  ASSERT_TRUE(DeliverPending(database, File(), {}).outcome.ok());
  ASSERT_TRUE(database.ReadLast(10, back, {}).ok());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1], Record(1));
}

TEST_F(RecordDatabaseTest, OverTcpWithoutTlsANoteSaysSoAndASocketNeedsNone) {
  CreateTable();
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase local(m_db->conninfo());
  EXPECT_TRUE(DeliverPending(local, File(), {}).plainTextNote.empty());

  testing_support::TcpProxy proxy(*testing_support::TestServer(), testing_support::TcpProxy::Mode::Relay);
  Append(File(), ToJsonLine(Record(2)));
  // The host name is looked up by the loader; libpq gets the address and keeps the name.
  std::vector<std::string> asked;
  RecordDatabase remote(proxy.Conninfo(m_db->conninfo(), "records.test"), [&](const std::string& host) {
    asked.push_back(host);
    return HostAddresses{{"127.0.0.1"}, {}};
  });
  const DeliveryReport report = DeliverPending(remote, File(), {});
  EXPECT_TRUE(report.outcome.ok()) << report.outcome.message;
  EXPECT_EQ(asked, std::vector<std::string>{"records.test"});
  EXPECT_EQ(Rows(), 2u);
  EXPECT_NE(report.plainTextNote.find("connection to records.test does not use TLS"), std::string::npos)
      << report.plainTextNote;
  EXPECT_NE(report.plainTextNote.find("sslmode=verify-full"), std::string::npos) << report.plainTextNote;
}

// Stops `source` from a thread of its own once `ready` says so (asked every 10 ms, for 30 s), and
// `after` later; joined at scope end. stoppedAt() is when it did.
class StopLater {
 public:
  StopLater(std::stop_source& source, std::chrono::milliseconds after, std::function<bool()> ready = nullptr)
      : m_thread([this, &source, after, ready = std::move(ready)] {
          // Not for ever: a loader that never gets that far fails its test, and this ends.
          for (int i = 0; ready && !ready() && i < 3000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          std::this_thread::sleep_for(after);
          m_stoppedAt = std::chrono::steady_clock::now();
          source.request_stop();
        }) {}
  // Once the stop was requested (its token says so), the time it was.
  std::chrono::steady_clock::time_point stoppedAt() const { return m_stoppedAt; }

 private:
  std::chrono::steady_clock::time_point m_stoppedAt;  // written before the stop is requested
  std::jthread m_thread;
};

constexpr int kStallRecords = 200;
constexpr std::size_t kStallText = 30000;

TEST_F(RecordDatabaseTest, AServerThatStopsReadingHoldsNoDeliveryPastItsStop) {
  CreateTable();
  // Enough to fill every buffer between the loader and a server that reads nothing.
  for (int n = 0; n < kStallRecords; ++n) {
    RunRecord r = Record(n);
    r.result = Incompressible(kStallText);
    Append(File(), ToJsonLine(r));
  }
  // The server takes the login, the look for the table and the transaction's start, then
  // reads nothing more.
  testing_support::TcpProxy proxy(*testing_support::TestServer(),
                                  testing_support::TcpProxy::Mode::StallAfterStatements, 2);
  RecordDatabase database(proxy.Conninfo(m_db->conninfo()));
  std::stop_source stop;
  DeliveryReport report;
  std::chrono::steady_clock::duration took{};
  {
    // Stopped once the loader is sending into the full connection.
    const StopLater later(stop, std::chrono::milliseconds(300), [&] { return proxy.stalls() > 0; });
    report = DeliverPending(database, File(), stop.get_token());
    ASSERT_TRUE(stop.stop_requested());
    took = std::chrono::steady_clock::now() - later.stoppedAt();
  }
  EXPECT_EQ(proxy.logins(), 1);
  EXPECT_EQ(report.outcome.fault, DbFault::Stopped) << report.outcome.message;
  EXPECT_EQ(report.remaining, static_cast<std::size_t>(kStallRecords));
  EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(RecordDatabaseTest, AHostNameThatIsNeverAnsweredHoldsNothingPastTheStop) {
  Append(File(), ToJsonLine(Record(1)));
  // A name server that never answers; the lookup thread is let go at the end.
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  RecordDatabase database("host=records.test dbname=records", [released](const std::string&) {
    released.wait();
    return HostAddresses{{}, "released"};
  });
  std::stop_source stop;
  DeliveryReport report;
  {
    const StopLater later(stop, std::chrono::milliseconds(200));
    report = DeliverPending(database, File(), stop.get_token());
    ASSERT_TRUE(stop.stop_requested());
    EXPECT_LT(std::chrono::steady_clock::now() - later.stoppedAt(), std::chrono::seconds(3));
  }
  EXPECT_EQ(report.outcome.fault, DbFault::Stopped) << report.outcome.message;
  EXPECT_EQ(report.remaining, 1u);
  release->set_value();
}

TEST(HostLookup, NamesAreExpandedToTheirAddressesAndSocketsLeftAlone) {
  const HostResolver resolver = [](const std::string& host) {
    if (host == "a.test") return HostAddresses{{"192.0.2.1", "2001:db8::1"}, {}};
    return HostAddresses{{}, "unknown host"};
  };
  const auto later = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  HostTargets t = LookUpHosts("host=a.test,/run/pg,192.0.2.9 port=1,2,3", resolver, later, {});
  EXPECT_EQ(t.error, "");
  EXPECT_EQ(t.host, "a.test,a.test,/run/pg,192.0.2.9");
  EXPECT_EQ(t.hostaddr, "192.0.2.1,2001:db8::1,,192.0.2.9");
  EXPECT_EQ(t.port, "1,1,2,3");
  // Nothing to look up: libpq is left to the string.
  EXPECT_TRUE(LookUpHosts("host=/run/pg dbname=x", resolver, later, {}).empty());
  EXPECT_TRUE(LookUpHosts("host=a.test hostaddr=192.0.2.5", resolver, later, {}).empty());
  // A name without an address is left out; with none left, the reason is told.
  t = LookUpHosts("host=b.test,a.test", resolver, later, {});
  EXPECT_EQ(t.host, "a.test,a.test");
  t = LookUpHosts("host=b.test", resolver, later, {});
  EXPECT_EQ(t.error, "cannot look up b.test: unknown host");
}

}  // namespace
}  // namespace app
