#pragma once
// The record database on the terminal front end: which one the command line and the
// environment name, and the delivery that runs beside a connect or raw-boot run.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/record/record_file.h"
#include "app/record_db/record_delivery.h"
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

// Delivery beside a connect or raw-boot run: started when a record database is named and run
// records are on, it delivers what was pending at once and each record the run appends.
class RunDelivery {
 public:
  RunDelivery(const CommandLine& line, const app::Environment& env);
  // Waits for the delivery in flight at most kDeliveryWait (not at all when the database has
  // just refused), then tells `view` why the database refused (one note per cause) and, in
  // one note, how many records are kept for later and where. Call once, on the main thread.
  void End(LoaderView& view);

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_notes;  // guarded by m_mutex: the worker's notes, told at the end
  std::string m_problem;             // why there is no delivery although a database is named
  std::unique_ptr<app::RecordDelivery> m_delivery;
};

}  // namespace cli
