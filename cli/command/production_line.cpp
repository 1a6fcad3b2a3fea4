#include "cli/command/production_line.h"

#include <string>

#include "app/production_line.h"
#include "cli/command/command_result.h"
#include "cli/command/multi_port_frame.h"
#include "cli/output/terminal_text.h"

namespace cli {

int RunProductionLine(const CommandLine& line, TerminalView& mainView, platform::PortOpener& opener,
                      const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
                      InterruptState& interrupts, const std::shared_ptr<app::RecordSink>& records) {
  MultiPortFrame frame(mainView.setup(), interrupts);
  app::ProductionLine productionLine(firmware, opener);
  productionLine.SetOnProgramming(frame.ProgrammingHook());
  for (const PortEntry& port : ports) {
    app::DeviceSession& session = productionLine.AddPort(port, frame.ViewFor(port)).session();
    session.SetRecordSink(records);
    session.SetSiteControl(line.site);
    session.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  }
  frame.RunRelayingStops([&productionLine](app::StopLevel level) { productionLine.RequestStop(level); },
                         [&productionLine] { productionLine.Run(); });
  frame.EndBoard();

  // With --quiet, each port's kept result lines, named by the port each outcome ran on.
  if (line.quiet) {
    for (const app::LineOutcome& o : productionLine.Outcomes())
      for (const std::string& kept : QuietResultLines(line.command, o.stopped ? kExitInterrupted : o.code))
        frame.shared().WriteLine(frame.base().out, o.port.comName() + ": " + PrintableText(kept));
  }
  return MultiPortFrame::Finish(mainView, productionLine.Finish(interrupts.exitStatus()));
}

}  // namespace cli
