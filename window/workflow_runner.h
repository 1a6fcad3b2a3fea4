#pragma once
// Runs the loader's workflows for one set of widgets: one at a time on its own workflow
// thread, in the order they were asked for, each told first which port entry is selected.
// It counts the workflows queued or running, so the widgets can hold their buttons while
// any is, and tells the widgets on their own thread when that count changes.

#include <QObject>
#include <functional>
#include <memory>

#include "window/workflows.h"

namespace window {

class WorkflowThread;

class WorkflowRunner {
 public:
  using Workflow = void (Workflows::*)();

  // `context` is the widgets' object: `busyChanged` runs on its thread. The runner must not
  // outlive it.
  WorkflowRunner(QObject& context, std::function<void()> busyChanged);
  ~WorkflowRunner();
  WorkflowRunner(const WorkflowRunner&) = delete;
  WorkflowRunner& operator=(const WorkflowRunner&) = delete;

  // The workflows to run (not owned; they must stay alive until Shutdown has returned).
  // Without them Start does nothing.
  void SetWorkflows(Workflows* workflows);

  // Queues `workflow` for the port entry `port`; false when it cannot run (no workflows,
  // or shutting down).
  bool Start(Workflow workflow, int port);
  // A workflow is queued or running. Read on the context's thread.
  bool busy() const { return m_queued > 0; }

  // Asks the running workflow to stop, drops the ones not yet started and joins the thread
  // once the running one has returned: whoever calls it must first answer its open boxes.
  // No workflow starts afterwards. Safe to call again.
  void Shutdown();

 private:
  void Ended();

  QObject& m_context;
  std::function<void()> m_busyChanged;
  Workflows* m_workflows = nullptr;
  std::unique_ptr<WorkflowThread> m_thread;
  bool m_shutDown = false;
  int m_queued = 0;
};

}  // namespace window
