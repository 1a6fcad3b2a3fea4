// The record file of device runs: the JSON line, where the file is, appending from several
// loaders at once, reading the last records back, and the history table.

#include "app/record/run_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/record/file_record_sink.h"
#include "app/record/history_table.h"
#include "app/record/record_file.h"
#include "app/record/record_line_parser.h"
#include "app/record/record_of_run.h"
#include "common/load_result.h"
#include "tests/support/fixtures/temp_dir.h"

namespace app {
namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

RunRecord FullRecord() {
  RunRecord r;
  r.time = "2026-12-10T13:46:18Z";
  r.workflow = "connect";
  r.port = "COM3";
  r.path = "/dev/ttyUSB0";
  r.deviceId = 3000000000u;
  r.product = "VOR-8 Stage";
  r.versionBefore = "2.01";
  r.versionAfter = "2.03";
  r.file = "vor8_203.hex";
  r.sha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  r.code = 0;
  r.result = "   -Device Programed OK.";
  r.durationMs = 41234;
  r.loader = "1.70.0";
  r.runId = "0f8fad5b-d9cb-469f-a165-70867728950e";
  r.station = "bench-7";
  r.eraseBegan = true;
  r.waitMs = 1500;
  r.operatorName = "Jos\xE9";  // Latin-1, as every text of the loader
  r.workOrder = "WO-4711";
  r.profileName = "line-a";
  r.profileSha256 = "2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae";
  return r;
}

RunRecord NullRecord() {
  RunRecord r;
  r.time = "2026-12-10T13:46:18Z";
  r.workflow = "raw-boot";
  r.port = "COM32";
  r.path = "/dev/ttyACM7";
  r.code = 13;
  r.result = "E13-Device Failed to Erase Flash.";
  r.durationMs = 0;
  r.loader = "1.70.0";
  return r;
}

// A record that tells lines apart: `writer` and `n` end up in the port and the duration.
RunRecord NumberedRecord(int writer, int n) {
  RunRecord r = FullRecord();
  r.port = "COM" + std::to_string(writer);
  r.durationMs = n;
  return r;
}

// --- the JSON line ---

TEST(RunRecordJson, FullRecordIsOneCompactObjectInFieldOrder) {
  EXPECT_EQ(
      ToJsonLine(FullRecord()),
      R"({"time":"2026-12-10T13:46:18Z","workflow":"connect","port":"COM3","path":"/dev/ttyUSB0",)"
      R"("device_id":3000000000,"product":"VOR-8 Stage","version_before":"2.01","version_after":"2.03",)"
      R"("file":"vor8_203.hex","sha256":"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",)"
      R"("code":0,"result":"   -Device Programed OK.","duration_ms":41234,"loader":"1.70.0",)"
      R"("run_id":"0f8fad5b-d9cb-469f-a165-70867728950e","station":"bench-7","erase_began":true,"wait_ms":1500,)"
      R"("operator":"Jos)"
      "\xC3\xA9"
      R"(","work_order":"WO-4711","profile":"line-a",)"
      R"("profile_sha256":"2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae"})");
}

TEST(RunRecordJson, MissingValuesAreNull) {
  EXPECT_EQ(ToJsonLine(NullRecord()),
            R"({"time":"2026-12-10T13:46:18Z","workflow":"raw-boot","port":"COM32","path":"/dev/ttyACM7",)"
            R"("device_id":null,"product":null,"version_before":null,"version_after":null,"file":null,)"
            R"("sha256":null,"code":13,"result":"E13-Device Failed to Erase Flash.","duration_ms":0,)"
            R"("loader":"1.70.0","run_id":"","station":"","erase_began":null,"wait_ms":0,)"
            R"("operator":"","work_order":"","profile":"","profile_sha256":""})");
}

TEST(RunRecordJson, DeviceTextsAreEscapedAndLatin1BecomesUtf8) {
  RunRecord r = NullRecord();
  r.product = std::string("Ba\xDF \"L\xE4rm\"\\") + '\x01' + "\n\x7F\xFF";
  const std::string line = ToJsonLine(r);
  EXPECT_NE(line.find("\"product\":\"Ba\xC3\x9F \\\"L\xC3\xA4rm\\\"\\\\\\u0001\\u000a\\u007f\xC3\xBF\""),
            std::string::npos)
      << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
  // Read back, the texts are the loader's bytes again.
  const std::optional<RunRecord> back = ParseRecordLine(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, r);
}

