#pragma once
// Where a loader's run records go, decided once when the front end starts: the record file the
// rules choose and, when one is named, the record database. The keeping hands out the one sink
// that every session, production line and station of the front end writes to, and it is the
// only place where a delivery worker starts: each record the sink keeps in the file wakes the
// worker, which takes it on to the database (it looks at the file by itself only once, when
// it starts, for what earlier runs left).
//
// How it is guarded: the settings, the sink and the worker are fixed once made. The sink may
// be written from several threads at once (see RecordSink); the worker guards itself.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/record/file_record_sink.h"
#include "app/record/record_file.h"
#include "app/record/record_sink.h"
#include "app/record_db/record_delivery.h"

namespace app {

struct RecordSettings {
  std::optional<std::string> file;  // the record file; nullopt: run records are off
  std::string conninfo;             // the record database; empty: none

  // The record file by the rules of RecordFilePath (`commandLineFile` is the terminal's
  // --record) and the record database `conninfo`.
  static RecordSettings ByRules(std::string conninfo, const std::string& commandLineFile = {},
                                const Environment& env = ProcessEnvironment());
};

class RecordKeeping {
 public:
  using NoteFunction = RecordDelivery::NoteFunction;

  // Starts delivery when a database is named and run records are on. `note` is told why the
  // database refused (from the worker's thread, one note per cause), and, from this thread at
  // once, when a database is named but records are off; it must outlive the keeping.
  RecordKeeping(RecordSettings settings, NoteFunction note);
  // Stops the worker at once: what it has not delivered stays in the file for a later run.
  ~RecordKeeping();
  RecordKeeping(const RecordKeeping&) = delete;
  RecordKeeping& operator=(const RecordKeeping&) = delete;

  // The sink for every session; the keeping must outlive every session it is given to.
  std::shared_ptr<RecordSink> sink() const { return m_sink; }
  const RecordSettings& settings() const { return m_settings; }
  bool delivering() const { return m_delivery != nullptr; }

  // Ends delivery at the end of a run (see RecordDelivery::Finish); nullopt when none runs.
  // Records written after this stay in the file for a later run.
  std::optional<RecordDelivery::Outcome> Finish(std::chrono::milliseconds maxWait);

 private:
  const RecordSettings m_settings;
  std::shared_ptr<FileRecordSink> m_file;
  std::unique_ptr<RecordDelivery> m_delivery;
  std::shared_ptr<RecordSink> m_sink;
};

}  // namespace app
