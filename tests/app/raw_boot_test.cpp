// Raw boot: the banner the bootloader sends at power-on picks the firmware.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;

const std::string kSwitchOn = "tell: Switch Device off.   \r\n\r\nPress Ok Then Switch Device On.";
const std::string kDone =
    "tell: Programing Complete.\r\n\r\nSwitch Device off and On.\r\n\r\nPress Ok when ready.";

class RawBootTest : public WorkflowTest {
 protected:
  // Start-up without connecting; the device then sits in its bootloader, powered on.
  void Prepare() {
    Firmware("1.30");
    Device("1.20", "1.30");
    Make().RunStartupSequence(false);
    view.calls.clear();
    view.log.clear();
  }
  void PowerOn() { dev.PowerOnInBootloader(opener.Line(1)); }
};

TEST_F(RawBootTest, ProgramsTheProductOfTheBannerAndShowsTheNewIdentity) {
  Prepare();
  PowerOn();
  loader->OnRawBoot();
  EXPECT_EQ(view.log, Strings{"   -Device Programed OK."});
  EXPECT_EQ(view.Calls("tell: "), (Strings{kSwitchOn, kDone}));
  EXPECT_TRUE(view.Calls("ask: ").empty());  // no version comparison, no confirmation
  EXPECT_EQ(view.mainStatus, "Program Loaded.");
  EXPECT_EQ(view.deviceStatus, "Device: VN-Amp     ID: 11456    Version: V1.30");
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_TRUE(view.connectOn);
  EXPECT_FALSE(opener.Line(1).open);
  // Only 57600 was used, and no boot request was sent: the banner came by itself.
  EXPECT_EQ(opener.Line(1).Events("configure "), Strings{"configure 57600"});
  EXPECT_EQ(std::count(dev.seen().begin(), dev.seen().end(), "boot"), 0);
  EXPECT_EQ(view.calls.front(), "rawboot: off");
  // The wait for the banner counts down from ten seconds and ends at zero.
  ASSERT_FALSE(view.countdowns.empty());
  EXPECT_EQ(view.countdowns.front(), std::make_pair(10, 10));
  EXPECT_EQ(view.countdowns.back(), std::make_pair(0, 10));
}

class RawBootFault;

struct RawFault {
  const char* name;
  void (*setup)(RawBootFault&, testing_support::DeviceScript&);
  std::string logLine;
  bool rawBoot;
};

class RawBootFault : public RawBootTest, public ::testing::WithParamInterface<RawFault> {
 public:
  void PowerOnNow() { PowerOn(); }
  std::string Folder() { return folder.Path(""); }
};

TEST_P(RawBootFault, EndsWithItsCode) {
  const RawFault& f = GetParam();
  Prepare();
  f.setup(*this, dev.script());
  loader->OnRawBoot();
  EXPECT_EQ(view.log, Strings{f.logLine});
  EXPECT_EQ(view.rawBootOn, f.rawBoot);
  EXPECT_EQ(view.mainStatus, "..Failed..");
  EXPECT_FALSE(opener.Line(1).open);
}

INSTANTIATE_TEST_SUITE_P(Table, RawBootFault,
                         ::testing::Values(RawFault{"NoBanner", [](RawBootFault&, auto&) {},
                                                    "E02-Cannot Connect to a Single Device.", true},
                                           RawFault{"ShortBanner",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.bannerLen = 10;
                                                      fx.PowerOnNow();
                                                    },
                                                    "E02-Cannot Connect to a Single Device.", true},
                                           RawFault{"ForeignBanner",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.bannerHead = {0x56, 0x51, 0x00, 0x01};
                                                      fx.PowerOnNow();
                                                    },
                                                    "E06-Not a VOR Device.", true},
                                           RawFault{"UnknownProduct",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.bannerCode = {0x0b, 0x00};
                                                      fx.PowerOnNow();
                                                    },
                                                    "E08-No Hex file for Device.", false},
                                           RawFault{"FileGone",
                                                    [](RawBootFault& fx, auto&) {
                                                      std::remove((fx.Folder() + "amp.hex").c_str());
                                                      fx.PowerOnNow();
                                                    },
                                                    "E11-Failed to Open Correct Hex File.", false},
                                           RawFault{"EraseUnanswered",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.eraseLen = 0;
                                                      fx.PowerOnNow();
                                                    },
                                                    "E13-Device Failed to Erase Flash.", true},
                                           RawFault{"SilentAfterPowerCycle",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.silentPollsAfterImage =
                                                          20;  // every one of the twenty tries
                                                      fx.PowerOnNow();
                                                    },
                                                    "E14-Device Failed to Program correctly.", true},
                                           RawFault{"OldVersionBack",
                                                    [](RawBootFault& fx, auto& s) {
                                                      s.labelAfterImage = "VN-Amp V1.20";
                                                      fx.PowerOnNow();
                                                    },
                                                    "E14-Device Failed to Program correctly.", true}),
                         [](const auto& tpi) { return std::string(tpi.param.name); });

