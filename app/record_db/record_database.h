#pragma once
// One connection to the record database, driven without blocking so that a stop request ends
// any step within a tenth of a second. Connecting takes at most 5 s. Texts travel as Latin-1
// (the session's client encoding), so the loader's bytes are stored and read back verbatim.
// Only parameterised statements are sent. Not shared between threads.

#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "app/record/run_record.h"

namespace app {

// Why the database did not take the records, one cause per note.
enum class DbFault {
  None,
  Unreachable,   // no server answered in time
  Login,         // the server refused the login (a wrong or missing password, an unknown role)
  NoTable,       // there is no table vorloader_runs and the role may not create it
  NotPermitted,  // the role may not add records (read-only)
  Refused,       // anything else the server said no to
  Stopped,       // the loader asked the step to stop
};

struct DbOutcome {
  DbFault fault = DbFault::None;
  std::string message;  // the server's or libpq's first line
  bool ok() const { return fault == DbFault::None; }
};

// The note telling a person what `outcome` means: "record database ...".
std::string FaultNote(const DbOutcome& outcome);

inline constexpr std::chrono::seconds kConnectTimeout{5};

class RecordDatabase {
 public:
  explicit RecordDatabase(std::string conninfo);
  ~RecordDatabase();
  RecordDatabase(const RecordDatabase&) = delete;
  RecordDatabase& operator=(const RecordDatabase&) = delete;

  // Connects when not connected, and makes sure the table is there (creating it when missing
  // and the role may).
  DbOutcome Open(const std::stop_token& stop);
  bool connected() const;
  void Close();

  // Inserts the records in one transaction; records whose run ID is already stored are
  // skipped. `inserted` counts the rows that were new.
  DbOutcome Insert(std::span<const RunRecord> records, const std::stop_token& stop,
                   std::size_t* inserted = nullptr);

  // The last `count` records by time, of every station, oldest first.
  DbOutcome ReadLast(std::size_t count, std::vector<RunRecord>& records, const std::stop_token& stop);

  // The records of every station whose time is at or after `since` and before `until`
  // (record times, "2026-12-10T13:46:18Z"; empty: no bound), oldest first.
  DbOutcome ReadBetween(const std::string& since, const std::string& until, std::vector<RunRecord>& records,
                        const std::stop_token& stop);

 private:
  struct Connection;
  DbOutcome TablePresent(bool& present, const std::stop_token& stop);
  std::string m_conninfo;
  std::unique_ptr<Connection> m_connection;
};

}  // namespace app
