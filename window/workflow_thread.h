#pragma once
// The one thread the loader's workflows run on, one at a time, in the order they were posted,
// as plain blocking code. The window never waits for it except when it closes.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace window {

class WorkflowThread {
 public:
  WorkflowThread();
  ~WorkflowThread();
  WorkflowThread(const WorkflowThread&) = delete;
  WorkflowThread& operator=(const WorkflowThread&) = delete;

  // Queues a job; false once Shutdown has begun (the job is dropped).
  bool Post(std::function<void()> job);

  // Drops the jobs not yet started and joins the thread once the running job has returned:
  // whoever calls it must first make that job end (stop request, answered boxes).
  void Shutdown();

 private:
  void Loop();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;
  bool m_closing = false;
  std::thread m_thread;
};

}  // namespace window
