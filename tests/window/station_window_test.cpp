// The station window offscreen: driven through its per-port views from another thread as the
// station drives it (a panel per port in a scrolling grid, each state in its own colour, the
// counts and totals, the shared log with port prefixes, what to program, closing while a
// device is being programmed), and with the station behind it against simulated devices
// plugged into pseudo-terminals (every device programmed without a box, a failure in its own
// panel only, a device swapped on a port programmed in turn).

#include "window/station/station_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "app/firmware_set.h"
#include "app/port_listing.h"
#include "app/record/record_line_parser.h"
#include "app/record/record_sink.h"
#include "app/record/run_record.h"
#include "app/site_control.h"
#include "app/station/station.h"
#include "common/load_result.h"
#include "image/sha256.h"
#include "tests/support/sim/sim_process.h"
#include "tests/window/loader_run_setup.h"
#include "window/station/station_control.h"
#include "window/station/station_port_view.h"
#include "window/station/station_runner.h"
#include "window_test_support.h"

namespace {

using app::PortState;
using window::PortPanel;
using window::StationWindow;
using window_test::BoxAnswerer;
using window_test::WaitFor;

constexpr int kOffline = 1;

std::vector<PortEntry> Ports(int count) {
  std::vector<PortEntry> ports;
  for (int i = 0; i < count; ++i) {
    PortEntry port(9 + i, "/dev/ttyUSB" + std::to_string(i));
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    port.serialNumber = "FT" + std::to_string(i);
    ports.push_back(port);
  }
  return ports;
}

QString Text(const QWidget& parent, const char* name) {
  auto* label = parent.findChild<QLabel*>(QLatin1String(name));
  return label == nullptr ? QString() : label->text();
}

QColor StateColourShown(const PortPanel& panel) {
  return panel.findChild<QLabel*>(QStringLiteral("state"))->palette().color(QPalette::Window);
}

struct RecordingControl : window::StationControl {
  std::vector<int> starts;
  int stops = 0;
  std::vector<app::StopLevel> levels;  // of each Stop
  int checks = 0;
  std::vector<std::string> operators;
  void Start(int optionBits, const std::string& operatorName) override {
    starts.push_back(optionBits);
    operators.push_back(operatorName);
  }
  void Stop(app::StopLevel level) override {
    ++stops;
    levels.push_back(level);
  }
  void CheckForUpdates(int /*optionBits*/) override { ++checks; }
};

TEST(StationWindow, APanelPerPortWithItsNamePathAndUsbIdentityInAScrollingGrid) {
  for (const int count : {1, 3, 32}) {
    StationWindow station(Ports(count), window::DecodedOptions(0));
    station.show();
    ASSERT_EQ(station.panelCount(), count);
    for (int i = 0; i < count; ++i) {
      const PortPanel& panel = station.panel(i);
      EXPECT_EQ(Text(panel, "port"), QStringLiteral("COM%1").arg(9 + i));
      const QString identity = Text(panel, "identity");
      EXPECT_TRUE(identity.startsWith(QStringLiteral("/dev/ttyUSB%1\n").arg(i))) << identity.toStdString();
      EXPECT_TRUE(identity.contains("USB ID: 0403:6001"));
      EXPECT_TRUE(identity.contains(QStringLiteral("Serial number: FT%1").arg(i)));
      EXPECT_EQ(panel.state(), PortState::Waiting);
      EXPECT_EQ(Text(panel, "state"), "Waiting for a device");
    }
    auto* scroll = station.findChild<QScrollArea*>(QStringLiteral("panels"));
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(WaitFor([&] { return scroll->widget()->height() > 0; }));
    // 32 panels do not fit: the grid scrolls rather than the window growing off the screen.
    if (count == 32) {
      EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
      EXPECT_LE(station.height(), 1000);
    }
  }
}

app::StationPortStatus Status(app::PortState state, std::uint32_t id, const char* before, int result = 0) {
  app::StationPortStatus s;
  s.state = state;
  s.device.id = id;
  s.device.name = "VORnet Amp";
  s.device.versionBefore = before;
  s.device.versionTarget = "1.80";
  s.result = result;
  return s;
}

// The panel takes a run's end from the run counter and its result from the status's result and
// stopped flag: a stopped run says it was stopped, a refusal by the profile and one for the
// version each show as what they are, and the last result outlives the station's end.
TEST(StationWindow, APanelReadsEachRunFromItsCounterAndStoppedFlag) {
  PortPanel panel(Ports(1)[0]);
  app::StationPortStatus stopped = Status(PortState::Failed, 21, "1.20");
  stopped.runs = 1;
  stopped.failed = 1;
  stopped.stopped = true;
  panel.ShowStatus(stopped);
  EXPECT_EQ(panel.state(), PortState::Failed);
  EXPECT_EQ(Text(panel, "line1"), "ID 21: stopped.");
  EXPECT_EQ(Text(panel, "line2"), "If the erase had begun, Raw Boot can recover this device.");

  app::StationPortStatus refused = Status(PortState::NotApproved, 22, "1.20", RESULT_NOT_APPROVED);
  refused.runs = 2;
  refused.failed = 1;
  refused.refused = 1;
  panel.ShowStatus(refused);
  EXPECT_EQ(panel.state(), PortState::NotApproved);
  EXPECT_EQ(Text(panel, "line1"), "ID 22: V1.20");
  app::StationPortStatus again = Status(PortState::UpToDate, 23, "1.80", RESULT_SAME_VERSION);
  again.runs = 3;
  again.failed = 1;
  again.refused = 2;
  panel.ShowStatus(again);
  EXPECT_EQ(panel.state(), PortState::UpToDate);
  EXPECT_EQ(Text(panel, "line1"), "ID 23: V1.80");
  panel.ShowStatus(Status(PortState::Ended, 0, ""));
  EXPECT_EQ(panel.state(), PortState::UpToDate) << "the last result stays in view";
}

TEST(StationWindow, EachPanelFollowsItsOwnDevicesInItsOwnColourAndCounts) {
  using app::PortState;
  StationWindow station(Ports(4), window::DecodedOptions(0));
  station.show();
  auto* checkForUpdates = station.findChild<QPushButton*>(QStringLiteral("checkForUpdates"));
  // The station's threads report.
  std::thread ports([&] {
    app::StationPortStatus streaming = Status(PortState::Programming, 305419896, "1.20");
    station.portView(0).status(streaming);
    streaming.progress = {32768, 65536, 50.0};
    station.portView(0).status(streaming);
    station.sharedView().programming(true);
    app::StationPortStatus failed = Status(PortState::Failed, 17, "1.20", RESULT_ERASE_FAILED);
    failed.failed = 1;
    failed.runs = 1;  // its run has ended
    station.portView(1).status(failed);
    station.portView(1).appendLog("E13-Device Failed to Erase Flash.");
    app::StationPortStatus same = Status(PortState::UpToDate, 18, "1.80", RESULT_SAME_VERSION);
    same.refused = 1;
    same.runs = 1;  // its run has ended
    station.portView(2).status(same);
    station.portView(3).status(Status(PortState::Checking, 19, "1.20"));
    station.sharedView().appendLog("4 Com Ports Found.");
  });
  ports.join();
  ASSERT_TRUE(WaitFor([&] { return station.panel(3).state() == PortState::Checking; }));
  ASSERT_TRUE(WaitFor([&] { return station.anyProgramming(); }));

  const PortPanel& programming = station.panel(0);
  EXPECT_EQ(programming.state(), PortState::Programming);
  EXPECT_EQ(Text(programming, "line1"), "VORnet Amp (ID 305419896)");
  EXPECT_EQ(Text(programming, "line2"), "V1.20 -> V1.80");
  auto* bar = programming.findChild<QProgressBar*>(QStringLiteral("progress"));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value() * 2, bar->maximum());  // half of the image sent
  // Not while a device is being programmed.
  EXPECT_FALSE(checkForUpdates->isEnabled());

