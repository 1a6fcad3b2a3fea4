// The loader's device steps over the real serial transport against the simulator: the rate
// search, the Connect road through programming, and the faults each step must report.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "common/time_left.h"
#include "device/frame_codec.h"
#include "device/link.h"
#include "device/steps.h"
#include "image/firmware_decoder.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim/sim_process.h"

namespace sim_test {
namespace {

using testing_support::JsonField;
using testing_support::SimConfig;
using testing_support::SimProcess;
using testing_support::TempDir;

constexpr int kPort = 2;

// The device's transcript, for failure messages.
std::string AllLines(const SimProcess& sim) {
  std::string text;
  for (const auto& line : sim.TranscriptLines()) text += line + "\n";
  return text;
}

class SimStepsTest : public ::testing::Test {
 protected:
  TempDir dir{"vornet-steps-test"};
  std::unique_ptr<platform::PortOpener> opener;
  std::unique_ptr<device::Link> link;
  device::Identity id;
  testing_support::RecordingView view;
  const device::FirmwareTarget target{"amp.bin", "0a1b", "1.80", "VORnet Amp"};

  void SetUp() override {
    ::setenv("VORLOADER_COM_DIR", dir.path.c_str(), 1);
    opener = platform::MakeSystemPortOpener();
    link = std::make_unique<device::Link>(*opener);
    // The reboot wait polls once a second; a short pause keeps the tests quick.
    link->m_sleep = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    ASSERT_TRUE(testing_support::PackFirmware(dir.path + "/amp.bin", "0a1b", "1.80", true));
  }
  void TearDown() override { link->Close(); }

  static SimConfig Config(std::vector<std::string> fault) {
    SimConfig cfg;
    cfg.port = kPort;
    cfg.extraArgs = {"--banner-length", "75", "--erase-ms", "50", "--restart-ms", "100"};
    cfg.extraArgs.insert(cfg.extraArgs.end(), fault.begin(), fault.end());
    return cfg;
  }

