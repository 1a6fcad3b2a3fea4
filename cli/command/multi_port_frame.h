#pragma once
// The frame of the terminal's two multi-port commands (a production line and a station): one
// shared output with a live board on a terminal, a board view per port (its lines prefixed
// with the port), the process's stop signals relayed as stop levels, and at the end the
// summary and the note naming the ports cut while they were being programmed.
//
// How it is guarded: the port views are made as ports join (a station's watcher thread) and
// are kept under the frame's mutex; each view is then called from its port's thread only.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/line_core.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_view.h"
#include "cli/signals/interrupt.h"

namespace cli {

// The view of one port among several: its lines prefixed with the port, drawn through `shared`.
TerminalSetup PortViewSetup(const TerminalSetup& base, const PortEntry& port, SharedOutput& shared);

// After the first stop signal while devices are being programmed: keeps the warning that a
// second one cuts them above the live board until the run ends.
void KeepFirstPressWarning(SharedOutput& shared, const InterruptState& interrupts, int presses);

// The note naming the ports cut while their device was being programmed, as the terminal says
// it ("vorloader-cli: stopped while ..."); empty when none was.
std::string CutNote(const std::vector<PortEntry>& cut);

class MultiPortFrame {
 public:
  // Several sessions at once: the signal handler counts presses rather than ending the process.
  MultiPortFrame(const TerminalSetup& base, InterruptState& interrupts);
  MultiPortFrame(const MultiPortFrame&) = delete;
  MultiPortFrame& operator=(const MultiPortFrame&) = delete;

  const TerminalSetup& base() const { return m_base; }
  SharedOutput& shared() { return m_shared; }
  InterruptState& interrupts() { return m_interrupts; }
  // The signal handler warns instead of stopping while some device is being programmed: give
  // this to the line's or the station's programming hook.
  std::function<void(bool)> ProgrammingHook();

  // A new view for `port`, alive as long as the frame. From any thread.
  TerminalView& ViewFor(const PortEntry& port);

  // Runs `run` while the stop signals are relayed to `stop` as the level of the presses so far.
  void RunRelayingStops(const std::function<void(app::StopLevel)>& stop, const std::function<void()>& run);

  // Ends every view's progress line and the board; lines written afterwards go straight out.
  void EndBoard();

  // The summary and the cut note through `mainView`; returns the exit status.
  static int Finish(TerminalView& mainView, const app::LineFinish& finish);

 private:
  const TerminalSetup& m_base;
  InterruptState& m_interrupts;
  SharedOutput m_shared;
  std::mutex m_mutex;
  std::deque<std::unique_ptr<TerminalView>> m_views;  // stable addresses
};

}  // namespace cli