// Latin-1 0x80..0x9F are the C1 control characters: escaped like the others, never raw (a
// terminal showing the file would take them as commands); 0xA0 and above stay characters.
TEST(RunRecordJson, C1ControlsAreEscaped) {
  RunRecord r = NullRecord();
  r.product = std::string("A\x80\x85\x9B[2J\x9F\xA0\xC2");
  const std::string line = ToJsonLine(r);
  EXPECT_NE(line.find(R"("product":"A\u0080\u0085\u009b[2J\u009f)"
                      "\xC2\xA0\xC3\x82\""),
            std::string::npos)
      << line;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    const auto lead = static_cast<unsigned char>(line[i]);
    const auto trail = static_cast<unsigned char>(line[i + 1]);
    EXPECT_FALSE(lead == 0xC2 && trail >= 0x80 && trail <= 0x9F) << "raw C1 at " << i << ": " << line;
  }
  const std::optional<RunRecord> back = ParseRecordLine(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, r);
}

TEST(RunRecordJson, RecordsReadBackAsWritten) {
  for (const RunRecord& r : {FullRecord(), NullRecord()}) {
    const std::optional<RunRecord> back = ParseRecordLine(ToJsonLine(r));
    ASSERT_TRUE(back) << ToJsonLine(r);
    EXPECT_EQ(*back, r);
  }
}

TEST(RunRecordJson, TimeIsUtcToTheSecond) {
  using std::chrono::sys_days;
  using namespace std::chrono;
  EXPECT_EQ(UtcTimeText(system_clock::time_point{}), "1970-01-01T00:00:00Z");
  EXPECT_EQ(UtcTimeText(sys_days{2026y / December / 10} + 13h + 46min + 18s + 999ms), "2026-12-10T13:46:18Z");
  EXPECT_EQ(UtcTimeText(sys_days{2024y / February / 29} + 23h + 59min + 59s), "2024-02-29T23:59:59Z");
}

// --- reading a line back ---

TEST(RecordLineParser, ReadsEscapesAndUnicode) {
  const std::optional<RunRecord> r =
      ParseRecordLine(R"( { "time" : "t", "workflow":"connect", "port":"COM1", "code": 9, "result":"E09",)"
                      R"( "product": "\u00e4\/\b\f\n\r\t\"\\\ud83d\ude00\u20ac", "extra": [1] } )");
  EXPECT_FALSE(r) << "nested values are not a record's";

  const std::optional<RunRecord> good = ParseRecordLine(
      R"( { "time" : "t", "workflow":"connect", "port":"COM1", "code": 9, "result":"E09",)"
      R"( "product": "\u00e4\/\b\f\n\r\t\"\\\ud83d\ude00\u20ac", "later": -1.5e3, "other": null } )");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->product, std::string("\xE4/\b\f\n\r\t\"\\??"));
  EXPECT_EQ(good->code, 9);
  EXPECT_FALSE(good->deviceId);
  EXPECT_EQ(good->path, "");
}

