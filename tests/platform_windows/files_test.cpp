// Files through the Win32 calls: appending from several handles, reading at an offset, the
// turn-taking lock that leaves readers alone, atomic replacement, identity and temporary files.

#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <stop_token>
#include <string>

#include "tests/platform_windows/scratch_folder.h"

namespace {

using namespace std::chrono_literals;

std::string ReadWhole(const std::string& path) {
  std::error_code error;
  platform::File file = platform::OpenForReading(path, error);
  if (!file.isOpen()) return "<" + error.message() + ">";
  std::string text;
  char buffer[256];
  for (std::uint64_t at = 0;;) {
    const std::int64_t n = platform::ReadSomeAt(file, at, buffer, sizeof buffer, error);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    at += static_cast<std::uint64_t>(n);
  }
  return text;
}

TEST(WindowsFiles, AppendsFromTwoHandlesLandAtTheEnd) {
  ScratchFolder folder;
  const std::string path = folder / "history.jsonl";
  std::error_code error;
  platform::File first = platform::OpenForAppending(path, error);
  ASSERT_TRUE(first.isOpen()) << error.message();
  platform::File second = platform::OpenForAppending(path, error);
  ASSERT_TRUE(second.isOpen()) << error.message();
  EXPECT_EQ(platform::WriteOnce(first, "one\n", error), 4);
  EXPECT_EQ(platform::WriteOnce(second, "two\n", error), 4);
  EXPECT_EQ(platform::WriteOnce(first, "three\n", error), 6);
  EXPECT_FALSE(platform::FlushToDisk(first));
  EXPECT_EQ(ReadWhole(path), "one\ntwo\nthree\n");
}

TEST(WindowsFiles, ReadsAtAnOffsetAndGivesNothingAtTheEnd) {
  ScratchFolder folder;
  const std::string path = folder / "data";
  ASSERT_FALSE(platform::ReplaceFile(path, "0123456789"));
  std::error_code error;
  platform::File file = platform::OpenForReading(path, error);
  ASSERT_TRUE(file.isOpen());
  char buffer[4] = {};
  ASSERT_TRUE(platform::ReadAt(file, 3, buffer, 4));
  EXPECT_EQ(std::string(buffer, 4), "3456");
  EXPECT_EQ(platform::ReadSomeAt(file, 8, buffer, 4, error), 2);
  EXPECT_EQ(platform::ReadSomeAt(file, 10, buffer, 4, error), 0);
  EXPECT_FALSE(error);
  EXPECT_FALSE(platform::ReadAt(file, 8, buffer, 4));
}

TEST(WindowsFiles, MissingFileIsNoSuchFile) {
  ScratchFolder folder;
  std::error_code error;
  platform::File file = platform::OpenForReading(folder / "absent", error);
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(platform::RemoveFile(folder / "absent"));
}

// The lock makes lockers wait, never readers or appenders: the data itself stays free.
TEST(WindowsFiles, LockMakesOnlyLockersWait) {
  ScratchFolder folder;
  const std::string path = folder / "locked";
  std::error_code error;
  platform::File holder = platform::OpenForAppending(path, error);
  platform::File other = platform::OpenForAppending(path, error);
  ASSERT_TRUE(holder.isOpen() && other.isOpen());
  const std::stop_source never;
  ASSERT_EQ(platform::LockFile(holder, 1ms, std::chrono::steady_clock::now() + 1s, never.get_token(), error),
            platform::LockOutcome::kTaken);
  EXPECT_EQ(platform::LockFile(other, 2ms, std::chrono::steady_clock::now() + 30ms, never.get_token(), error),
            platform::LockOutcome::kTimedOut);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(platform::LockFile(other, 2ms, std::chrono::steady_clock::now() + 10s, stop.get_token(), error),
            platform::LockOutcome::kStopped);
  // Appending and reading go on while the lock is held.
  EXPECT_EQ(platform::WriteOnce(other, "line\n", error), 5);
  EXPECT_EQ(ReadWhole(path), "line\n");
  platform::UnlockFile(holder);
  EXPECT_EQ(platform::LockFile(other, 1ms, std::chrono::steady_clock::now() + 1s, never.get_token(), error),
            platform::LockOutcome::kTaken);
}

TEST(WindowsFiles, ClosingLetsTheLockGo) {
  ScratchFolder folder;
  const std::string path = folder / "lock";
  std::error_code error;
  const std::stop_source never;
  platform::File holder = platform::OpenOrMake(path, error);
  ASSERT_EQ(platform::LockFile(holder, 1ms, std::chrono::steady_clock::now() + 1s, never.get_token(), error),
            platform::LockOutcome::kTaken);
  EXPECT_FALSE(holder.Close());
  platform::File next = platform::OpenOrMake(path, error);
  EXPECT_EQ(platform::LockFile(next, 1ms, std::chrono::steady_clock::now() + 1s, never.get_token(), error),
            platform::LockOutcome::kTaken);
  EXPECT_EQ(holder.Close(), std::errc::bad_file_descriptor);
}

TEST(WindowsFiles, ReplaceSwapsTheFileAndItsIdentity) {
  ScratchFolder folder;
  const std::string path = folder / "state.json";
  ASSERT_FALSE(platform::ReplaceFile(path, "old"));
  std::error_code error;
  platform::File reader = platform::OpenForReading(path, error);
  platform::File again = platform::OpenForReading(path, error);
  const platform::FileInfo before = platform::InfoOf(reader, error);
  EXPECT_TRUE(before.regular);
  EXPECT_EQ(before.size, 3U);
  EXPECT_EQ(before.identity, platform::InfoOf(again, error).identity);
  reader.Close();
  again.Close();
  ASSERT_FALSE(platform::ReplaceFile(path, "brand new"));
  EXPECT_EQ(ReadWhole(path), "brand new");
  platform::File after = platform::OpenForReading(path, error);
  EXPECT_NE(platform::InfoOf(after, error).identity, before.identity);
}

// Windows 10 1809 and later replace a file others have open (they keep reading the old one);
// older systems refuse while it is open. Either way nothing is lost: a refused replacement
// leaves the old file and no temporary file.
TEST(WindowsFiles, ReplacingAnOpenFileKeepsReadersWhole) {
  ScratchFolder folder;
  const std::string path = folder / "state.json";
  ASSERT_FALSE(platform::ReplaceFile(path, "old"));
  std::error_code error;
  platform::File reader = platform::OpenForReading(path, error);
  const std::error_code replaced = platform::ReplaceFile(path, "brand new");
  EXPECT_EQ(ReadWhole(path), replaced ? "old" : "brand new") << replaced.message();
  char buffer[3];
  ASSERT_TRUE(platform::ReadAt(reader, 0, buffer, 3));
  EXPECT_EQ(std::string(buffer, 3), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(platform::win::Widen(folder.path())),
                          std::filesystem::directory_iterator{}),
            1);
}

