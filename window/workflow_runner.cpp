#include "window/workflow_runner.h"

#include <utility>

#include "window/workflow_thread.h"

namespace window {

WorkflowRunner::WorkflowRunner(QObject& context, std::function<void()> busyChanged)
    : m_context(context), m_busyChanged(std::move(busyChanged)) {}

WorkflowRunner::~WorkflowRunner() {
  Shutdown();
}

void WorkflowRunner::SetWorkflows(Workflows* workflows) {
  m_workflows = workflows;
  if (m_workflows != nullptr && !m_thread && !m_shutDown) m_thread = std::make_unique<WorkflowThread>();
}

bool WorkflowRunner::Start(Workflow workflow, int port) {
  if (m_workflows == nullptr || !m_thread || m_shutDown) return false;
  Workflows* workflows = m_workflows;
  const bool posted = m_thread->Post([this, workflows, workflow, port] {
    workflows->SelectPort(port);
    (workflows->*workflow)();
    QMetaObject::invokeMethod(
        &m_context, [this] { Ended(); }, Qt::QueuedConnection);
  });
  if (!posted) return false;
  ++m_queued;
  if (m_busyChanged) m_busyChanged();
  return true;
}

void WorkflowRunner::Ended() {
  if (m_queued > 0) --m_queued;
  if (m_busyChanged) m_busyChanged();
}

void WorkflowRunner::Shutdown() {
  m_shutDown = true;
  // The running workflow ends at its next step; nothing runs any more afterwards, so the
  // workflows may go before the runner does.
  if (m_workflows != nullptr) m_workflows->RequestStop();
  if (m_thread) m_thread->Shutdown();
  m_workflows = nullptr;
}

}  // namespace window
