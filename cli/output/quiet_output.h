#pragma once
// -q: standard output carries only the result of the command, picked from the log lines the
// view held back.

#include <string>
#include <vector>

#include "cli/command/command_line.h"

namespace cli {

// connect and raw-boot: the workflow's result line (none when no workflow ran, `status` 16 or
// more); check: the file check's report; ports: the "COMn" lines.
std::vector<std::string> QuietResultLines(Command command, int status, const std::vector<std::string>& held);

}  // namespace cli
