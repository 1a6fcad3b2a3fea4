#pragma once
// Checks a record database's connection string (a libpq key=value string or URI) before use.

#include <string>

namespace app {

struct ConninfoCheck {
  std::string error;         // libpq's reason when the string cannot be parsed; empty when it can
  bool hasPassword = false;  // the string holds a password (as a key or inside a URI)
};

ConninfoCheck CheckConninfo(const std::string& conninfo);

// False in a build without the database client library (the Windows build): there every
// connection string is refused, with this reason.
bool RecordDatabaseBuiltIn();
inline constexpr const char* kNoRecordDatabase = "this build of the loader has no record database";

}  // namespace app
