// SIGTERM and SIGHUP close the window as the user would: at once when idle; during a
// transfer only after the question, which a second signal answers Yes.

#include "window/close_on_signals.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>
#include <csignal>

#include "window_test_support.h"

namespace {

using window_test::ControlOf;
using window_test::Gate;
using window_test::ScriptedWorkflows;
using window_test::WaitFor;

// Raises `signo` once more whenever a new message box opens, and notes the box's text.
struct SecondSignalAtTheBox {
  explicit SecondSignalAtTheBox(int signo) {
    QObject::connect(&timer, &QTimer::timeout, [this, signo] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || box == last) return;
      last = box;
      texts << box->text();
      std::raise(signo);
    });
    timer.start(10);
  }
  QTimer timer;
  QPointer<QMessageBox> last;
  QStringList texts;
};

TEST(CloseOnSignals, AnIdleWindowClosesAtTheFirstSignalWithoutAsking) {
  for (int signo : {SIGTERM, SIGHUP}) {
    ScriptedWorkflows workflows;  // outlives the window's thread
    CVORLoaderXDlg dlg;
    window::CloseOnSignals closer([&dlg] { dlg.CloseOnRequest(); });
    ASSERT_TRUE(closer.installed());
    dlg.SetWorkflows(&workflows);
    dlg.show();
    ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
    EXPECT_EQ(closer.ExitStatus(0), 0);
    SecondSignalAtTheBox boxes(signo);
    std::raise(signo);
    ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); })) << signo;
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_EQ(closer.firstSignal(), signo);
    EXPECT_EQ(closer.ExitStatus(0), 128 + signo);
  }
  // Gone with its instance: the signals' earlier handling is back.
  struct sigaction now {};
  ::sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(CloseOnSignals, DuringATransferTheFirstSignalAsksAndTheSecondAnswersYes) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  Gate transfer;
  std::atomic<bool> inTransfer{false}, ended{false}, sawStop{false};
  CVORLoaderXDlg dlg;
  window::CloseOnSignals closer([&dlg] { dlg.CloseOnRequest(); });
  workflows.connect = [&] {
    dlg.view().transferActive(true);
    inTransfer = true;
    transfer.Pass(dlg.view());
    dlg.view().transferActive(false);
    sawStop = dlg.view().stopRequested();
    ended = true;
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return inTransfer.load(); }));
  QApplication::processEvents();  // the window has heard of the transfer

  SecondSignalAtTheBox boxes(SIGTERM);
  std::raise(SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); }));
  EXPECT_EQ(boxes.texts, QStringList({"The device is being programmed. Quit anyway?"}));
  EXPECT_EQ(closer.signalsSeen(), 2);
  EXPECT_TRUE(ended);  // the workflow thread is joined
  EXPECT_TRUE(sawStop);
  EXPECT_EQ(closer.ExitStatus(0), 128 + SIGTERM);
}

TEST(CloseOnSignals, OneSignalDuringATransferOnlyAsks) {
  ScriptedWorkflows workflows;  // outlives the window's thread, as does what it waits at
  Gate transfer;
  std::atomic<bool> inTransfer{false};
  CVORLoaderXDlg dlg;
  window::CloseOnSignals closer([&dlg] { dlg.CloseOnRequest(); });
  workflows.connect = [&] {
    dlg.view().transferActive(true);
    inTransfer = true;
    transfer.Pass(dlg.view());
    dlg.view().transferActive(false);
  };
  dlg.SetWorkflows(&workflows);
  dlg.show();
  ASSERT_TRUE(WaitFor([&] { return workflows.startups == 1 && !dlg.workflowRunning(); }));
  ControlOf<QPushButton>(dlg, 1001)->click();
  ASSERT_TRUE(WaitFor([&] { return inTransfer.load(); }));
  QApplication::processEvents();

  // The person answers No: the window and the transfer go on.
  window_test::BoxAnswerer boxes({QMessageBox::No});
  std::raise(SIGHUP);
  ASSERT_TRUE(WaitFor([&] { return boxes.seen().size() == 1; }));
  EXPECT_EQ(boxes.seen()[0].text, "The device is being programmed. Quit anyway?");
  QTest::qWait(50);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.view().stopRequested());
  transfer.Open();
  ASSERT_TRUE(WaitFor([&] { return !dlg.workflowRunning(); }));
}

}  // namespace
