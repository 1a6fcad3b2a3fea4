// A device that vanishes in the middle of a step (its adapter pulled; here the simulator
// closes its pty and ends): the step fails with its own result as soon as the line goes,
// not when its time-out runs out, and its wait costs next to no CPU.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device/link.h"
#include "device/steps.h"
#include "image/firmware_decoder.h"
#include "tests/support/fixtures/cost_clocks.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim/sim_process.h"

namespace sim_test {
namespace {

using testing_support::JsonField;
using testing_support::SimConfig;
using testing_support::SimProcess;
using testing_support::TempDir;

constexpr int kPort = 4;
// A wait for a device may cost at most this share of one core; the allowance covers the
// step's own work around the wait (a few writes, the trace).
constexpr double kWaitCpuShare = 0.10;
constexpr double kStepCpuAllowanceMs = 20;

using testing_support::ThreadCpuMs;
using testing_support::WallMs;

std::string AllLines(const SimProcess& sim) {
  std::string text;
  for (const auto& line : sim.TranscriptLines()) text += line + "\n";
  return text;
}

struct HangUpCase {
  const char* name;
  std::vector<std::string> options;  // the fault, and what the device needs to reach it
  int stepTimeoutMs;                 // the time-out of the wait the device vanishes in
  const char* after;                 // the transcript's hang-up point
};

void PrintTo(const HangUpCase& c, std::ostream* os) {
  *os << c.name;
}

class SimHangUpTest : public ::testing::TestWithParam<HangUpCase> {
 protected:
  TempDir dir{"vornet-hang-up-test"};
  std::unique_ptr<platform::PortOpener> opener;
  std::unique_ptr<device::Link> link;
  device::Identity id;
  testing_support::RecordingView view;
  image::MemImage image;

  void SetUp() override {
    ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
    opener = platform::MakeSystemPortOpener();
    link = std::make_unique<device::Link>(*opener);
    // Large enough that the stream is still under way when the device goes.
    const std::string file = dir.path + "/amp.hex";
    ASSERT_TRUE(testing_support::PackFirmware(file, "0a1b", "1.80", false, 64 * 1024));
    ASSERT_EQ(image::DecodeFirmwareFile(file, image), image::DECODE_PLAIN);
  }
  void TearDown() override { link->Close(); }

  // Runs `step`, which must fail, and checks it ended well inside its time-out with little
  // CPU spent by this thread.
  void ExpectPromptCheapFailure(const std::function<bool()>& step, int timeoutMs) {
    const double wall0 = WallMs();
    const double cpu0 = ThreadCpuMs();
    const bool failed = step();
    const double wallMs = WallMs() - wall0;
    const double cpuMs = ThreadCpuMs() - cpu0;
    EXPECT_TRUE(failed);
    EXPECT_LT(wallMs, timeoutMs / 2.0) << "the step waited out its time-out";
    EXPECT_LT(cpuMs, kWaitCpuShare * wallMs + kStepCpuAllowanceMs) << "wall " << wallMs << " ms";
  }
};

TEST_P(SimHangUpTest, TheStepFailsAtOnceAndCheaply) {
  const HangUpCase& c = GetParam();
  SimConfig cfg;
  cfg.port = kPort;
  cfg.extraArgs = {"--banner-length", "75", "--erase-ms", "50"};
  cfg.extraArgs.insert(cfg.extraArgs.end(), c.options.begin(), c.options.end());
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();

  const std::string after = c.after;
  if (after == "open") {
    // Raw boot: the loader listens for the banner of a device that is switched on, then gone.
    ASSERT_EQ(device::OpenComPort(*link, kPort, 57600), RESULT_OK);
    ExpectPromptCheapFailure(
        [&] {
          std::string tag;
          return device::WaitForRawBanner(*link, c.stepTimeoutMs, view, tag) == RESULT_NO_SINGLE_DEVICE;
        },
        c.stepTimeoutMs);
  } else {
    ASSERT_EQ(device::FindDeviceBaud(*link, id, kPort, view), RESULT_OK) << AllLines(sim);
    ASSERT_EQ(device::RequestBoot(*link, id, "0a1b"), RESULT_OK) << AllLines(sim);
    if (after == "erase") {
      ExpectPromptCheapFailure([&] { return device::EraseFlash(*link, view) == RESULT_ERASE_FAILED; },
                               c.stepTimeoutMs);
    } else {
      ASSERT_EQ(device::EraseFlash(*link, view), RESULT_OK) << AllLines(sim);
      ExpectPromptCheapFailure([&] { return device::SendImage(*link, image, view) == RESULT_PROGRAM_FAILED; },
                               c.stepTimeoutMs);
    }
  }
  ASSERT_TRUE(sim.WaitFor("hang-up", 2000)) << AllLines(sim);
  EXPECT_EQ(JsonField(sim.Lines("hang-up").at(0), "after"), after);

  // The port stays gone: the next exchange fails at once as well, with its own result.
  ExpectPromptCheapFailure([&] { return device::IdentifyDevice(*link, id, false) != RESULT_OK; }, 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Points, SimHangUpTest,
    ::testing::Values(HangUpCase{"OnTheEraseCommand", {"--hang-up-on-erase"}, 5000, "erase"},
                      HangUpCase{"MidStream", {"--hang-up-after-bytes", "3000"}, 5000, "stream"},
                      HangUpCase{"DuringTheRawBootBannerWait",
                                 {"--raw-boot", "--boot-delay", "60000", "--hang-up-after-open", "300"},
                                 10000,
                                 "open"}),
    [](const auto& param) { return std::string(param.param.name); });

// The Connect road's programming step reports a device that vanishes on the erase command
// as the failed erase, with its status text.
TEST(SimHangUpProgramTest, AVanishedDeviceIsAFailedErase) {
  TempDir dir("vornet-hang-up-program");
  ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
  ASSERT_TRUE(testing_support::PackFirmware(dir.path + "/amp.hex", "0a1b", "1.80", false));
  SimConfig cfg;
  cfg.port = kPort;
  cfg.extraArgs = {"--banner-length", "75", "--hang-up-on-erase"};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  auto opener = platform::MakeSystemPortOpener();
  device::Link link(*opener);
  device::Identity id;
  testing_support::RecordingView view;
  ASSERT_EQ(device::FindDeviceBaud(link, id, kPort, view), RESULT_OK);
  image::MemImage image;
  ASSERT_EQ(image::DecodeFirmwareFile(dir.path + "/amp.hex", image), image::DECODE_PLAIN);
  const device::FirmwareTarget target{"amp.hex", "0a1b", "1.80", "VORnet Amp"};
  const double wall0 = WallMs();
  EXPECT_EQ(device::ProgramDevice(link, id, target, image, view), RESULT_ERASE_FAILED);
  EXPECT_LT(WallMs() - wall0, 2500) << "the erase waited out its 5 s";
  EXPECT_EQ(view.mainStatus, "Erased Failed !!");
  link.Close();
}

}  // namespace
}  // namespace sim_test