  const PortPanel& failed = station.panel(1);
  EXPECT_EQ(failed.state(), PortState::Failed);
  EXPECT_EQ(Text(failed, "line1"), "ID 17: E13-Device Failed to Erase Flash.");
  EXPECT_EQ(Text(failed, "line2"), "Raw Boot can recover this device.");
  EXPECT_EQ(failed.failedCount(), 1);

  const PortPanel& upToDate = station.panel(2);
  EXPECT_EQ(Text(upToDate, "state"), "Already up to date");
  EXPECT_EQ(Text(upToDate, "line1"), "ID 18: V1.80");
  EXPECT_EQ(upToDate.failedCount() + upToDate.programmedCount(), 0);

  EXPECT_EQ(Text(station.panel(3), "state"), "Checking");
  EXPECT_EQ(Text(station.panel(3), "line1"), "VORnet Amp (ID 19)");

  std::thread more([&] {
    app::StationPortStatus done = Status(PortState::Programmed, 305419896, "1.20");
    done.device.versionAfter = "1.80";
    done.programmed = 1;
    done.runs = 1;  // its run has ended
    station.portView(0).status(done);
    station.sharedView().programming(false);
    app::StationPortStatus left = Status(PortState::Waiting, 17, "1.20");
    left.failed = 1;
    left.runs = 1;  // its run has ended
    station.portView(1).status(left);
    station.portView(2).status(Status(PortState::PortGone, 0, ""));
    app::StationPortStatus ended = Status(PortState::Ended, 0, "");
    station.portView(3).status(ended);
  });
  more.join();
  ASSERT_TRUE(WaitFor([&] { return station.panel(3).state() == PortState::Ended; }));
  ASSERT_TRUE(WaitFor([&] { return !station.anyProgramming(); }));
  EXPECT_EQ(programming.state(), PortState::Programmed);
  EXPECT_EQ(Text(programming, "line1"), "ID 305419896: V1.20 -> V1.80");
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(Text(programming, "counts"), "Programmed: 1   Failed: 0");
  EXPECT_EQ(failed.state(), PortState::Waiting);
  // The last device's result stays in sight until the next one answers, and so does the count.
  EXPECT_EQ(Text(failed, "line1"), "Last: ID 17: E13-Device Failed to Erase Flash.");
  EXPECT_EQ(Text(failed, "counts"), "Programmed: 0   Failed: 1");
  EXPECT_EQ(station.panel(2).state(), PortState::PortGone);
  EXPECT_EQ(Text(station, "totals"), "Programmed: 1   Failed: 1");
  EXPECT_TRUE(checkForUpdates->isEnabled());

