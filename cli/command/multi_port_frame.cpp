#include "cli/command/multi_port_frame.h"

#include <iterator>
#include <utility>

#include "cli/output/board_view.h"
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

void KeepFirstPressWarning(SharedOutput& shared, const InterruptState& interrupts, int presses) {
  // The warning stays in view above the board until the run ends.
  if (presses == 1 && interrupts.warned())
    shared.KeepAbove({std::begin(kSeveralWarningLines), std::end(kSeveralWarningLines)});
}

std::string CutNote(const std::vector<PortEntry>& cut) {
  const std::string note = app::CutNote(cut);
  return note.empty() ? note : "vorloader-cli: " + note;
}

MultiPortFrame::MultiPortFrame(const TerminalSetup& base, InterruptState& interrupts)
    : m_base(base),
      m_interrupts(interrupts),
      m_shared(base.err, base.errIsTerminal && !base.quiet, base.columns) {
  m_interrupts.setSeveral(true);
}

std::function<void(bool)> MultiPortFrame::ProgrammingHook() {
  return [this](bool any) { m_interrupts.setTransferActive(any); };
}

TerminalView& MultiPortFrame::ViewFor(const PortEntry& port) {
  auto view = std::make_unique<BoardView>(PortViewSetup(m_base, port, m_shared));
  std::lock_guard lock(m_mutex);
  m_views.push_back(std::move(view));
  return *m_views.back();
}

void MultiPortFrame::RunRelayingStops(const std::function<void(app::StopLevel)>& stop,
                                      const std::function<void()>& run) {
  const StopRelay relay(&m_interrupts, [this, &stop](int presses) {
    KeepFirstPressWarning(m_shared, m_interrupts, presses);
    stop(app::StopLevelFor(presses));
  });
  run();
}

void MultiPortFrame::EndBoard() {
  {
    std::lock_guard lock(m_mutex);
    for (auto& view : m_views) view->EndProgress();
  }
  m_shared.Finish();
}

int MultiPortFrame::Finish(TerminalView& mainView, const app::LineFinish& finish) {
  mainView.Note(finish.summary);
  if (const std::string cut = CutNote(finish.cut); !cut.empty()) mainView.Note(cut);
  return finish.exitStatus;
}

}  // namespace cli
