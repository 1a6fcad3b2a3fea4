#pragma once
// -q: standard output carries only the result of the command, taken from what the command
// returned (its result code, the ports listed, the file check's report), never picked out of
// the log by its wording.

#include <string>
#include <vector>

#include "cli/command/command_line.h"
#include "common/loader_view.h"

namespace cli {

// What a command ended with.
struct CommandResult {
  CommandResult(int exitStatus = 0) : status(exitStatus) {}  // NOLINT: a bare status is a result

  int status = 0;                      // the exit status
  std::vector<PortEntry> ports;        // ports: the ports listed
  std::vector<std::string> fileCheck;  // check: the file check's report
  std::vector<std::string> table;      // history, report: the table's lines
};

// connect and raw-boot: the result line of `status` (none when no workflow ran, status 16 or
// more); check: the file check's report (none without a product database); ports: the "COMn"
// lines; history and report: the table.
std::vector<std::string> QuietResultLines(Command command, const CommandResult& result);

}  // namespace cli
