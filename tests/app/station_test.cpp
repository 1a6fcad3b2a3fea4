// The station over a scripted port: how often it opens a port another program holds, when a
// device that fell silent is still the same device, and what a stop as programming begins
// leaves of the device and of the station's summary.

#include "app/station/station.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/record/file_record_sink.h"
#include "tests/app/holding_view.h"
#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using app::PortState;

// The scripted opener behind a mutex, for the station's port thread to open through while the
// test waits for its opens; every open attempt's time is kept.
class GuardedOpener : public platform::PortOpener {
 public:
  // The scripted opener itself, to set up before the station runs and to look at after.
  testing_support::ScriptedOpener& scripted() { return m_scripted; }

  std::unique_ptr<platform::SerialPort> Open(int number, platform::OpenError& error) override {
    std::lock_guard lock(m_mutex);
    m_attempts.push_back(Clock::now());
    m_changed.notify_all();
    return m_scripted.Open(number, error);
  }
  std::string PathOf(int number) const override { return m_scripted.PathOf(number); }

  std::size_t AttemptCount() {
    std::lock_guard lock(m_mutex);
    return m_attempts.size();
  }
  // False when there were not `n` attempts within a minute (a hang, not a matter of speed).
  bool WaitAttempts(std::size_t n) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 1min, [&] { return m_attempts.size() >= n; });
  }
  std::vector<Clock::time_point> Attempts() {
    std::lock_guard lock(m_mutex);
    return m_attempts;
  }

 private:
  testing_support::ScriptedOpener m_scripted;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Clock::time_point> m_attempts;
};

// What the station tells of port 1: its states as they change, and its device runs.
class Watch {
 public:
  void Status(const app::StationPortStatus& status) {
    if (status.port.number != 1) return;
    std::lock_guard lock(m_mutex);
    if (!m_states.empty() && m_states.back() != status.state) {
      // Every change the station tells is one its port machine allows.
      const bool allowed = std::ranges::any_of(app::StationTransitions(), [&](const app::PortTransition& t) {
        return t.from == m_states.back() && t.to == status.state;
      });
      EXPECT_TRUE(allowed) << app::PortStateName(m_states.back()) << " -> "
                           << app::PortStateName(status.state);
    }
    if (m_states.empty() || m_states.back() != status.state) m_states.push_back(status.state);
    if (status.state == PortState::Programming) m_target = status.device.versionTarget;
    m_changed.notify_all();
  }
  void Outcome(const app::StationOutcome& outcome) {
    std::lock_guard lock(m_mutex);
    m_outcomes.push_back(outcome);
    m_changed.notify_all();
  }
  // Waits until `ready` holds of the states and the number of runs; false after a minute.
  bool WaitFor(const std::function<bool(const std::vector<PortState>&, std::size_t)>& ready) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 1min, [&] { return ready(m_states, m_outcomes.size()); });
  }
  std::vector<PortState> States() {
    std::lock_guard lock(m_mutex);
    return m_states;
  }
  // The version the last device being programmed was to get, as its status said.
  std::string Target() {
    std::lock_guard lock(m_mutex);
    return m_target;
  }
  // For another station's port.
  void Reset() {
    std::lock_guard lock(m_mutex);
    m_states.clear();
    m_outcomes.clear();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<PortState> m_states;
  std::vector<app::StationOutcome> m_outcomes;
  std::string m_target;
};

// Waits until `ready` holds; false after a minute (a hang, not a matter of speed).
bool WaitUntil(const std::function<bool()>& ready) {
  for (const auto end = Clock::now() + 1min; Clock::now() < end; std::this_thread::sleep_for(5ms))
    if (ready()) return true;
  return false;
}

class StationTest : public ::testing::Test {
 protected:
  testing_support::TempDir folder{"vor-station"};
  GuardedOpener opener;
  testing_support::ScriptedDevice dev;
  std::atomic<bool> silent{false};  // the device answers nothing, as while it restarts
  std::atomic<int> heard{0};        // what the device was asked while not silent
  std::unique_ptr<app::FirmwareSet> firmware;
  Watch watch;

  void SetUp() override {
    catalogue_fixtures::WriteFile(folder.Path("vornet_verinfo.xml"), Catalogue("1.30"));
    catalogue_fixtures::WriteFile(folder.Path("amp.hex"),
                                  catalogue_fixtures::EncryptedFirmware("VOR_T0a1b_V1.30"));
    firmware = std::make_unique<app::FirmwareSet>(app::Options(app::kOptionOffline), folder.Path(""), "");
    testing_support::RecordingView preparation;
    ASSERT_EQ(firmware->RunCatalogueSteps(preparation, {}).usable, 1);
  }

