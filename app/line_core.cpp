#include "app/line_core.h"

#include <algorithm>
#include <cctype>

namespace app {

StopLevel StopLevelFor(int presses) {
  if (presses <= 0) return StopLevel::None;
  return presses >= 2 ? StopLevel::All : StopLevel::Idle;
}

bool StopReaches(StopLevel level, bool programming) {
  switch (level) {
    case StopLevel::None:
      return false;
    case StopLevel::Idle:
      return !programming;
    case StopLevel::All:
      return true;
  }
  return false;
}

bool RunWasCut(bool stopped, bool stopMetProgramming, bool eraseWritten) {
  return stopped && stopMetProgramming && eraseWritten;
}

std::string CutNote(const std::vector<PortEntry>& cut) {
  std::string ports;
  for (const PortEntry& port : cut) ports += (ports.empty() ? "" : ", ") + port.comName();
  if (ports.empty()) return {};
  return "stopped while " + ports + " " + (cut.size() == 1 ? "was" : "were") +
         " being programmed; a raw boot may be needed";
}

std::string CutSentence(const std::vector<PortEntry>& cut) {
  std::string note = CutNote(cut);
  if (note.empty()) return note;
  note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
  return note + ".";
}

void LineCounts::Add(const LineOutcome& outcome) {
  ++devices;
  switch (outcome.outcome()) {
    case RunOutcome::Programmed:
      ++programmed;
      break;
    case RunOutcome::Refused:
      ++refused;
      break;
    case RunOutcome::Failed:
    case RunOutcome::Stopped:
      ++failed;
      break;
  }
}

std::string SummaryLine(const std::vector<LineOutcome>& outcomes) {
  LineCounts counts;
  std::string notProgrammed;
  for (const LineOutcome& o : outcomes) {
    counts.Add(o);
    if (o.outcome() == RunOutcome::Programmed) continue;
    notProgrammed += (notProgrammed.empty() ? "; not programmed: " : ", ") + o.port.comName() + " " +
                     (o.stopped ? std::string("stopped") : std::to_string(o.code));
  }
  return "summary: " + std::to_string(counts.devices) + " devices: " + std::to_string(counts.programmed) +
         " programmed, " + std::to_string(counts.failed) + " failed, " + std::to_string(counts.refused) +
         " refused" + notProgrammed;
}

int LineExitStatus(const std::vector<LineOutcome>& outcomes, int stoppedStatus) {
  for (const LineOutcome& o : outcomes) {
    if (o.stopped) return stoppedStatus;
    if (o.code != RESULT_OK) return o.code;
  }
  return 0;
}

int StationExitStatus(StopLevel reached, bool anyCut, int stoppedStatus) {
  return reached == StopLevel::All || anyCut ? stoppedStatus : 0;
}

StopLevel LineCore::RaiseStop(StopLevel level) {
  std::lock_guard lock(m_mutex);
  m_level = std::max(m_level, level);
  return m_level;
}

StopLevel LineCore::stopLevel() const {
  std::lock_guard lock(m_mutex);
  return m_level;
}

void LineCore::ProgrammingChanged(bool active) {
  std::lock_guard lock(m_mutex);
  const bool before = m_programming > 0;
  m_programming += active ? 1 : -1;
  const bool now = m_programming > 0;
  if (before != now && m_onProgramming) m_onProgramming(now);
}

bool LineCore::anyProgramming() const {
  std::lock_guard lock(m_mutex);
  return m_programming > 0;
}

void LineCore::Finished(const LineOutcome& outcome, std::size_t order) {
  std::lock_guard lock(m_mutex);
  m_ended.push_back({m_kind == Kind::Line ? order : 0, outcome});
  m_counts.Add(outcome);
}

std::vector<LineOutcome> LineCore::Outcomes() const {
  std::vector<Ended> ended;
  {
    std::lock_guard lock(m_mutex);
    ended = m_ended;
  }
  std::ranges::stable_sort(ended, {}, &Ended::order);
  std::vector<LineOutcome> all;
  all.reserve(ended.size());
  for (Ended& e : ended) all.push_back(std::move(e.outcome));
  return all;
}

LineCounts LineCore::counts() const {
  std::lock_guard lock(m_mutex);
  return m_counts;
}

std::vector<PortEntry> LineCore::Cut() const {
  std::vector<PortEntry> cut;
  for (const LineOutcome& o : Outcomes())
    if (o.cut) cut.push_back(o.port);
  return cut;
}

int LineCore::ExitStatus(int stoppedStatus) const {
  if (m_kind == Kind::Line) return LineExitStatus(Outcomes(), stoppedStatus);
  return StationExitStatus(stopLevel(), !Cut().empty(), stoppedStatus);
}

LineFinish LineCore::Finish(int stoppedStatus) const {
  LineFinish finish;
  finish.summary = Summary();
  finish.cut = Cut();
  finish.cutNote = CutNote(finish.cut);
  finish.exitStatus = ExitStatus(stoppedStatus);
  return finish;
}

}  // namespace app
