#pragma once
// The terminal's production line: app::ProductionLine with one terminal view per port, every
// line prefixed with the port and drawn through one shared output (with a live board on a
// terminal), and the process's stop signals mapped to stop levels.

#include <memory>
#include <string>
#include <vector>

#include "app/firmware_set.h"
#include "app/production_line.h"
#include "app/record/record_sink.h"
#include "cli/command/command_line.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "device/serial_port.h"

namespace cli {

// Runs Connect on every port of `ports` at once and reports through views made like
// `mainView`'s. The first stop signal stops the sessions not programming, the second all.
// Writes the summary (and which ports were cut while programmed); returns the exit status.
// Every session writes its records to `records`.
int RunProductionLine(const CommandLine& line, TerminalView& mainView, device::PortOpener& opener,
                      const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
                      InterruptState& interrupts, const std::shared_ptr<app::RecordSink>& records);

// The view of one port among several: its lines prefixed with the port, drawn through `shared`.
TerminalSetup PortViewSetup(const TerminalSetup& base, const PortEntry& port, SharedOutput& shared);

// After the first stop signal while devices are being programmed: keeps the warning that a
// second one cuts them above the live board until the run ends.
void KeepFirstPressWarning(SharedOutput& shared, const InterruptState& interrupts, int presses);

// The note naming the ports cut while their device was being programmed, as the terminal says
// it ("vorloader-cli: stopped while ..."); empty when none was.
std::string CutNote(const std::vector<PortEntry>& cut);

}  // namespace cli
