// The window with the real loader behind it, against the simulated device: a whole
// programming run, and closing the window in the middle of the image stream.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <cstdlib>

#include "app/record/record_file.h"
#include "app/record/run_record.h"
#include "tests/support/sim/sim_process.h"
#include "tests/window/loader_run_setup.h"
#include "window/close_on_signals.h"
#include "window_test_support.h"

namespace {

using window_test::BoxAnswerer;
using window_test::ControlOf;
using window_test::WaitFor;

constexpr int kOffline = 1;

QString TextOf(const CVORLoaderXDlg& dlg, int id) {
  return ControlOf<QLabel>(dlg, id)->text();
}

TEST(WindowWithLoader, StartsUpConnectsAndProgramsTheDevice) {
  testing_support::TempDir dir("vornet-window-run");
  const std::string folder = window_test::PrepareLoaderRun(dir.path, 4096);
  ASSERT_FALSE(folder.empty());
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--banner-length", "75", "--erase-ms", "50", "--restart-ms", "100"};
  testing_support::SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();

  CVORLoaderXDlg dlg;
  window_test::LoaderBehindWindow loader(dlg, kOffline, folder);
  BoxAnswerer boxes({QMessageBox::Yes});
  dlg.show();
  bool began = false;
  ASSERT_TRUE(WaitFor([&] {
    began = began || dlg.workflowRunning();
    return began && !dlg.workflowRunning();
  }));

  ASSERT_EQ(boxes.seen().size(), 1u);
  EXPECT_EQ(boxes.seen()[0].text, "Load Hex Now?");
  EXPECT_TRUE(dlg.log().startsWith("1 Com Ports Found.\r\n")) << dlg.log().toStdString();
  EXPECT_TRUE(dlg.log().endsWith("\r\n   -Device Programed OK.\r\n")) << dlg.log().toStdString();
  EXPECT_EQ(TextOf(dlg, 1005), "No Connection");
  EXPECT_TRUE(TextOf(dlg, 1006).startsWith("Device: VORnet Amp")) << TextOf(dlg, 1006).toStdString();
  EXPECT_TRUE(TextOf(dlg, 1006).endsWith("Version: V1.80")) << TextOf(dlg, 1006).toStdString();
  EXPECT_EQ(TextOf(dlg, 1007), "Program Loaded.");
  EXPECT_TRUE(ControlOf(dlg, 1001)->isEnabled());
  EXPECT_FALSE(ControlOf(dlg, 1008)->isEnabled());
  EXPECT_FALSE(ControlOf(dlg, 1002)->isEnabled());  // offline

  auto* ports = ControlOf<QComboBox>(dlg, 1000);
  ASSERT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->itemText(0), "COM1");
  EXPECT_EQ(ports->itemData(0, Qt::ToolTipRole).toString().toStdString(), dir.path + "/COM1");
  EXPECT_TRUE(sim.Contains("restart"));
}

TEST(WindowWithLoader, ClosingDuringTheStreamStopsItClosesThePortAndEnds) {
  testing_support::TempDir dir("vornet-window-stop");
  const std::string folder = window_test::PrepareLoaderRun(dir.path, 48 * 1024);
  ASSERT_FALSE(folder.empty());
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "50", "--restart-ms", "100"};
  testing_support::SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();

  // The run is recorded, stopped as it is: the unit left half-programmed can be found.
  const std::string records = dir.path + "/records.jsonl";
  ::setenv("VORLOADER_HISTORY", records.c_str(), 1);
  struct RecordsOff {
    ~RecordsOff() { ::setenv("VORLOADER_HISTORY", "", 1); }
  } recordsOff;

  CVORLoaderXDlg dlg;
  window_test::LoaderBehindWindow loader(dlg, kOffline, folder);
  {
    BoxAnswerer loadNow({QMessageBox::Yes});
    dlg.show();
    ASSERT_TRUE(WaitFor([&] { return TextOf(dlg, 1007).startsWith("Sending Hex file"); }));
  }
  const std::size_t closesBefore = sim.Lines("close").size();
  BoxAnswerer quit({QMessageBox::Yes});
  dlg.close();
  ASSERT_EQ(quit.seen().size(), 1u);
  EXPECT_EQ(quit.seen()[0].text, "The device is being programmed. Quit anyway?");
  EXPECT_FALSE(dlg.isVisible());
  // The workflow thread is gone and the port closed; the device never got the whole image.
  EXPECT_TRUE(WaitFor([&] { return sim.Lines("close").size() > closesBefore; }));
  EXPECT_FALSE(sim.Contains("image"));
  EXPECT_FALSE(sim.Contains("restart"));
  ASSERT_TRUE(WaitFor([&] { return !app::ReadLastRecords(records, 1).records.empty(); }));
  const app::RunRecord stopped = app::ReadLastRecords(records, 1).records.back();
  EXPECT_EQ(stopped.code, app::kStoppedCode);
  EXPECT_EQ(stopped.result, app::kStoppedResult);
  EXPECT_EQ(stopped.eraseBegan, true);
  EXPECT_EQ(stopped.port, "COM1");
  EXPECT_TRUE(stopped.deviceId.has_value());
}

