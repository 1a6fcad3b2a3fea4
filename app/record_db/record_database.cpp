#include "app/record_db/record_database.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "app/record/record_line_parser.h"
#include "app/record_db/record_columns.h"
#include "platform/socket_wait.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;
// How long a statement may take before the server counts as gone.
constexpr std::chrono::seconds kStatementTimeout{60};
// Rows per INSERT: one round trip each, well below the protocol's 65535 parameters.
constexpr std::size_t kRowsPerStatement = 200;

constexpr std::string_view kInsufficientPrivilege = "42501";
constexpr std::string_view kReadOnlyTransaction = "25006";
constexpr std::string_view kUndefinedColumn = "42703";
constexpr std::string_view kUndefinedTable = "42P01";
// Keepalives and a user timeout end a connection whose peer went silent within about 30 s,
// where the system's defaults wait for hours. The connection string may set others.
constexpr std::array<std::pair<const char*, const char*>, 5> kTcpSettings{{{"keepalives", "1"},
                                                                           {"keepalives_idle", "10"},
                                                                           {"keepalives_interval", "5"},
                                                                           {"keepalives_count", "3"},
                                                                           {"tcp_user_timeout", "30000"}}};

// What the server's error code says about the records: the classes of data exceptions (22),
// integrity constraints (23) and program limits (54, such as a key too long for its index)
// are about the rows sent.
DbFault FaultOf(std::string_view sqlstate) {
  if (sqlstate == kInsufficientPrivilege || sqlstate == kReadOnlyTransaction) return DbFault::NotPermitted;
  if (sqlstate == kUndefinedColumn) return DbFault::MissingColumn;
  if (sqlstate == kUndefinedTable) return DbFault::NoTable;
  const std::string_view cls = sqlstate.substr(0, 2);
  if (sqlstate.size() == 5 && (cls == "22" || cls == "23" || cls == "54")) return DbFault::DataRefused;
  return DbFault::Refused;
}

// The ALTER TABLE statements that add the named columns (", "-separated) as the loader
// writes them.
std::string AddColumnsSql(const std::string& names) {
  std::string sql;
  for (const RecordColumn& c : RecordColumns()) {
    const std::string name(c.name);
    std::size_t at = names.find(name);
    for (; at != std::string::npos; at = names.find(name, at + 1)) {
      const std::size_t end = at + name.size();
      if ((at == 0 || names[at - 1] == ' ') && (end == names.size() || names[end] == ',')) break;
    }
    if (at == std::string::npos) continue;
    if (!sql.empty()) sql += " ";
    sql += "ALTER TABLE " + std::string(kRunsTable) + " ADD COLUMN IF NOT EXISTS " + name + " " +
           std::string(c.type) + ";";
  }
  return sql;
}

std::string FirstLine(const char* text) {
  std::string line = text != nullptr ? text : "";
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (line.rfind("ERROR:  ", 0) == 0) line.erase(0, 8);
  if (line.rfind("FATAL:  ", 0) == 0) line.erase(0, 8);
  return line;
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// "SELECT <every column> FROM vorloader_runs".
std::string SelectColumnsSql() {
  const std::span<const RecordColumn> columns = RecordColumns();
  std::string sql = "SELECT ";
  for (std::size_t c = 0; c < columns.size(); ++c) sql += (c > 0 ? ", " : "") + std::string(columns[c].name);
  return sql + " FROM " + std::string(kRunsTable);
}

// One row of a SelectColumnsSql() result, read as UTF-8, as its record.
RunRecord RecordOfRow(const PGresult* result, int row) {
  const std::span<const RecordColumn> columns = RecordColumns();
  RunRecord record;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const int column = static_cast<int>(c);
    std::optional<std::string> value;
    if (PQgetisnull(result, row, column) == 0)
      value = Utf8ToLatin1(std::string(PQgetvalue(result, row, column),
                                       static_cast<std::size_t>(PQgetlength(result, row, column))));
    columns[c].set(record, value);
  }
  return record;
}

}  // namespace

struct RecordDatabase::Connection {
  PGconn* conn = nullptr;
  bool tableChecked = false;
  ~Connection() {
    if (conn != nullptr) PQfinish(conn);
  }

  // Waits until the socket is ready as asked; false on stop or when `deadline` passed.
  bool Wait(platform::SocketReady ready, Clock::time_point deadline, const std::stop_token& stop) const {
    return platform::WaitForSocket(PQsocket(conn), ready, deadline, stop);
  }
  bool Wait(bool forWrite, Clock::time_point deadline, const std::stop_token& stop) const {
    return Wait(forWrite ? platform::SocketReady::kWritable : platform::SocketReady::kReadable, deadline,
                stop);
  }

