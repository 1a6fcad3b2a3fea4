#include "cli/signals/interrupt.h"

namespace cli {

namespace {

constexpr char kTransferWarning[] =
    "\nThe device is being programmed: stopping now may leave it needing a raw boot.\n"
    "Press Ctrl-C again to stop anyway.\n";

extern "C" void OnStopSignal(int number) {
  switch (ProcessInterrupts().OnPress(number)) {
    case InterruptState::Press::Stop:
      break;
    case InterruptState::Press::Warn: {
      // Several sessions: whoever runs them shows the warning around their live board.
      if (ProcessInterrupts().several()) break;
      platform::WriteToStandardErrorFromHandler({kTransferWarning, sizeof kTransferWarning - 1});
      break;
    }
    case InterruptState::Press::Quit:
      // The stopped runs are ending and writing their records: the program ends when they
      // have, or when the alarm comes, whichever is first.
      platform::EndProcessAfterFromHandler(kQuitGraceSeconds, ProcessInterrupts().exitStatus());
      break;
    case InterruptState::Press::Quitting:
      break;
  }
}

}  // namespace

InterruptState::Press InterruptState::OnPress(int number) {
  if (m_quit.load()) return Press::Quitting;
  const Press press = Count(number);
  if (press == Press::Quit) m_quit.store(true);
  return press;
}

InterruptState::Press InterruptState::Count(int number) {
  // Signals come one at a time (the handler blocks the others), so the first is known here.
  if (m_several.load() && m_presses.load() == 0 && m_transfer.load()) m_warned.store(true);
  const int presses = m_presses.fetch_add(1) + 1;
  if (m_several.load()) {
    if (presses == 1) m_signal.store(number);
    if (presses >= 3) return Press::Quit;
    if (presses == 2) {
      m_stopInTransfer.store(m_transfer.load());
      m_stop.store(true);
      return Press::Stop;
    }
    return m_transfer.load() ? Press::Warn : Press::Stop;
  }
  if (m_stop.load()) return Press::Quit;
  if (m_transfer.load() && !m_warned.exchange(true)) return Press::Warn;
  m_signal.store(number);
  m_stopInTransfer.store(m_transfer.load());
  m_stop.store(true);
  return Press::Stop;
}

InterruptState& ProcessInterrupts() {
  static InterruptState state;
  return state;
}

void InstallInterruptHandler() {
  ProcessInterrupts();  // constructed before any signal can arrive
  // One handler at a time: a second signal waits until the first has been counted. A blocking
  // wait returns early and sees the request.
  platform::InstallStopSignalHandler(OnStopSignal);
}

}  // namespace cli
