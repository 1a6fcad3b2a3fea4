// Delivery to a real PostgreSQL server (the tests' throwaway one): each record arrives once
// with its texts as they were, each refusal has its cause and keeps the records, and loaders
// delivering at once make no second row.

#include "app/record_db/record_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"
#include "app/record_db/delivery_state.h"
#include "app/record_db/pending_delivery.h"
#include "app/record_db/record_columns.h"
#include "app/record_db/record_delivery.h"
#include "app/record_db/spooling_database_sink.h"
#include "tests/support/fixtures/temp_dir.h"
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
}

// A table made by the site beforehand.
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage)
#define TABLE_SQL                                                                                   \
  "CREATE TABLE vorloader_runs (time text, workflow text, port text, path text, device_id bigint, " \
  "product text, version_before text, version_after text, file text, sha256 text, code integer, "   \
  "result text, duration_ms bigint, loader text, run_id text PRIMARY KEY, station text, "           \
  "erase_began boolean, wait_ms bigint);"

INSTANTIATE_TEST_SUITE_P(
    Table, RecordDatabaseRefusal,
    ::testing::Values(
        RefusalCase{"WrongPassword", "CREATE ROLE ROLE_ LOGIN PASSWORD 'right'", "wrong", DbFault::Login},
        RefusalCase{"NoPasswordGiven", "CREATE ROLE ROLE_ LOGIN PASSWORD 'right'", "", DbFault::Login},
        RefusalCase{"NoTableAndNoRightToCreateIt", "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'", "pw",
                    DbFault::NoTable},
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
        RefusalCase{"MayCreateTheTable",
                    "CREATE ROLE ROLE_ LOGIN PASSWORD 'pw'; GRANT CREATE ON SCHEMA public TO ROLE_", "pw",
                    DbFault::None}),
    [](const ::testing::TestParamInfo<RefusalCase>& param) { return std::string(param.param.name); });

TEST_F(RecordDatabaseTest, AnUnreachableServerIsToldAtOnceAndKeepsTheRecords) {
  Append(File(), ToJsonLine(Record(1)));
  RecordDatabase database("host=" + m_dir.Path("no-server") + " dbname=none");
  const DeliveryReport report = DeliverPending(database, File(), {});
  EXPECT_EQ(report.outcome.fault, DbFault::Unreachable);
  EXPECT_EQ(report.remaining, 1u);
  EXPECT_NE(FaultNote(report.outcome).find("not reached"), std::string::npos);
}

TEST_F(RecordDatabaseTest, TheShippedSchemaHasTheColumnsTheLoaderWrites) {
  std::ifstream in(std::string(VOR_SOURCE_DIR) + "/packaging/sql/vorloader_runs.sql");
  ASSERT_TRUE(in) << "packaging/sql/vorloader_runs.sql";
  std::stringstream sql;
  sql << in.rdbuf();
  m_db->Exec(
      "DO $$ BEGIN CREATE ROLE vorloader_station NOLOGIN; EXCEPTION WHEN duplicate_object OR "
      "unique_violation "
      "THEN NULL; END $$");
  m_db->Exec(sql.str());
  std::vector<std::string> expected;
  for (const RecordColumn& c : RecordColumns()) expected.push_back(std::string(c.name));
  EXPECT_EQ(
      m_db->Column("SELECT column_name FROM information_schema.columns WHERE table_name = 'vorloader_runs' "
                   "ORDER BY ordinal_position"),
      expected);
  EXPECT_EQ(m_db->Column("SELECT privilege_type FROM information_schema.role_table_grants WHERE grantee = "
                         "'vorloader_station' AND table_name = 'vorloader_runs' ORDER BY 1"),
            (std::vector<std::string>{"INSERT", "SELECT"}));
  // And the table the loader creates has the same columns.
  TestDatabase other(*testing_support::TestServer(), "rec2");
  RecordDatabase database(other.conninfo());
  ASSERT_TRUE(database.Open({}).ok());
  EXPECT_EQ(
      other.Column("SELECT column_name FROM information_schema.columns WHERE table_name = 'vorloader_runs' "
                   "ORDER BY ordinal_position"),
      expected);
}

TEST_F(RecordDatabaseTest, LoadersDeliveringAtOnceStoreEachRecordOnce) {
  // Two loaders share one record file; a third station has its own.
  const std::string other = m_dir.Path("other.jsonl");
  constexpr int kRecords = 300;
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

}  // namespace
}  // namespace app
