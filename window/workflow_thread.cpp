#include "window/workflow_thread.h"

#include <utility>

namespace window {

WorkflowThread::WorkflowThread() : m_thread([this] { Loop(); }) {}

WorkflowThread::~WorkflowThread() {
  Shutdown();
}

bool WorkflowThread::Post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closing) return false;
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
  return true;
}

void WorkflowThread::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
    m_jobs.clear();
  }
  m_wake.notify_one();
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void WorkflowThread::Loop() {
  while (true) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
      if (m_closing) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
  }
}

}  // namespace window
