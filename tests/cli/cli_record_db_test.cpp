// The real vorloader-cli with a record database (the tests' throwaway PostgreSQL server) and
// simulated devices: records arrive once each, a database that is away or refuses never
// changes a run's result, and what was kept goes with `sync` or a later run.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/record/record_line_parser.h"
#include "app/record/run_record.h"
#include "app/record_db/spool_reading.h"
#include "tests/cli/cli_process.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/pg/tcp_proxy.h"
#include "tests/support/pg/test_database.h"
#include "tests/support/sim/sim_process.h"

namespace testing_support {
namespace {

constexpr const char* kCode = "0a1b";   // the simulated device's product code
constexpr const char* kNewer = "1.30";  // the device has 1.20

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliRecordDb : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<std::string> server = TestServer();
    if (!server) GTEST_SKIP() << kNoTestServer;
    m_db = std::make_unique<TestDatabase>(*server, "cli");
    CreateRunsTable(*m_db);
    for (const std::string& d : {ComDir(), ProgramData(), FirmwareFolder()})
      ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    // The local folder offers a newer file; runs are offline (--x 1).
    std::ofstream(FirmwareFolder() + "/vornet_verinfo.xml", std::ios::binary)
        << "<?xml "
           "version=\"1.0\"?>\r\n<VORNET>\r\n<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>http://127.0.0.1:9"
        << "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n<VORNET_FIRM_VERSIONS>\r\n"
        << "<VORNET_PRODUCT_CODES>VORnet_Amp=" << kCode << "</VORNET_PRODUCT_CODES>\r\n"
        << "<VORNET_FIRM_URL>http://127.0.0.1:9/fw</VORNET_FIRM_URL>\r\n<VOR_VORnet_Amp_V>" << kNewer
        << "</VOR_VORnet_Amp_V>\r\n<VOR_VORnet_Amp_HEX>amp.hex</VOR_VORnet_Amp_HEX>\r\n</"
           "VORNET_FIRM_VERSIONS>\r\n"
        << "</VORNET>\r\n";
    ASSERT_TRUE(PackFirmware(FirmwareFolder() + "/amp.hex", kCode, kNewer, true));
  }

  std::string ComDir() const { return m_dir.path + "/com"; }
  std::string ProgramData() const { return m_dir.path + "/programdata"; }
  std::string FirmwareFolder() const { return ProgramData() + "/VORnet"; }
  std::string Records() const { return m_dir.path + "/history.jsonl"; }
  // A database that is not running: nothing listens on its socket.
  std::string Stopped() const { return "host=" + m_dir.path + " dbname=records connect_timeout=30"; }

  std::unique_ptr<SimProcess> StartDevice(int port, const std::string& id) const {
    SimConfig config;
    config.port = port;
    config.id = id;
    config.extraArgs = {"--erase-ms", "20", "--restart-ms", "50", "--banner-length", "75"};
    auto sim = std::make_unique<SimProcess>(ComDir(), config);
    EXPECT_TRUE(sim->Ready()) << sim->Error();
    return sim;
  }

  CliResult Run(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env = {},
                std::vector<Cue> cues = {}) const {
    CliRun run;
    run.args = std::move(args);
    run.env = {{"VORLOADER_COM_DIR", ComDir()},
               {"VORLOADER_PROGRAMDATA", ProgramData()},
               {"VORLOADER_HISTORY", Records()}};
    run.env.insert(run.env.end(), env.begin(), env.end());
    run.cues = std::move(cues);
    CliResult r = RunCli(run);
    EXPECT_FALSE(r.timedOut) << r.out << r.err;
    return r;
  }

  // A connect run on a fresh device at COM1, offline, answering Yes.
  CliResult Program(const std::string& recordDb, const std::string& id = "00002cc0") const {
    auto device = StartDevice(1, id);
    return Run({"--x", "1", "--yes", "--record-db", recordDb});
  }

