#pragma once
// `vorloader-cli sync` and `vorloader-cli --record-db ... history [N]`: the record database
// from the terminal.

#include <string>

#include "app/record/record_file.h"
#include "app/record_db/record_database.h"
#include "cli/command/command_line.h"
#include "common/loader_view.h"

namespace cli {

// Delivers the pending records of the record file and says how many were delivered, how many
// the database refused for their data (set aside in FILE.refused, with a note) and how many
// remain. `line.recordDb` is the chosen database (ChooseRecordDb). Returns 0 when none remains
// (records set aside count as dealt with), 1 when some do, 64 when no database is named.
int RunSync(const CommandLine& line, const app::Environment& env, LoaderView& view);

// The last `line.historyCount` records of the record database, every station's, as a table
// with a station column. Returns 0 when shown (or there are none), 1 when the database
// cannot be read.
int ShowDatabaseHistory(const CommandLine& line, LoaderView& view);

// "record database cannot be read (<the server's reason>)"; when a column is missing (a table
// made for an older loader), also the script that adds it.
std::string DatabaseReadNote(const app::DbOutcome& outcome);

}  // namespace cli
