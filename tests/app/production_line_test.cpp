// The production line: its stop levels, outcomes, summary and exit status, over scripted
// devices whose views hold their sessions at a chosen point until the test lets them go on.

#include "app/production_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/app/holding_view.h"
#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;

// Each port its own scripted opener: the sessions' threads never share one.
class PortsApart : public platform::PortOpener {
 public:
  testing_support::ScriptedOpener& operator[](int number) { return m_openers[number]; }
  std::unique_ptr<platform::SerialPort> Open(int number, platform::OpenError& error) override {
    return m_openers.at(number).Open(number, error);
  }
  std::string PathOf(int number) const override { return m_openers.at(number).PathOf(number); }

 private:
  std::map<int, testing_support::ScriptedOpener> m_openers;  // all made before the line runs
};

class ProductionLineTest : public ::testing::Test {
 protected:
  testing_support::TempDir folder{"vor-line"};
  PortsApart opener;
  std::map<int, testing_support::ScriptedDevice> devices;
  std::unique_ptr<app::FirmwareSet> firmware;

  void SetUp() override {
    catalogue_fixtures::WriteFile(folder.Path("vornet_verinfo.xml"), Catalogue("1.30"));
    catalogue_fixtures::WriteFile(folder.Path("amp.hex"),
                                  catalogue_fixtures::EncryptedFirmware("VOR_T0a1b_V1.30"));
    const app::Options offline(1);
    firmware = std::make_unique<app::FirmwareSet>(offline, folder.Path(""), "");
    testing_support::RecordingView preparation;
    ASSERT_EQ(firmware->RunCatalogueSteps(preparation, {}).usable, 1);
  }

  // A device running 1.20 on port `number`, programmed to 1.30.
  void Device(int number) {
    testing_support::ScriptedDevice& dev = devices[number];
    dev.script().label = "VN-Amp V1.20";
    dev.script().labelAfterImage = "VN-Amp V1.30";
    dev.Attach(opener[number].Line(number));
  }

  app::LinePort& Add(app::ProductionLine& line, int number, LoaderView& view) {
    Device(number);
    app::LinePort& port = line.AddPort(PortEntry(number, opener.PathOf(number)), view);
    port.session().link().m_sleep = [](int) {};  // the reboot polls need not wait
    return port;
  }
};

TEST(ProductionLineSummary, SummaryAndExitStatusNameTheFirstPortNotProgrammed) {
  const auto port = [](int n) { return PortEntry(n, "/dev/x" + std::to_string(n)); };
  struct Case {
    std::vector<app::LineOutcome> outcomes;
    std::string summary;
    int status;
  } cases[] = {
      {{{port(3), false, 0}, {port(1), false, 0}},
       "summary: 2 devices: 2 programmed, 0 failed, 0 refused",
       0},
      {{{port(3), false, 0}, {port(1), false, 13}, {port(2), false, 9}},
       "summary: 3 devices: 1 programmed, 1 failed, 1 refused; not programmed: COM1 13, COM2 9",
       13},
      {{{port(5), false, 15}, {port(4), true, 0}},
       "summary: 2 devices: 0 programmed, 1 failed, 1 refused; not programmed: COM5 15, COM4 stopped",
       15},
      {{{port(4), true, 0}, {port(5), false, 2}},
       "summary: 2 devices: 0 programmed, 2 failed, 0 refused; not programmed: COM4 stopped, COM5 2",
       130},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::SummaryLine(c.outcomes), c.summary);
    EXPECT_EQ(app::LineExitStatus(c.outcomes, 130), c.status) << c.summary;
    // The line's running counts are the summary's.
    app::LineCounts counts;
    for (const app::LineOutcome& o : c.outcomes) counts.Add(o);
    EXPECT_EQ(c.summary.substr(0, c.summary.find(';')),
              "summary: " + std::to_string(counts.devices) +
                  " devices: " + std::to_string(counts.programmed) + " programmed, " +
                  std::to_string(counts.failed) + " failed, " + std::to_string(counts.refused) + " refused");
  }
}