  std::vector<std::string> RunIds() const {
    return m_db->Column("SELECT run_id FROM vorloader_runs ORDER BY run_id");
  }
  std::vector<std::string> FileRunIds() const {
    std::vector<std::string> ids;
    std::ifstream in(Records());
    for (std::string l; std::getline(in, l);)
      if (const auto r = app::ParseRecordLine(l)) ids.push_back(r->runId);
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  TempDir m_dir{"vor-clidb"};
  std::unique_ptr<TestDatabase> m_db;
};

std::string Dump(const CliResult& r) {
  return "stdout:\n" + r.out + "\nstderr:\n" + r.err;
}

TEST_F(CliRecordDb, RecordsOfSingleRunsAndOfAProductionLineArriveOnceEach) {
  CliResult r = Program(m_db->conninfo());
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
  EXPECT_FALSE(Contains(r.err, "record database")) << r.err;
  EXPECT_EQ(RunIds().size(), 1u);

  auto a = StartDevice(1, "00002cc1");
  auto b = StartDevice(2, "00002cc2");
  r = Run({"--x", "1", "--yes", "--port", "COM1", "--port", "COM2", "--record-db", m_db->conninfo()});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(RunIds(), FileRunIds());
  EXPECT_EQ(RunIds().size(), 3u);
  EXPECT_EQ(
      m_db->Column("SELECT device_id || ' ' || version_after || ' ' || code FROM vorloader_runs ORDER BY 1"),
      (std::vector<std::string>{"11456 1.30 0", "11457 1.30 0", "11458 1.30 0"}));
  // Read back from the database, every station's, with the station column.
  r = Run({"--record-db", m_db->conninfo(), "history", "2"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  ASSERT_EQ(r.OutLines().size(), 3u) << Dump(r);
  EXPECT_EQ(r.OutLines()[0].rfind("Station  ", 0), 0u) << r.out;
  const std::string station = m_db->Column("SELECT DISTINCT station FROM vorloader_runs").at(0);
  EXPECT_EQ(r.OutLines()[1].rfind(station, 0), 0u) << r.out;
}

// The report over the database is the report over the same records in the file.
TEST_F(CliRecordDb, TheReportOverTheDatabaseIsTheReportOverTheFile) {
  for (const char* name : {"vorloader_runs.sql", "vorloader_views.sql"}) {
    std::ifstream in(std::string(VOR_SOURCE_DIR) + "/packaging/sql/" + name);
    std::stringstream sql;
    sql << in.rdbuf();
    m_db->Exec(
        "DO $$ BEGIN CREATE ROLE vorloader_station NOLOGIN; EXCEPTION WHEN duplicate_object OR "
        "unique_violation THEN NULL; END $$");
    m_db->Exec(sql.str());
  }
  {
    std::ifstream in(std::string(VOR_SOURCE_DIR) + "/tests/app/fixtures/report_records.jsonl");
    std::ofstream(Records(), std::ios::binary) << in.rdbuf();
  }
  CliResult r = Run({"--record-db", m_db->conninfo(), "sync"});
  ASSERT_EQ(r.status, 0) << Dump(r);
  ASSERT_EQ(RunIds().size(), 16u);

  const std::vector<std::string> report = {"report", "--since", "2026-12-10Z", "--until", "2026-12-10T10:00Z",
                                           "--by",   "station"};
  std::vector<std::string> fromFile = {"-q"};
  fromFile.insert(fromFile.end(), report.begin(), report.end());
  std::vector<std::string> fromDb = {"-q", "--record-db", m_db->conninfo()};
  fromDb.insert(fromDb.end(), report.begin(), report.end());
  const CliResult file = Run(fromFile);
  const CliResult db = Run(fromDb);
  EXPECT_EQ(file.status, 0) << Dump(file);
  EXPECT_EQ(db.status, 0) << Dump(db);
  ASSERT_GE(file.OutLines().size(), 4u) << Dump(file);
  EXPECT_EQ(file.OutLines()[3].rfind("Total    14", 0), 0u) << file.out;
  EXPECT_EQ(db.OutLines(), file.OutLines()) << Dump(db);
  EXPECT_TRUE(Contains(db.err, "14 runs from the record database")) << db.err;

  // A table made for an older loader: the note names the script that brings it up to date.
  m_db->Exec("ALTER TABLE vorloader_runs DROP COLUMN operator CASCADE");
  for (const char* command : {"report", "history"}) {
    r = Run({"--record-db", m_db->conninfo(), command});
    EXPECT_EQ(r.status, 1) << Dump(r);
    EXPECT_TRUE(Contains(r.err, "column \"operator\" does not exist")) << r.err;
    EXPECT_TRUE(Contains(r.err, "packaging/sql/vorloader_runs_upgrade_site.sql")) << r.err;
  }

  // Bad times are usage errors, before anything is read.
  r = Run({"--record-db", m_db->conninfo(), "report", "--since", "2026-12-10 06:00"});
  EXPECT_EQ(r.status, 64) << Dump(r);
  EXPECT_TRUE(r.out.empty()) << r.out;
}

// The terminal station runs for a shift: each device's record reaches the database while the
// station still runs, not only after it ends.
TEST_F(CliRecordDb, TheStationDeliversEachRecordWhileItRuns) {
  auto device = StartDevice(1, "00002cc0");
  std::size_t rowsWhileRunning = 0;
  std::chrono::steady_clock::time_point firstLook{};
  const CliResult r =
      Run({"--x", "1", "--yes", "--port", "COM1", "--record-db", m_db->conninfo(), "station"}, {},
          {{"COM1: ID 11456 (VORnet Amp) V1.20 -> V1.30: -Device Programed OK.", true,
            [&] {
              // Looked at about every 100 ms, for at most 20 s; then the station is stopped.
              const auto now = std::chrono::steady_clock::now();
              if (firstLook == std::chrono::steady_clock::time_point{}) firstLook = now;
              rowsWhileRunning = RunIds().size();
              return rowsWhileRunning > 0 || now - firstLook > std::chrono::seconds(20);
            },
            nullptr, SIGINT}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(rowsWhileRunning, 1u) << Dump(r);
  EXPECT_EQ(RunIds(), FileRunIds());
  EXPECT_EQ(RunIds().size(), 1u);
  EXPECT_FALSE(Contains(r.err, "record database")) << Dump(r);
  EXPECT_EQ(r.ErrLines().back(), "summary: 1 devices: 1 programmed, 0 failed, 0 refused") << Dump(r);
}

// A station runs for a shift: a database that is away is told while it runs, once, and the
// record waits in the file.
TEST_F(CliRecordDb, TheStationTellsADatabaseThatIsAwayWhileItRuns) {
  auto device = StartDevice(1, "00002cc0");
  const CliResult r =
      Run({"--x", "1", "--yes", "--port", "COM1", "--record-db", Stopped(), "station"}, {},
          {{"COM1: ID 11456 (VORnet Amp) V1.20 -> V1.30: -Device Programed OK.", true, nullptr, nullptr},
           {"note: record database not reached", false, nullptr, nullptr, SIGINT}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  const std::vector<std::string> err = r.ErrLines();
  EXPECT_EQ(
      std::count_if(err.begin(), err.end(),
                    [](const std::string& l) { return Contains(l, "note: record database not reached"); }),
      1)
      << Dump(r);
  EXPECT_TRUE(Contains(r.err, "note: 1 run record is kept in " + Records())) << Dump(r);
  EXPECT_EQ(FileRunIds().size(), 1u);
}

TEST_F(CliRecordDb, WithTheServerStoppedRunsEndAsBeforeAndSyncLaterDeliversEachOnce) {
  CliResult r = Program(Stopped());
  // The run's own result and status; the database only has notes, and nothing was waited for.
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
  EXPECT_TRUE(Contains(r.err, "note: record database not reached")) << r.err;
  EXPECT_TRUE(Contains(r.err, "note: 1 run record is kept in " + Records())) << r.err;
  r = Program(Stopped(), "00002cc5");
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_TRUE(Contains(r.err, "note: 2 run records are kept in " + Records())) << r.err;
  EXPECT_EQ(m_db->Column("SELECT count(*) FROM vorloader_runs"), std::vector<std::string>{"0"});

  r = Run({"--record-db", Stopped(), "sync"});
  EXPECT_EQ(r.status, 1) << Dump(r);
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"delivered 0 run records; 0 refused; 2 remain"}));

  // The server is back.
  r = Run({"sync"}, {{"VORLOADER_RECORD_DB", m_db->conninfo()}});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"delivered 2 run records; 0 refused; 0 remain"}));
  r = Run({"--record-db", m_db->conninfo(), "sync"});
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"delivered 0 run records; 0 refused; 0 remain"}));
  EXPECT_EQ(RunIds(), FileRunIds());

  // A record kept while the server was away goes with the next run.
  r = Program(Stopped(), "00002cc6");
  EXPECT_TRUE(Contains(r.err, "note: 1 run record is kept")) << r.err;
  r = Program(m_db->conninfo(), "00002cc7");
  EXPECT_FALSE(Contains(r.err, "kept")) << r.err;
  EXPECT_EQ(RunIds(), FileRunIds());
  EXPECT_EQ(RunIds().size(), 4u);
}

