// The delivery state beside the record file and the reading of pending records: whatever
// happened to the file or the state, no record is skipped, and a matching state is resumed.

#include "app/record_db/delivery_state.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/record_db/spool_reading.h"
#include "platform/files.h"
#include "tests/support/fixtures/temp_dir.h"

namespace app {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Line(int n, const std::string& runId = "") {
  return R"({"time":"2026-12-10T13:46:1)" + std::to_string(n % 10) +
         R"(Z","workflow":"connect","port":"COM3","code":0,"result":"ok")" +
         (runId.empty() ? std::string() : R"(,"run_id":")" + runId + "\"") + "}\n";
}

struct OpenFile {
  explicit OpenFile(const std::string& path) {
    std::error_code error;
    fd = platform::OpenForReading(path, error);
    info = platform::InfoOf(fd, error);
  }
  platform::File fd;
  platform::FileInfo info;
};

// Where delivery resumes after `change` was done to a file of three records delivered up to
// its second, with its state saved.
struct ResumeCase {
  const char* name;
  void (*change)(const std::string& file, const std::string& state);
  bool resumes;  // at the saved offset; else from the beginning
};

class DeliveryResume : public ::testing::TestWithParam<ResumeCase> {};

TEST_P(DeliveryResume, ResumesOnlyWhereTheStateStillMatches) {
  TempDir dir("vor-delivery");
  const std::string file = dir.Path("history.jsonl");
  const std::string state = DeliveryStatePath(file);
  WriteFile(file, Line(1, "a") + Line(2, "b") + Line(3, "c"));
  const std::uint64_t delivered = (Line(1, "a") + Line(2, "b")).size();
  {
    const OpenFile f(file);
    ASSERT_EQ(SaveDeliveryState(state, StateAt(f.fd, f.info, delivered)), "");
  }
  GetParam().change(file, state);
  const OpenFile f(file);
  const std::uint64_t from = ResumeOffset(LoadDeliveryState(state), f.fd, f.info);
  EXPECT_EQ(from, GetParam().resumes ? delivered : 0u);
  // From there, every record not yet delivered is read.
  const SpoolRead read = ReadSpool(f.fd, from, f.info.size, SIZE_MAX, true);
  EXPECT_TRUE(read.error.empty());
  EXPECT_EQ(read.endOffset, f.info.size);
  ASSERT_FALSE(read.records.empty());
  EXPECT_EQ(read.records.back().runId, ReadFile(file).find("\"d\"") != std::string::npos ? "d" : "c");
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeliveryResume,
    ::testing::Values(
        ResumeCase{"Unchanged", [](const std::string&, const std::string&) {}, true},
        ResumeCase{"Grown",
                   [](const std::string& file, const std::string&) {
                     WriteFile(file, ReadFile(file) + Line(4, "d"));
                   },
                   true},
        ResumeCase{"StateCutOff",
                   [](const std::string&, const std::string& state) {
                     const std::string text = ReadFile(state);
                     WriteFile(state, text.substr(0, text.size() - 10));
                   },
                   false},
        ResumeCase{"StateEmpty", [](const std::string&, const std::string& state) { WriteFile(state, ""); },
                   false},
        ResumeCase{"StateMissing",
                   [](const std::string&, const std::string& state) { std::remove(state.c_str()); }, false},
        ResumeCase{"FileShrank",
                   [](const std::string& file, const std::string&) { WriteFile(file, Line(3, "c")); }, false},
        ResumeCase{"FileReplaced",
                   [](const std::string& file, const std::string&) {
                     // The same bytes under the same name, but another file. The old file
                     // stays aside, so that its inode cannot be handed to the new one.
                     const std::string bytes = ReadFile(file);
                     ASSERT_EQ(std::rename(file.c_str(), (file + ".old").c_str()), 0);
                     WriteFile(file, bytes);
                   },
                   false},
        ResumeCase{"FileRewrittenInPlace",
                   [](const std::string& file, const std::string&) {
                     // As long as before, the last delivered line is another.
                     const int fd = ::open(file.c_str(), O_WRONLY);
                     const std::string other = Line(7, "x") + Line(8, "y") + Line(3, "c");
                     EXPECT_EQ(::write(fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));
                     ::close(fd);
                   },
                   false}),
    [](const ::testing::TestParamInfo<ResumeCase>& param) { return std::string(param.param.name); });

TEST(DeliveryState, SavesAtomicallyAndReadsBack) {
  TempDir dir("vor-delivery");
  const std::string state = dir.Path("h.jsonl.delivered");
  const DeliveryState saved{12, 34, 56, std::string(64, 'a')};
  ASSERT_EQ(SaveDeliveryState(state, saved), "");
  EXPECT_EQ(LoadDeliveryState(state), saved);
  EXPECT_EQ(testing_support::ListFolder(dir.path), (std::vector<std::string>{"h.jsonl.delivered"}));
  for (const char* bad : {"vorloader-delivered 1 1 2 3\n", "vorloader-delivered 1 1 2 3 zz\n",
                          "vorloader-delivered 1 1 2 -3 aa\n", "other 1 1 2 3 -\n"}) {
    WriteFile(state, bad);
    EXPECT_FALSE(LoadDeliveryState(state).has_value()) << bad;
  }
  EXPECT_NE(SaveDeliveryState(dir.Path("no/such/folder/s"), saved), "");
}

TEST(SpoolReading, TakesCompleteRecordLinesOnlyAndGivesOldRecordsAStableId) {
  TempDir dir("vor-delivery");
  const std::string file = dir.Path("history.jsonl");
  const std::string old = Line(1);
  const std::string longLine = std::string(70 * 1024, 'x') + "\n";
  WriteFile(file, old + "not a record\n" + longLine + Line(2, "b") + R"({"time":"2026-)");
  const OpenFile f(file);
  const std::uint64_t size = f.info.size;
  const SpoolRead read = ReadSpool(f.fd, 0, size, SIZE_MAX, true);
  ASSERT_EQ(read.count, 2u);
  ASSERT_EQ(read.records.size(), 2u);
  // The line being written is left for later.
  EXPECT_EQ(read.endOffset, size - std::string(R"({"time":"2026-)").size());
  const std::string derived = read.records[0].runId;
  EXPECT_EQ(derived, DerivedRunId(old.substr(0, old.size() - 1)));
  EXPECT_EQ(derived.size(), 36u);
  EXPECT_EQ(derived[14], '8');
  EXPECT_NE(derived, DerivedRunId(Line(3).substr(0, Line(3).size() - 1)));
  EXPECT_EQ(read.records[1].runId, "b");
  // A batch ends after its last record; counting alone keeps nothing.
  const SpoolRead first = ReadSpool(f.fd, 0, size, 1, true);
  EXPECT_EQ(first.records.size(), 1u);
  EXPECT_EQ(first.endOffset, old.size());
  const SpoolRead counted = ReadSpool(f.fd, first.endOffset, size, SIZE_MAX, false);
  EXPECT_EQ(counted.count, 1u);
  EXPECT_TRUE(counted.records.empty());
}

}  // namespace
}  // namespace app