TEST(WindowsFiles, PutInPlaceReplacesAnExistingFile) {
  ScratchFolder folder;
  ASSERT_FALSE(platform::ReplaceFile(folder / "target", "before"));
  ASSERT_FALSE(platform::ReplaceFile(folder / "temp", "after"));
  EXPECT_FALSE(platform::PutInPlace(folder / "temp", folder / "target"));
  EXPECT_EQ(ReadWhole(folder / "target"), "after");
  EXPECT_TRUE(platform::PutInPlace(folder / "temp", folder / "target"));  // temp is gone
}

TEST(WindowsFiles, TemporaryFilesAreNewAndCanBePutInPlaceWhileOpen) {
  ScratchFolder folder;
  std::error_code error;
  platform::TemporaryFile a = platform::MakeTemporaryFile(folder / ".vorloader-", error);
  platform::TemporaryFile b = platform::MakeTemporaryFile(folder / ".vorloader-", error);
  ASSERT_TRUE(a.file.isOpen()) << error.message();
  ASSERT_TRUE(b.file.isOpen());
  EXPECT_NE(a.path, b.path);
  EXPECT_EQ(a.path.rfind(folder / ".vorloader-", 0), 0U);
  EXPECT_FALSE(platform::WriteAll(a.file, "firmware"));
  EXPECT_FALSE(platform::SetFileMode(
      a.file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write));
  EXPECT_FALSE(platform::PutInPlace(a.path, folder / "image.hex"));
  EXPECT_FALSE(a.file.Close());
  EXPECT_EQ(ReadWhole(folder / "image.hex"), "firmware");
}

TEST(WindowsFiles, CallsOnAClosedFileFail) {
  const platform::File closed;
  std::error_code error;
  char byte = 0;
  EXPECT_EQ(platform::ReadSomeAt(closed, 0, &byte, 1, error), -1);
  EXPECT_EQ(error, std::errc::bad_file_descriptor);
  EXPECT_EQ(platform::WriteOnce(closed, "x", error), -1);
  EXPECT_EQ(platform::FlushToDisk(closed), std::errc::bad_file_descriptor);
  platform::InfoOf(closed, error);
  EXPECT_EQ(error, std::errc::bad_file_descriptor);
}

}  // namespace