TEST_F(CliRecordDb, ARefusingDatabaseIsNotedOnceAndTheRunGoesOn) {
  const std::string station = m_db->Role("station");
  m_db->Exec("CREATE ROLE " + station + " LOGIN PASSWORD 'right'");
  m_db->Exec("DROP TABLE vorloader_runs");
  // Wrong password (from the environment, where a password may stand); then a database
  // without the table, which the loader never makes.
  struct Case {
    std::string conninfo;
    std::string note;
  };
  const std::vector<Case> cases{
      {m_db->ConninfoAs(station, "wrong"), "note: record database refused the login"},
      {m_db->ConninfoAs(station, "right"),
       "note: record database has no table vorloader_runs: run packaging/sql/vorloader_runs.sql as the "
       "database owner"}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto device = StartDevice(1, "00002cc" + std::to_string(i));
    const CliResult r = Run({"--x", "1", "--yes"}, {{"VORLOADER_RECORD_DB", cases[i].conninfo}});
    EXPECT_EQ(r.status, 0) << Dump(r);
    EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
    const std::vector<std::string> err = r.ErrLines();
    EXPECT_EQ(std::count_if(err.begin(), err.end(),
                            [&](const std::string& l) { return l.rfind(cases[i].note, 0) == 0; }),
              1)
        << r.err;
    EXPECT_TRUE(Contains(r.err, "note: " + std::to_string(i + 1) + " run record")) << r.err;
  }
}