TEST(RecordLineParser, RefusesWhatIsNotARecord) {
  const std::string base = R"("time":"t","workflow":"connect","port":"COM1","code":0,"result":"r")";
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"empty", ""},
      {"not an object", "[" + base + "]"},
      {"torn", "{" + base.substr(0, 30)},
      {"no closing brace", "{" + base},
      {"trailing text", "{" + base + "}x"},
      {"two objects", "{" + base + "}{" + base + "}"},
      {"missing result", R"({"time":"t","workflow":"connect","port":"COM1","code":0})"},
      {"empty object", "{}"},
      {"duplicate field", "{" + base + ",\"code\":1}"},
      {"code as text", R"({"time":"t","workflow":"connect","port":"COM1","code":"0","result":"r"})"},
      {"code with fraction", R"({"time":"t","workflow":"connect","port":"COM1","code":0.5,"result":"r"})"},
      {"negative device ID", "{" + base + ",\"device_id\":-1}"},
      {"device ID beyond 32 bits", "{" + base + ",\"device_id\":4294967296}"},
      {"huge number", "{" + base + ",\"duration_ms\":123456789012345678901234567890}"},
      {"leading zero", "{" + base + ",\"duration_ms\":01}"},
      {"true", "{" + base + ",\"product\":true}"},
      {"nested object", "{" + base + ",\"x\":{}}"},
      {"raw control byte", "{" + base + ",\"product\":\"a\x01\"}"},
      {"unknown escape", "{" + base + ",\"product\":\"\\x41\"}"},
      {"short \\u", "{" + base + ",\"product\":\"\\u00e\"}"},
      {"lone high surrogate", "{" + base + ",\"product\":\"\\ud83d\"}"},
      {"lone low surrogate", "{" + base + ",\"product\":\"\\ude00\"}"},
      {"high surrogate then BMP", "{" + base + ",\"product\":\"\\ud83d\\u0041\"}"},
      {"invalid UTF-8", "{" + base + ",\"product\":\"\xC3\"}"},
      {"overlong UTF-8", "{" + base + ",\"product\":\"\xC0\xAF\"}"},
      {"UTF-8 surrogate", "{" + base + ",\"product\":\"\xED\xA0\x80\"}"},
      {"missing value", "{" + base + ",\"product\":}"},
      {"trailing comma", "{" + base + ",}"},
      {"NUL inside", "{" + base + ",\"product\":\"a" + std::string(1, '\0') + "\"}"},
  };
  EXPECT_TRUE(ParseRecordLine("{" + base + "}")) << "the base line itself is good";
  for (const auto& [what, line] : bad) EXPECT_FALSE(ParseRecordLine(line)) << what;
}

// --- where the file is ---

struct PathCase {
  const char* what;
  std::map<std::string, std::string> env;
  std::string commandLine;
  std::optional<std::string> expected;
};