  // Every state has its own colour, and the panels show it.
  std::set<QRgb> colours;
  for (PortState s : {PortState::Waiting, PortState::Checking, PortState::Programming, PortState::Programmed,
                      PortState::Failed, PortState::UpToDate, PortState::NotApproved, PortState::PortGone,
                      PortState::Ended})
    colours.insert(PortPanel::StateColour(s).rgb());
  EXPECT_EQ(colours.size(), 9u);
  EXPECT_EQ(StateColourShown(programming), PortPanel::StateColour(PortState::Programmed));
  EXPECT_EQ(StateColourShown(station.panel(2)), PortPanel::StateColour(PortState::PortGone));

  // The shared log: port lines with their port first, shared lines as they are.
  EXPECT_TRUE(station.log().contains("COM10: E13-Device Failed to Erase Flash.\r\n"))
      << station.log().toStdString();
  EXPECT_TRUE(station.log().contains("\r\n4 Com Ports Found.\r\n") ||
              station.log().startsWith("4 Com Ports Found."));
  QTemporaryDir dir;
  ASSERT_TRUE(station.SaveLog(dir.filePath("station.txt")));
  QFile saved(dir.filePath("station.txt"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().contains("COM10: E13-Device Failed to Erase Flash.\n"));
}

// A station runs for whole shifts: its log keeps its last lines only, in the window as in what
// Save Log writes, and the saved file says that older lines were dropped.
TEST(StationWindow, TheLogKeepsItsLastLinesAndSaveLogSaysWhatWasDropped) {
  StationWindow station(Ports(2), window::DecodedOptions(0));
  constexpr int kMax = StationWindow::kMaxLogLines;
  QTemporaryDir dir;
  const auto saved = [&dir](const QString& name) {
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };

  for (int i = 0; i < kMax; ++i) station.AddLogLine(i % 2, QStringLiteral("line %1").arg(i), false);
  EXPECT_EQ(station.droppedLogLines(), 0);
  ASSERT_TRUE(station.SaveLog(dir.filePath("whole.txt")));
  EXPECT_TRUE(saved("whole.txt").startsWith(QStringLiteral("COM9: line 0\n")));
  EXPECT_FALSE(saved("whole.txt").contains(QStringLiteral("dropped")));

  for (int i = kMax; i < kMax + 3; ++i) station.AddLogLine(-1, QStringLiteral("line %1").arg(i), false);
  EXPECT_EQ(station.droppedLogLines(), 3);
  const QString log = station.log();
  EXPECT_EQ(log.count(QStringLiteral("\r\n")), kMax);
  EXPECT_TRUE(log.startsWith(QStringLiteral("COM10: line 3\r\n"))) << log.left(40).toStdString();
  EXPECT_TRUE(log.endsWith(QStringLiteral("\r\nline 10002\r\n")));
  const auto* shown = station.findChild<QTextEdit*>(QStringLiteral("log"));
  ASSERT_NE(shown, nullptr);
  EXPECT_LE(shown->document()->blockCount(), kMax);
  EXPECT_TRUE(shown->toPlainText().endsWith(QStringLiteral("line 10002")));
  EXPECT_FALSE(shown->toPlainText().contains(QStringLiteral("COM9: line 2\n")));

  ASSERT_TRUE(station.SaveLog(dir.filePath("cut.txt")));
  const QString file = saved("cut.txt");
  EXPECT_TRUE(
      file.startsWith(QStringLiteral("(3 older lines were dropped: the log keeps its last 10000 lines.)\n"
                                     "COM10: line 3\n")))
      << file.left(120).toStdString();
  EXPECT_TRUE(file.endsWith(QStringLiteral("\nline 10002\n")));
}

TEST(StationWindow, WhatToProgramIsPresetFromTheOptionsAndFixedWhileRunning) {
  struct Case {
    int options;
    bool older, same;
  };
  for (const Case& c :
       {Case{0, false, false}, Case{2, true, false}, Case{4, false, true}, Case{7, true, true}}) {
    RecordingControl control;
    StationWindow station(Ports(2), window::DecodedOptions(c.options));
    station.SetControl(&control);
    station.show();
    auto* older = station.findChild<QCheckBox*>(QStringLiteral("alsoOlder"));
    auto* same = station.findChild<QCheckBox*>(QStringLiteral("alsoSame"));
    EXPECT_EQ(older->isChecked(), c.older) << c.options;
    EXPECT_EQ(same->isChecked(), c.same) << c.options;
    // Offline (bit 1) has nothing to check for.
    EXPECT_EQ(station.findChild<QPushButton*>(QStringLiteral("checkForUpdates"))->isEnabled(),
              (c.options & 1) == 0);

    older->setChecked(!c.older);  // the operator changes it before Start
    station.findChild<QPushButton*>(QStringLiteral("start"))->click();
    ASSERT_EQ(control.starts.size(), 1u);
    const int expected = (c.options & ~2) | (c.older ? 0 : 2);
    EXPECT_EQ(control.starts[0], expected) << c.options;
    EXPECT_TRUE(station.running());
    EXPECT_FALSE(older->isEnabled());
    EXPECT_FALSE(station.findChild<QPushButton*>(QStringLiteral("start"))->isEnabled());
    station.findChild<QPushButton*>(QStringLiteral("stop"))->click();
    EXPECT_EQ(control.stops, 1);
    // The window counts the presses: the first stops what is not being programmed, a second all.
    station.findChild<QPushButton*>(QStringLiteral("stop"))->click();
    EXPECT_EQ(control.levels, (std::vector<app::StopLevel>{app::StopLevel::Idle, app::StopLevel::All}));
    station.sharedView().stationStopped();
    EXPECT_FALSE(station.running());
    EXPECT_TRUE(older->isEnabled());
  }
}

TEST(StationWindow, ClosingWhileADeviceIsBeingProgrammedAsksFirst) {
  StationWindow station(Ports(2), window::DecodedOptions(0));
  station.show();
  // Idle: it closes without asking.
  {
    StationWindow idle(Ports(1), window::DecodedOptions(0));
    idle.show();
    BoxAnswerer none({});
    EXPECT_TRUE(idle.close());
    EXPECT_TRUE(none.seen().empty());
  }
  station.sharedView().programming(true);
  {
    BoxAnswerer boxes({QMessageBox::No});
    EXPECT_FALSE(station.close());
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, "A device is being programmed. Quit anyway?");
    EXPECT_EQ(boxes.seen()[0].defaultButton, QMessageBox::No);
    EXPECT_TRUE(station.isVisible());
  }
  {
    // A request from outside while the question is open answers it Yes.
    QTimer::singleShot(0, &station, [&] {
      ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
      station.CloseOnRequest();
    });
    station.CloseOnRequest();
    EXPECT_FALSE(station.isVisible());
  }
}