  // The Connect road as the workflow takes it, up to the first step that fails.
  LoadResult Connect() {
    if (device::FindDeviceBaud(*link, id, kPort, view) != RESULT_OK) return RESULT_NO_SINGLE_DEVICE;
    if (LoadResult r = device::QueryDevice(*link, id); r != RESULT_OK) return r;
    if (LoadResult r = device::AuthenticateDevice(*link, id); r != RESULT_OK) return r;
    if (device::DeviceTagOf(id) != "VOR_T0a1b_V") return RESULT_NO_HEX_FILE;
    image::MemImage img;
    if (image::DecodeFirmwareFile(dir.path + "/amp.bin", img) < 0) return RESULT_HEX_OPEN_FAILED;
    return device::ProgramDevice(*link, id, target, img, view);
  }
};

TEST_F(SimStepsTest, FindsADeviceThatAnswersOnlyAt38400) {
  SimConfig cfg = Config({});
  cfg.rates = {38400};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  EXPECT_EQ(device::FindDeviceBaud(*link, id, kPort, view), RESULT_OK);
  EXPECT_TRUE(link->m_bCommOpen());
  EXPECT_EQ(view.Calls("port: "), (std::vector<std::string>{"port: Connected Com 2 at Baud 57600",
                                                            "port: Connected Com 2 at Baud 115200",
                                                            "port: Connected Com 2 at Baud 38400"}));
  EXPECT_EQ(id.m_strDevVersion, "1.20");
  EXPECT_EQ(id.m_nDevId, 11456u);
  const auto answered = sim.Lines("identify");
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(JsonField(answered[0], "rate"), "38400");
}

TEST_F(SimStepsTest, ProgramsAPackedEncryptedFirmwareAndSeesTheNewVersion) {
  SimProcess sim(dir.path, Config({}));
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  ASSERT_EQ(Connect(), RESULT_OK);
  EXPECT_EQ(id.m_strDevVersion, "1.80");
  EXPECT_EQ(JsonField(sim.Lines("auth").at(0), "timestamp"), "ok");

  // The device received exactly the decrypted file, its padding after the last record included.
  image::MemImage decoded;
  ASSERT_EQ(image::DecodeFirmwareFile(dir.path + "/amp.bin", decoded), image::DECODE_ENCRYPTED);
  const std::string img = sim.Lines("image").at(0);
  EXPECT_EQ(JsonField(img, "verdict"), "good");
  EXPECT_EQ(JsonField(img, "length"), std::to_string(decoded.GetLength()));
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", testing_support::Crc32(decoded.Bytes()));
  EXPECT_EQ(JsonField(img, "crc32"), crc);
}

TEST_F(SimStepsTest, RawBootCatchesTheBannerAfterTheLoadersOwnDiscardAndProgramsTheDevice) {
  SimConfig cfg = Config({"--raw-boot"});
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  // The loader lists its ports first: opening and closing at once powers nothing on.
  device::PortList ports;
  ASSERT_TRUE(device::EnumerateComPorts(*opener, ports, view));

  ASSERT_EQ(device::OpenComPort(*link, kPort, 57600), RESULT_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the user reads the message box
  device::PreparePort(*link, 10000);
  const long got = device::ReadReply(*link, 75);
  ASSERT_EQ(got, 75) << AllLines(sim);
  EXPECT_EQ(device::CheckBootBanner(std::span<const std::uint8_t>(link->m_rxBuf.data(), 75), 11),
            device::ReplyCheck::Ok);

  ASSERT_EQ(device::EraseFlash(*link, view), RESULT_OK);
  image::MemImage img;
  ASSERT_EQ(image::DecodeFirmwareFile(dir.path + "/amp.bin", img), image::DECODE_ENCRYPTED);
  ASSERT_EQ(device::SendImage(*link, img, view), RESULT_OK);
  ASSERT_TRUE(sim.WaitFor("restart", 5000));
  EXPECT_EQ(device::IdentifyDevice(*link, id, true), RESULT_OK);
  EXPECT_EQ(id.m_strDevVersion, "1.80");
  EXPECT_EQ(device::QueryDevice(*link, id), RESULT_OK);
}

struct StepFault {
  const char* name;
  std::vector<std::string> option;
  LoadResult expected;
  const char* transcriptKind;  // a line the device must have written, or ""
  const char* mainStatus;      // the last main status, or ""
};

class SimStepFaultTest : public SimStepsTest, public ::testing::WithParamInterface<StepFault> {};

TEST_P(SimStepFaultTest, EndsWithTheStepsResult) {
  const StepFault& f = GetParam();
  SimProcess sim(dir.path, Config(f.option));
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  EXPECT_EQ(Connect(), f.expected);
  if (*f.transcriptKind) {
    EXPECT_TRUE(sim.WaitFor(f.transcriptKind, 2000)) << f.transcriptKind;
  }
  if (*f.mainStatus) {
    EXPECT_EQ(view.mainStatus, f.mainStatus);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimStepFaultTest,
    ::testing::Values(
        StepFault{"WrongSignature", {"--wrong-signature"}, RESULT_FOREIGN_DEVICE, "", ""},
        StepFault{"NoAuthReply", {"--no-auth-reply"}, RESULT_BAD_READ, "", ""},
        StepFault{"BadAuthChecksum", {"--bad-auth-checksum"}, RESULT_BAD_CHECKSUM, "", ""},
        StepFault{"OtherBannerCode", {"--banner-code", "0a1c"}, RESULT_BAD_DEVICE_CODE, "decline", ""},
        StepFault{"EraseUnanswered", {"--no-erase-reply"}, RESULT_ERASE_FAILED, "", "Erased Failed !!"},
        StepFault{
            "NeverRestarts", {"--never-restart"}, RESULT_PROGRAM_FAILED, "", "Waiting for device to reboot"},
        StepFault{"RestartsAfterPolls", {"--restart-after-polls", "3"}, RESULT_OK, "restart", ""}),
    [](const auto& param) { return std::string(param.param.name); });

// Against a device that takes the stream at the line rate, the time left shown is the time the
// rest of the stream still takes: compared, at a quarter, half and three quarters of the way,
// with the moment the device saw the end of the stream, in the same run.
TEST_F(SimStepsTest, TimeLeftIsTheTimeTheRestOfTheStreamTakes) {
  struct Sample {
    double at;  // steady clock seconds
    TimeLeft estimate;
  };
  struct SamplingView : testing_support::RecordingView {
    std::vector<Sample> samples;
    void progress(const StreamProgress& p) override {
      const double now =
          std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
      samples.push_back({now, EstimateTimeLeft(p)});
    }
  } sampling;
  // Large enough that the loader is still handing chunks to the port at three quarters: a
  // pseudo-terminal holds some 20 KB ahead of the line and cannot say how much.
  ASSERT_TRUE(testing_support::PackFirmware(dir.path + "/big.bin", "0a1b", "1.80", true, 32768));
  SimConfig cfg = Config({"--pace"});
  cfg.rates = {115200};
  SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();
  ASSERT_EQ(device::FindDeviceBaud(*link, id, kPort, view), RESULT_OK);
  ASSERT_EQ(device::RequestBoot(*link, id, "0a1b"), RESULT_OK);
  image::MemImage img;
  ASSERT_GE(image::DecodeFirmwareFile(dir.path + "/big.bin", img), 0);
  ASSERT_EQ(device::EraseAndStream(*link, img, target, device::EraseReport::MarkFailure, sampling),
            RESULT_OK);
  ASSERT_TRUE(sim.WaitFor("stream-end", 5000)) << AllLines(sim);
  // The steady clock is the monotonic clock the simulator stamps its lines with.
  const double end = std::stod(JsonField(sim.Lines("stream-end").back(), "mono"));

  for (const double quarter : {0.25, 0.5, 0.75}) {
    const auto sample = std::find_if(sampling.samples.begin(), sampling.samples.end(),
                                     [&](const Sample& s) { return s.estimate.share >= quarter; });
    ASSERT_NE(sample, sampling.samples.end()) << quarter;
    ASSERT_TRUE(sample->estimate.seconds.has_value()) << quarter;
    const double truth = end - sample->at;
    EXPECT_NEAR(*sample->estimate.seconds, truth, 0.2 * truth)
        << "at " << quarter * 100 << " %: " << sample->estimate.share * 100 << " % shown";
  }
  // The share reaches the whole only once the stream has left.
  EXPECT_DOUBLE_EQ(sampling.samples.back().estimate.share, 1.0);
}

}  // namespace
}  // namespace sim_test