TEST(WindowWithLoader, TheProgressBarShowsOnlyWhileTheDeviceIsErasedAndProgrammed) {
  testing_support::TempDir dir("vornet-window-progress");
  const std::string folder = window_test::PrepareLoaderRun(dir.path, 24 * 1024);
  ASSERT_FALSE(folder.empty());
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "400", "--restart-ms", "100"};
  testing_support::SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();

  CVORLoaderXDlg dlg;
  window_test::LoaderBehindWindow loader(dlg, kOffline, folder);
  auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("progress"));
  ASSERT_NE(bar, nullptr);

  // What the bar did, sampled as the run goes, against what the main status said then.
  bool visibleBeforeAnswer = false, busySeen = false, measuredSeen = false, answered = false;
  int highest = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!bar->isVisible()) return;
    if (!answered) visibleBeforeAnswer = true;
    if (bar->maximum() == 0) busySeen = true;
    if (bar->maximum() == 1000 && bar->value() > 0) {
      measuredSeen = true;
      highest = std::max(highest, bar->value());
    }
  });
  watch.start(5);
  QTimer person;
  QObject::connect(&person, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    EXPECT_FALSE(bar->isVisible());
    answered = true;
    box->button(QMessageBox::Yes)->click();
  });
  person.start(10);

  EXPECT_FALSE(bar->isVisible());
  dlg.show();
  bool began = false;
  ASSERT_TRUE(WaitFor([&] {
    began = began || dlg.workflowRunning();
    return began && !dlg.workflowRunning();
  }));
  EXPECT_TRUE(answered);
  EXPECT_FALSE(visibleBeforeAnswer);
  EXPECT_TRUE(busySeen) << "no busy bar during the erase";
  EXPECT_TRUE(measuredSeen) << "no measured bar during the stream";
  EXPECT_GT(highest, 500);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(TextOf(dlg, 1007), "Program Loaded.");
}

TEST(WindowWithLoader, TwoTermSignalsDuringTheStreamStopItAndCloseThePort) {
  testing_support::TempDir dir("vornet-window-signal");
  const std::string folder = window_test::PrepareLoaderRun(dir.path, 48 * 1024);
  ASSERT_FALSE(folder.empty());
  testing_support::SimConfig cfg;
  cfg.extraArgs = {"--pace", "--banner-length", "75", "--erase-ms", "50", "--restart-ms", "100"};
  testing_support::SimProcess sim(dir.path, cfg);
  ASSERT_TRUE(sim.Ready()) << sim.Error();

  CVORLoaderXDlg dlg;
  window::CloseOnSignals closer([&dlg] { dlg.CloseOnRequest(); });
  window_test::LoaderBehindWindow loader(dlg, kOffline, folder);
  {
    BoxAnswerer loadNow({QMessageBox::Yes});
    dlg.show();
    ASSERT_TRUE(WaitFor([&] { return TextOf(dlg, 1007).startsWith("Sending Hex file"); }));
  }
  const std::size_t closesBefore = sim.Lines("close").size();
  // The second signal comes while the question is open.
  QStringList asked;
  QTimer second;
  QObject::connect(&second, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !asked.isEmpty()) return;
    asked << box->text();
    std::raise(SIGTERM);
  });
  second.start(10);
  std::raise(SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(asked, QStringList({"The device is being programmed. Quit anyway?"}));
  EXPECT_EQ(closer.ExitStatus(0), 128 + SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return sim.Lines("close").size() > closesBefore; }));
  EXPECT_FALSE(sim.Contains("image"));
}

}  // namespace