TEST_F(CliRecordDb, TextsWithQuotesAndNonAsciiBytesAreStoredVerbatim) {
  app::RunRecord record;
  record.time = "2026-12-10T13:46:18Z";
  record.workflow = "connect";
  record.port = "COM3";
  record.path = "/dev/ttyUSB0";
  record.product = "Caf\xe9 \"Amp\" it's \\ \xb5";
  record.result = "E07-\"quoted\" \\n";
  record.runId = "5a0a4e4e-1111-4222-8333-444455556666";
  record.station = "bench-\xe4";
  std::ofstream(Records(), std::ios::binary) << app::ToJsonLine(record) << "\n";
  CliResult r = Run({"--record-db", m_db->conninfo(), "sync"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(m_db->Column("SELECT product FROM vorloader_runs"), std::vector<std::string>{*record.product});
  EXPECT_EQ(m_db->Column("SELECT result || station FROM vorloader_runs"),
            std::vector<std::string>{record.result + record.station});
  r = Run({"--record-db", m_db->conninfo(), "history"});
  EXPECT_TRUE(Contains(r.out, "bench-\xc3\xa4  ")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Caf\xc3\xa9 \"Amp\" it's \\ \xc2\xb5")) << r.out;

  // A row another tool wrote, with a euro sign in its product: one "?" in the table, and every
  // other row as before.
  m_db->Exec(
      "INSERT INTO vorloader_runs (time, workflow, port, path, code, result, duration_ms, loader, run_id, "
      "station, product) VALUES ('2026-12-10T13:40:00Z', 'connect', 'COM1', '', 0, 'ok', 0, '1', 'other', "
      "'bench-x', convert_from('\\xe282ac'::bytea, 'UTF8') || ' Amp')");
  r = Run({"--record-db", m_db->conninfo(), "history"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_TRUE(Contains(r.out, "? Amp")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Caf\xc3\xa9 \"Amp\" it's \\ \xc2\xb5")) << r.out;
}

TEST_F(CliRecordDb, SyncSetsARefusedRecordAsideAndDeliversTheRest) {
  app::RunRecord record;
  record.time = "2026-12-10T13:46:18Z";
  record.workflow = "connect";
  record.port = "COM1";
  record.result = "ok";
  // A foreign or damaged line: a run ID too long for the key's index (and not compressible).
  std::string longId;
  for (int i = 0; longId.size() < 6000; ++i) longId += app::DerivedRunId(std::to_string(i));
  record.runId = longId;
  const std::string bad = app::ToJsonLine(record);
  record.runId = "good-run";
  const std::string good = app::ToJsonLine(record);
  std::ofstream(Records(), std::ios::binary) << bad << "\n" << good << "\n";

  CliResult r = Run({"--record-db", m_db->conninfo(), "sync"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"delivered 1 run record; 1 refused; 0 remain"}));
  EXPECT_TRUE(Contains(r.err, "note: record database refused a run record for its data (")) << r.err;
  EXPECT_TRUE(Contains(r.err, "set aside with the reason in " + Records() + ".refused")) << r.err;
  EXPECT_EQ(RunIds(), std::vector<std::string>{"good-run"});
  std::ifstream refused(Records() + ".refused");
  std::string comment;
  std::string line;
  std::getline(refused, comment);
  std::getline(refused, line);
  EXPECT_EQ(comment.rfind("# refused by the record database ", 0), 0u) << comment;
  EXPECT_EQ(line, bad);
  // Nothing is left to do.
  r = Run({"--record-db", m_db->conninfo(), "sync"});
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"delivered 0 run records; 0 refused; 0 remain"}));
}