TEST(RecordFilePath, FollowsTheCommandLineThenTheEnvironment) {
  const std::vector<PathCase> cases = {
      {"XDG_STATE_HOME set",
       {{"XDG_STATE_HOME", "/state"}, {"HOME", "/home/t"}},
       "",
       "/state/vorloader/history.jsonl"},
      {"XDG_STATE_HOME unset", {{"HOME", "/home/t"}}, "", "/home/t/.local/state/vorloader/history.jsonl"},
      {"XDG_STATE_HOME empty",
       {{"XDG_STATE_HOME", ""}, {"HOME", "/home/t"}},
       "",
       "/home/t/.local/state/vorloader/history.jsonl"},
      {"XDG_STATE_HOME relative",
       {{"XDG_STATE_HOME", "state"}, {"HOME", "/home/t"}},
       "",
       "/home/t/.local/state/vorloader/history.jsonl"},
      {"no folder at all", {}, "", std::nullopt},
      {"VORLOADER_HISTORY names a file",
       {{"VORLOADER_HISTORY", "/line/runs.jsonl"}, {"XDG_STATE_HOME", "/state"}},
       "",
       "/line/runs.jsonl"},
      {"VORLOADER_HISTORY empty turns records off",
       {{"VORLOADER_HISTORY", ""}, {"XDG_STATE_HOME", "/state"}},
       "",
       std::nullopt},
      {"--record wins over VORLOADER_HISTORY",
       {{"VORLOADER_HISTORY", "/line/runs.jsonl"}},
       "/tmp/one.jsonl",
       "/tmp/one.jsonl"},
      {"--record wins over records off", {{"VORLOADER_HISTORY", ""}}, "one.jsonl", "one.jsonl"},
      {"--record without any environment", {}, "/tmp/one.jsonl", "/tmp/one.jsonl"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Environment env = [&](const char* name) -> std::optional<std::string> {
      const auto it = c.env.find(name);
      if (it == c.env.end()) return std::nullopt;
      return it->second;
    };
    EXPECT_EQ(RecordFilePath(env, c.commandLine), c.expected);
  }
}

// --- appending ---

TEST(AppendRecord, MakesTheMissingFoldersAndAppendsWholeLines) {
  TempDir dir;
  const std::string path = dir.Path("state/vorloader/history.jsonl");
  const mode_t oldMask = ::umask(022);
  const AppendResult first = AppendRecord(path, ToJsonLine(FullRecord()));
  const AppendResult second = AppendRecord(path, ToJsonLine(NullRecord()));
  ::umask(oldMask);
  ASSERT_TRUE(first.ok()) << first.error;
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_EQ(ReadFile(path), ToJsonLine(FullRecord()) + "\n" + ToJsonLine(NullRecord()) + "\n");

  struct stat st {};
  ASSERT_EQ(::stat((dir.Path("state")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat((dir.Path("state/vorloader")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(AppendRecord, ReportsWhatCannotBeWritten) {
  TempDir dir;
  WriteFile(dir.Path("file.txt"), "a regular file");
  // A path below a regular file cannot be made even by root.
  for (const std::string& path :
       {dir.Path("file.txt/history.jsonl"), dir.Path("file.txt/deeper/history.jsonl"), dir.Path("")}) {
    const AppendResult r = AppendRecord(path, ToJsonLine(FullRecord()));
    EXPECT_FALSE(r.ok()) << path;
    EXPECT_NE(r.error.find(dir.Path("")), std::string::npos) << r.error;
  }
  EXPECT_EQ(ReadFile(dir.Path("file.txt")), "a regular file");

  const AppendResult twoLines = AppendRecord(dir.Path("h.jsonl"), "{}\n{}");
  EXPECT_FALSE(twoLines.ok());
  EXPECT_FALSE(std::filesystem::exists(dir.Path("h.jsonl")));
}

TEST(SaveRunRecord, WritesWhereTheRulesSayOrGivesANote) {
  TempDir dir;
  WriteFile(dir.Path("file.txt"), "a regular file");
  const std::string named = dir.Path("named.jsonl");
  std::map<std::string, std::string> vars = {{"VORLOADER_HISTORY", named}};
  const Environment env = [&](const char* name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
  EXPECT_EQ(SaveRunRecord(FullRecord(), "", env), "");
  EXPECT_EQ(ReadFile(named), ToJsonLine(FullRecord()) + "\n");

  const std::string note = SaveRunRecord(FullRecord(), dir.Path("file.txt/h.jsonl"), env);
  EXPECT_EQ(note.rfind("run record not written: ", 0), 0u) << note;
  EXPECT_EQ(note.find('\n'), std::string::npos) << note;

  vars["VORLOADER_HISTORY"] = "";
  EXPECT_EQ(SaveRunRecord(NullRecord(), "", env), "");
  EXPECT_EQ(ReadFile(named), ToJsonLine(FullRecord()) + "\n") << "records are off";
}

TEST(AppendRecord, LinesStayWholeWhenSeveralLoadersAppendAtOnce) {
  TempDir dir;
  const std::string path = dir.Path("shared/history.jsonl");
  constexpr int kWriters = 6;
  constexpr int kRecords = 150;
  std::vector<pid_t> children;
  for (int w = 1; w <= kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int n = 0; n < kRecords; ++n) {
        // Lines of different lengths, some longer than a pipe's atomic write.
        RunRecord r = NumberedRecord(w, n);
        r.product =
            std::string(static_cast<std::size_t>((n * 97 + w * 13) % 9000), static_cast<char>('a' + w));
        if (!AppendRecord(path, ToJsonLine(r)).ok()) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const std::string text = ReadFile(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::map<std::string, std::vector<std::int64_t>> seen;
  for (const std::string& line : Lines(text)) {
    const std::optional<RunRecord> r = ParseRecordLine(line);
    ASSERT_TRUE(r) << "torn line of " << line.size() << " bytes";
    seen[r->port].push_back(r->durationMs);
  }
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kWriters));
  for (const auto& [port, numbers] : seen) {
    SCOPED_TRACE(port);
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kRecords));
    // Each loader's records are in the order it wrote them.
    for (int n = 0; n < kRecords; ++n) EXPECT_EQ(numbers[static_cast<std::size_t>(n)], n);
  }
}

TEST(RecordLineParser, ReadsNewFieldsAndLinesOfOlderLoaders) {
  const std::string base = R"("time":"t","workflow":"connect","port":"COM1","code":0,"result":"r")";
  struct Case {
    const char* what;
    std::string line;
    std::optional<bool> eraseBegan;
    std::int64_t waitMs;
    const char* runId;
  };
  const std::vector<Case> cases = {
      {"a line without run_id, station or the erase", "{" + base + "}", std::nullopt, 0, ""},
      {"the erase began", "{" + base + R"(,"erase_began":true,"wait_ms":1200,"run_id":"x"})", true, 1200,
       "x"},
      {"the erase did not begin", "{" + base + R"(,"erase_began":false})", false, 0, ""},
      {"null is not known", "{" + base + R"(,"erase_began":null})", std::nullopt, 0, ""},
      {"a later loader's boolean", "{" + base + R"(,"checked":true})", std::nullopt, 0, ""},
      {"the longest wait", "{" + base + R"(,"wait_ms":9223372036854775807})", std::nullopt, INT64_MAX, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<RunRecord> r = ParseRecordLine(c.line);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->eraseBegan, c.eraseBegan);
    EXPECT_EQ(r->waitMs, c.waitMs);
    EXPECT_EQ(r->runId, c.runId);
    EXPECT_EQ(ParseRecordLine(ToJsonLine(*r)), r) << "writes back as it read";
  }
  for (const std::string& bad :
       {"{" + base + R"(,"erase_began":1})", "{" + base + R"(,"wait_ms":-1})",
        "{" + base + R"(,"wait_ms":9223372036854775808})", "{" + base + R"(,"operator":7})",
        "{" + base + R"(,"work_order":null})", "{" + base + R"(,"profile":false})"})
    EXPECT_FALSE(ParseRecordLine(bad)) << bad;

  // Who and what for: empty in lines that do not name them.
  const std::optional<RunRecord> old = ParseRecordLine("{" + base + "}");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->operatorName + old->workOrder + old->profileName + old->profileSha256, "");
  const std::optional<RunRecord> named = ParseRecordLine(
      "{" + base +
      R"(,"operator":"Jos\u00e9","work_order":"WO-9","profile":"line-b","profile_sha256":"00ff"})");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->operatorName, "Jos\xE9");
  EXPECT_EQ(named->workOrder, "WO-9");
  EXPECT_EQ(named->profileName, "line-b");
  EXPECT_EQ(named->profileSha256, "00ff");

  RunRecord stopped = NullRecord();
  stopped.code = kStoppedCode;
  stopped.result = std::string(kStoppedResult);
  EXPECT_EQ(ParseRecordLine(ToJsonLine(stopped)), stopped);
}

// --- the record file as a sink ---

TEST(FileRecordSink, ChecksBeforeItWritesAndSaysWhyItCannot) {
  TempDir dir;
  FileRecordSink sink(dir.Path("made/on/check/history.jsonl"));
  EXPECT_EQ(sink.Check(), "");
  EXPECT_TRUE(std::filesystem::exists(dir.Path("made/on/check/history.jsonl")));
  EXPECT_EQ(ReadFile(dir.Path("made/on/check/history.jsonl")), "") << "a check writes nothing";
  EXPECT_EQ(sink.Write(FullRecord()), "");
  EXPECT_EQ(ReadFile(dir.Path("made/on/check/history.jsonl")), ToJsonLine(FullRecord()) + "\n");

  WriteFile(dir.Path("file.txt"), "a regular file");
  FileRecordSink blocked(dir.Path("file.txt/history.jsonl"));
  const std::string check = blocked.Check();
  EXPECT_EQ(check.rfind("run records cannot be written: ", 0), 0u) << check;
  EXPECT_NE(check.find(dir.Path("file.txt")), std::string::npos) << check;
  EXPECT_EQ(blocked.Write(FullRecord()).rfind("run record not written: ", 0), 0u);

  FileRecordSink off(std::nullopt);
  EXPECT_EQ(off.Check(), "");
  EXPECT_EQ(off.Write(FullRecord()), "");
}

TEST(FileRecordSink, OneSinkSharedByManyThreadsKeepsEveryLineWhole) {
  TempDir dir;
  auto sink = std::make_shared<FileRecordSink>(dir.Path("history.jsonl"));
  constexpr int kThreads = 4;
  constexpr int kRecords = 100;
  std::vector<std::thread> threads;
  for (int t = 1; t <= kThreads; ++t)
    threads.emplace_back([sink, t] {
      for (int n = 0; n < kRecords; ++n) {
        RunRecord r = NumberedRecord(t, n);
        r.product = std::string(static_cast<std::size_t>(n * 61 % 5000), 'p');
        EXPECT_EQ(sink->Write(r), "");
      }
    });
  for (std::thread& t : threads) t.join();
  std::map<std::string, std::vector<std::int64_t>> seen;
  for (const std::string& line : Lines(ReadFile(dir.Path("history.jsonl")))) {
    const std::optional<RunRecord> r = ParseRecordLine(line);
    ASSERT_TRUE(r) << "torn line of " << line.size() << " bytes";
    seen[r->port].push_back(r->durationMs);
  }
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kThreads));
  for (const auto& [port, numbers] : seen) {
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kRecords)) << port;
    for (int n = 0; n < kRecords; ++n) EXPECT_EQ(numbers[static_cast<std::size_t>(n)], n) << port;
  }
}

