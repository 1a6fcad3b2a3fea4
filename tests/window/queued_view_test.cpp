// The queued view on its own, with a recording sink: calls from a workflow thread arrive on
// the sink's thread in order, status texts and progress are coalesced to their latest value,
// and a closed view answers its boxes No.

#include "window/queued_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <thread>

#include "window_test_support.h"

namespace {

using window::ViewSink;
using window_test::WaitFor;

struct RecordingSink : ViewSink {
  std::vector<QString> statuses, log;
  std::vector<StreamProgress> progress;
  std::vector<QString> asked;
  int wrongThread = 0;
  bool answer = true;

  void Check() {
    if (QThread::currentThread() != qApp->thread()) ++wrongThread;
  }
  void ShowStatus(StatusLine line, const QString& text) override {
    Check();
    if (line == StatusLine::Main) statuses.push_back(text);
  }
  void ShowLogLine(const QString& line) override {
    Check();
    log.push_back(line);
  }
  void ShowDetail(const QString& text) override {
    Check();
    log.push_back("detail " + text);
  }
  void EnableButton(Button, bool) override { Check(); }
  void ShowPorts(const std::vector<PortEntry>&, int) override { Check(); }
  void ShowTransfer(bool) override { Check(); }
  void ShowProgress(const StreamProgress& p) override {
    Check();
    progress.push_back(p);
  }
  void ShowCountdown(int, int) override { Check(); }
  bool AskBox(Box, const QString& text, const QString& informative) override {
    Check();
    asked.push_back(text + "|" + informative);
    return answer;
  }
};

TEST(QueuedView, CoalescesStatusAndProgressAndKeepsEveryLogLineInOrder) {
  QObject context;
  RecordingSink sink;
  window::QueuedView view(context, sink);
  std::thread workflow([&] {
    for (int i = 1; i <= 2000; ++i) {
      view.setMainStatus("Sending Hex file " + std::to_string(i));
      view.progress({static_cast<std::size_t>(i), 2000, i / 20.0});
      if (i % 100 == 0) view.appendLog("line " + std::to_string(i / 100));
    }
    view.detail("why");
  });
  workflow.join();
  ASSERT_TRUE(WaitFor([&] { return sink.log.size() == 21; }));
  QApplication::processEvents();
  EXPECT_EQ(sink.wrongThread, 0);
  ASSERT_FALSE(sink.statuses.empty());
  EXPECT_EQ(sink.statuses.back(), "Sending Hex file 2000");
  EXPECT_LT(sink.statuses.size(), 2000u);
  ASSERT_FALSE(sink.progress.empty());
  EXPECT_EQ(sink.progress.back().sent, 2000u);
  EXPECT_LT(sink.progress.size(), 2000u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(sink.log[static_cast<std::size_t>(i)], QString("line %1").arg(i + 1));
  EXPECT_EQ(sink.log.back(), "detail why");
}

TEST(QueuedView, BoxesWaitForTheSinkAndAClosedViewAnswersNoWithoutAsking) {
  QObject context;
  RecordingSink sink;
  window::QueuedView view(context, sink);
  std::atomic<int> answers{-1};
  std::thread workflow([&] { answers = view.confirm("Load Hex Now?", "Port: COM1") ? 1 : 0; });
  ASSERT_TRUE(WaitFor([&] { return answers != -1; }));
  workflow.join();
  EXPECT_EQ(answers, 1);
  ASSERT_EQ(sink.asked.size(), 1u);
  EXPECT_EQ(sink.asked[0], "Load Hex Now?|Port: COM1");

  EXPECT_FALSE(view.stopRequested());
  view.Close();
  EXPECT_TRUE(view.stopRequested());
  std::thread late([&] { answers = view.askYesNo("Identical Versions.\n Reload?") ? 1 : 0; });
  late.join();
  EXPECT_EQ(answers, 0);
  QApplication::processEvents();
  EXPECT_EQ(sink.asked.size(), 1u);
}

TEST(QueuedView, CloseAnswersABoxTheWorkflowStillWaitsFor) {
  QObject context;
  RecordingSink sink;
  window::QueuedView view(context, sink);
  std::atomic<int> answer{-1};
  // The box is queued but the sink's thread never gets to it before the close.
  std::thread workflow([&] { answer = view.askYesNo("Load Hex Now?") ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  view.Close();
  workflow.join();
  EXPECT_EQ(answer, 0);
  QApplication::processEvents();
  EXPECT_TRUE(sink.asked.empty());
}

}  // namespace
