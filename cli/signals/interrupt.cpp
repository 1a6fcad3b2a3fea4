#include "cli/signals/interrupt.h"

#include <signal.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr char kTransferWarning[] =
    "\nThe device is being programmed: stopping now may leave it needing a raw boot.\n"
    "Press Ctrl-C again to stop anyway.\n";

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int number) {
  switch (ProcessInterrupts().OnPress(number)) {
    case InterruptState::Press::Stop:
      break;
    case InterruptState::Press::Warn: {
      // Several sessions: whoever runs them shows the warning around their live board.
      if (ProcessInterrupts().several()) break;
      // write() is async-signal-safe; a warning that fails to print is not worth a retry.
      const ssize_t written = ::write(STDERR_FILENO, kTransferWarning, sizeof kTransferWarning - 1);
      (void)written;
      break;
    }
    case InterruptState::Press::Quit:
      // The stopped runs are ending and writing their records: the program ends when they
      // have, or when the alarm comes, whichever is first.
      alarm(kQuitGraceSeconds);
      break;
    case InterruptState::Press::Quitting:
      break;
  }
}

extern "C" void OnQuitDeadline(int /*number*/) {
  _exit(ProcessInterrupts().exitStatus());
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
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  // One handler at a time: a second signal waits until the first has been counted.
  sigemptyset(&action.sa_mask);
  for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns early and sees the request
  for (int number : kStopSignals) sigaction(number, &action, nullptr);
  struct sigaction deadline {};
  deadline.sa_handler = OnQuitDeadline;
  sigemptyset(&deadline.sa_mask);
  sigaction(SIGALRM, &deadline, nullptr);
}

}  // namespace cli