// --- reading the last records ---

class RecordFileReading : public ::testing::Test {
 protected:
  TempDir m_dir;
  std::string m_path = m_dir.Path("history.jsonl");

  void AppendNumbered(int from, int to) {
    std::string text;
    for (int n = from; n < to; ++n) text += ToJsonLine(NumberedRecord(1, n)) + "\n";
    std::ofstream(m_path, std::ios::binary | std::ios::app) << text;
  }
  void AppendRaw(const std::string& bytes) {
    std::ofstream(m_path, std::ios::binary | std::ios::app) << bytes;
  }

  static std::vector<std::int64_t> Numbers(const HistoryRead& read) {
    std::vector<std::int64_t> n;
    for (const RunRecord& r : read.records) n.push_back(r.durationMs);
    return n;
  }
};

TEST_F(RecordFileReading, GivesTheLastRecordsOldestFirst) {
  AppendNumbered(0, 5000);  // about 2 MB, many chunks
  const HistoryRead read = ReadLastRecords(m_path, 3);
  EXPECT_TRUE(read.error.empty()) << read.error;
  EXPECT_EQ(Numbers(read), (std::vector<std::int64_t>{4997, 4998, 4999}));

  const HistoryRead all = ReadLastRecords(m_path, 20000);
  ASSERT_EQ(all.records.size(), 5000u);
  EXPECT_EQ(all.records.front().durationMs, 0);
  EXPECT_EQ(all.records.back().durationMs, 4999);
}

