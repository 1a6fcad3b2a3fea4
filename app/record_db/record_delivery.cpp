#include "app/record_db/record_delivery.h"

#include <vector>

namespace app {

std::string RefusedNote(const DeliveryReport& report, const std::string& recordFile) {
  return "record database refused " +
         (report.refused == 1 ? std::string("a run record")
                              : std::to_string(report.refused) + " run records") +
         " for its data" +
         (report.refusedReason.empty() ? std::string() : " (" + report.refusedReason + ")") +
         "; set aside with the reason in " + RefusedPath(recordFile) + ", and the others go on";
}

RecordDelivery::RecordDelivery(Settings settings, NoteFunction note)
    : m_settings(std::move(settings)),
      m_note(std::move(note)),
      m_thread([this](const std::stop_token& stop) { Run(stop); }) {}

RecordDelivery::~RecordDelivery() {
  m_thread.request_stop();
  m_wake.notify_all();
}

void RecordDelivery::Kick() {
  {
    const std::lock_guard lock(m_mutex);
    m_kicked = true;
  }
  m_wake.notify_all();
}

void RecordDelivery::Run(const std::stop_token& stop) {
  RecordDatabase database(m_settings.conninfo);
  std::unique_lock lock(m_mutex);
  while (!stop.stop_requested()) {
    if (m_refused) {
      // Kicks wait for the retry too; Finish may bring it forward.
      const std::chrono::steady_clock::time_point retryAt = m_retryAt;
      m_wake.wait_until(lock, stop, retryAt,
                        [this] { return !m_refused || std::chrono::steady_clock::now() >= m_retryAt; });
    } else {
      m_wake.wait(lock, stop, [this] { return m_kicked; });
    }
    if (stop.stop_requested()) break;
    if (m_refused && std::chrono::steady_clock::now() < m_retryAt) continue;
    m_kicked = false;
    m_busy = true;
    lock.unlock();
    const DeliveryReport report = DeliverPending(database, m_settings.recordFile, stop);
    std::vector<std::string> notes;
    lock.lock();
    if (!report.outcome.ok() && report.outcome.fault != DbFault::Stopped) {
      if (m_noted.insert(report.outcome.fault).second) notes.push_back(FaultNote(report.outcome));
    } else if (!report.fileError.empty()) {
      if (m_fileNoted != report.fileError) notes.push_back("record database: " + report.fileError);
      m_fileNoted = report.fileError;
    }
    if (report.refused > 0 && !m_refusedNoted) {
      notes.push_back(RefusedNote(report, m_settings.recordFile));
      m_refusedNoted = true;
    }
    if (!report.plainTextNote.empty() && !m_plainTextNoted) {
      notes.push_back(report.plainTextNote);
      m_plainTextNoted = true;
    }
    lock.unlock();
    if (!report.outcome.ok() && report.outcome.fault != DbFault::Stopped) database.Close();
    if (m_note)
      for (const std::string& note : notes) m_note(note);
    lock.lock();
    const bool failed =
        (!report.outcome.ok() && report.outcome.fault != DbFault::Stopped) || !report.fileError.empty();
    m_refused = failed;
    m_pending = report.remaining;
    if (failed) {
      m_retryAt = std::chrono::steady_clock::now() + m_settings.retry;
    } else if (report.outcome.ok()) {
      m_noted.clear();
      m_fileNoted.clear();
    }
    m_busy = false;
    ++m_passes;
    m_wake.notify_all();
  }
}

RecordDelivery::Outcome RecordDelivery::Finish(std::chrono::milliseconds maxWait) {
  Outcome outcome;
  {
    std::unique_lock lock(m_mutex);
    const bool justRefused = m_refused && !m_busy && std::chrono::steady_clock::now() < m_retryAt;
    if (!justRefused) {
      // A pass that starts after this call, so that the last record is in it; or the end of
      // the pass running now when that one is refused.
      const std::size_t start = m_passes;
      const std::size_t target = start + (m_busy ? 2 : 1);
      m_kicked = true;
      m_retryAt = {};
      m_wake.notify_all();
      outcome.finished = m_wake.wait_for(
          lock, maxWait, [&] { return m_passes >= target || (m_passes > start && m_refused && !m_busy); });
    }
    outcome.refused = m_refused;
  }
  m_thread.request_stop();
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  outcome.pending = outcome.finished && !outcome.refused ? m_pending : CountPending(m_settings.recordFile);
  return outcome;
}

}  // namespace app