  // A device running 1.20 on port 1 (to be programmed to 1.30) that `silent` can quieten.
  void Device() {
    dev.script().label = "VN-Amp V1.20";
    dev.script().labelAfterImage = "VN-Amp V1.30";
    testing_support::ScriptedLine& line = opener.scripted().Line(1);
    dev.Attach(line);
    line.respond = [this, answer = line.respond](std::span<const std::uint8_t> written, int rate) {
      if (silent) return std::vector<std::uint8_t>{};
      ++heard;
      return answer(written, rate);
    };
  }

  // A station polling every `every`, its records in records.jsonl, watched.
  std::unique_ptr<app::Station> Make(std::chrono::milliseconds every) {
    auto station = std::make_unique<app::Station>(*firmware, opener);
    station->SetPollInterval(every);
    station->SetRecordSink(std::make_shared<app::FileRecordSink>(folder.Path("records.jsonl")));
    station->SetObserver([this](const app::StationPortStatus& s) { watch.Status(s); });
    station->SetOnOutcome([this](const app::StationOutcome& o) { watch.Outcome(o); });
    return station;
  }

  std::size_t RecordLines() {
    std::ifstream in(folder.Path("records.jsonl"));
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }

  long Seen(const std::string& what) const { return static_cast<long>(std::ranges::count(dev.seen(), what)); }
};

// A port another program holds is opened once a poll, not over and over while it is held.
TEST_F(StationTest, APortHeldByAnotherProgramIsTriedOncePerPoll) {
  constexpr auto kEvery = 200ms;
  opener.scripted().Line(1);
  opener.scripted().BusyFor(1, 1000000);
  testing_support::RecordingView view;
  auto station = Make(kEvery);
  station->AddPort(PortEntry(1, opener.PathOf(1)), view);
  station->Start();
  ASSERT_TRUE(opener.WaitAttempts(4));
  station->RequestStop(app::StopLevel::All);
  station->Wait();

  const std::vector<Clock::time_point> attempts = opener.Attempts();
  for (std::size_t i = 1; i < attempts.size(); ++i)
    EXPECT_GE(attempts[i] - attempts[i - 1], kEvery) << "open " << i;
  EXPECT_TRUE(std::ranges::count(watch.States(), PortState::PortGone) > 0);
  EXPECT_TRUE(station->Outcomes().empty());
}

// A programmed device that stays plugged in and falls silent for a while (a slow restart) is the
// same device when it answers again: no second run, no second record.
TEST_F(StationTest, ADeviceSilentThroughARestartIsNotRunAgain) {
  Device();
  HoldingView view(HoldAt::Nowhere);
  auto station = Make(100ms);
  station->AddPort(PortEntry(1, opener.PathOf(1)), view);
  station->Start();
  ASSERT_TRUE(watch.WaitFor([](const auto&, std::size_t runs) { return runs == 1; }));
  silent = true;
  // Two silent polls: it counts as gone, and the port waits for a device.
  ASSERT_TRUE(watch.WaitFor([](const std::vector<PortState>& s, std::size_t) {
    return s.size() >= 2 && s[s.size() - 2] == PortState::Programmed && s.back() == PortState::Waiting;
  }));
  const std::size_t before = watch.States().size();
  silent = false;
  ASSERT_TRUE(watch.WaitFor(
      [before](const std::vector<PortState>& s, std::size_t runs) { return s.size() > before || runs > 1; }));
  station->RequestStop(app::StopLevel::All);
  station->Wait();

  const std::vector<PortState> states = watch.States();
  ASSERT_GT(states.size(), before);
  EXPECT_EQ(states[before], PortState::Programmed) << "back as the device it was";
  EXPECT_EQ(watch.Target(), "1.30") << "the version its session chose";
  EXPECT_EQ(station->Outcomes().size(), 1u);
  EXPECT_EQ(station->Outcomes()[0].device.versionAfter, "1.30");
  EXPECT_EQ(Seen("boot"), 1);
  EXPECT_EQ(RecordLines(), 1u);
}

