#pragma once
// The throwaway PostgreSQL server of the tests (scripts/pg-test-server.sh; test.sh starts it and
// names it in VORLOADER_TEST_PG): a fresh database and roles per test, and plain queries to
// look at what arrived. No GoogleTest here, so that the benchmarks can use it too.
//
//   auto server = testing_support::TestServer();        // nullopt: skip the test
//   testing_support::TestDatabase db(*server, "runs");  // dropped at scope end
//   db.Exec("CREATE ROLE ...");  db.Column("SELECT run_id FROM vorloader_runs");

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// The superuser's connection string of the test server, or nullopt when none is named.
std::optional<std::string> TestServer();

// The message a test skips with when there is no test server.
inline constexpr const char* kNoTestServer =
    "no PostgreSQL test server: set VORLOADER_TEST_PG to its connection string (./test.sh starts one "
    "with scripts/pg-test-server.sh)";

// A database of its own (and a prefix for roles of its own), dropped with its roles at the end.
class TestDatabase {
 public:
  TestDatabase(std::string server, const std::string& tag);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  // The superuser's connection string for this database.
  const std::string& conninfo() const { return m_conninfo; }
  // The connection string for this database as `role` (with `password` when not empty).
  std::string ConninfoAs(const std::string& role, const std::string& password = {}) const;
  // A role of this test, named with the test's prefix: "<prefix>_<name>".
  std::string Role(const std::string& name) const { return m_name + "_" + name; }

  // Runs `sql` as the superuser in this database; throws std::runtime_error on failure.
  void Exec(const std::string& sql) const;
  // Runs `sql` over the connection string `conninfo` (as another role); throws on failure.
  static void ExecAs(const std::string& conninfo, const std::string& sql);
  // The first column of the rows of `sql`, NULL as "<null>"; throws on failure.
  std::vector<std::string> Column(const std::string& sql) const;

 private:
  std::string m_server;
  std::string m_name;
  std::string m_conninfo;
  std::vector<std::string> m_roles;
};

// Makes the table vorloader_runs in `db` as a site does: packaging/sql/vorloader_runs.sql, run
// by the superuser (with the role vorloader_station it grants to, made when missing).
void CreateRunsTable(const TestDatabase& db);

// The text of a file of packaging/sql/ ("vorloader_runs.sql"); throws when it cannot be read.
std::string PackagedSql(const std::string& name);

}  // namespace testing_support
