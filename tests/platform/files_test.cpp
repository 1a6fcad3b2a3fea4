// The file steps the loader builds on: reading at an offset, putting a file in place
// atomically, the identity of an open file, turn-taking on a lock, private temporary files.

#include "platform/files.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/fixtures/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// Whether the system keeps permission bits for the owner, the group and others.
#ifdef _WIN32
constexpr bool kModes = false;
#else
constexpr bool kModes = true;
#endif

std::string ReadWhole(const std::string& path) {
  // Through the stream buffer: g++ -O2 sees a possible null dereference in the iterator form.
  std::ifstream in(path, std::ios::binary);
  std::ostringstream whole;
  whole << in.rdbuf();
  return whole.str();
}

TEST(FileIo, ReadsAtOffsetsAndReplacesWhole) {
  const testing_support::TempDir dir{"vor-kit"};
  const std::string path = dir.Path("state");
  ASSERT_FALSE(platform::ReplaceFile(path, "first version\n"));
  ASSERT_FALSE(platform::ReplaceFile(path, "second\n"));
  EXPECT_EQ(testing_support::ReadFile(path), "second\n");
  // No temporary file is left beside it.
  EXPECT_EQ(testing_support::ListFolder(dir.path), std::vector<std::string>{"state"});

  std::error_code error;
  const platform::File file = platform::OpenForReading(path, error);
  ASSERT_TRUE(file.isOpen()) << error.message();
  std::array<char, 4> got{};
  ASSERT_TRUE(platform::ReadAt(file, 2, got.data(), got.size()));
  EXPECT_EQ(std::string(got.data(), got.size()), "cond");
  EXPECT_FALSE(platform::ReadAt(file, 5, got.data(), got.size()));  // beyond the end
  EXPECT_EQ(platform::ReadSomeAt(file, 5, got.data(), got.size(), error), 2);
  EXPECT_EQ(platform::ReadSomeAt(file, 7, got.data(), got.size(), error), 0);
  EXPECT_FALSE(error);

  // A folder that is not there: the error, and nothing made.
  EXPECT_EQ(platform::ReplaceFile(dir.Path("none/state"), "x"), std::errc::no_such_file_or_directory);
  EXPECT_EQ(platform::PutInPlace(dir.Path("missing"), path), std::errc::no_such_file_or_directory);
  EXPECT_EQ(testing_support::ReadFile(path), "second\n");
  EXPECT_EQ(testing_support::ListFolder(dir.path), std::vector<std::string>{"state"});
}

// A reader that opens the file at any moment while it is replaced again and again sees one whole
// version, never a part of one nor an empty file.
TEST(FileIo, AReaderNeverSeesAHalfReplacedFile) {
  const testing_support::TempDir dir{"vor-kit"};
  const std::string path = dir.Path("state");
  const std::string versions[] = {std::string(256 * 1024, 'a') + "\n", std::string(100 * 1024, 'b') + "\n"};
  ASSERT_FALSE(platform::ReplaceFile(path, versions[0]));
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      const std::string seen = ReadWhole(path);
      if (seen != versions[0] && seen != versions[1]) ++torn;
      ++reads;
    }
  });
  for (int i = 0; i < 200; ++i) ASSERT_FALSE(platform::ReplaceFile(path, versions[i % 2]));
  while (reads.load() < 20) std::this_thread::sleep_for(1ms);
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(testing_support::ListFolder(dir.path), std::vector<std::string>{"state"});
}