// The same ID answering after its port's node changed (an adapter pulled out and plugged in
// again) is a device plugged in anew: it is run.
TEST_F(StationTest, TheSameIdAfterANodeChangeIsRunAgain) {
  const std::string port = folder.Path("COM1");
  const std::string first = folder.Path("tty-a");
  const std::string second = folder.Path("tty-b");
  testing_support::WriteFile(first, "");
  testing_support::WriteFile(second, "");
  std::filesystem::create_symlink(first, port);
  Device();
  HoldingView view(HoldAt::Nowhere);
  view.answers = {true, true};
  auto station = Make(100ms);
  station->AddPort(PortEntry(1, port), view);
  station->Start();
  ASSERT_TRUE(watch.WaitFor([](const auto&, std::size_t runs) { return runs == 1; }));
  silent = true;
  ASSERT_TRUE(watch.WaitFor([](const std::vector<PortState>& s, std::size_t) {
    return s.size() >= 2 && s[s.size() - 2] == PortState::Programmed && s.back() == PortState::Waiting;
  }));
  // The port's path now names another node: the station lets the old one go and opens afresh.
  const std::size_t opens = opener.AttemptCount();
  std::filesystem::remove(port);
  std::filesystem::create_symlink(second, port);
  ASSERT_TRUE(opener.WaitAttempts(opens + 1));
  silent = false;
  ASSERT_TRUE(watch.WaitFor([](const auto&, std::size_t runs) { return runs == 2; }));
  station->RequestStop(app::StopLevel::All);
  station->Wait();

  EXPECT_EQ(station->Outcomes().size(), 2u);
  EXPECT_EQ(RecordLines(), 2u);
}

