#pragma once
// The station in the terminal: app::Station over the ports, each port's lines prefixed, one
// result line per device on standard output, the stop signals, the summary.

#include <string>
#include <vector>

#include "app/firmware_set.h"
#include "cli/command/command_line.h"
#include "cli/command/record_db_options.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "platform/serial_port.h"

namespace cli {

// "station: profile "Line 3", operator Ana, work order WO-7": what the station runs under, said
// once at its start; empty when nothing of it is known.
std::string StationSetUpLine(const CommandLine& line);

// Whether `port` is one of `skipped` (a COM name, or a path leading to the same device).
bool SkippedPort(const PortEntry& port, const std::vector<PortArgument>& skipped);

// Runs the station on `ports` (with --all-ports, ports that appear later join) until the stop
// signals end it. Returns the exit status: 0 after one stop signal, 128 + the signal after two.
// Every device run leaves its record in `records`, whose notes are told as they come.
int RunStation(const CommandLine& line, const TerminalSetup& base, TerminalView& mainView,
               platform::PortOpener& opener, const app::FirmwareSet& firmware,
               const std::vector<PortEntry>& ports, InterruptState& interrupts, RunRecords& records);

}  // namespace cli
