#pragma once
// `vorloader-cli history [N]`: the last N run records as a table on standard output.

#include <cstddef>
#include <string>

#include "app/record/record_file.h"
#include "cli/command/command_line.h"
#include "common/loader_view.h"

namespace cli {

// "N lines that are not run records skipped".
std::string SkippedText(std::size_t skipped);

// Writes the table rows as log lines and anything to say about the file as details: that it
// holds no record, and how many lines that are not records were skipped. Returns
// 0 when the records were shown or there are none (no file yet, records off), 1 when the
// record file cannot be read.
int ShowHistory(const CommandLine& line, const app::Environment& env, LoaderView& view);

}  // namespace cli