  // Sends one statement and collects its result: the error result when there is one.
  DbOutcome Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                 const std::stop_token& stop, Result* last = nullptr) const {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    if (PQsendQueryParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0) == 0)
      return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn)), {}};
    const Clock::time_point deadline = Clock::now() + kStatementTimeout;
    for (int flushed = PQflush(conn); flushed != 0; flushed = PQflush(conn)) {
      if (flushed < 0) return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn)), {}};
      // The server may answer (a notice, an error) before it reads the rest: take its answer
      // in, or it could stop reading while waiting for the loader to read.
      if (!Wait(platform::SocketReady::kReadableOrWritable, deadline, stop)) return Abandoned(stop);
      if (PQconsumeInput(conn) == 0) return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn)), {}};
    }
    DbOutcome outcome;
    for (;;) {
      while (PQisBusy(conn) != 0) {
        if (!Wait(false, deadline, stop)) return Abandoned(stop);
        if (PQconsumeInput(conn) == 0) return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn)), {}};
      }
      Result result(PQgetResult(conn));
      if (!result) break;
      const ExecStatusType status = PQresultStatus(result.get());
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && outcome.ok()) {
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        outcome.sqlstate = state != nullptr ? state : "";
        outcome.fault = PQstatus(conn) == CONNECTION_BAD ? DbFault::Unreachable : FaultOf(outcome.sqlstate);
        outcome.message = FirstLine(PQresultErrorMessage(result.get()));
      } else if (last != nullptr && outcome.ok()) {
        *last = std::move(result);
      }
    }
    return outcome;
  }

  static DbOutcome Abandoned(const std::stop_token& stop) {
    if (stop.stop_requested()) return {DbFault::Stopped, "stopped", {}};
    return {DbFault::Unreachable,
            "the server did not answer within " + std::to_string(kStatementTimeout.count()) + " s",
            {}};
  }
};

std::string FaultNote(const DbOutcome& outcome) {
  const std::string why = outcome.message.empty() ? std::string() : " (" + outcome.message + ")";
  const std::string kept = "; run records are kept to deliver later";
  switch (outcome.fault) {
    case DbFault::None:
    case DbFault::Stopped:
      return {};
    case DbFault::Unreachable:
      return "record database not reached" + why + kept;
    case DbFault::Login:
      return "record database refused the login" + why + kept;
    case DbFault::NoTable:
      return "record database has no table " + std::string(kRunsTable) +
             ": run packaging/sql/vorloader_runs.sql as the database owner" + kept;
    case DbFault::MissingColumn:
      return "record database table " + std::string(kRunsTable) + " lacks " +
             (outcome.message.find(',') == std::string::npos ? "the column " : "the columns ") +
             outcome.message + " that this loader writes: as the database owner, run " +
             AddColumnsSql(outcome.message) + " (or the upgrade scripts in packaging/sql/)" + kept;
    case DbFault::NotPermitted:
      return "record database does not let this role add run records" + why + kept;
    case DbFault::DataRefused:
      return "record database refused a run record for its data" + why;
    case DbFault::Refused:
      return "record database refused the run records" + why + "; they are kept to deliver later";
  }
  return {};
}

RecordDatabase::RecordDatabase(std::string conninfo, HostResolver resolver)
    : m_conninfo(std::move(conninfo)), m_resolver(std::move(resolver)) {}
RecordDatabase::~RecordDatabase() = default;

bool RecordDatabase::connected() const {
  return m_connection && PQstatus(m_connection->conn) == CONNECTION_OK;
}

void RecordDatabase::Close() {
  m_connection.reset();
}

