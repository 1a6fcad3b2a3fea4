#include "app/production_line.h"

#include <utility>

namespace app {

LinePort::LinePort(ProductionLine& line, const FirmwareSet& firmware, platform::PortOpener& opener,
                   const PortEntry& port, LoaderView& view)
    : m_line(line), m_port(port), m_session(std::make_unique<DeviceSession>(firmware, view, opener, port)) {
  m_session->SetEvents(this);
}

LinePort::~LinePort() {
  if (m_thread.joinable()) m_thread.join();
}

PortState LinePort::state() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_state;
}

std::vector<PortState> LinePort::history() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_history;
}

std::vector<LineOutcome> LinePort::outcomes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outcomes;
}

void LinePort::SetState(PortState state) {
  if (state == m_state) return;
  m_state = state;
  m_history.push_back(state);
}

void LinePort::SetProgramming(bool active) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if ((m_state == PortState::Programming) == active) return;
  SetState(active ? PortState::Programming : PortState::Checking);
  // A stop asked just before the erase may still reach the device mid-way.
  if (active && m_stopAsked) m_cut = true;
  m_line.m_core.ProgrammingChanged(active);
}

bool LinePort::Stop(StopLevel level) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (level == StopLevel::None || m_stopAsked) return false;
  if (m_state != PortState::Checking && m_state != PortState::Programming) return false;
  const bool programming = m_state == PortState::Programming;
  if (!StopReaches(level, programming)) return false;
  m_stopAsked = true;
  m_cut = programming;
  m_session->RequestStop();
  return true;
}

void LinePort::RunOnce() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopAsked = false;
    m_cut = false;
    SetState(PortState::Checking);
  }
  // A stop asked before this port began reaches it now.
  Stop(m_line.stopLevel());
  m_lastEnd.reset();
  m_session->OnConnect();
  SetProgramming(false);  // a session that ended mid-transfer no longer programs

  LineOutcome outcome;
  outcome.port = m_port;
  outcome.stopped = !m_lastEnd || m_lastEnd->result == RESULT_STOPPED;
  outcome.code = outcome.stopped ? 0 : m_lastEnd->result;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    outcome.cut = RunWasCut(outcome.stopped, m_cut, m_lastEnd && m_lastEnd->eraseWritten);
    m_outcomes.push_back(outcome);
    SetState(PortState::Ended);
  }
  m_line.m_core.Finished(outcome, m_index);
}

ProductionLine::ProductionLine(const FirmwareSet& firmware, platform::PortOpener& opener)
    : m_firmware(firmware), m_opener(opener) {}

ProductionLine::~ProductionLine() {
  Wait();
}

LinePort& ProductionLine::AddPort(const PortEntry& port, LoaderView& view) {
  auto added = std::make_unique<LinePort>(*this, m_firmware, m_opener, port, view);
  std::lock_guard<std::mutex> lock(m_mutex);
  added->m_index = m_ports.size();
  m_ports.push_back(std::move(added));
  return *m_ports.back();
}

void ProductionLine::Start() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (; m_started < m_ports.size(); ++m_started) {
    LinePort* port = m_ports[m_started].get();
    port->m_thread = std::thread([port] { port->RunOnce(); });
  }
}

void ProductionLine::Wait() {
  // The ports' threads take the line's mutex; each is joined without it.
  for (std::size_t i = 0;; ++i) {
    std::thread running;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (i >= m_started) return;
      running = std::move(m_ports[i]->m_thread);  // Start writes it under the same mutex
    }
    if (running.joinable()) running.join();
  }
}

void ProductionLine::Run() {
  Start();
  Wait();
}

void ProductionLine::RequestStop(StopLevel level) {
  level = m_core.RaiseStop(level);
  std::vector<LinePort*> ports;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& port : m_ports) ports.push_back(port.get());
  }
  // Never with the line's mutex held: a port takes its own mutex first.
  for (LinePort* port : ports) port->Stop(level);
}

StopLevel ProductionLine::stopLevel() const {
  return m_core.stopLevel();
}

bool ProductionLine::anyProgramming() const {
  return m_core.anyProgramming();
}

std::vector<LinePort*> ProductionLine::ports() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<LinePort*> all;
  for (const auto& port : m_ports) all.push_back(port.get());
  return all;
}

}  // namespace app
