#pragma once
// The terminal's production line: app::ProductionLine with one terminal view per port, every
// line prefixed with the port and drawn through one shared output (with a live board on a
// terminal), and the process's stop signals mapped to stop levels.

#include <vector>

#include "app/firmware_set.h"
#include "cli/command/command_line.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "device/serial_port.h"

namespace cli {

// Runs Connect on every port of `ports` at once and reports through views made like
// `mainView`'s. The first stop signal stops the sessions not programming, the second all.
// Writes the summary (and which ports were cut while programmed); returns the exit status.
int RunProductionLine(const CommandLine& line, TerminalView& mainView, device::PortOpener& opener,
                      const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
                      InterruptState& interrupts);

}  // namespace cli