TEST(FileIo, MissingFilesAndIdentities) {
  const testing_support::TempDir dir{"vor-kit"};
  const std::string path = dir.Path("records");
  std::error_code error;
  EXPECT_FALSE(platform::OpenForReading(path, error).isOpen());
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);

  platform::File appending = platform::OpenForAppending(path, error);
  ASSERT_TRUE(appending.isOpen()) << error.message();
  EXPECT_EQ(platform::WriteOnce(appending, "one\n", error), 4);
  ASSERT_FALSE(platform::WriteAll(appending, "two\n"));
  EXPECT_FALSE(platform::FlushToDisk(appending));
  const platform::File reading = platform::OpenForReading(path, error);
  const platform::FileInfo written = platform::InfoOf(appending, error);
  const platform::FileInfo read = platform::InfoOf(reading, error);
  EXPECT_TRUE(read.regular);
  EXPECT_EQ(read.size, 8u);
  EXPECT_EQ(read.identity, written.identity);  // two opens of one file

  // Another file under the same name is another file.
  ASSERT_FALSE(platform::ReplaceFile(path, "one\ntwo\n"));
  const platform::File again = platform::OpenForReading(path, error);
  EXPECT_NE(platform::InfoOf(again, error).identity, read.identity);

  EXPECT_FALSE(appending.Close());
  EXPECT_FALSE(appending.isOpen());
  EXPECT_EQ(appending.Close(), std::errc::bad_file_descriptor);
  EXPECT_FALSE(platform::InfoOf(platform::OpenForReading(dir.path, error), error).regular);  // a folder
}

TEST(FileLock, TakersOfOneLockTakeTurns) {
  const testing_support::TempDir dir{"vor-kit"};
  const std::string path = dir.Path("records.lock");
  std::error_code error;
  const platform::File first = platform::OpenOrMake(path, error);
  const platform::File second = platform::OpenOrMake(path, error);
  ASSERT_TRUE(first.isOpen() && second.isOpen()) << error.message();
  const auto never = std::chrono::steady_clock::time_point::max();
  ASSERT_EQ(platform::LockFile(first, 1ms, never, {}, error), platform::LockOutcome::kTaken);

  // Held: the second taker gives up at its time, or when it is stopped.
  EXPECT_EQ(platform::LockFile(second, 1ms, std::chrono::steady_clock::now() + 30ms, {}, error),
            platform::LockOutcome::kTimedOut);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(platform::LockFile(second, 1ms, never, stop.get_token(), error), platform::LockOutcome::kStopped);

  // Let go: the waiting taker gets its turn.
  std::atomic<bool> taken{false};
  std::thread waiter([&] {
    std::error_code e;
    taken = platform::LockFile(second, 1ms, never, {}, e) == platform::LockOutcome::kTaken;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(taken.load());
  platform::UnlockFile(first);
  waiter.join();
  EXPECT_TRUE(taken.load());
}

TEST(TemporaryFile, IsNewPrivateAndBesideItsTarget) {
  const testing_support::TempDir dir{"vor-kit"};
  std::error_code error;
  platform::TemporaryFile one = platform::MakeTemporaryFile(dir.Path(".part-"), error);
  platform::TemporaryFile two = platform::MakeTemporaryFile(dir.Path(".part-"), error);
  ASSERT_TRUE(one.file.isOpen() && two.file.isOpen()) << error.message();
  EXPECT_NE(one.path, two.path);
  EXPECT_EQ(one.path.rfind(dir.Path(".part-"), 0), 0u);
  namespace fs = std::filesystem;
  const fs::perms others = fs::perms::group_all | fs::perms::others_all;
  if (kModes) {
    EXPECT_EQ(fs::status(one.path).permissions() & others, fs::perms::none);
  }
  ASSERT_FALSE(platform::WriteAll(one.file, "body"));
  ASSERT_FALSE(platform::SetFileMode(one.file, fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::others_read));
  if (kModes) {
    EXPECT_EQ(fs::status(one.path).permissions() & others, fs::perms::group_read | fs::perms::others_read);
  }
  ASSERT_FALSE(one.file.Close());
  ASSERT_FALSE(platform::PutInPlace(one.path, dir.Path("firmware.hex")));
  EXPECT_EQ(testing_support::ReadFile(dir.Path("firmware.hex")), "body");
  EXPECT_FALSE(platform::RemoveFile(two.path));
  EXPECT_FALSE(platform::RemoveFile(two.path));  // gone already
  EXPECT_EQ(testing_support::ListFolder(dir.path), std::vector<std::string>{"firmware.hex"});

  EXPECT_FALSE(platform::MakeTemporaryFile(dir.Path("none/.part-"), error).file.isOpen());
  EXPECT_TRUE(error);
}

}  // namespace