// Stops of either level that meet a port as its programming begins, before the erase command
// is written, decline the device: it is not erased and the station names no cut. Once the
// erase went out, a stop of every device cuts it, and the summary and the cut list say so.
TEST_F(StationTest, AStopCutsADeviceOnlyOnceItsEraseWentOut) {
  struct Case {
    const char* what;
    HoldAt at;
    bool erased;
    bool cut;
  } cases[] = {
      {"as programming begins", HoldAt::Programming, false, false},
      {"once the erase went out", HoldAt::Erasing, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dev = testing_support::ScriptedDevice{};
    watch.Reset();
    Device();
    HoldingView view(c.at);
    auto station = Make(100ms);
    station->AddPort(PortEntry(1, opener.PathOf(1)), view);
    station->Start();
    ASSERT_TRUE(view.WaitHeld());
    station->RequestStop(app::StopLevel::All);
    view.Release();
    station->Wait();

    ASSERT_EQ(station->Outcomes().size(), 1u);
    EXPECT_TRUE(station->Outcomes()[0].run.stopped);
    EXPECT_EQ(station->Outcomes()[0].run.cut, c.cut);
    EXPECT_EQ(Seen("erase"), c.erased ? 1 : 0);
    EXPECT_EQ(Seen("decline"), c.erased ? 0 : 1);
    EXPECT_EQ(station->CutWhileProgramming().size(), c.cut ? 1u : 0u);
    EXPECT_EQ(app::CutNote(station->CutWhileProgramming()).empty(), !c.cut);
    EXPECT_EQ(station->Summary(),
              "summary: 1 devices: 0 programmed, 1 failed, 0 refused; not programmed: COM1 stopped");
  }
}

// The port the poll found a device on is handed, open at the rate the device answered at, to
// the session that runs it: the session neither opens the port again nor tries the other rates.
TEST_F(StationTest, ThePollHandsItsOpenPortToTheSession) {
  Device();
  dev.script().rates = {115200};  // the second rate the poll and a search try
  HoldingView view(HoldAt::Nowhere);
  auto station = Make(100ms);
  std::atomic<std::size_t> opensAtRunEnd{0};
  station->SetOnOutcome([this, &opensAtRunEnd](const app::StationOutcome& o) {
    opensAtRunEnd = opener.AttemptCount();
    watch.Outcome(o);
  });
  station->AddPort(PortEntry(1, opener.PathOf(1)), view);
  station->Start();
  ASSERT_TRUE(watch.WaitFor([](const auto&, std::size_t runs) { return runs == 1; }));
  station->RequestStop(app::StopLevel::All);
  station->Wait();

  ASSERT_EQ(station->Outcomes().size(), 1u);
  EXPECT_EQ(station->Outcomes()[0].run.code, RESULT_OK);
  EXPECT_EQ(opensAtRunEnd.load(), 1u) << "the poll's one opening served the run";
  EXPECT_EQ(view.Calls("port: Connected"), (std::vector<std::string>{"port: Connected Com 1 at Baud 115200"}))
      << "no other rate was tried";
}

// A stop of what is idle lets a device being programmed finish (and counts as a clean end),
// while an idle port ends at once; a stop of everything cuts the device (no clean end).
TEST_F(StationTest, EachStopLevelStopsWhatItNames) {
  for (const app::StopLevel second : {app::StopLevel::None, app::StopLevel::All}) {
    SCOPED_TRACE(second == app::StopLevel::All ? "then all" : "idle only");
    dev = testing_support::ScriptedDevice{};
    watch.Reset();
    Device();
    opener.scripted().Line(2);  // a port with nothing on it
    HoldingView view(HoldAt::Erasing);
    testing_support::RecordingView idle;
    auto station = Make(100ms);
    station->AddPort(PortEntry(1, opener.PathOf(1)), view);
    station->AddPort(PortEntry(2, opener.PathOf(2)), idle);
    station->Start();
    ASSERT_TRUE(view.WaitHeld());
    station->RequestStop(app::StopLevel::Idle);
    EXPECT_EQ(station->stopLevel(), app::StopLevel::Idle);
    // The idle port ends while the device on the other is still being programmed.
    ASSERT_TRUE(WaitUntil([&] { return station->Snapshot()[1].state == PortState::Ended; }));
    EXPECT_EQ(station->Snapshot()[0].state, PortState::Programming);
    EXPECT_TRUE(station->anyProgramming());
    if (second != app::StopLevel::None) station->RequestStop(second);
    view.Release();
    station->Wait();

    ASSERT_EQ(station->Outcomes().size(), 1u);
    const app::LineFinish finish = station->Finish(130);
    if (second == app::StopLevel::All) {
      EXPECT_TRUE(station->Outcomes()[0].run.stopped);
      EXPECT_TRUE(station->Outcomes()[0].run.cut);
      EXPECT_EQ(finish.exitStatus, 130);
    } else {
      EXPECT_EQ(station->Outcomes()[0].run.code, RESULT_OK);
      EXPECT_TRUE(finish.cut.empty());
      EXPECT_EQ(finish.exitStatus, 0);
      EXPECT_EQ(finish.summary, "summary: 1 devices: 1 programmed, 0 failed, 0 refused");
    }
    EXPECT_FALSE(station->anyProgramming());
  }
}

// Hold returns only once the device run under way has ended, and no run begins until Resume.
TEST_F(StationTest, HoldWaitsForTheRunUnderWayAndResumeLetsTheNextBegin) {
  Device();
  HoldingView view(HoldAt::Question);
  auto station = Make(100ms);
  station->AddPort(PortEntry(1, opener.PathOf(1)), view);
  station->Start();
  ASSERT_TRUE(view.WaitHeld());
  std::atomic<int> runsWhenHeld{-1};
  std::thread holder([&] {
    station->Hold();
    runsWhenHeld = static_cast<int>(station->Outcomes().size());
  });
  view.Release();
  holder.join();
  EXPECT_EQ(runsWhenHeld.load(), 1) << "Hold returned before the run ended";
  // Another device takes the place of the first while the station is held: it waits.
  silent = true;
  ASSERT_TRUE(watch.WaitFor(
      [](const std::vector<PortState>& s, std::size_t) { return s.back() == PortState::Waiting; }));
  dev.script().idBytes = {0x00, 0x00, 0x10, 0x92};  // untouched while silent
  const int before = heard;
  silent = false;
  // Its poll answers, but its run waits for Resume.
  ASSERT_TRUE(WaitUntil([&] { return heard > before; }));
  EXPECT_EQ(station->Outcomes().size(), 1u);
  station->Resume();
  ASSERT_TRUE(watch.WaitFor([](const auto&, std::size_t runs) { return runs == 2; }));
  station->RequestStop(app::StopLevel::All);
  station->Wait();
  EXPECT_EQ(station->Outcomes().size(), 2u);
}

// The terminal's line for each change of a port's state: what the port waits for, and that a
// device left; nothing for the changes the device run's own lines tell.
TEST(StationStateLine, SaysWhatAPortWaitsForAndThatADeviceLeft) {
  struct Case {
    std::optional<PortState> before;
    PortState now;
    std::string line;
  } cases[] = {
      {std::nullopt, PortState::Waiting, "waiting for a device"},
      {std::nullopt, PortState::PortGone, "waiting for the port to appear"},
      {PortState::PortGone, PortState::Waiting, "waiting for a device"},
      {PortState::Waiting, PortState::PortGone, "waiting for the port to appear"},
      {PortState::Programmed, PortState::Waiting, "device left; waiting for a device"},
      {PortState::Failed, PortState::Waiting, "device left; waiting for a device"},
      {PortState::UpToDate, PortState::PortGone, "device left; waiting for the port to appear"},
      {PortState::Waiting, PortState::Programmed, "the same device answers again; waiting for it to leave"},
      {PortState::Waiting, PortState::Checking, ""},
      {PortState::Checking, PortState::Programming, ""},
      {PortState::Programming, PortState::Programmed, ""},
      {PortState::Checking, PortState::UpToDate, ""},
      {PortState::Waiting, PortState::Waiting, ""},
      {PortState::Waiting, PortState::Ended, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(app::StationStateLine(c.before, c.now), c.line)
        << (c.before ? static_cast<int>(*c.before) : -1) << " -> " << static_cast<int>(c.now);
}

}  // namespace
}  // namespace app_tests
