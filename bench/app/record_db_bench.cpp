// The record database's costs, as ratios of runs made side by side:
//   stopped_ratio  wall time of a Connect run of vorloader-cli with a record database named
//                  whose server is stopped (nothing listens on its socket), over the same run
//                  without a database; medians over the rounds; goal <= 1.01
//   sync_ratio     wall time of `vorloader-cli sync` delivering 1,000 pending records into an
//                  empty table, over one `psql \copy` of the same rows (both a process start,
//                  a connection and the rows); needs the tests' server (VORLOADER_TEST_PG)
//
//   build/bench/app/record_db_bench [--rounds R] [--records N]

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/record/run_record.h"
#include "app/record_db/record_columns.h"
#include "tests/cli/cli_process.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/pg/test_database.h"
#include "tests/support/sim/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::CliRun;
using testing_support::TempDir;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct World {
  TempDir dir{"vor-dbbench"};
  std::string Com() const { return dir.path + "/com"; }
  std::string Data() const { return dir.path + "/data"; }
  std::string Records() const { return dir.path + "/history.jsonl"; }
};

bool PrepareFirmware(const World& w) {
  for (const std::string& d : {w.Com(), w.Data(), w.Data() + "/VORnet"}) ::mkdir(d.c_str(), 0755);
  std::ofstream(w.Data() + "/VORnet/vornet_verinfo.xml", std::ios::binary)
      << "<?xml "
         "version=\"1.0\"?>\r\n<VORNET>\r\n<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>http://127.0.0.1:9"
      << "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n<VORNET_FIRM_VERSIONS>\r\n"
      << "<VORNET_PRODUCT_CODES>VORnet_Amp=0a1b</VORNET_PRODUCT_CODES>\r\n"
      << "<VORNET_FIRM_URL>http://127.0.0.1:9/fw</VORNET_FIRM_URL>\r\n<VOR_VORnet_Amp_V>1.30"
      << "</VOR_VORnet_Amp_V>\r\n<VOR_VORnet_Amp_HEX>amp.hex</VOR_VORnet_Amp_HEX>\r\n</"
         "VORNET_FIRM_VERSIONS>\r\n"
      << "</VORNET>\r\n";
  return testing_support::PackFirmware(w.Data() + "/VORnet/amp.hex", "0a1b", "1.30", true, 8192);
}

// One offline Connect run on a fresh simulated device; its wall time, or -1 when it failed.
double ConnectRun(const World& w, const std::string& recordDb) {
  testing_support::SimConfig config;
  config.extraArgs = {"--erase-ms", "20", "--restart-ms", "50"};
  testing_support::SimProcess sim(w.Com(), config);
  if (!sim.Ready()) return -1;
  CliRun run;
  run.args = {"--x", "1", "--yes"};
  if (!recordDb.empty()) run.args.insert(run.args.end(), {"--record-db", recordDb});
  run.env = {{"VORLOADER_COM_DIR", w.Com()},
             {"VORLOADER_PROGRAMDATA", w.Data()},
             {"VORLOADER_HISTORY", w.Records()}};
  const Clock::time_point start = Clock::now();
  const testing_support::CliResult r = testing_support::RunCli(run);
  const double seconds = Seconds(start);
  return r.status == 0 ? seconds : -1;
}

