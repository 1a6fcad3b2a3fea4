// The window with workflows running on its workflow thread: button states, the port list,
// message boxes, and closing while a workflow runs.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <thread>

#include "window_test_support.h"

namespace {

using window_test::BoxAnswerer;
using window_test::ControlOf;
using window_test::Gate;
using window_test::ScriptedWorkflows;
using window_test::WaitFor;

// Shows the window with its workflows and lets the start-up sequence run and end.
void Start(CVORLoaderXDlg& dlg, ScriptedWorkflows& workflows) {
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
}

struct Buttons {
  bool connect, updates, rawBoot;
  bool operator==(const Buttons&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Buttons& b) {
  return os << "connect " << b.connect << " updates " << b.updates << " rawboot " << b.rawBoot;
}
Buttons ButtonsOf(const CVORLoaderXDlg& dlg) {
  return {ControlOf(dlg, 1001)->isEnabled(), ControlOf(dlg, 1002)->isEnabled(),
          ControlOf(dlg, 1008)->isEnabled()};
}

TEST(WindowWorkflows, StartupSequenceRunsOnceOnTheWorkflowThreadWithTheButtonsHeld) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  Gate gate;
  std::atomic<bool> entered{false};
  std::thread::id ranOn;
  CVORLoaderXDlg dlg;
  workflows.startup = [&] {
    ranOn = std::this_thread::get_id();
    dlg.view().showPorts({{3, "/dev/ttyS2"}, {12, "/dev/ttyUSB3"}}, 0);
    dlg.view().appendLog("2 Com Ports Found.");
    dlg.view().enableConnect(false);
    dlg.view().enableRawBoot(false);
    entered = true;
    gate.Pass(dlg.view());
    dlg.view().setMainStatus("Cannot Locate Product Database.");
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  EXPECT_EQ(ButtonsOf(dlg), (Buttons{true, true, true}));  // until the timer fires
  ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
  EXPECT_EQ(ButtonsOf(dlg), (Buttons{false, false, false}));
  gate.Open();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  EXPECT_NE(ranOn, std::this_thread::get_id());
  // Connect and Raw Boot as the sequence left them; Check for Updates back.
  EXPECT_EQ(ButtonsOf(dlg), (Buttons{false, true, false}));
  EXPECT_EQ(ControlOf<QLabel>(dlg, 1007)->text(), "Cannot Locate Product Database.");
  EXPECT_EQ(dlg.log(), "2 Com Ports Found.\r\n");

  auto* ports = ControlOf<QComboBox>(dlg, 1000);
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->itemText(0), "COM3");
  EXPECT_EQ(ports->itemText(1), "COM12");
  EXPECT_EQ(ports->itemData(1, Qt::ToolTipRole).toString(), "/dev/ttyUSB3");
  EXPECT_EQ(ports->itemData(1).toInt(), 12);
  EXPECT_EQ(ports->currentIndex(), 0);

