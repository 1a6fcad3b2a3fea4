#pragma once
// One connection to the record database, driven without blocking (the socket in non-blocking
// mode, every wait a poll bounded by the stop request and a deadline), so that a stop request
// ends any step within a tenth of a second however the server or the network behaves. The
// host name is looked up on a thread of its own that a stop or the deadline abandons;
// connecting takes at most 5 s; TCP keepalives and a user timeout end a connection whose peer
// went silent. Records travel as Latin-1 (the session's client encoding), so the loader's
// bytes are stored verbatim; they are read back as UTF-8 and brought to Latin-1 as the record
// file's reader does, so a row another tool wrote cannot break the reading. Only
// parameterised statements are sent. The table is never created here: the site makes it
// with packaging/sql/vorloader_runs.sql. Not shared between threads.

#include <chrono>
#include <cstddef>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "app/record/run_record.h"
#include "app/record_db/host_lookup.h"

namespace app {

// Why the database did not take the records, one cause per note.
enum class DbFault {
  None,
  Unreachable,    // no server answered in time
  Login,          // the server refused the login (a wrong or missing password, an unknown role)
  NoTable,        // there is no table vorloader_runs
  MissingColumn,  // the table lacks a column this loader writes (the message names them)
  NotPermitted,   // the role may not add records (read-only)
  DataRefused,    // the server refused the rows for their data (SQLSTATE class 22, 23 or 54)
  Refused,        // anything else the server said no to
  Stopped,        // the loader asked the step to stop
};

struct DbOutcome {
  DbFault fault = DbFault::None;
  std::string message;   // the server's or libpq's first line
  std::string sqlstate;  // the server's error code, when it sent one
  bool ok() const { return fault == DbFault::None; }
};

// The note telling a person what `outcome` means: "record database ...".
std::string FaultNote(const DbOutcome& outcome);

inline constexpr std::chrono::seconds kConnectTimeout{5};

class RecordDatabase {
 public:
  explicit RecordDatabase(std::string conninfo, HostResolver resolver = ResolveHost);
  ~RecordDatabase();
  RecordDatabase(const RecordDatabase&) = delete;
  RecordDatabase& operator=(const RecordDatabase&) = delete;

  // Connects when not connected, and makes sure the table is there.
  DbOutcome Open(const std::stop_token& stop);
  bool connected() const;
  void Close();

  // When the last connection went to a host over TCP without TLS: the note that says so;
  // else empty.
  const std::string& plainTextNote() const { return m_plainTextNote; }

  // Inserts the records in one transaction; records whose run ID is already stored are
  // skipped. `inserted` counts the rows that were new. A table without a column that the
  // loader writes is MissingColumn, with the missing columns named in the message.
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
  DbOutcome MissingColumns(const std::stop_token& stop);
  std::string m_conninfo;
  HostResolver m_resolver;
  std::string m_plainTextNote;
  std::unique_ptr<Connection> m_connection;
};

}  // namespace app
