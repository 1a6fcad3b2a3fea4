#pragma once
// The commands of the terminal front end: the loader's workflows, and the run records.

#include "cli/command/command_line.h"
#include "cli/command/command_result.h"
#include "cli/command/record_db_options.h"
#include "cli/output/terminal_view.h"
#include "platform/serial_port.h"

namespace cli {

// Runs `line`'s command and returns its exit status (and what -q prints): connect and raw-boot the workflow's
// result code (kExitNoWorkflow when none ran), check 0 / kExitMissingFiles / kExitNoWorkflow,
// ports 0; kExitUsage when --port names a port that is not listed; kExitInterrupted after a
// stop request. Every device run leaves its record in `records`.
CommandResult RunCommand(const CommandLine& line, TerminalView& view, platform::PortOpener& opener,
                         RunRecords& records);

}  // namespace cli