  QTest::qWait(500);
  EXPECT_EQ(workflows.startups, 1);
}

struct LeftCase {
  int options;
  bool connectLeft, rawBootLeft;
  Buttons after;
};

TEST(WindowWorkflows, ButtonsAreGreyWhileAWorkflowRunsThenAsTheWorkflowLeftThem) {
  const LeftCase cases[] = {
      {0, true, true, {true, true, true}},
      {0, true, false, {true, true, false}},
      {0, false, false, {false, true, false}},
      {1, true, true, {true, false, true}},  // offline: Check for Updates grey for the whole run
  };
  for (const auto& c : cases) {
    ScriptedWorkflows workflows;
    Gate gate;
    std::atomic<bool> entered{false};
    CVORLoaderXDlg dlg;
    dlg.SetOptions(window::DecodedOptions(c.options));
    workflows.connect = [&] {
      dlg.view().enableConnect(false);
      dlg.view().enableRawBoot(false);
      entered = true;
      gate.Pass(dlg.view());
      dlg.view().enableRawBoot(c.rawBootLeft);
      dlg.view().enableConnect(c.connectLeft);
    };
    Start(dlg, workflows);
    dlg.view().enableConnect(true);
    ControlOf<QPushButton>(dlg, 1001)->click();
    EXPECT_EQ(ButtonsOf(dlg), (Buttons{false, false, false}));
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    EXPECT_EQ(ButtonsOf(dlg), (Buttons{false, false, false}));
    gate.Open();
    ASSERT_TRUE(WaitFor([&] { return !dlg.workflowRunning(); }));
    EXPECT_EQ(ButtonsOf(dlg), c.after) << "options " << c.options;
  }
}

TEST(WindowWorkflows, EachButtonRunsItsWorkflowWithTheSelectedPort) {
  ScriptedWorkflows workflows;  // outlives the window's thread
  CVORLoaderXDlg dlg;
  workflows.startup = [&] {
    dlg.view().showPorts({{1, "/dev/ttyS0"}, {9, "/dev/ttyUSB0"}, {25, "/dev/ttyACM0"}}, 0);
  };
  Start(dlg, workflows);
  auto* ports = ControlOf<QComboBox>(dlg, 1000);
  ASSERT_EQ(ports->count(), 3);

  const std::pair<int, std::atomic<int>*> buttons[] = {
      {1001, &workflows.connects}, {1002, &workflows.checks}, {1008, &workflows.rawBoots}};
  int selection = 0;
  for (const auto& [id, count] : buttons) {
    selection = (selection + 1) % 3;
    ports->setCurrentIndex(selection);
    ControlOf<QPushButton>(dlg, id)->click();
    ASSERT_TRUE(WaitFor([&, count = count] { return *count == 1 && !dlg.workflowRunning(); })) << id;
    EXPECT_EQ(workflows.selections().back(), selection) << id;
  }
  EXPECT_EQ(workflows.connects + workflows.checks + workflows.rawBoots, 3);

  // Enter on a focused button presses it; the window stays.
  ControlOf(dlg, 1001)->setFocus();
  QTest::keyClick(ControlOf(dlg, 1001), Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 2 && !dlg.workflowRunning(); }));
  EXPECT_TRUE(dlg.isVisible());

  // A workflow that moved to another port shows it selected.
  workflows.connect = [&] {
    dlg.view().showPorts({{1, "/dev/ttyS0"}, {9, "/dev/ttyUSB0"}, {25, "/dev/ttyACM0"}}, 2);
  };
  ports->setCurrentIndex(0);
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 3 && !dlg.workflowRunning(); }));
  EXPECT_EQ(ports->currentIndex(), 2);
}

TEST(WindowWorkflows, MessageBoxesHoldTheWorkflowUntilTheUserAnswers) {
  ScriptedWorkflows workflows;  // outlives the window's thread
  CVORLoaderXDlg dlg;
  std::vector<bool> answers;
  workflows.connect = [&] {
    answers.push_back(dlg.view().askYesNo("Device has later Version.\n Load OLD? (Not Recomended!)"));
    answers.push_back(dlg.view().askYesNo("Load Hex Now?"));
    dlg.view().tell("Switch Device off.   \r\n\r\nPress Ok Then Switch Device On.");
  };
  Start(dlg, workflows);
  BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok});
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return workflows.connects == 1; }));
  EXPECT_EQ(answers, (std::vector<bool>{true, false}));

  const auto& seen = boxes.seen();
  ASSERT_EQ(seen.size(), 3u);
  // Captioned with the program's name: the executable's.
  for (const auto& box : seen)
    EXPECT_EQ(box.title, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  EXPECT_EQ(seen[0].text, "Device has later Version.\n Load OLD? (Not Recomended!)");
  EXPECT_EQ(seen[1].text, "Load Hex Now?");
  for (int i : {0, 1}) {
    EXPECT_EQ(seen[static_cast<std::size_t>(i)].icon, QMessageBox::Question);
    EXPECT_EQ(seen[static_cast<std::size_t>(i)].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen[static_cast<std::size_t>(i)].defaultButton, QMessageBox::Yes);
  }
  EXPECT_EQ(seen[2].text, "Switch Device off.   \n\nPress Ok Then Switch Device On.");
  EXPECT_EQ(seen[2].icon, QMessageBox::Information);
  EXPECT_EQ(seen[2].buttons, QMessageBox::Ok);
}

// A Connect that programs: transfer on, wait, transfer off, wait again, noting whether it was
// told to stop.
struct ProgrammingRun {
  Gate duringTransfer, afterTransfer;
  std::atomic<bool> inTransfer{false}, pastTransfer{false}, sawStop{false}, ended{false};