DbOutcome RecordDatabase::Open(const std::stop_token& stop) {
  if (!connected()) {
    m_connection.reset();
    const Clock::time_point deadline = Clock::now() + kConnectTimeout;
    const HostTargets targets = LookUpHosts(m_conninfo, m_resolver, deadline, stop);
    if (targets.stopped) return {DbFault::Stopped, "stopped", {}};
    if (!targets.error.empty()) return {DbFault::Unreachable, targets.error, {}};
    // The TCP settings, which the string may change; the string; then the loader's settings,
    // which win: the time bound, Latin-1, and the addresses looked up.
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : kTcpSettings) {
      keys.push_back(key);
      values.push_back(value);
    }
    const std::string timeout = std::to_string(kConnectTimeout.count());
    const std::array<std::pair<const char*, const char*>, 4> own{{{"dbname", m_conninfo.c_str()},
                                                                  {"connect_timeout", timeout.c_str()},
                                                                  {"client_encoding", "LATIN1"},
                                                                  {"application_name", "vorloader"}}};
    for (const auto& [key, value] : own) {
      keys.push_back(key);
      values.push_back(value);
    }
    if (!targets.empty()) {
      keys.insert(keys.end(), {"host", "hostaddr"});
      values.insert(values.end(), {targets.host.c_str(), targets.hostaddr.c_str()});
      if (!targets.port.empty()) {
        keys.push_back("port");
        values.push_back(targets.port.c_str());
      }
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    auto connection = std::make_unique<Connection>();
    connection->conn = PQconnectStartParams(keys.data(), values.data(), 1);
    if (connection->conn == nullptr) return {DbFault::Unreachable, "out of memory", {}};
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(connection->conn) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
           state != PGRES_POLLING_FAILED) {
      if (!connection->Wait(state == PGRES_POLLING_WRITING, deadline, stop)) {
        if (stop.stop_requested()) return {DbFault::Stopped, "stopped", {}};
        return {
            DbFault::Unreachable, "no answer within " + std::to_string(kConnectTimeout.count()) + " s", {}};
      }
      state = PQconnectPoll(connection->conn);
    }
    if (PQstatus(connection->conn) != CONNECTION_OK) {
      const std::string message = FirstLine(PQerrorMessage(connection->conn));
      const bool login = PQconnectionNeedsPassword(connection->conn) != 0 ||
                         PQconnectionUsedPassword(connection->conn) != 0 ||
                         message.find("authentication") != std::string::npos ||
                         message.find("role \"") != std::string::npos;
      return {login ? DbFault::Login : DbFault::Unreachable, message, {}};
    }
    // From here on no call waits on the socket: sending queues what the socket cannot take.
    if (PQsetnonblocking(connection->conn, 1) != 0)
      return {DbFault::Unreachable, FirstLine(PQerrorMessage(connection->conn)), {}};
    // An address means TCP; a Unix socket has none, and needs no encryption.
    const char* address = PQhostaddr(connection->conn);
    m_plainTextNote.clear();
    if (address != nullptr && *address != '\0' && PQsslInUse(connection->conn) == 0) {
      const char* host = PQhost(connection->conn);
      m_plainTextNote = "record database connection to " + std::string(host != nullptr ? host : address) +
                        " does not use TLS, so the records can be read and changed on the way; add "
                        "sslmode=verify-full to the connection string";
    }
    m_connection = std::move(connection);
  }
  if (m_connection->tableChecked) return {};
  bool present = false;
  DbOutcome outcome = TablePresent(present, stop);
  if (!outcome.ok()) return outcome;
  if (!present) return {DbFault::NoTable, {}, {}};
  m_connection->tableChecked = true;
  return {};
}

DbOutcome RecordDatabase::TablePresent(bool& present, const std::stop_token& stop) {
  Result found;
  DbOutcome outcome =
      m_connection->Exec("SELECT to_regclass($1) IS NOT NULL", {std::string(kRunsTable)}, stop, &found);
  present = outcome.ok() && found && PQntuples(found.get()) == 1 &&
            std::string_view(PQgetvalue(found.get(), 0, 0)) == "t";
  return outcome;
}

DbOutcome RecordDatabase::MissingColumns(const std::stop_token& stop) {
  Result found;
  DbOutcome outcome = m_connection->Exec(
      "SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1) AND attnum > 0 AND NOT attisdropped",
      {std::string(kRunsTable)}, stop, &found);
  if (!outcome.ok()) return outcome;
  if (!found) return {};
  std::vector<std::string> present;
  present.reserve(static_cast<std::size_t>(PQntuples(found.get())));
  for (int row = 0; row < PQntuples(found.get()); ++row)
    present.emplace_back(PQgetvalue(found.get(), row, 0));
  std::string missing;
  for (const RecordColumn& c : RecordColumns())
    if (std::find(present.begin(), present.end(), c.name) == present.end())
      missing += (missing.empty() ? "" : ", ") + std::string(c.name);
  if (missing.empty()) return {};
  return {DbFault::MissingColumn, missing, std::string(kUndefinedColumn)};
}

