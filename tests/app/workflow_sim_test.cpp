// The workflows end to end: the real serial layer against the device simulator on a
// pseudo-terminal, and the firmware server on 127.0.0.1.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/port_listing.h"
#include "platform/serial_port.h"
#include "tests/app/workflow_fixture.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/sim/sim_process.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;

// A technician who takes a moment before pressing OK: the device has rebooted by then.
class PatientView : public testing_support::RecordingView {
 public:
  void tell(const std::string& text) override {
    RecordingView::tell(text);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
  }
};

class SimWorkflow : public ::testing::Test {
 protected:
  // The serial layer wants its runtime, as the front ends have.
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "app_simulator_tests";
    static char* argv[] = {name, nullptr};
    static const auto* runtime = new platform::SerialRuntime(argc, argv);  // kept for the process
    (void)runtime;
  }

  testing_support::TempDir com{"wf-com"};
  testing_support::TempDir www{"vor-www"};
  testing_support::TempDir firmware{"vor-firmware"};
  testing_support::HttpTestServer server{www.Path("")};
  std::unique_ptr<platform::PortOpener> opener = platform::MakeSystemPortOpener();
  PatientView view;
  std::unique_ptr<TestLoader> loader;

  void SetUp() override {
    ASSERT_TRUE(server.Start());
    setenv("VORLOADER_COM_DIR", com.path.c_str(), 1);
    setenv("VORLOADER_UPDATE_URL", server.url().c_str(), 1);
    www.MakeFolder("fw");
    ASSERT_TRUE(testing_support::PackFirmware(www.Path("fw/amp180.hex"), "0a1b", "1.80", true));
    catalogue_fixtures::WriteFile(www.Path("vornet_verinfo.xml"),
                                  Catalogue("1.80", "amp180.hex", server.url() + "/fw"));
  }
  void TearDown() override {
    unsetenv("VORLOADER_COM_DIR");
    unsetenv("VORLOADER_UPDATE_URL");
  }

  TestLoader& Make(int options = 0) {
    const app::Options o(options);
    loader = std::make_unique<TestLoader>(o, firmware.Path(""), "", view, *opener);
    loader->link().m_sleep = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    return *loader;
  }
};

TEST_F(SimWorkflow, StartUpDownloadsTheFirmwareAndProgramsTheDevice) {
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--banner-length", "75", "--erase-ms", "50", "--restart-ms", "50"};
  testing_support::SimProcess sim(com.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  view.answers = {true};
  Make().RunStartupSequence();

  EXPECT_EQ(view.log, (Strings{"1 Com Ports Found.", "Checking Online..OK.", "1 Product definitions Found.",
                               "All Files found and Correct.", "   -Device Programed OK."}));
  EXPECT_EQ(view.mainStatus, "Program Loaded.");
  EXPECT_EQ(view.deviceStatus, "Device: VORnet Amp     ID: 11456    Version: V1.80");
  EXPECT_EQ(catalogue_fixtures::ReadFile(firmware.Path("amp180.hex")),
            catalogue_fixtures::ReadFile(www.Path("fw/amp180.hex")));
  ASSERT_TRUE(sim.WaitFor("restart", 5000));
  EXPECT_EQ(testing_support::JsonField(sim.Lines("image").back(), "verdict"), "good");
  EXPECT_EQ(testing_support::JsonField(sim.Lines("restart").back(), "version"), "1.80");
  EXPECT_EQ(testing_support::JsonField(sim.Lines("auth").back(), "verdict"), "answered");
}

TEST_F(SimWorkflow, RawBootRecoversADeviceThatOnlyAnswersInItsBootloader) {
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--raw-boot", "--banner-length", "75", "--erase-ms", "50", "--restart-ms", "50"};
  testing_support::SimProcess sim(com.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  Make().RunStartupSequence(false);
  loader->OnRawBoot();

  EXPECT_EQ(view.log.back(), "   -Device Programed OK.");
  EXPECT_EQ(view.deviceStatus, "Device: VORnet Amp     ID: 11456    Version: V1.80");
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_EQ(testing_support::JsonField(sim.Lines("restart").back(), "version"), "1.80");
}

TEST_F(SimWorkflow, TwoSessionsProgramTwoDevicesAtOnceSharingOnlyTheFirmwareSet) {
  testing_support::SimConfig first;
  first.extraArgs = {"--banner-length", "75", "--erase-ms", "50", "--restart-ms", "50", "--pace"};
  testing_support::SimConfig second = first;
  second.port = 2;
  second.id = "00002cc1";
  second.rates = {115200};
  testing_support::SimProcess simA(com.path, first);
  testing_support::SimProcess simB(com.path, second);
  ASSERT_TRUE(simA.Ready()) << simA.Error();
  ASSERT_TRUE(simB.Ready()) << simB.Error();

  app::Options options;
  app::FirmwareSet shared(options, firmware.Path(""));
  testing_support::RecordingView preparation;
  const device::PortList listed = app::ListPorts(*opener, preparation);
  ASSERT_EQ(listed.entries.size(), 2u);
  ASSERT_EQ(shared.RunCatalogueSteps(preparation, {}).usable, 1);

  struct Device {
    testing_support::RecordingView view;
    std::unique_ptr<app::DeviceSession> session;
  } devices[2];
  for (std::size_t i = 0; i < 2; ++i) {
    devices[i].view.answers = {true};
    // Each session keeps to its own port: it must never reach the other session's device.
    devices[i].session =
        std::make_unique<app::DeviceSession>(shared, devices[i].view, *opener, listed.entries[i]);
  }
  std::thread a([&] { devices[0].session->OnConnect(); });
  std::thread b([&] { devices[1].session->OnConnect(); });
  a.join();
  b.join();

  EXPECT_EQ(devices[0].session->lastResult(), RESULT_OK);
  EXPECT_EQ(devices[1].session->lastResult(), RESULT_OK);
  EXPECT_EQ(devices[0].view.deviceStatus, "Device: VORnet Amp     ID: 11456    Version: V1.80");
  EXPECT_EQ(devices[1].view.deviceStatus, "Device: VORnet Amp     ID: 11457    Version: V1.80");
  for (const testing_support::SimProcess* sim : {&simA, &simB}) {
    ASSERT_TRUE(sim->WaitFor("restart", 5000));
    EXPECT_EQ(testing_support::JsonField(sim->Lines("image").back(), "verdict"), "good");
  }
  // Each port was opened by the listing, then by its own session only: once at 57600 for the
  // first device, at 57600 and 115200 for the second.
  EXPECT_EQ(simA.Lines("open").size(), 2u);
  EXPECT_EQ(simB.Lines("open").size(), 3u);
}

TEST_F(SimWorkflow, CheckForUpdatesWithTheServerGoneUsesTheLocalCopy) {
  Make().RunStartupSequence();  // no device: catalogue and firmware arrive
  ASSERT_EQ(view.log.back(), "All Files found and Correct.");
  server.Stop();
  view.log.clear();
  loader->CheckForUpdates();
  EXPECT_EQ(view.log, (Strings{"Checking Online..Failed!", "1 Product definitions Found.",
                               "All Files found and Correct."}));
  EXPECT_EQ(view.mainStatus, "");
}

}  // namespace
}  // namespace app_tests
