#include "app/record_db/conninfo_check.h"

#include <libpq-fe.h>

#include <cstring>

namespace app {

ConninfoCheck CheckConninfo(const std::string& conninfo) {
  ConninfoCheck check;
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    check.error = error != nullptr ? error : "out of memory";
    while (!check.error.empty() && (check.error.back() == '\n' || check.error.back() == ' '))
      check.error.pop_back();
    if (error != nullptr) PQfreemem(error);
    return check;
  }
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o)
    if (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr) check.hasPassword = true;
  PQconninfoFree(options);
  return check;
}

bool RecordDatabaseBuiltIn() {
  return true;
}

}  // namespace app