TEST_F(CliRecordDb, ARunSetsAPendingRefusedRecordAsideAndItsOwnArrives) {
  // A damaged line from earlier waits in the record file: a run ID too long for the key.
  app::RunRecord record;
  record.time = "2026-12-10T13:46:18Z";
  record.workflow = "connect";
  record.port = "COM1";
  record.result = "ok";
  for (int i = 0; record.runId.size() < 6000; ++i) record.runId += app::DerivedRunId(std::to_string(i));
  std::ofstream(Records(), std::ios::binary) << app::ToJsonLine(record) << "\n";

  const CliResult r = Program(m_db->conninfo());
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
  const std::vector<std::string> err = r.ErrLines();
  EXPECT_EQ(std::count_if(err.begin(), err.end(),
                          [](const std::string& l) {
                            return l.rfind("note: record database refused a run record for its data", 0) == 0;
                          }),
            1)
      << r.err;
  EXPECT_FALSE(Contains(r.err, "kept")) << r.err;
  // The run's own record arrived; the damaged one waits in FILE.refused.
  EXPECT_EQ(RunIds().size(), 1u);
  EXPECT_NE(RunIds().at(0), record.runId);
  EXPECT_TRUE(Contains(ReadFile(Records() + ".refused"), app::ToJsonLine(record))) << r.err;
}