// The station window with the station behind it, against simulated devices on COM1..COM3.
// The header names the profile, the work order and the operator; the operator's field sits
// beside Start, and a profile that requires an operator keeps Start waiting for a name.
TEST(StationWindow, TheHeaderNamesWhatAndWhoAndStartWaitsForARequiredOperator) {
  RecordingControl control;
  StationWindow station(Ports(2), window::DecodedOptions(0),
                        window::StationSetUp{"Line 3", "WO-7", "", true});
  station.SetControl(&control);
  station.show();
  auto* name = station.findChild<QLineEdit*>(QStringLiteral("operator"));
  auto* start = station.findChild<QPushButton*>(QStringLiteral("start"));
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(Text(station, "setUp"), "Profile: Line 3   Work order: WO-7   Operator: -");
  ASSERT_TRUE(WaitFor([&] { return start->height() > 0; }));
  EXPECT_LT(std::abs(name->geometry().center().y() - start->geometry().center().y()), start->height())
      << "the field is on Start's row";

  start->click();
  EXPECT_TRUE(control.starts.empty());
  EXPECT_FALSE(station.running());
  EXPECT_TRUE(station.log().contains("Enter the operator's name beside Start"))
      << station.log().toStdString();

  name->setText(QStringLiteral("  Ana "));
  EXPECT_EQ(Text(station, "setUp"), "Profile: Line 3   Work order: WO-7   Operator: Ana");
  start->click();
  ASSERT_EQ(control.operators.size(), 1u);
  EXPECT_EQ(control.operators[0], "Ana");
  EXPECT_TRUE(station.running());
  EXPECT_TRUE(name->isReadOnly()) << "one operator for the records of a run";
  station.findChild<QPushButton*>(QStringLiteral("stop"))->click();
  station.sharedView().stationStopped();
  EXPECT_FALSE(name->isReadOnly());

  // Without a profile the header shows the operator alone, and Start needs no name.
  RecordingControl plain;
  StationWindow free(Ports(1), window::DecodedOptions(0));
  free.SetControl(&plain);
  EXPECT_EQ(Text(free, "setUp"), "Operator: -");
  free.findChild<QPushButton*>(QStringLiteral("start"))->click();
  ASSERT_EQ(plain.operators.size(), 1u);
  EXPECT_EQ(plain.operators[0], "");
}

class StationWithDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = window_test::PrepareLoaderRun(m_dir.path, 4096);
    ASSERT_FALSE(m_folder.empty());
    // Run records on, into this test's folder.
    ::setenv("VORLOADER_HISTORY", Records().c_str(), 1);
  }
  void TearDown() override { ::setenv("VORLOADER_HISTORY", "", 1); }

  // A device plugged into COM`port`, with its own identity and transcript.
  std::unique_ptr<testing_support::SimProcess> Plug(int port, const std::string& id,
                                                    std::vector<std::string> extra = {}) const {
    testing_support::SimConfig config;
    config.port = port;
    config.id = id;
    config.transcript = m_dir.path + "/" + id + ".transcript.jsonl";
    config.extraArgs = {"--banner-length", "75", "--erase-ms", "50", "--restart-ms", "100"};
    config.extraArgs.insert(config.extraArgs.end(), extra.begin(), extra.end());
    auto sim = std::make_unique<testing_support::SimProcess>(m_dir.path, config);
    EXPECT_TRUE(sim->Ready()) << sim->Error();
    return sim;
  }

  // A view that shows nothing and answers every question Yes, as the station window's do.
  struct Quiet final : LoaderView {
    void appendLog(const std::string&) override {}
    bool askYesNo(const std::string&) override { return true; }
  };

  // The ports there now, as the program lists them for its station window.
  std::vector<PortEntry> ListedPorts() const {
    Quiet quiet;
    return app::ListPorts(*m_opener, quiet).entries;
  }

  std::string Records() const { return m_dir.path + "/history.jsonl"; }

  std::vector<app::RunRecord> RecordsWritten() const {
    std::vector<app::RunRecord> records;
    std::ifstream in(Records());
    for (std::string l; std::getline(in, l);)
      if (const std::optional<app::RunRecord> r = app::ParseRecordLine(l)) records.push_back(*r);
    return records;
  }

  static void Click(const StationWindow& station, const char* button) {
    station.findChild<QPushButton*>(QLatin1String(button))->click();
  }

  testing_support::TempDir m_dir{"vornet-station-window"};
  std::string m_folder;
  std::unique_ptr<platform::PortOpener> m_opener = platform::MakeSystemPortOpener();
};

