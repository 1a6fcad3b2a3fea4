#include "cli/command/production_line.h"

#include <iterator>
#include <memory>
#include <string>

#include "app/production_line.h"
#include "cli/command/command_result.h"
#include "cli/output/board_view.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_text.h"
#include "cli/signals/stop_relay.h"

namespace cli {

TerminalSetup PortViewSetup(const TerminalSetup& base, const PortEntry& port, SharedOutput& shared) {
  TerminalSetup setup = base;
  setup.prefix = port.comName() + ": ";
  setup.shared = &shared;
  // Boxes are answered by --yes or --no; the board draws the live lines.
  setup.errIsTerminal = false;
  setup.inIsTerminal = false;
  setup.interrupts = nullptr;
  return setup;
}

int RunProductionLine(const CommandLine& line, TerminalView& mainView, device::PortOpener& opener,
                      const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
                      InterruptState& interrupts, const std::shared_ptr<app::RecordSink>& records) {
  interrupts.setSeveral(true);
  const TerminalSetup& base = mainView.setup();
  SharedOutput shared(base.err, base.errIsTerminal && !base.quiet, base.columns);

  app::ProductionLine productionLine(firmware, opener);
  // The signal handler warns instead of stopping while some device is being programmed.
  productionLine.SetOnProgramming([&interrupts](bool any) { interrupts.setTransferActive(any); });
  std::vector<std::unique_ptr<TerminalView>> views;
  for (const PortEntry& port : ports) {
    views.push_back(std::make_unique<BoardView>(PortViewSetup(base, port, shared)));
    app::DeviceSession& session = productionLine.AddPort(port, *views.back()).session();
    session.SetRecordSink(records);
    session.SetSiteControl(line.site);
    session.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  }
  {
    const StopRelay relay(&interrupts, [&](int presses) {
      KeepFirstPressWarning(shared, interrupts, presses);
      productionLine.RequestStop(app::StopLevelFor(presses));
    });
    productionLine.Run();
  }

  const std::vector<app::LineOutcome> outcomes = productionLine.Outcomes();
  for (std::size_t i = 0; i < views.size(); ++i) {
    views[i]->EndProgress();
    if (!line.quiet || i >= outcomes.size()) continue;
    const app::LineOutcome& o = outcomes[i];
    for (const std::string& kept : QuietResultLines(line.command, o.stopped ? kExitInterrupted : o.code))
      shared.WriteLine(base.out, o.port.comName() + ": " + PrintableText(kept));
  }
  shared.Finish();
  const app::LineFinish finish = productionLine.Finish(interrupts.exitStatus());
  mainView.Note(finish.summary);
  if (const std::string cut = CutNote(finish.cut); !cut.empty()) mainView.Note(cut);
  return finish.exitStatus;
}

void KeepFirstPressWarning(SharedOutput& shared, const InterruptState& interrupts, int presses) {
  // The warning stays in view above the board until the run ends.
  if (presses == 1 && interrupts.warned())
    shared.KeepAbove({std::begin(kSeveralWarningLines), std::end(kSeveralWarningLines)});
}

std::string CutNote(const std::vector<PortEntry>& cut) {
  const std::string note = app::CutNote(cut);
  return note.empty() ? note : "vorloader-cli: " + note;
}

}  // namespace cli