// COM1 is being programmed (its erase went out) and COM2 waits at its question when the stop
// comes (if any).
TEST_F(ProductionLineTest, EachStopLevelStopsWhatItNames) {
  struct Case {
    app::StopLevel level;
    bool com1Stopped;
    bool com2Stopped;
    std::string summary;
    int status;
    std::vector<int> cut;
  } cases[] = {
      {app::StopLevel::None, false, false, "summary: 2 devices: 2 programmed, 0 failed, 0 refused", 0, {}},
      {app::StopLevel::Idle,
       false,
       true,
       "summary: 2 devices: 1 programmed, 1 failed, 0 refused; not programmed: COM2 stopped",
       143,
       {}},
      {app::StopLevel::All,
       true,
       true,
       "summary: 2 devices: 0 programmed, 2 failed, 0 refused; not programmed: COM1 stopped, COM2 stopped",
       143,
       {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary);
    devices.clear();
    HoldingView programming(HoldAt::Erasing);
    HoldingView asking(HoldAt::Question);
    std::vector<bool> programmingSeen;
    app::ProductionLine line(*firmware, opener);
    line.SetOnProgramming([&programmingSeen](bool any) { programmingSeen.push_back(any); });
    app::LinePort& com1 = Add(line, 1, programming);
    Add(line, 2, asking);

    line.Start();
    ASSERT_TRUE(programming.WaitHeld());
    ASSERT_TRUE(asking.WaitHeld());
    EXPECT_EQ(com1.state(), app::PortState::Programming);
    EXPECT_TRUE(line.anyProgramming());
    if (c.level != app::StopLevel::None) line.RequestStop(c.level);
    EXPECT_EQ(line.stopLevel(), c.level);
    programming.Release();
    asking.Release();
    line.Wait();

    const std::vector<app::LineOutcome> outcomes = line.Outcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].stopped, c.com1Stopped);
    EXPECT_EQ(outcomes[1].stopped, c.com2Stopped);
    EXPECT_EQ(line.Summary(), c.summary);
    EXPECT_EQ(line.ExitStatus(143), c.status);
    std::vector<int> cut;
    for (const PortEntry& port : line.CutWhileProgramming()) cut.push_back(port.number);
    EXPECT_EQ(cut, c.cut);
    const app::LineCounts counts = line.counts();
    EXPECT_EQ(counts.devices, 2);
    EXPECT_EQ(counts.programmed, static_cast<int>(!c.com1Stopped) + static_cast<int>(!c.com2Stopped));
    // A stopped session never reached its device's flash; a programmed one wrote the image.
    EXPECT_EQ(devices[2].image().empty(), c.com2Stopped);
    EXPECT_EQ(com1.history(), (std::vector<app::PortState>{app::PortState::Ready, app::PortState::Checking,
                                                           app::PortState::Programming,
                                                           app::PortState::Checking, app::PortState::Ended}));
    EXPECT_FALSE(line.anyProgramming());
    ASSERT_FALSE(programmingSeen.empty());
    EXPECT_TRUE(programmingSeen.front());
    EXPECT_FALSE(programmingSeen.back());
  }
}

// A stop that reaches a port as its programming begins, before the erase command is written,
// is a stop before programming: the device is declined, keeps its firmware, and is no cut.
TEST_F(ProductionLineTest, AStopAsProgrammingBeginsDeclinesTheDeviceAndCutsNothing) {
  HoldingView view(HoldAt::Programming);
  app::ProductionLine line(*firmware, opener);
  app::LinePort& com1 = Add(line, 1, view);
  line.Start();
  ASSERT_TRUE(view.WaitHeld());
  EXPECT_EQ(com1.state(), app::PortState::Programming);
  line.RequestStop(app::StopLevel::All);
  view.Release();
  line.Wait();

  ASSERT_EQ(line.Outcomes().size(), 1u);
  EXPECT_TRUE(line.Outcomes()[0].stopped);
  EXPECT_FALSE(line.Outcomes()[0].cut);
  EXPECT_TRUE(line.CutWhileProgramming().empty());
  EXPECT_EQ(app::CutNote(line.CutWhileProgramming()), "");
  const Strings& seen = devices[1].seen();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "erase"), 0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "decline");
  EXPECT_TRUE(devices[1].image().empty());
}

