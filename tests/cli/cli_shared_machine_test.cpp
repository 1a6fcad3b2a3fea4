// Several loaders on one computer, each on its own ports: started at the same moment they do
// not take each other's ports for their own, and a port another loader is using is reported
// as busy, with the process that holds it.

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_fixture.h"

namespace testing_support {
namespace {

// Each listing opens every port for a moment, so two loaders started together meet on each
// other's ports; a meeting used to end one of them with a usage error.
TEST_F(CliEndToEnd, TwoLoadersStartedTogetherEachGetTheirOwnDevice) {
  constexpr int kRounds = 12;
  Publish(kNewer);
  auto first = StartDevice(1);
  auto second = StartDevice(2);
  for (int round = 0; round < kRounds; ++round) {
    std::barrier start(2);
    CliResult results[2];
    const auto run = [&](int index) {
      start.arrive_and_wait();
      results[index] = Run({"--port", "COM" + std::to_string(index + 1), "--no"});
    };
    std::thread other(run, 1);
    run(0);
    other.join();
    for (int index = 0; index < 2; ++index) {
      const CliResult& r = results[index];
      // Each found its own device, got as far as the question and was answered No.
      EXPECT_EQ(r.status, 15) << "round " << round << ", COM" << index + 1 << "\n" << Dump(r);
      EXPECT_TRUE(Contains(r.err, "port: Connected Com " + std::to_string(index + 1) + " at Baud 57600\n"))
          << "round " << round << "\n"
          << Dump(r);
      EXPECT_FALSE(Contains(r.err, "is not listed")) << "round " << round << "\n" << Dump(r);
    }
  }
  EXPECT_GE(first->Lines("identify").size(), static_cast<std::size_t>(kRounds));
  EXPECT_GE(second->Lines("identify").size(), static_cast<std::size_t>(kRounds));
}

// A port that another loader's workflow holds stays taken: the loader that names it says it
// is busy and by whom, and runs no workflow.
TEST_F(CliEndToEnd, PortHeldByAnotherLoaderIsBusyAndNoWorkflowRuns) {
  Publish(kNewer);
  auto device = StartDevice();  // running firmware: it never sends a boot banner
  std::atomic<bool> busyShown{false};
  CliResult holder;
  // The holder waits (10 s at most) for the banner with the port open, until it is stopped
  // once the other loader has finished.
  std::thread holding([&] {
    holder = Run({"--yes", "raw-boot"}, false, {}, {"! Switch Device off."}, {}, SIGINT,
                 [&] { return busyShown.load(); });
  });
  // The listing opened and closed the port; raw boot has opened it again and keeps it.
  const auto held = [&] { return device->Lines("open").size() == device->Lines("close").size() + 1; };
  for (int i = 0; i < 500 && !(device->Lines("open").size() >= 2 && held()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(device->Lines("open").size() >= 2 && held()) << "the holder never opened the port";

  const CliResult r = Run({"--yes", "--port", "COM1"});
  busyShown = true;
  holding.join();
  EXPECT_EQ(r.status, 16) << Dump(r);
  ASSERT_FALSE(r.ErrLines().empty()) << Dump(r);
  const std::string last = r.ErrLines().back();
  EXPECT_EQ(last.rfind("vorloader-cli: --port COM1 is busy, in use by process ", 0), 0u) << last;
  EXPECT_TRUE(Contains(last, " (vorloader-cli); no workflow ran")) << last;
  EXPECT_TRUE(Contains(r.err, "note: COM1 (" + ComDir() + "/COM1) is not listed: in use by process "))
      << r.err;
  EXPECT_EQ(r.OutLines(), (Lines{"0 Com Ports Found."})) << Dump(r);
  EXPECT_EQ(holder.status, 130) << Dump(holder);
  EXPECT_EQ(device->Lines("identify").size(), 0u) << "the busy port's loader never spoke to the device";
}

}  // namespace
}  // namespace testing_support