TEST_F(RawBootTest, TheRecordNamesTheIdentityTheDeviceGaveAfterItsRestart) {
  struct Case {
    const char* what;
    const char* labelAfterImage;
    int code;
  };
  for (const Case& c :
       {Case{"programmed", "VN-Amp V1.30", 0}, Case{"old version back", "VN-Amp V1.20", 14}}) {
    SCOPED_TRACE(c.what);
    Prepare();
    auto sink = std::make_shared<RecordingSink>();
    loader->session().SetRecordSink(sink);
    dev.script().labelAfterImage = c.labelAfterImage;
    PowerOn();
    loader->OnRawBoot();
    ASSERT_EQ(sink->records.size(), 1u);
    const app::RunRecord& r = sink->records[0];
    EXPECT_EQ(r.workflow, "raw-boot");
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.deviceId, 11456u);
    EXPECT_EQ(r.product, "VN-Amp ");
    EXPECT_FALSE(r.versionBefore.has_value()) << "the bootloader names no version";
    EXPECT_EQ(r.versionAfter, std::string(c.labelAfterImage).substr(8));
    EXPECT_EQ(r.file, "amp.hex");
    EXPECT_EQ(r.eraseBegan, true);
  }
}

TEST_F(RawBootTest, ADeviceStillStartingAfterThePowerCycleIsAskedAgain) {
  // "Press Ok when ready" answered at once (a script, a hurried user): the device needs a few
  // more seconds. It is asked once a second, not once and then given up on.
  Prepare();
  dev.script().silentPollsAfterImage = 3;
  std::vector<int> sleeps;
  loader->link().m_sleep = [&sleeps](int ms) { sleeps.push_back(ms); };
  PowerOn();
  loader->OnRawBoot();
  EXPECT_EQ(view.log, Strings{"   -Device Programed OK."});
  EXPECT_EQ(sleeps, (std::vector<int>{1000, 1000, 1000}));
  EXPECT_EQ(view.deviceStatus, "Device: VN-Amp     ID: 11456    Version: V1.30");
}

TEST_F(RawBootTest, AFailedEraseDoesNotClaimErasedFailed) {
  Prepare();
  dev.script().eraseLen = 0;
  PowerOn();
  loader->OnRawBoot();
  EXPECT_TRUE(view.Calls("main: Erased Failed !!").empty());
  EXPECT_EQ(view.Calls("main: Waiting for Erase to Complete.").size(), 1u);
}

// A bootloader whose banner was caught waits for the erase command; when the loader will not
// program the device, it is sent back to its firmware, never left waiting or erased.
TEST_F(RawBootTest, ABootloaderItWillNotProgramIsDeclined) {
  struct Case {
    const char* what;
    bool removeFile;
    std::array<std::uint8_t, 2> bannerCode;
    std::string logLine;
  } cases[] = {
      {"no firmware for its product", false, {0x0b, 0x00}, "E08-No Hex file for Device."},
      {"its firmware file gone", true, {0x0a, 0x1b}, "E11-Failed to Open Correct Hex File."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dev = testing_support::ScriptedDevice{};
    Prepare();
    auto sink = std::make_shared<RecordingSink>();
    loader->session().SetRecordSink(sink);
    dev.script().bannerCode = c.bannerCode;
    if (c.removeFile) std::remove(folder.Path("amp.hex").c_str());
    PowerOn();
    loader->OnRawBoot();
    EXPECT_EQ(view.log, Strings{c.logLine});
    EXPECT_EQ(dev.seen(), Strings{"decline"});
    EXPECT_TRUE(dev.image().empty());
    ASSERT_EQ(sink->records.size(), 1u);
    EXPECT_EQ(sink->records[0].eraseBegan, false);
  }
}

TEST_F(RawBootTest, APortThatDoesNotOpenIsCodeOne) {
  Prepare();
  opener.Remove(1);
  loader->OnRawBoot();
  EXPECT_EQ(view.log, Strings{"E01-Failed to Open Com Port."});
  EXPECT_TRUE(view.Calls("tell: ").empty());
}

}  // namespace
}  // namespace app_tests