// Every device is programmed without a box, each in its own panel, with its record; a device
// that takes the place of another on a port is programmed in turn; Stop ends the station.
TEST_F(StationWithDevices, ProgramsEveryDevicePluggedInWithoutABoxUntilStop) {
  auto first = Plug(1, "00002cc0");
  auto second = Plug(2, "00002cc1");
  auto third = Plug(3, "00002cc2");
  StationWindow station(ListedPorts(), window::DecodedOptions(kOffline));
  ASSERT_EQ(station.panelCount(), 3);
  window::StationRunner runner(station, app::OpenFirmwareFolder(), *m_opener);
  station.SetControl(&runner);
  station.show();
  BoxAnswerer none({});
  Click(station, "start");
  ASSERT_TRUE(WaitFor([&] {
    return station.panel(0).programmedCount() == 1 && station.panel(1).programmedCount() == 1 &&
           station.panel(2).programmedCount() == 1;
  })) << station.log().toStdString();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(station.panel(i).state(), PortState::Programmed);
    EXPECT_EQ(Text(station.panel(i), "line1"), QStringLiteral("ID %1: V1.20 -> V1.80").arg(11456 + i));
  }
  // Each device's result at a glance, as the terminal station prints it.
  EXPECT_TRUE(station.log().contains("COM2: ID 11457 (VORnet Amp) V1.20 -> V1.80: -Device Programed OK.\r\n"))
      << station.log().toStdString();
  EXPECT_EQ(Text(station, "totals"), "Programmed: 3   Failed: 0");
  EXPECT_TRUE(station.running());  // the station waits for the next devices

  // The first device is pulled out and another takes its place: it is programmed in turn.
  first->Stop();
  auto replacement = Plug(1, "00002cc3");
  ASSERT_TRUE(WaitFor([&] { return station.panel(0).programmedCount() == 2; }))
      << station.log().toStdString();
  EXPECT_EQ(Text(station.panel(0), "line1"), "ID 11459: V1.20 -> V1.80");

  Click(station, "stop");
  ASSERT_TRUE(WaitFor([&] { return !station.running(); })) << station.log().toStdString();
  runner.Shutdown();
  EXPECT_TRUE(none.seen().empty());
  EXPECT_TRUE(station.log().contains("\r\nsummary: 4 devices: 4 programmed, 0 failed, 0 refused\r\n"))
      << station.log().toStdString();
  // The devices that stayed plugged were programmed once.
  EXPECT_EQ(second->Lines("erase").size(), 1u);
  EXPECT_EQ(third->Lines("erase").size(), 1u);

  const std::vector<app::RunRecord> records = RecordsWritten();
  ASSERT_EQ(records.size(), 4u);
  std::multiset<std::string> ports;
  for (const app::RunRecord& r : records) {
    ports.insert(r.port);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.versionAfter, "1.80");
  }
  EXPECT_EQ(ports, (std::multiset<std::string>{"COM1", "COM1", "COM2", "COM3"}));
}