  void Script(CVORLoaderXDlg& dlg, ScriptedWorkflows& workflows) {
    workflows.connect = [this, &dlg] {
      dlg.view().transferActive(true);
      inTransfer = true;
      const bool passed = duringTransfer.Pass(dlg.view());
      dlg.view().transferActive(false);
      if (passed) {
        pastTransfer = true;
        afterTransfer.Pass(dlg.view());
      }
      sawStop = dlg.view().stopRequested();
      ended = true;
    };
  }
};

TEST(WindowWorkflows, ClosingDuringProgrammingAsksFirstAndNoKeepsTheWindow) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  ProgrammingRun run;
  CVORLoaderXDlg dlg;
  run.Script(dlg, workflows);
  Start(dlg, workflows);
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return run.inTransfer.load(); }));
  QApplication::processEvents();  // the window has heard of the transfer

  {
    BoxAnswerer boxes({QMessageBox::No});
    dlg.close();
    ASSERT_EQ(boxes.seen().size(), 1u);
    const auto& q = boxes.seen()[0];
    EXPECT_EQ(q.text, "The device is being programmed. Quit anyway?");
    EXPECT_EQ(q.icon, QMessageBox::Question);
    EXPECT_EQ(q.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(q.defaultButton, QMessageBox::No);
    EXPECT_EQ(q.title, QCoreApplication::applicationName());
  }
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.view().stopRequested());
  EXPECT_FALSE(run.ended);

  {
    BoxAnswerer boxes({QMessageBox::No});
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(boxes.seen().size(), 1u);
  }
  EXPECT_TRUE(dlg.isVisible());

  {
    BoxAnswerer boxes({QMessageBox::Yes});
    ControlOf<QPushButton>(dlg, 2)->click();
    EXPECT_EQ(boxes.seen().size(), 1u);
  }
  // Closed, the workflow told to stop, and its thread already joined.
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.sawStop);
  EXPECT_FALSE(run.pastTransfer);
}

TEST(WindowWorkflows, ClosingOutsideTheTransferStopsTheWorkflowWithoutAsking) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  ProgrammingRun run;
  CVORLoaderXDlg dlg;
  run.Script(dlg, workflows);
  Start(dlg, workflows);
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return run.inTransfer.load(); }));
  run.duringTransfer.Open();
  ASSERT_TRUE(WaitFor([&] { return run.pastTransfer.load(); }));
  QApplication::processEvents();  // the window has heard the transfer end

  BoxAnswerer boxes({QMessageBox::No});
  dlg.close();
  EXPECT_TRUE(boxes.seen().empty());
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.sawStop);
}

TEST(WindowWorkflows, ClosingWhileAWorkflowBoxIsOpenAnswersNoAndEndsTheWorkflow) {
  std::vector<bool> answers;
  std::atomic<bool> ended{false};
  {
    ScriptedWorkflows workflows;  // outlives the window's thread
    CVORLoaderXDlg dlg;
    workflows.connect = [&] {
      answers.push_back(dlg.view().askYesNo("Load Hex Now?"));
      answers.push_back(dlg.view().askYesNo("Identical Versions.\n Reload?"));  // after the close: No, no box
      dlg.view().setMainStatus("still reporting after the close");
      ended = true;
    };
    Start(dlg, workflows);
    int boxesSeen = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr) return;
      ++boxesSeen;
      dlg.close();
    });
    closer.start(10);
    ControlOf<QPushButton>(dlg, 1001)->click();
    ASSERT_TRUE(WaitFor([&] { return ended.load(); }));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(boxesSeen, 1);
    QApplication::processEvents();
  }
  EXPECT_EQ(answers, (std::vector<bool>{false, false}));
}

TEST(WindowWorkflows, DestroyingTheWindowStopsAndJoinsItsWorkflow) {
  std::atomic<bool> sawStop{false};
  {
    ScriptedWorkflows workflows;  // outlives the window's thread
    Gate never;                   // so does the gate its workflow waits at
    std::atomic<bool> entered{false};
    CVORLoaderXDlg dlg;
    workflows.connect = [&] {
      entered = true;
      never.Pass(dlg.view());
      sawStop = dlg.view().stopRequested();
    };
    Start(dlg, workflows);
    ControlOf<QPushButton>(dlg, 1001)->click();
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
  }
  EXPECT_TRUE(sawStop);
}

}  // namespace