DbOutcome RecordDatabase::Insert(std::span<const RunRecord> records, const std::stop_token& stop,
                                 std::size_t* inserted) {
  if (inserted != nullptr) *inserted = 0;
  if (records.empty()) return {};
  DbOutcome outcome = Open(stop);
  if (!outcome.ok()) return outcome;
  const std::span<const RecordColumn> columns = RecordColumns();
  std::string head = "INSERT INTO " + std::string(kRunsTable) + " (";
  for (std::size_t c = 0; c < columns.size(); ++c) head += (c > 0 ? ", " : "") + std::string(columns[c].name);
  head += ") VALUES ";

  std::size_t added = 0;
  outcome = m_connection->Exec("BEGIN", {}, stop);
  for (std::size_t first = 0; outcome.ok() && first < records.size(); first += kRowsPerStatement) {
    const std::size_t rows = std::min(kRowsPerStatement, records.size() - first);
    std::string sql = head;
    std::vector<std::optional<std::string>> params;
    params.reserve(rows * columns.size());
    for (std::size_t r = 0; r < rows; ++r) {
      sql += r > 0 ? ", (" : "(";
      for (std::size_t c = 0; c < columns.size(); ++c) {
        params.push_back(columns[c].get(records[first + r]));
        sql += (c > 0 ? ", $" : "$") + std::to_string(params.size());
      }
      sql += ")";
    }
    sql += " ON CONFLICT (run_id) DO NOTHING";
    Result result;
    outcome = m_connection->Exec(sql, params, stop, &result);
    if (outcome.ok() && result) {
      const char* count = PQcmdTuples(result.get());
      added += static_cast<std::size_t>(std::strtoull(count, nullptr, 10));
    }
  }
  if (outcome.ok()) outcome = m_connection->Exec("COMMIT", {}, stop);
  if (!outcome.ok()) {
    // A refusal leaves the connection usable once the transaction is rolled back; a
    // connection in any other state is not used again.
    const bool refusal = outcome.fault != DbFault::Unreachable && outcome.fault != DbFault::Stopped &&
                         PQstatus(m_connection->conn) == CONNECTION_OK;
    if (!refusal || !m_connection->Exec("ROLLBACK", {}, stop).ok()) Close();
    if (outcome.fault == DbFault::NoTable) {
      Close();
    } else if (outcome.fault == DbFault::MissingColumn) {
      // The missing columns by name, or the server's own words when they cannot be found.
      const DbOutcome missing = m_connection ? MissingColumns(stop) : DbOutcome{};
      if (!missing.ok())
        outcome = missing;
      else
        outcome.fault = DbFault::Refused;
    }
    return outcome;
  }
  if (inserted != nullptr) *inserted = added;
  return {};
}

DbOutcome RecordDatabase::ReadLast(std::size_t count, std::vector<RunRecord>& records,
                                   const std::stop_token& stop) {
  records.clear();
  DbOutcome outcome = Open(stop);
  if (!outcome.ok()) return outcome;
  std::string sql = SelectColumnsSql() + " ORDER BY time DESC, run_id DESC LIMIT $1";
  // Read as UTF-8: a row another tool wrote may hold what Latin-1 cannot, and the server would
  // refuse the whole answer for it. The session goes back to Latin-1 for the records it sends.
  Result result;
  outcome = m_connection->Exec("SET client_encoding TO 'UTF8'", {}, stop);
  if (outcome.ok()) outcome = m_connection->Exec(sql, {std::to_string(count)}, stop, &result);
  if (outcome.ok()) outcome = m_connection->Exec("SET client_encoding TO 'LATIN1'", {}, stop);
  if (!outcome.ok()) {
    Close();
    return outcome;
  }
  if (!result) return {DbFault::Refused, "no rows came back", {}};
  const int rows = PQntuples(result.get());
  for (int row = rows - 1; row >= 0; --row) records.push_back(RecordOfRow(result.get(), row));
  return {};
}

DbOutcome RecordDatabase::ReadBetween(const std::string& since, const std::string& until,
                                      std::vector<RunRecord>& records, const std::stop_token& stop) {
  records.clear();
  DbOutcome outcome = Open(stop);
  if (!outcome.ok()) return outcome;
  // Record times are UTC texts of one fixed form, so their order as texts is their order in time.
  std::string sql = SelectColumnsSql() + " WHERE ($1 = '' OR time >= $1) AND ($2 = '' OR time < $2)" +
                    " ORDER BY time, run_id";
  Result result;
  outcome = m_connection->Exec("SET client_encoding TO 'UTF8'", {}, stop);
  if (outcome.ok()) outcome = m_connection->Exec(sql, {since, until}, stop, &result);
  if (outcome.ok()) outcome = m_connection->Exec("SET client_encoding TO 'LATIN1'", {}, stop);
  if (!outcome.ok()) {
    Close();
    return outcome;
  }
  if (!result) return {DbFault::Refused, "no rows came back", {}};
  const int rows = PQntuples(result.get());
  records.reserve(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) records.push_back(RecordOfRow(result.get(), row));
  return {};
}

}  // namespace app
