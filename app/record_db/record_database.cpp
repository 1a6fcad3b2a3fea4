#include "app/record_db/record_database.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <optional>

#include "app/record_db/record_columns.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;
// How long a statement may take before the server counts as gone.
constexpr std::chrono::seconds kStatementTimeout{60};
// Rows per INSERT: one round trip each, well below the protocol's 65535 parameters.
constexpr std::size_t kRowsPerStatement = 200;

constexpr std::string_view kInsufficientPrivilege = "42501";
constexpr std::string_view kReadOnlyTransaction = "25006";

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

// One row of a SelectColumnsSql() result as its record.
RunRecord RecordOfRow(const PGresult* result, int row) {
  const std::span<const RecordColumn> columns = RecordColumns();
  RunRecord record;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const int column = static_cast<int>(c);
    std::optional<std::string> value;
    if (PQgetisnull(result, row, column) == 0)
      value.emplace(PQgetvalue(result, row, column),
                    static_cast<std::size_t>(PQgetlength(result, row, column)));
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

  // Waits until the socket is ready; false on stop or when `deadline` passed.
  bool Wait(bool forWrite, Clock::time_point deadline, const std::stop_token& stop) const {
    pollfd fd{PQsocket(conn), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    while (!stop.stop_requested() && Clock::now() < deadline) {
      const int n = ::poll(&fd, 1, 100);
      if (n != 0) return true;  // ready, or an error the next libpq call reports
    }
    return false;
  }

  // Sends one statement and collects its result: the error result when there is one.
  DbOutcome Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                 const std::stop_token& stop, Result* last = nullptr) const {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    if (PQsendQueryParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0) == 0)
      return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn))};
    const Clock::time_point deadline = Clock::now() + kStatementTimeout;
    for (int flushed = PQflush(conn); flushed != 0; flushed = PQflush(conn)) {
      if (flushed < 0) return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn))};
      if (!Wait(true, deadline, stop)) return Abandoned(stop);
    }
    DbOutcome outcome;
    for (;;) {
      while (PQisBusy(conn) != 0) {
        if (!Wait(false, deadline, stop)) return Abandoned(stop);
        if (PQconsumeInput(conn) == 0) return {DbFault::Unreachable, FirstLine(PQerrorMessage(conn))};
      }
      Result result(PQgetResult(conn));
      if (!result) break;
      const ExecStatusType status = PQresultStatus(result.get());
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && outcome.ok()) {
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        const std::string_view code = state != nullptr ? state : "";
        outcome.fault = code == kInsufficientPrivilege || code == kReadOnlyTransaction ? DbFault::NotPermitted
                        : PQstatus(conn) == CONNECTION_BAD                             ? DbFault::Unreachable
                                                                                       : DbFault::Refused;
        outcome.message = FirstLine(PQresultErrorMessage(result.get()));
      } else if (last != nullptr && outcome.ok()) {
        *last = std::move(result);
      }
    }
    return outcome;
  }

  static DbOutcome Abandoned(const std::stop_token& stop) {
    if (stop.stop_requested()) return {DbFault::Stopped, "stopped"};
    return {DbFault::Unreachable,
            "the server did not answer within " + std::to_string(kStatementTimeout.count()) + " s"};
  }
};

std::string FaultNote(const DbOutcome& outcome) {
  const std::string why = outcome.message.empty() ? std::string() : " (" + outcome.message + ")";
  switch (outcome.fault) {
    case DbFault::None:
    case DbFault::Stopped:
      return {};
    case DbFault::Unreachable:
      return "record database not reached" + why + "; run records are kept to deliver later";
    case DbFault::Login:
      return "record database refused the login" + why + "; run records are kept to deliver later";
    case DbFault::NoTable:
      return "record database has no table " + std::string(kRunsTable) +
             " and this role may not create it; run records are kept to deliver later";
    case DbFault::NotPermitted:
      return "record database does not let this role add run records" + why +
             "; run records are kept to deliver later";
    case DbFault::Refused:
      return "record database refused the run records" + why + "; they are kept to deliver later";
  }
  return {};
}

RecordDatabase::RecordDatabase(std::string conninfo) : m_conninfo(std::move(conninfo)) {}
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
    // The string's own settings, then the loader's, which win: the time bound and Latin-1.
    const std::array<const char*, 5> keys{"dbname", "connect_timeout", "client_encoding", "application_name",
                                          nullptr};
    const std::string timeout = std::to_string(kConnectTimeout.count());
    const std::array<const char*, 5> values{m_conninfo.c_str(), timeout.c_str(), "LATIN1", "vorloader",
                                            nullptr};
    auto connection = std::make_unique<Connection>();
    connection->conn = PQconnectStartParams(keys.data(), values.data(), 1);
    if (connection->conn == nullptr) return {DbFault::Unreachable, "out of memory"};
    const Clock::time_point deadline = Clock::now() + kConnectTimeout;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(connection->conn) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
           state != PGRES_POLLING_FAILED) {
      if (!connection->Wait(state == PGRES_POLLING_WRITING, deadline, stop)) {
        if (stop.stop_requested()) return {DbFault::Stopped, "stopped"};
        return {DbFault::Unreachable, "no answer within " + std::to_string(kConnectTimeout.count()) + " s"};
      }
      state = PQconnectPoll(connection->conn);
    }
    if (PQstatus(connection->conn) != CONNECTION_OK) {
      const std::string message = FirstLine(PQerrorMessage(connection->conn));
      const bool login = PQconnectionNeedsPassword(connection->conn) != 0 ||
                         PQconnectionUsedPassword(connection->conn) != 0 ||
                         message.find("authentication") != std::string::npos ||
                         message.find("role \"") != std::string::npos;
      return {login ? DbFault::Login : DbFault::Unreachable, message};
    }
    m_connection = std::move(connection);
  }
  if (m_connection->tableChecked) return {};
  bool present = false;
  DbOutcome outcome = TablePresent(present, stop);
  if (!outcome.ok()) return outcome;
  if (!present) {
    outcome = m_connection->Exec(CreateRunsTableSql(), {}, stop);
    if (!outcome.ok()) {
      // Another station may have created it at the same moment (two creations at once fail
      // with a duplicate key in the catalogue).
      if (outcome.fault != DbFault::NotPermitted && TablePresent(present, stop).ok() && present) outcome = {};
      if (outcome.fault == DbFault::NotPermitted) outcome.fault = DbFault::NoTable;
      if (!outcome.ok()) return outcome;
    }
  }
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
    // A connection in an unknown state is not used again.
    Close();
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
  Result result;
  outcome = m_connection->Exec(sql, {std::to_string(count)}, stop, &result);
  if (!outcome.ok()) return outcome;
  if (!result) return {DbFault::Refused, "no rows came back"};
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
  outcome = m_connection->Exec(sql, {since, until}, stop, &result);
  if (!outcome.ok()) return outcome;
  if (!result) return {DbFault::Refused, "no rows came back"};
  const int rows = PQntuples(result.get());
  records.reserve(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) records.push_back(RecordOfRow(result.get(), row));
  return {};
}

}  // namespace app