TEST_F(RecordFileReading, SkipsATornLastLineAndGarbage) {
  AppendNumbered(0, 3);
  AppendRaw("not json at all\n\n{\"time\":\"t\"}\n\xFF\xFE" + std::string(1, '\0') + "garbage\n");
  AppendNumbered(3, 4);
  AppendRaw(ToJsonLine(NumberedRecord(1, 4)).substr(0, 40));  // a record still being written
  EXPECT_EQ(Numbers(ReadLastRecords(m_path, 3)), (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(Numbers(ReadLastRecords(m_path, 100)), (std::vector<std::int64_t>{0, 1, 2, 3}));
}

// A file left with a torn last line (a full disk, a crash, another writer's unfinished line):
// the next record still becomes a line of its own, and the history shows it.
TEST_F(RecordFileReading, ARecordAfterATornLineIsALineOfItsOwn) {
  const std::string torn = ToJsonLine(NumberedRecord(1, 1)).substr(0, 40);
  for (const std::string& before : {std::string(), ToJsonLine(NumberedRecord(1, 0)) + "\n"}) {
    SCOPED_TRACE(before.empty() ? "torn line alone" : "torn line after a record");
    std::filesystem::remove(m_path);
    AppendRaw(before + torn);
    FileRecordSink sink(m_path);
    ASSERT_EQ(sink.Write(NumberedRecord(1, 7)), "");
    EXPECT_EQ(ReadFile(m_path), before + torn + "\n" + ToJsonLine(NumberedRecord(1, 7)) + "\n");
    const HistoryRead read = ReadLastRecords(m_path, 5);
    EXPECT_EQ(Numbers(read).back(), 7);
    EXPECT_EQ(read.skipped, 1u);
  }
  // A file that ends whole gets no empty line.
  std::filesystem::remove(m_path);
  AppendNumbered(0, 1);
  ASSERT_TRUE(AppendRecord(m_path, ToJsonLine(NumberedRecord(1, 1))).ok());
  EXPECT_EQ(ReadFile(m_path),
            ToJsonLine(NumberedRecord(1, 0)) + "\n" + ToJsonLine(NumberedRecord(1, 1)) + "\n");
}

TEST_F(RecordFileReading, AWholeLastRecordWithoutItsLineEndIsStillBeingWritten) {
  AppendNumbered(0, 2);
  AppendRaw(ToJsonLine(NumberedRecord(1, 2)));
  EXPECT_EQ(Numbers(ReadLastRecords(m_path, 5)), (std::vector<std::int64_t>{0, 1}));
}

TEST_F(RecordFileReading, SkipsOverlongLines) {
  AppendNumbered(0, 1);
  RunRecord huge = NumberedRecord(1, 1);
  huge.product = std::string(kMaxRecordLine + 10, 'x');  // a record, but too long to be one of ours
  AppendRaw(ToJsonLine(huge) + "\n" + std::string(300 * 1024, 'y') + "\n");
  AppendNumbered(2, 3);
  EXPECT_EQ(Numbers(ReadLastRecords(m_path, 5)), (std::vector<std::int64_t>{0, 2}));
}

TEST_F(RecordFileReading, ReadsOnlyTheTailOfAHugeFile) {
  // A 4 GB file that is a hole but for its last records: reading it whole would take long
  // and find no line end in the hole.
  {
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{4} << 30), 0);
    ::close(fd);
  }
  AppendRaw("\n");
  AppendNumbered(0, 50);
  const HistoryRead read = ReadLastRecords(m_path, 20);
  EXPECT_TRUE(read.error.empty()) << read.error;
  ASSERT_EQ(read.records.size(), 20u);
  EXPECT_EQ(read.records.front().durationMs, 30);
  EXPECT_LE(read.bytesRead, 128u * 1024u);
}