// The records go to the sink the window's record keeping gives the runner (which tells the
// record database's worker of each), not to a file of the station's own choosing.
TEST_F(StationWithDevices, EveryRecordGoesToTheSinkTheRunnerIsGiven) {
  struct Kept final : app::RecordSink {
    std::mutex mutex;
    std::vector<app::RunRecord> records;
    std::string Write(const app::RunRecord& record) override {
      const std::lock_guard lock(mutex);
      records.push_back(record);
      return {};
    }
    std::size_t Count() {
      const std::lock_guard lock(mutex);
      return records.size();
    }
  };
  auto kept = std::make_shared<Kept>();
  auto device = Plug(1, "00002cc0");
  StationWindow station(ListedPorts(), window::DecodedOptions(kOffline));
  window::StationRunner runner(station, app::OpenFirmwareFolder(), *m_opener, kept);
  station.SetControl(&runner);
  station.show();
  BoxAnswerer none({});
  Click(station, "start");
  ASSERT_TRUE(WaitFor([&] { return kept->Count() == 1; })) << station.log().toStdString();
  Click(station, "stop");
  ASSERT_TRUE(WaitFor([&] { return !station.running(); })) << station.log().toStdString();
  runner.Shutdown();
  ASSERT_EQ(kept->Count(), 1u);
  EXPECT_EQ(kept->records[0].port, "COM1");
  EXPECT_EQ(kept->records[0].code, 0);
  EXPECT_TRUE(RecordsWritten().empty());
}

// Under a profile: a device whose image is approved is programmed, and with the image no longer
// approved the next one is left untouched, its panel and log saying why; the operator typed
// beside Start and the work order go with every run.
TEST_F(StationWithDevices, AProfileProgramsOnlyTheImagesItApproves) {
  const std::string file = m_folder + "vornet_amp_v180.hex";
  std::ifstream in(file, std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  const std::string bytes = read.str();
  const auto digest = image::Sha256Of(bytes);
  ASSERT_TRUE(digest);
  const std::string sha = image::Sha256Hex(*digest);
  for (const bool approved : {true, false}) {
    SCOPED_TRACE(approved);
    auto device = Plug(1, approved ? "00002cc0" : "00002cc1");
    StationWindow station(ListedPorts(), window::DecodedOptions(kOffline),
                          window::StationSetUp{"Line 3", "WO-7", "", true});
    ASSERT_EQ(station.panelCount(), 1);
    window::StationRunner runner(station, app::OpenFirmwareFolder(), *m_opener);
    app::SiteControl site;
    site.profileName = "Line 3";
    site.workOrder = "WO-7";
    site.approved = std::vector<app::ApprovedImage>{{approved ? sha : std::string(64, '0'), "", "", 5}};
    runner.SetSiteControl(site);
    station.SetControl(&runner);
    station.show();
    station.findChild<QLineEdit*>(QStringLiteral("operator"))->setText(QStringLiteral("Ana"));
    Click(station, "start");
    const PortState expected = approved ? PortState::Programmed : PortState::NotApproved;
    ASSERT_TRUE(WaitFor([&] { return station.panel(0).state() == expected; })) << station.log().toStdString();
    if (approved) {
      EXPECT_EQ(device->Lines("erase").size(), 1u);
    } else {
      EXPECT_TRUE(device->Lines("erase").empty());
      EXPECT_TRUE(device->Lines("boot").empty());
      EXPECT_EQ(Text(station.panel(0), "state"), "Image not approved");
      EXPECT_EQ(Text(station.panel(0), "line2"), "E17-Image not approved by the profile.");
      EXPECT_TRUE(station.log().contains(
          "COM1: ID 11457 (VORnet Amp) V1.20 -> V1.20: E17-Image not approved by the "
          "profile. vornet_amp_v180.hex (V1.80, SHA-256 " +
          QString::fromStdString(sha) + ") is not approved by the profile \"Line 3\"."))
          << station.log().toStdString();
    }
    Click(station, "stop");
    ASSERT_TRUE(WaitFor([&] { return !station.running(); })) << station.log().toStdString();
    runner.Shutdown();
    device->Stop();
  }
  const std::vector<app::RunRecord> records = RecordsWritten();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].code, 0);
  EXPECT_EQ(records[1].code, 17);
  EXPECT_EQ(records[1].sha256, sha);
  EXPECT_EQ(records[1].eraseBegan, false);
  for (const app::RunRecord& record : records) {
    EXPECT_EQ(record.operatorName, "Ana");
    EXPECT_EQ(record.workOrder, "WO-7");
    EXPECT_EQ(record.profileName, "Line 3");
  }
}