TEST(RunWasCut, OnlyAStopThatMetAnErasedDeviceCutsIt) {
  struct Case {
    bool stopped, stopMetProgramming, eraseWritten, cut;
  } cases[] = {
      {true, true, true, true},     // stopped mid-erase or mid-stream
      {true, true, false, false},   // the stop was seen before the erase: declined
      {true, false, true, false},   // stopped after programming (the restart wait)
      {false, true, true, false},   // the stop let it finish
      {true, false, false, false},  // stopped before programming
  };
  for (const Case& c : cases)
    EXPECT_EQ(app::RunWasCut(c.stopped, c.stopMetProgramming, c.eraseWritten), c.cut)
        << c.stopped << c.stopMetProgramming << c.eraseWritten;
}

TEST_F(ProductionLineTest, AStopBeforeAPortStartsReachesItAtOnceAndALevelNeverDrops) {
  HoldingView view(HoldAt::Nowhere);
  app::ProductionLine line(*firmware, opener);
  Add(line, 1, view);
  line.RequestStop(app::StopLevel::All);
  line.RequestStop(app::StopLevel::Idle);
  EXPECT_EQ(line.stopLevel(), app::StopLevel::All);
  line.Run();

  ASSERT_EQ(line.Outcomes().size(), 1u);
  EXPECT_TRUE(line.Outcomes()[0].stopped);
  EXPECT_FALSE(line.Outcomes()[0].cut);
  EXPECT_TRUE(devices[1].image().empty());
  EXPECT_TRUE(view.Calls("ask: ").empty());
}

TEST_F(ProductionLineTest, EachSessionSearchesItsOwnPortOnly) {
  // COM2 has no device; its session must not find COM1's.
  HoldingView first(HoldAt::Nowhere);
  HoldingView second(HoldAt::Nowhere);
  app::ProductionLine line(*firmware, opener);
  Add(line, 1, first);
  opener[2].Line(2);  // a port with nothing on it
  line.AddPort(PortEntry(2, opener.PathOf(2)), second);
  line.Run();

  const std::vector<app::LineOutcome> outcomes = line.Outcomes();
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].code, RESULT_OK);
  EXPECT_FALSE(outcomes[1].stopped);
  EXPECT_NE(outcomes[1].code, RESULT_OK);
  EXPECT_EQ(opener[1].attempts, std::vector<int>(opener[1].attempts.size(), 1));
  EXPECT_EQ(opener[2].attempts, std::vector<int>(opener[2].attempts.size(), 2));
  EXPECT_FALSE(opener[2].attempts.empty());
}

// A session tells whoever runs it what it does, in the order it happens, beside its view: the
// firmware chosen, programming begun before the view hears of it and ended after, and the
// run's end with its facts.
TEST_F(ProductionLineTest, ASessionTellsItsEventsBesideItsView) {
  struct Told final : app::SessionEvents {
    explicit Told(testing_support::RecordingView& view) : calls(view.calls) {}
    void programmingBegan() override { calls.push_back("event: programming began"); }
    void programmingEnded() override { calls.push_back("event: programming ended"); }
    void firmwareChosen(int row, const std::string& version) override {
      calls.push_back("event: row " + std::to_string(row) + " V" + version);
    }
    void runFinished(const app::SessionRunEnd& e) override {
      end = e;
      calls.push_back("event: run finished");
    }
    std::vector<std::string>& calls;
    app::SessionRunEnd end;
  };
  Device(1);
  testing_support::RecordingView view;
  view.answers = {true};
  Told told(view);
  app::DeviceSession session(*firmware, view, opener[1], PortEntry(1, opener.PathOf(1)));
  session.link().m_sleep = [](int) {};
  session.SetEvents(&told);
  session.OnConnect();

  std::vector<std::string> order;
  for (const std::string& call : view.calls)
    if (call.starts_with("event: ") || call.starts_with("transfer: ")) order.push_back(call);
  EXPECT_EQ(order, (Strings{"event: row 0 V1.30", "event: programming began", "transfer: on", "transfer: off",
                            "event: programming ended", "event: run finished"}));
  EXPECT_EQ(told.end.result, RESULT_OK);
  EXPECT_TRUE(told.end.eraseWritten);
  EXPECT_EQ(told.end.device.version, "1.30");
  EXPECT_EQ(told.end.detail, "");
}

}  // namespace
}  // namespace app_tests
