#include "cli/signals/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include "cli/command/command_line.h"

namespace cli {

namespace {

constexpr char kTransferWarning[] =
    "\nThe device is being programmed: stopping now may leave it needing a raw boot.\n"
    "Press Ctrl-C again to stop anyway.\n";
constexpr char kSeveralWarning[] =
    "\nThe devices being programmed finish their image: stopping them now may leave them needing a "
    "raw boot.\nThe others stop. Press Ctrl-C again to stop them all.\n";

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int number) {
  switch (ProcessInterrupts().OnPress(number)) {
    case InterruptState::Press::Stop:
      break;
    case InterruptState::Press::Warn: {
      // write() is async-signal-safe; a warning that fails to print is not worth a retry.
      const bool several = ProcessInterrupts().several();
      const ssize_t written = several ? ::write(STDERR_FILENO, kSeveralWarning, sizeof kSeveralWarning - 1)
                                      : ::write(STDERR_FILENO, kTransferWarning, sizeof kTransferWarning - 1);
      (void)written;
      break;
    }
    case InterruptState::Press::Quit:
      _exit(128 + number);
  }
}

}  // namespace

InterruptState::Press InterruptState::OnPress(int number) {
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
}

}  // namespace cli
