#include "window/workflow_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "window_test_support.h"

namespace {

TEST(WorkflowThread, RunsJobsOneAtATimeInOrderOnOneOtherThread) {
  window::WorkflowThread thread;
  std::mutex mutex;
  std::vector<int> order;
  std::vector<std::thread::id> ids;
  std::atomic<int> running{0}, overlap{0}, done{0};
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(thread.Post([&, i] {
      if (++running > 1) ++overlap;
      {
        std::lock_guard<std::mutex> lock(mutex);
        order.push_back(i);
        ids.push_back(std::this_thread::get_id());
      }
      std::this_thread::yield();
      --running;
      ++done;
    }));
  }
  ASSERT_TRUE(window_test::WaitFor([&] { return done == 20; }));
  std::lock_guard<std::mutex> lock(mutex);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(overlap, 0);
  for (auto id : ids) {
    EXPECT_EQ(id, ids.front());
    EXPECT_NE(id, std::this_thread::get_id());
  }
}

TEST(WorkflowThread, ShutdownWaitsForTheRunningJobAndDropsTheQueuedOnes) {
  window::WorkflowThread thread;
  std::atomic<bool> started{false}, release{false}, finished{false}, queuedRan{false};
  thread.Post([&] {
    started = true;
    while (!release) std::this_thread::yield();
    finished = true;
  });
  thread.Post([&] { queuedRan = true; });
  ASSERT_TRUE(window_test::WaitFor([&] { return started.load(); }));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  thread.Shutdown();
  EXPECT_TRUE(finished);  // joined only after the running job returned
  EXPECT_FALSE(queuedRan);
  EXPECT_FALSE(thread.Post([&] { queuedRan = true; }));
  thread.Shutdown();  // again: nothing left to do
  releaser.join();
  EXPECT_FALSE(queuedRan);
}

}  // namespace
