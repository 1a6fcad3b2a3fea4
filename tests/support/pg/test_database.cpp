#include "tests/support/pg/test_database.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

std::vector<std::string> Run(const std::string& conninfo, const std::string& sql) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string error = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("cannot reach the test server: " + error);
  }
  PQsetClientEncoding(conn, "LATIN1");
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  std::vector<std::string> column;
  if (status == PGRES_TUPLES_OK)
    for (int row = 0; row < PQntuples(result); ++row)
      column.push_back(PQgetisnull(result, row, 0) != 0 ? "<null>" : PQgetvalue(result, row, 0));
  const std::string error = PQresultErrorMessage(result);
  PQclear(result);
  PQfinish(conn);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(sql + ": " + error);
  return column;
}

}  // namespace

std::optional<std::string> TestServer() {
  const char* named = std::getenv("VORLOADER_TEST_PG");
  if (named == nullptr || *named == '\0') return std::nullopt;
  return std::string(named);
}

TestDatabase::TestDatabase(std::string server, const std::string& tag) : m_server(std::move(server)) {
  static std::atomic<int> counter{0};
  m_name = "vt_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  Run(m_server, "DROP DATABASE IF EXISTS " + m_name);
  Run(m_server, "CREATE DATABASE " + m_name);
  m_conninfo = m_server + " dbname=" + m_name;
  // Roles of this test are made by it; nobody else may create tables in its database.
  Exec("REVOKE CREATE ON SCHEMA public FROM PUBLIC");
}

TestDatabase::~TestDatabase() {
  try {
    Run(m_server, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    for (const std::string& role :
         Run(m_server, "SELECT rolname FROM pg_roles WHERE rolname LIKE '" + m_name + "\\_%'"))
      Run(m_server, "DROP ROLE IF EXISTS " + role);
  } catch (const std::exception&) {
    // The server is gone already: nothing is left to clean.
  }
}

std::string TestDatabase::ConninfoAs(const std::string& role, const std::string& password) const {
  return m_conninfo + " user=" + role + (password.empty() ? "" : " password=" + password);
}

void TestDatabase::Exec(const std::string& sql) const {
  Run(m_conninfo, sql);
}

void TestDatabase::ExecAs(const std::string& conninfo, const std::string& sql) {
  Run(conninfo, sql);
}

std::vector<std::string> TestDatabase::Column(const std::string& sql) const {
  return Run(m_conninfo, sql);
}

std::string PackagedSql(const std::string& name) {
  const std::string path = std::string(VOR_SOURCE_DIR) + "/packaging/sql/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void CreateRunsTable(const TestDatabase& db) {
  db.Exec(
      "DO $$ BEGIN CREATE ROLE vorloader_station NOLOGIN; EXCEPTION WHEN duplicate_object OR "
      "unique_violation THEN NULL; END $$");
  db.Exec(PackagedSql("vorloader_runs.sql"));
}

}  // namespace testing_support