TEST_F(RecordFileReading, NoFileYetIsNotAnError) {
  const HistoryRead read = ReadLastRecords(m_path, 20);
  EXPECT_TRUE(read.noFile);
  EXPECT_TRUE(read.error.empty());
  EXPECT_TRUE(read.records.empty());

  const HistoryRead folder = ReadLastRecords(m_dir.Path(""), 20);
  EXPECT_FALSE(folder.noFile);
  EXPECT_FALSE(folder.error.empty());
}

// --- the history table ---

// Three records as the table shows them: an ASCII one, one whose product has a Latin-1 letter
// and a control byte, and one with nothing but the required fields.
std::vector<RunRecord> TableRecords() {
  RunRecord before = FullRecord();
  RunRecord refused = FullRecord();
  refused.time = "2026-12-10T13:50:02Z";
  refused.port = "COM12";
  refused.deviceId = 7;
  refused.product = "VOR-8 \xC4r\x1B";
  refused.versionAfter.reset();
  refused.code = 9;
  refused.result = "E09-Device has latest Version.";
  refused.station = "B\xFCro\x1B";
  return {before, refused, NullRecord()};
}

TEST(HistoryTable, AlignsTheColumnsAndShowsMissingValuesAsDashes) {
  EXPECT_EQ(HistoryTableLines(TableRecords()),
            (std::vector<std::string>{
                "Time                  Port   Device ID   Product      Before -> After  Result",
                "2026-12-10T13:46:18Z  COM3   3000000000  VOR-8 Stage  2.01 -> 2.03     "
                "   -Device Programed OK.",
                "2026-12-10T13:50:02Z  COM12  7           VOR-8 \xC3\x84r?    2.01 -> -        "
                "E09-Device has latest Version.",
                "2026-12-10T13:46:18Z  COM32  -           -            -                "
                "E13-Device Failed to Erase Flash."}));
  EXPECT_EQ(HistoryTableLines({}), std::vector<std::string>{});
}

// The record database's table: the same rows behind the station that ran each, aligned by the
// columns the terminal shows (a Latin-1 letter is one), "-" for a record without one.
TEST(HistoryTable, PutsTheStationBeforeEachRowWhenAsked) {
  EXPECT_EQ(
      HistoryTableLines(TableRecords(), StationColumn::With),
      (std::vector<std::string>{
          "Station  Time                  Port   Device ID   Product      Before -> After  Result",
          "bench-7  2026-12-10T13:46:18Z  COM3   3000000000  VOR-8 Stage  2.01 -> 2.03     "
          "   -Device Programed OK.",
          "B\xC3\xBCro?    2026-12-10T13:50:02Z  COM12  7           VOR-8 \xC3\x84r?    2.01 -> -        "
          "E09-Device has latest Version.",
          "-        2026-12-10T13:46:18Z  COM32  -           -            -                "
          "E13-Device Failed to Erase Flash."}));
  EXPECT_EQ(HistoryTableLines({}, StationColumn::With), std::vector<std::string>{});

  // A host name is shown whole, however long.
  RunRecord named = FullRecord();
  named.station = std::string(50, 'h');
  const std::vector<std::string> lines = HistoryTableLines({named}, StationColumn::With);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind(named.station + "  2026-12-10T13:46:18Z  COM3", 0), 0u) << lines[1];
}

