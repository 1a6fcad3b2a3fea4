#pragma once
// A production line: several devices programmed at once, one device session per port, each on
// its own thread at its own line rate, all reading the one firmware set prepared before.

#include <vector>

#include "app/firmware_set.h"
#include "cli/command/command_line.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"
#include "device/serial_port.h"
#include "device/steps.h"

namespace cli {

// What one port's session ended with.
struct LineOutcome {
  PortEntry port;
  bool stopped = false;  // by a stop signal, so without a result
  int code = 0;          // the result code when not stopped
};

// The summary of a production line run: "summary: N devices: P programmed, F failed,
// R refused", then the ports and codes of those not programmed.
std::string SummaryLine(const std::vector<LineOutcome>& outcomes);

// The exit status: 0 when every session ended with 0, else the code of the first port (in the
// order of `outcomes`) that did not; a stopped session counts as `stoppedStatus`.
int LineExitStatus(const std::vector<LineOutcome>& outcomes, int stoppedStatus);

// Runs Connect on every port of `ports` at once (each session searches its own port only) and
// reports through views made from `base`, every line prefixed with the port. Returns the exit
// status; writes the summary (and, after stop signals, which ports were cut while programmed).
int RunProductionLine(const CommandLine& line, const TerminalSetup& base, TerminalView& mainView,
                      device::PortOpener& opener, const app::FirmwareSet& firmware,
                      const std::vector<PortEntry>& ports, InterruptState& interrupts);

}  // namespace cli
