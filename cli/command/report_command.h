#pragma once
// `vorloader-cli report`: the yield report over the run records of a period, from the record
// file or, with a record database, from every station's records.

#include "app/record/record_file.h"
#include "cli/command/command_line.h"
#include "common/loader_view.h"

namespace cli {

// Writes the table as log lines (standard output) and what to say about the records as
// details; with --html also the page. Returns 0 when the report was made (also when the
// period holds no run), 1 when the records cannot be read or the page cannot be written.
int RunReport(const CommandLine& line, const app::Environment& env, LoaderView& view);

}  // namespace cli