// An erase fault fails its device in its own panel only; the other ports program theirs and
// the station goes on.
TEST_F(StationWithDevices, AFailureShowsInItsOwnPanelOnly) {
  auto first = Plug(1, "00002cc0");
  auto failing = Plug(2, "00002cc1", {"--no-erase-reply"});
  auto third = Plug(3, "00002cc2");
  StationWindow station(ListedPorts(), window::DecodedOptions(kOffline));
  ASSERT_EQ(station.panelCount(), 3);
  window::StationRunner runner(station, app::OpenFirmwareFolder(), *m_opener);
  station.SetControl(&runner);
  station.show();
  BoxAnswerer none({});
  Click(station, "start");
  ASSERT_TRUE(WaitFor([&] {
    return station.panel(0).programmedCount() == 1 && station.panel(1).failedCount() == 1 &&
           station.panel(2).programmedCount() == 1;
  })) << station.log().toStdString();
  // Failed, or (once the silent device counts as gone) waiting with the failure still in sight.
  const PortState failedState = station.panel(1).state();
  EXPECT_TRUE(failedState == PortState::Failed || failedState == PortState::Waiting);
  EXPECT_TRUE(Text(station.panel(1), "line1").endsWith("ID 11457: E13-Device Failed to Erase Flash."))
      << Text(station.panel(1), "line1").toStdString();
  EXPECT_EQ(Text(station.panel(1), "line2"), "Raw Boot can recover this device.");
  for (int i : {0, 2}) {
    EXPECT_EQ(station.panel(i).state(), PortState::Programmed);
    EXPECT_EQ(station.panel(i).failedCount(), 0);
  }
  EXPECT_EQ(Text(station, "totals"), "Programmed: 2   Failed: 1");
  EXPECT_TRUE(station.running());
  EXPECT_TRUE(none.seen().empty());
}

// While the station is held (a Check for Updates runs), a device that answers is not touched;
// once it resumes, the device is programmed.
TEST_F(StationWithDevices, AHeldStationBeginsNoDeviceUntilItResumes) {
  auto device = Plug(1, "00002cc0");
  Quiet quiet;
  app::FirmwareSet firmware(window::DecodedOptions(kOffline), app::OpenFirmwareFolder());
  firmware.RunCatalogueSteps(quiet, {});
  app::Station station(firmware, *m_opener);
  const std::vector<PortEntry> ports = ListedPorts();
  ASSERT_EQ(ports.size(), 1u);
  station.AddPort(ports[0], quiet);
  station.Hold();
  station.Start();
  // The poll finds the device; then nothing more goes to it while the station is held.
  ASSERT_TRUE(device->WaitFor("identify", window_test::kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(device->Contains("query"));
  EXPECT_FALSE(device->Contains("erase"));
  EXPECT_TRUE(station.Outcomes().empty());
  station.Resume();
  ASSERT_TRUE(WaitFor([&] { return !station.Outcomes().empty(); }));
  EXPECT_EQ(station.Outcomes()[0].run.code, RESULT_OK);
  station.RequestStop(app::StopLevel::Idle);
  station.Wait();
}

}  // namespace
