// The station window offscreen, driven through its per-port views from another thread as the
// production line drives it: a panel per port in a scrolling grid, each state in its own
// colour, the counts and totals, the shared log with port prefixes, what to program, and
// closing while a device is being programmed.

#include "window/station/station_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <set>
#include <thread>

#include "common/load_result.h"
#include "window/station/station_control.h"
#include "window/station/station_port_view.h"
#include "window_test_support.h"

namespace {

using window::PanelState;
using window::PortPanel;
using window::StationWindow;
using window_test::BoxAnswerer;
using window_test::WaitFor;

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
  int checks = 0;
  void Start(int optionBits) override { starts.push_back(optionBits); }
  void Stop() override { ++stops; }
  void CheckForUpdates() override { ++checks; }
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
      EXPECT_EQ(panel.state(), PanelState::Waiting);
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

TEST(StationWindow, EachPanelFollowsItsOwnDevicesInItsOwnColourAndCounts) {
  StationWindow station(Ports(3), window::DecodedOptions(0));
  station.show();
  auto* checkForUpdates = station.findChild<QPushButton*>(QStringLiteral("checkForUpdates"));
  // The line's threads report.
  std::thread line([&] {
    station.portView(0).deviceFound("VORnet Amp", "305419896", "1.20", "1.80");
    station.portView(0).transferActive(true);
    station.portView(0).progress({32768, 65536, 50.0});
    station.portView(1).deviceFound("VORnet Amp", "17", "1.20", "1.80");
    station.portView(1).appendLog("E13-Device Failed to Erase Flash.");
    station.portView(1).deviceDone(RESULT_ERASE_FAILED, "1.20");
    station.portView(2).deviceFound("VORnet Amp", "18", "1.80", "1.80");
    station.portView(2).deviceDone(RESULT_SAME_VERSION, "1.80");
    station.sharedView().appendLog("3 Com Ports Found.");
  });
  line.join();
  ASSERT_TRUE(WaitFor([&] { return station.panel(2).state() == PanelState::UpToDate; }));
  QTest::qWait(50);  // the coalesced progress

  const PortPanel& programming = station.panel(0);
  EXPECT_EQ(programming.state(), PanelState::Programming);
  EXPECT_EQ(Text(programming, "line1"), "VORnet Amp (ID 305419896)");
  EXPECT_EQ(Text(programming, "line2"), "V1.20 -> V1.80");
  auto* bar = programming.findChild<QProgressBar*>(QStringLiteral("progress"));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value() * 2, bar->maximum());  // half of the image sent
  // Not while a device is being programmed.
  EXPECT_FALSE(checkForUpdates->isEnabled());

  const PortPanel& failed = station.panel(1);
  EXPECT_EQ(failed.state(), PanelState::Failed);
  EXPECT_EQ(Text(failed, "line1"), "E13-Device Failed to Erase Flash.");
  EXPECT_EQ(Text(failed, "line2"), "Raw Boot can recover this device.");
  EXPECT_EQ(failed.failedCount(), 1);

  const PortPanel& upToDate = station.panel(2);
  EXPECT_EQ(Text(upToDate, "state"), "Already up to date");
  EXPECT_EQ(upToDate.failedCount() + upToDate.programmedCount(), 0);

  std::thread more([&] {
    station.portView(0).transferActive(false);
    station.portView(0).deviceDone(RESULT_OK, "1.80");
    station.portView(1).deviceLeft();
    station.portView(2).portGone();
  });
  more.join();
  ASSERT_TRUE(WaitFor([&] { return station.panel(2).state() == PanelState::Gone; }));
  EXPECT_EQ(programming.state(), PanelState::Programmed);
  EXPECT_EQ(Text(programming, "line1"), "ID 305419896: V1.20 -> V1.80");
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(Text(programming, "counts"), "Programmed: 1   Failed: 0");
  EXPECT_EQ(failed.state(), PanelState::Waiting);
  EXPECT_EQ(Text(failed, "counts"), "Programmed: 0   Failed: 1");  // the count stays
  EXPECT_EQ(Text(station, "totals"), "Programmed: 1   Failed: 1");
  EXPECT_TRUE(checkForUpdates->isEnabled());

  // Every state has its own colour, and the panels show it.
  std::set<QRgb> colours;
  for (PanelState s : {PanelState::Waiting, PanelState::Programming, PanelState::Programmed,
                       PanelState::Failed, PanelState::UpToDate, PanelState::Gone})
    colours.insert(PortPanel::StateColour(s).rgb());
  EXPECT_EQ(colours.size(), 6u);
  EXPECT_EQ(StateColourShown(programming), PortPanel::StateColour(PanelState::Programmed));
  EXPECT_EQ(StateColourShown(station.panel(2)), PortPanel::StateColour(PanelState::Gone));

  // The shared log: port lines with their port first, shared lines as they are.
  EXPECT_TRUE(station.log().contains("COM10: E13-Device Failed to Erase Flash.\r\n"))
      << station.log().toStdString();
  EXPECT_TRUE(station.log().contains("\r\n3 Com Ports Found.\r\n") ||
              station.log().startsWith("3 Com Ports Found."));
  QTemporaryDir dir;
  ASSERT_TRUE(station.SaveLog(dir.filePath("station.txt")));
  QFile saved(dir.filePath("station.txt"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().contains("COM10: E13-Device Failed to Erase Flash.\n"));
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
  station.portView(1).deviceFound("VORnet Amp", "7", "1.20", "1.80");
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

}  // namespace
