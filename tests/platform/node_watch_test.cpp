// Waiting for device nodes to come and go in their folder: a change ends the wait long before its
// time, a stop ends it, and a folder that cannot be watched is reported so the caller looks on a
// timer instead.

#include "platform/node_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stop_token>
#include <thread>

#include "tests/support/fixtures/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// Long enough that only the awaited event (never the time-out) can end a wait in a test.
constexpr std::chrono::milliseconds kLong = 30s;
// A wait that ended by its event ended well before kLong, however busy the machine.
constexpr auto kWellBefore = 20s;

template <typename Wait>
std::chrono::steady_clock::duration Timed(Wait wait) {
  const auto start = std::chrono::steady_clock::now();
  wait();
  return std::chrono::steady_clock::now() - start;
}

TEST(NodeWatch, StopEndsTheWait) {
  const testing_support::TempDir dir{"vor-nodes"};
  platform::NodeWatch watch({dir.Path("ttyS1")});
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
  });
  bool changed = true;
  EXPECT_LT(Timed([&] { changed = watch.WaitForChange(kLong, stop.get_token()); }), kWellBefore);
  EXPECT_FALSE(changed);
}

TEST(NodeWatch, WaitsOutItsTimeWhenNothingChanges) {
  const testing_support::TempDir dir{"vor-nodes"};
  platform::NodeWatch watch({dir.Path("ttyS1")});
  EXPECT_FALSE(watch.WaitForChange(30ms, std::stop_token{}));
}

#ifndef _WIN32
TEST(NodeWatch, NodeMadeOrRemovedEndsTheWait) {
  const testing_support::TempDir dir{"vor-nodes"};
  const std::string node = dir.Path("ttyS1");
  platform::NodeWatch watch({node, dir.Path("ttyS2")});
  ASSERT_TRUE(watch.watching());

  testing_support::WriteFile(node, "");
  bool changed = false;
  EXPECT_LT(Timed([&] { changed = watch.WaitForChange(kLong, std::stop_token{}); }), kWellBefore);
  EXPECT_TRUE(changed);

  std::filesystem::remove(node);
  changed = false;
  EXPECT_LT(Timed([&] { changed = watch.WaitForChange(kLong, std::stop_token{}); }), kWellBefore);
  EXPECT_TRUE(changed);

  // The burst was taken in one wake-up: nothing is left to report.
  EXPECT_FALSE(watch.WaitForChange(30ms, std::stop_token{}));
}

TEST(NodeWatch, LinkPointedElsewhereEndsTheWait) {
  const testing_support::TempDir dir{"vor-nodes"};
  const std::string link = dir.Path("COM1");
  std::filesystem::create_symlink("/dev/null", link);
  platform::NodeWatch watch({link});
  ASSERT_TRUE(watch.watching());

  // A link is pointed elsewhere by putting a new one in its place.
  std::filesystem::create_symlink("/dev/zero", dir.Path("COM1.new"));
  std::filesystem::rename(dir.Path("COM1.new"), link);
  bool changed = false;
  EXPECT_LT(Timed([&] { changed = watch.WaitForChange(kLong, std::stop_token{}); }), kWellBefore);
  EXPECT_TRUE(changed);
}

TEST(NodeWatch, NodeAppearingBehindALinkEndsTheWait) {
  const testing_support::TempDir dir{"vor-nodes"};
  const std::string devices = dir.MakeFolder("dev");
  std::filesystem::create_directory(dir.Path("com"));
  const std::string link = dir.Path("com/COM1");
  std::filesystem::create_symlink(devices + "ttyUSB0", link);  // leads to nothing yet
  platform::NodeWatch watch({link});
  ASSERT_TRUE(watch.watching());

  testing_support::WriteFile(devices + "ttyUSB0", "");
  bool changed = false;
  EXPECT_LT(Timed([&] { changed = watch.WaitForChange(kLong, std::stop_token{}); }), kWellBefore);
  EXPECT_TRUE(changed);
}

TEST(NodeWatch, MissingFolderIsReportedAndTheTimeWaitedOut) {
  const testing_support::TempDir dir{"vor-nodes"};
  platform::NodeWatch watch({dir.Path("no-such-folder/ttyS1")});
  EXPECT_FALSE(watch.watching());
  EXPECT_FALSE(watch.WaitForChange(30ms, std::stop_token{}));
}
#endif

}  // namespace
