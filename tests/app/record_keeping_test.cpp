// The record keeping of a front end: one sink for every session, the record file first, and
// the delivery worker told of each record the sink keeps.

#include "app/record_keeping.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/record/record_file.h"
#include "app/record/run_record.h"
#include "app/record_db/pending_delivery.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/pg/test_database.h"

namespace app {
namespace {

using testing_support::TempDir;
using testing_support::TestDatabase;

RunRecord KeptRecord(int n) {
  RunRecord r;
  r.time = "2026-12-10T13:46:1" + std::to_string(n % 10) + "Z";
  r.workflow = std::string(kWorkflowConnect);
  r.port = "COM1";
  r.path = "/dev/ttyUSB0";
  r.result = "   -Device Programed OK.";
  r.loader = "1.70.0";
  r.runId = "keeping-run-" + std::to_string(n);
  r.station = "bench-1";
  return r;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The notes of the worker, from its thread.
struct HeardNotes {
  std::mutex mutex;
  std::vector<std::string> told;
  RecordKeeping::NoteFunction Function() {
    return [this](const std::string& note) {
      const std::lock_guard lock(mutex);
      told.push_back(note);
    };
  }
  std::vector<std::string> Told() {
    const std::lock_guard lock(mutex);
    return told;
  }
};

TEST(RecordKeeping, WithoutADatabaseTheSinkIsTheRecordFileAlone) {
  TempDir dir("vor-keeping");
  HeardNotes notes;
  RecordKeeping keeping({dir.Path("history.jsonl"), ""}, notes.Function());
  EXPECT_FALSE(keeping.delivering());
  EXPECT_EQ(keeping.sink()->Check(), "");
  EXPECT_EQ(keeping.sink()->Write(KeptRecord(1)), "");
  EXPECT_EQ(FileText(dir.Path("history.jsonl")), ToJsonLine(KeptRecord(1)) + "\n");
  EXPECT_FALSE(keeping.Finish(std::chrono::seconds(1)).has_value());
  EXPECT_TRUE(notes.Told().empty());
}

TEST(RecordKeeping, ADatabaseWithRecordsOffStartsNoDeliveryAndSaysWhy) {
  HeardNotes notes;
  RecordKeeping keeping({std::nullopt, "dbname=records"}, notes.Function());
  EXPECT_FALSE(keeping.delivering());
  EXPECT_EQ(keeping.sink()->Write(KeptRecord(1)), "");
  EXPECT_EQ(notes.Told(),
            std::vector<std::string>{"run records are off, so none is delivered to the record database"});
}

// With a database the sink still checks the record file when a run begins, so that a record
// that cannot be kept is told before any device is touched.
TEST(RecordKeeping, WithADatabaseTheSinkStillChecksTheRecordFile) {
  TempDir dir("vor-keeping");
  std::ofstream(dir.Path("file.txt")) << "not a folder";
  HeardNotes notes;
  RecordKeeping keeping(
      {dir.Path("file.txt/history.jsonl"), "host=" + dir.Path("no-server") + " dbname=none"},
      notes.Function());
  ASSERT_TRUE(keeping.delivering());
  const std::string note = keeping.sink()->Check();
  EXPECT_NE(note.find("run records cannot be written"), std::string::npos) << note;
  EXPECT_NE(keeping.sink()->Write(KeptRecord(1)).find("run record not written"), std::string::npos);
}

class RecordKeepingDb : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<std::string> server = testing_support::TestServer();
    if (!server) GTEST_SKIP() << testing_support::kNoTestServer;
    m_db = std::make_unique<TestDatabase>(*server, "keep");
    // The table as a site's database owner makes it.
    m_db->Exec(
        "DO $$ BEGIN CREATE ROLE vorloader_station NOLOGIN; EXCEPTION WHEN duplicate_object OR "
        "unique_violation THEN NULL; END $$");
    const std::string sql = FileText(std::string(VOR_SOURCE_DIR) + "/packaging/sql/vorloader_runs.sql");
    ASSERT_FALSE(sql.empty()) << "packaging/sql/vorloader_runs.sql";
    m_db->Exec(sql);
  }
  std::string File() const { return m_dir.Path("history.jsonl"); }
  std::size_t Rows() const { return std::stoul(m_db->Column("SELECT count(*) FROM vorloader_runs").at(0)); }
  // Waits at most 10 s for `rows` rows.
  bool RowsArrive(std::size_t rows) const {
    for (int i = 0; i < 1000; ++i) {
      if (Rows() >= rows) return Rows() == rows;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  TempDir m_dir{"vor-keepdb"};
  std::unique_ptr<TestDatabase> m_db;
};

// What earlier runs left goes when the keeping starts; each record the sink keeps goes while
// the loader runs, without waiting for the end of the run.
TEST_F(RecordKeepingDb, EachRecordTheSinkKeepsIsDeliveredWhileTheLoaderRuns) {
  ASSERT_TRUE(AppendRecord(File(), ToJsonLine(KeptRecord(0))).ok());
  HeardNotes notes;
  RecordKeeping keeping({File(), m_db->conninfo()}, notes.Function());
  ASSERT_TRUE(keeping.delivering());
  EXPECT_TRUE(RowsArrive(1));
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(keeping.sink()->Write(KeptRecord(n)), "");
    EXPECT_TRUE(RowsArrive(static_cast<std::size_t>(n) + 1)) << "record " << n;
  }
  EXPECT_EQ(CountPending(File()), 0u);
  const std::optional<RecordDelivery::Outcome> outcome = keeping.Finish(std::chrono::seconds(5));
  ASSERT_TRUE(outcome.has_value());
  EXPECT_FALSE(outcome->refused);
  EXPECT_EQ(outcome->pending, 0u);
  EXPECT_EQ(m_db->Column("SELECT run_id FROM vorloader_runs ORDER BY run_id"),
            (std::vector<std::string>{"keeping-run-0", "keeping-run-1", "keeping-run-2", "keeping-run-3"}));
  EXPECT_TRUE(notes.Told().empty());
}

}  // namespace
}  // namespace app
