#pragma once
// The record database on the terminal front end: which one the command line and the
// environment name, and the run records of a command that runs devices.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/record/record_file.h"
#include "app/record/record_sink.h"
#include "app/record_keeping.h"
#include "cli/command/command_line.h"
#include "common/loader_view.h"

namespace cli {

struct RecordDbChoice {
  std::string conninfo;  // empty: no record database
  std::string error;     // a usage error to print (exit 64); empty when the choice is good
};

// --record-db, else VORLOADER_RECORD_DB (unset or empty: none). A string libpq cannot parse is
// refused with libpq's reason; a password in --record-db is refused, since every user of the
// machine could read it in the process list.
RecordDbChoice ChooseRecordDb(const CommandLine& line, const app::Environment& env);

// How long the end of a run waits for the delivery in flight.
inline constexpr std::chrono::seconds kDeliveryWait{5};

// The run records of a command that runs devices (connect, raw-boot, station): one record
// keeping for the whole command, from --record and the record database chosen, whose sink every
// session of the command writes to. The worker's notes are held back and told at the end,
// unless TellAsTheyCome sends them on at once.
//
// How it is guarded: m_mutex guards the held notes and where they go; the keeping guards itself.
class RunRecords {
 public:
  RunRecords(const CommandLine& line, const app::Environment& env);
  // The sink for every session of the command; null for a command that runs no device.
  std::shared_ptr<app::RecordSink> sink() const;
  // From now on the notes go to `tell` as they come (first those held back so far), from the
  // worker's thread; nullptr holds them back again. `tell` is called under the lock that this
  // call takes too, so once it returns with nullptr, `tell` is called no more.
  void TellAsTheyCome(std::function<void(const std::string& note)> tell);
  // Waits for the delivery in flight at most kDeliveryWait (not at all when the database has
  // just refused), then tells `view` the notes held back (why the database refused, one note
  // per cause) and, in one note, how many records are kept for later and where. Call once, on
  // the main thread, after the command.
  void End(LoaderView& view);

 private:
  void Hear(const std::string& note);

  std::mutex m_mutex;
  std::vector<std::string> m_notes;                     // held back
  std::function<void(const std::string& note)> m_tell;  // where notes go at once, if set
  std::unique_ptr<app::RecordKeeping> m_keeping;        // last: its worker calls Hear
};

}  // namespace cli
