#pragma once
// The terminal's production line: app::ProductionLine in the multi-port frame (a board view
// per port, the stop signals as stop levels, the summary and the cut note).

#include <memory>
#include <vector>

#include "app/firmware_set.h"
#include "app/record/record_sink.h"
#include "cli/command/command_line.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "platform/serial_port.h"

namespace cli {

// Runs Connect on every port of `ports` at once and reports through views made like
// `mainView`'s. The first stop signal stops the sessions not programming, the second all.
// Writes the summary (and which ports were cut while programmed); returns the exit status.
// Every session writes its records to `records`.
int RunProductionLine(const CommandLine& line, TerminalView& mainView, platform::PortOpener& opener,
                      const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
                      InterruptState& interrupts, const std::shared_ptr<app::RecordSink>& records);

}  // namespace cli
