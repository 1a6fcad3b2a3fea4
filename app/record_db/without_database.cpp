// The record database in a build without the database client library (the Windows build):
// every connection string is refused before anything runs, so no record is ever spooled for
// a database; should one be asked for all the same, it is never reached.

#include <utility>

#include "app/record_db/conninfo_check.h"
#include "app/record_db/host_lookup.h"
#include "app/record_db/record_database.h"

namespace app {

struct RecordDatabase::Connection {};

namespace {

DbOutcome Absent() {
  return {DbFault::Unreachable, kNoRecordDatabase, {}};
}

}  // namespace

ConninfoCheck CheckConninfo(const std::string& /*conninfo*/) {
  return {kNoRecordDatabase, false};
}

bool RecordDatabaseBuiltIn() {
  return false;
}

HostAddresses ResolveHost(const std::string& /*host*/) {
  return {{}, kNoRecordDatabase};
}

std::string FaultNote(const DbOutcome& outcome) {
  if (outcome.ok() || outcome.fault == DbFault::Stopped) return {};
  return "record database not reached (" + outcome.message + ")";
}

RecordDatabase::RecordDatabase(std::string conninfo, HostResolver resolver)
    : m_conninfo(std::move(conninfo)), m_resolver(std::move(resolver)) {}
RecordDatabase::~RecordDatabase() = default;

bool RecordDatabase::connected() const {
  return false;
}

void RecordDatabase::Close() {}

DbOutcome RecordDatabase::Open(const std::stop_token& /*stop*/) {
  return Absent();
}

DbOutcome RecordDatabase::Insert(std::span<const RunRecord> /*records*/, const std::stop_token& /*stop*/,
                                 std::size_t* inserted) {
  if (inserted != nullptr) *inserted = 0;
  return Absent();
}

DbOutcome RecordDatabase::ReadLast(std::size_t /*count*/, std::vector<RunRecord>& /*records*/,
                                   const std::stop_token& /*stop*/) {
  return Absent();
}

DbOutcome RecordDatabase::ReadBetween(const std::string& /*since*/, const std::string& /*until*/,
                                      std::vector<RunRecord>& /*records*/, const std::stop_token& /*stop*/) {
  return Absent();
}

}  // namespace app