TEST_F(CliRecordDb, AServerThatStopsReadingCannotHoldTheEndOfARun) {
  // Many records pending, large enough to fill the connection; the server takes the login,
  // the look for the table and the transaction's start, then reads nothing more.
  {
    std::ofstream out(Records(), std::ios::binary);
    std::string filler;
    for (int i = 0; filler.size() < 30000; ++i) filler += app::DerivedRunId(std::to_string(i));
    for (int n = 0; n < 200; ++n) {
      app::RunRecord record;
      record.time = "2026-12-10T13:46:18Z";
      record.workflow = "connect";
      record.port = "COM1";
      record.result = filler;
      record.runId = "run-" + std::to_string(n);
      out << app::ToJsonLine(record) << "\n";
    }
  }
  TcpProxy proxy(*TestServer(), TcpProxy::Mode::StallAfterStatements, 2);
  const auto start = std::chrono::steady_clock::now();
  const CliResult r = Program(proxy.Conninfo(m_db->conninfo()));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.status, 0) << Dump(r);
  EXPECT_EQ(r.OutLines().back(), "   -Device Programed OK.");
  EXPECT_EQ(proxy.stalls(), 1);
  // The end of the run waits for delivery at most 5 s, then leaves it (the bound leaves room
  // for a slow machine; a connection that holds the worker would hold the run until the test
  // gives up on it).
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_TRUE(Contains(r.err, "note: 201 run records are kept in " + Records())) << r.err;
  EXPECT_TRUE(Contains(r.err, "does not use TLS")) << r.err;
  EXPECT_EQ(m_db->Column("SELECT count(*) FROM vorloader_runs"), std::vector<std::string>{"0"});
}

TEST_F(CliRecordDb, TwoLoadersDeliveringAtOnceStoreEachRecordOnce) {
  {
    std::ofstream out(Records(), std::ios::binary);
    for (int n = 0; n < 400; ++n) {
      app::RunRecord record;
      record.time = "2026-12-10T13:46:18Z";
      record.workflow = "connect";
      record.port = "COM1";
      record.result = "ok";
      record.runId = "run-" + std::to_string(n);
      out << app::ToJsonLine(record) << "\n";
    }
  }
  std::vector<CliResult> results(2);
  std::vector<std::thread> loaders;
  for (CliResult& result : results)
    loaders.emplace_back([&] { result = Run({"--record-db", m_db->conninfo(), "sync"}); });
  for (std::thread& t : loaders) t.join();
  std::set<std::string> said;
  for (const CliResult& result : results) {
    EXPECT_EQ(result.status, 0) << Dump(result);
    said.insert(result.out);
  }
  // One delivered all 400; the other, after its turn, found nothing pending.
  EXPECT_EQ(said, (std::set<std::string>{"delivered 400 run records; 0 refused; 0 remain\n",
                                         "delivered 0 run records; 0 refused; 0 remain\n"}));
  EXPECT_EQ(RunIds().size(), 400u);
}

TEST_F(CliRecordDb, APasswordOrAnUnreadableStringIsAUsageError) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;
    std::string error;
  };
  const std::vector<Case> cases{
      {{"--record-db", "host=db password=secret", "history"}, {}, "--record-db must not hold a password"},
      {{"--record-db", "postgresql://station:secret@db/records", "sync"},
       {},
       "--record-db must not hold a password"},
      {{"--record-db", "host='db", "history"},
       {},
       "--record-db is not a connection string libpq can read: unterminated quoted string"},
      {{"sync"},
       {{"VORLOADER_RECORD_DB", "nonsense"}},
       "VORLOADER_RECORD_DB is not a connection string libpq can read"},
      {{"--record-db", "host=db", "ports"},
       {},
       "--record-db applies to connect, raw-boot, station, history, sync and report only"},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args, c.env);
    EXPECT_EQ(r.status, 64) << Dump(r);
    EXPECT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_TRUE(Contains(r.err, c.error)) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  const CliResult r = Run({"sync"});
  EXPECT_EQ(r.status, 64) << Dump(r);
  EXPECT_TRUE(Contains(r.err, "sync needs a record database")) << r.err;
}

}  // namespace
}  // namespace testing_support