// A CSV field as psql's \copy reads it: NULL unquoted and empty, texts quoted.
std::string CsvField(const std::optional<std::string>& value) {
  if (!value) return {};
  std::string out = "\"";
  for (char c : *value) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

app::RunRecord BenchRecord(int n) {
  app::RunRecord r;
  r.time = "2026-12-10T13:46:18Z";
  r.workflow = "connect";
  r.port = "COM3";
  r.path = "/dev/ttyUSB0";
  r.deviceId = 11456u + static_cast<unsigned>(n);
  r.product = "VORnet Amp ";
  r.versionBefore = "1.20";
  r.versionAfter = "1.30";
  r.file = "amp.hex";
  r.sha256 = std::string(64, 'a');
  r.result = "   -Device Programed OK.";
  r.durationMs = 9000 + n;
  r.loader = "1.70.0";
  r.runId = "bench-" + std::to_string(n);
  r.station = "bench-1";
  return r;
}

int Command(const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  int records = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--records") == 0) records = std::max(1, std::atoi(argv[i + 1]));
  }

  World w;
  if (!PrepareFirmware(w)) {
    std::fprintf(stderr, "record_db_bench: cannot pack the firmware file\n");
    return 1;
  }
  const std::string stopped = "host=" + w.dir.path + " dbname=records";
  std::vector<double> without;
  std::vector<double> withStopped;
  for (int round = 0; round < rounds; ++round) {
    // Alternating which goes first, so neither always runs on a warmer machine.
    const bool stoppedFirst = round % 2 == 1;
    for (int k = 0; k < 2; ++k) {
      const bool db = (k == 0) == stoppedFirst;
      const double t = ConnectRun(w, db ? stopped : std::string());
      if (t < 0) {
        std::fprintf(stderr, "record_db_bench: a Connect run failed\n");
        return 1;
      }
      (db ? withStopped : without).push_back(t);
    }
  }
  std::printf("connect run, no database:        %.3f s (median of %d)\n", Median(without), rounds);
  std::printf("connect run, database stopped:   %.3f s\n", Median(withStopped));
  std::printf("stopped_ratio                    %.3f   (goal <= 1.01)\n",
              Median(withStopped) / Median(without));

  const std::optional<std::string> server = testing_support::TestServer();
  if (!server) {
    std::printf("sync: skipped (%s)\n", testing_support::kNoTestServer);
    return 0;
  }
  std::vector<double> syncTimes;
  std::vector<double> copyTimes;
  for (int round = 0; round < std::min(rounds, 5); ++round) {
    testing_support::TestDatabase db(*server, "bench");
    testing_support::CreateRunsTable(db);
    const std::string file = w.dir.path + "/sync.jsonl";
    const std::string csv = w.dir.path + "/rows.csv";
    std::remove(file.c_str());
    std::remove((file + ".delivered").c_str());
    {
      std::ofstream lines(file, std::ios::binary);
      std::ofstream rows(csv, std::ios::binary);
      for (int n = 0; n < records; ++n) {
        const app::RunRecord r = BenchRecord(n + round * records);
        lines << app::ToJsonLine(r) << "\n";
        std::string row;
        for (const app::RecordColumn& c : app::RecordColumns())
          row += (row.empty() ? "" : ",") + CsvField(c.get(r));
        rows << row << "\n";
      }
    }
    CliRun sync;
    sync.args = {"--record", file, "--record-db", db.conninfo(), "sync"};
    Clock::time_point start = Clock::now();
    const testing_support::CliResult r = testing_support::RunCli(sync);
    syncTimes.push_back(Seconds(start));
    if (r.status != 0 || db.Column("SELECT count(*) FROM vorloader_runs").at(0) != std::to_string(records)) {
      std::fprintf(stderr, "record_db_bench: sync did not deliver every record:\n%s%s", r.out.c_str(),
                   r.err.c_str());
      return 1;
    }
    db.Exec("TRUNCATE vorloader_runs");
    start = Clock::now();
    // The loader's columns: db_role is the database's own.
    std::string names;
    for (const app::RecordColumn& c : app::RecordColumns())
      names += (names.empty() ? "" : ", ") + std::string(c.name);
    const int copied =
        Command({"psql", "-q", db.conninfo(), "-c",
                 "\\copy vorloader_runs (" + names + ") FROM '" + csv + "' WITH (FORMAT csv)"});
    copyTimes.push_back(Seconds(start));
    if (copied != 0 || db.Column("SELECT count(*) FROM vorloader_runs").at(0) != std::to_string(records)) {
      std::fprintf(stderr, "record_db_bench: psql \\copy failed\n");
      return 1;
    }
  }
  std::printf("sync of %d records:            %.3f s (median of %zu)\n", records, Median(syncTimes),
              syncTimes.size());
  std::printf("psql \\copy of the same rows:     %.3f s\n", Median(copyTimes));
  std::printf("sync_ratio                       %.2f\n", Median(syncTimes) / Median(copyTimes));
  return 0;
}