// --- the record of a finished run ---

TEST(RecordOfRun, TakesWhatTheWorkflowKnew) {
  TempDir dir;
  WriteFile(dir.Path("vor8_203.hex"), "abc");
  const auto started = std::chrono::steady_clock::time_point{} + 5s;
  const auto wallClock = [] {
    return std::chrono::sys_days{std::chrono::year{2026} / 12 / 10} + 13h + 46min + 18s;
  };

  RunFacts facts;
  facts.workflow = kWorkflowConnect;
  facts.started = started;
  facts.port = PortEntry(3, "/dev/ttyUSB0");
  facts.before = DeviceFacts{3000000000u, "VOR-8 Stage", "2.01"};
  facts.after = DeviceFacts{3000000000u, "VOR-8 Stage", "2.03"};
  facts.firmwarePath = dir.Path("vor8_203.hex");
  facts.eraseBegan = true;
  facts.programmed = true;
  facts.waited = 1500ms;
  facts.sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  facts.runId = "0f8fad5b-d9cb-469f-a165-70867728950e";
  facts.station = "bench-7";
  facts.operatorName = "Jos\xE9";
  facts.workOrder = "WO-4711";
  facts.profileName = "line-a";
  facts.profileSha256 = "2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae";

  RunRecord expected = FullRecord();
  expected.sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  expected.durationMs = 41234;
  expected.loader = LoaderVersion();
  EXPECT_EQ(RecordOfRun(facts, RESULT_OK, wallClock, started + 41234ms + 1500ms), expected);

  // Refused before programming: the file is named, but nothing was sent.
  facts.after.reset();
  facts.programmed = false;
  const RunRecord refused = RecordOfRun(facts, RESULT_SAME_VERSION, wallClock, started + 2s);
  EXPECT_EQ(refused.file, "vor8_203.hex");
  EXPECT_EQ(refused.sha256, std::nullopt);
  EXPECT_EQ(refused.versionAfter, std::nullopt);
  EXPECT_EQ(refused.result, "E09-Device has latest Version.");

  // A raw boot that never identified the device.
  RunFacts raw;
  raw.workflow = kWorkflowRawBoot;
  raw.started = started;
  raw.port = PortEntry(32, "/dev/ttyACM7");
  raw.eraseBegan = true;
  RunRecord rawExpected = NullRecord();
  rawExpected.loader = LoaderVersion();
  rawExpected.eraseBegan = true;
  EXPECT_EQ(RecordOfRun(raw, RESULT_ERASE_FAILED, wallClock, started), rawExpected);
}

TEST(RecordOfRun, RunIdsAreVersion4UuidsAndDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = NewRunId();
    ASSERT_EQ(id.size(), 36u) << id;
    for (std::size_t k : {8u, 13u, 18u, 23u}) EXPECT_EQ(id[k], '-') << id;
    EXPECT_EQ(id[14], '4') << id;
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    EXPECT_TRUE(seen.insert(id).second) << "repeated " << id;
  }
  EXPECT_FALSE(StationName().empty());
}

// A process made by fork carries its parent's memory: IDs drawn from a generator state kept in
// that memory would repeat in both. Each must still draw IDs of its own.
TEST(RecordOfRun, AForkedProcessDrawsRunIdsOfItsOwn) {
  const std::string before = NewRunId();  // the parent's generator is in use before the fork
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string id = NewRunId();
    const ssize_t written = ::write(fds[1], id.data(), id.size());
    ::_exit(written == static_cast<ssize_t>(id.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  const std::string parent = NewRunId();
  std::string child(64, '\0');
  const ssize_t got = ::read(fds[0], child.data(), child.size());
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(got, 36);
  child.resize(36);
  EXPECT_EQ(child[14], '4') << child;
  EXPECT_NE(child, parent);
  EXPECT_NE(child, before);
}

TEST(RecordOfRun, LoaderVersionIsTheProgramVersion) {
  const std::string v = LoaderVersion();
  ASSERT_FALSE(v.empty());
  EXPECT_NE(v.find('.'), std::string::npos) << v;
}

}  // namespace
}  // namespace app
