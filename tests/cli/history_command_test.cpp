// `vorloader-cli history [N]` and `--record FILE`: the command line, and the table shown from
// a record file.

#include "cli/command/history_command.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/record/record_file.h"
#include "app/record/run_record.h"
#include "cli/command/command_line.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/recording_view.h"

namespace cli {
namespace {

TEST(HistoryCommandLine, TakesACountAndARecordFile) {
  struct Case {
    std::vector<std::string> args;
    Command command;
    int count;
    std::string recordFile;
  };
  const std::vector<Case> cases = {
      {{"history"}, Command::History, 20, ""},
      {{"history", "5"}, Command::History, 5, ""},
      {{"--record", "/tmp/r.jsonl", "history", "1"}, Command::History, 1, "/tmp/r.jsonl"},
      {{"history", "300", "--record=r.jsonl"}, Command::History, 300, "r.jsonl"},
      {{"--record", "r.jsonl", "--yes", "connect"}, Command::Connect, 20, "r.jsonl"},
      {{"raw-boot", "--record", "r.jsonl"}, Command::RawBoot, 20, "r.jsonl"},
  };
  for (const Case& c : cases) {
    const ParseResult r = ParseCommandLine(c.args);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.line.command, c.command);
    EXPECT_EQ(r.line.historyCount, c.count);
    EXPECT_EQ(r.line.recordFile, c.recordFile);
  }
}

TEST(HistoryCommandLine, RefusesABadCountOrRecordFileInOneLine) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"history", "0"}, "'0'"},
      {{"history", "x"}, "'x'"},
      {{"history", "-3"}, "'-3'"},
      {{"history", "1234567890"}, "'1234567890'"},
      {{"history", "5", "6"}, "'6'"},
      {{"history", "ports"}, "'ports'"},
      {{"5"}, "'5'"},
      {{"--record"}, "--record"},
      {{"--record=", "history"}, "--record"},
      {{"--record", "r.jsonl", "check"}, "--record"},
      {{"ports", "--record", "r.jsonl"}, "--record"},
      {{"--record", "--offline", "connect"}, "--record needs a file name"},
      {{"--record", "--x", "4"}, "--record needs a file name"},
      {{"--record", "/tmp/r--x1.jsonl", "history"}, "'/tmp/r--x1.jsonl'"},
  };
  for (const auto& [args, named] : cases) {
    const ParseResult r = ParseCommandLine(args);
    ASSERT_FALSE(r.ok()) << named;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(named), std::string::npos) << r.error;
  }
  const std::string usage = UsageText();
  for (const char* word : {"history [N]", "--record FILE", "VORLOADER_HISTORY"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
}

class HistoryCommand : public ::testing::Test {
 protected:
  testing_support::TempDir m_temp{"history-cmd"};
  std::filesystem::path m_dir;
  std::map<std::string, std::string> m_env;
  testing_support::RecordingView m_view;

  void SetUp() override {
    m_dir = m_temp.path;
    m_env["HOME"] = m_dir.string();
  }

  int Run(const std::vector<std::string>& args) {
    const ParseResult r = ParseCommandLine(args);
    EXPECT_TRUE(r.ok()) << r.error;
    const app::Environment env = [this](const char* name) -> std::optional<std::string> {
      const auto it = m_env.find(name);
      if (it == m_env.end()) return std::nullopt;
      return it->second;
    };
    return ShowHistory(r.line, env, m_view);
  }

  static void Append(const std::string& path, int count) {
    for (int n = 0; n < count; ++n) {
      app::RunRecord r;
      r.time = "2026-12-10T13:46:" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "Z";
      r.workflow = "connect";
      r.port = "COM3";
      r.deviceId = 1000u + static_cast<unsigned>(n);
      r.code = 9;
      r.result = "E09-Device has latest Version.";
      ASSERT_TRUE(app::AppendRecord(path, app::ToJsonLine(r)).ok());
    }
  }
};

TEST_F(HistoryCommand, ShowsTheLastRecordsOfTheDefaultFile) {
  Append(m_dir.string() + "/.local/state/vorloader/history.jsonl", 30);
  EXPECT_EQ(Run({"history", "2"}), 0);
  EXPECT_EQ(m_view.log, (std::vector<std::string>{
                            "Time                  Port  Device ID  Product  Before -> After  Result",
                            "2026-12-10T13:46:28Z  COM3  1028       -        -                "
                            "E09-Device has latest Version.",
                            "2026-12-10T13:46:29Z  COM3  1029       -        -                "
                            "E09-Device has latest Version."}));
  EXPECT_TRUE(m_view.details.empty());

  m_view.log.clear();
  EXPECT_EQ(Run({"history"}), 0);
  EXPECT_EQ(m_view.log.size(), 21u) << "a heading and the default 20 records";
}

TEST_F(HistoryCommand, RecordFileOptionAndEnvironmentNameTheFile) {
  const std::string named = m_dir.string() + "/named.jsonl";
  const std::string option = m_dir.string() + "/option.jsonl";
  Append(named, 1);
  Append(option, 3);
  m_env["VORLOADER_HISTORY"] = named;
  EXPECT_EQ(Run({"history"}), 0);
  EXPECT_EQ(m_view.log.size(), 2u);

  m_view.log.clear();
  EXPECT_EQ(Run({"--record", option, "history"}), 0);
  EXPECT_EQ(m_view.log.size(), 4u);
}

TEST_F(HistoryCommand, NoFileOrRecordsOffIsANoteNotAFailure) {
  EXPECT_EQ(Run({"history"}), 0);
  EXPECT_TRUE(m_view.log.empty());
  ASSERT_EQ(m_view.details.size(), 1u);
  EXPECT_NE(m_view.details[0].find("no run records yet"), std::string::npos) << m_view.details[0];

  m_env["VORLOADER_HISTORY"] = "";
  EXPECT_EQ(Run({"history"}), 0);
  EXPECT_TRUE(m_view.log.empty());
  ASSERT_EQ(m_view.details.size(), 2u);
  EXPECT_NE(m_view.details[1].find("off"), std::string::npos) << m_view.details[1];
}

TEST_F(HistoryCommand, AFileThatCannotBeReadFails) {
  m_env["VORLOADER_HISTORY"] = m_dir.string();  // a folder
  EXPECT_EQ(Run({"history"}), 1);
  EXPECT_TRUE(m_view.log.empty());
  EXPECT_EQ(m_view.details.size(), 1u);
}

}  // namespace
}  // namespace cli
