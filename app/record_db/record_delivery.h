#pragma once
// The background worker that delivers the record file's pending records to the record
// database, so that no workflow ever waits for it. It delivers what is pending as soon as it
// starts (what earlier runs left), then whenever the sink that appended a record tells it so
// (Kick): it never looks at the file by itself while it waits. After the database refused, it
// tries again about every 30 s. Each cause of refusal is told once (through the note
// function, on the worker's thread) until a delivery succeeds again; records
// set aside for their data, and a connection without TLS, are told once for the worker's life.
//
// Guarded by one mutex: every public member may be called from any thread.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/record_db/pending_delivery.h"

namespace app {

// The note that records were set aside: how many, the first reason, and where.
std::string RefusedNote(const DeliveryReport& report, const std::string& recordFile);

class RecordDelivery {
 public:
  using NoteFunction = std::function<void(const std::string& note)>;
  struct Settings {
    std::string conninfo;
    std::string recordFile;
    std::chrono::milliseconds retry{30000};  // after a refusal
  };

  RecordDelivery(Settings settings, NoteFunction note);
  // Stops the worker: a step in progress is abandoned within a tenth of a second (what it
  // sent is delivered again later, harmlessly).
  ~RecordDelivery();
  RecordDelivery(const RecordDelivery&) = delete;
  RecordDelivery& operator=(const RecordDelivery&) = delete;

  // A record was appended: deliver it now (unless the database refused a moment ago).
  void Kick();

  struct Outcome {
    std::size_t pending = 0;  // records kept for later
    bool refused = false;     // the last attempt was refused (nothing was waited for)
    bool finished = false;    // the last delivery ended within the wait
  };
  // Ends delivery at the end of a run: unless the database has just refused, delivers what is
  // pending and waits for it at most `maxWait`; then stops the worker.
  Outcome Finish(std::chrono::milliseconds maxWait);

  const std::string& recordFile() const { return m_settings.recordFile; }

 private:
  void Run(const std::stop_token& stop);
  void Pass(const std::stop_token& stop);

  const Settings m_settings;
  const NoteFunction m_note;

  std::mutex m_mutex;
  std::condition_variable_any m_wake;
  bool m_kicked = true;      // the first pass runs at once
  bool m_busy = false;       // a pass is running
  std::size_t m_passes = 0;  // passes ended
  bool m_refused = false;    // the last pass ended refused
  std::size_t m_pending = 0;
  std::chrono::steady_clock::time_point m_retryAt{};
  std::set<DbFault> m_noted;
  std::string m_fileNoted;
  bool m_refusedNoted = false;
  bool m_plainTextNoted = false;

  std::jthread m_thread;  // last: starts after everything above exists
};

}  // namespace app
