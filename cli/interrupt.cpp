#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include "cli/command_line.h"

namespace cli {

namespace {

constexpr char kTransferWarning[] =
    "\nThe device is being programmed: stopping now may leave it needing a raw boot.\n"
    "Press Ctrl-C again to stop anyway.\n";

extern "C" void OnSigint(int) {
  switch (ProcessInterrupts().OnPress()) {
    case InterruptState::Press::Stop:
      break;
    case InterruptState::Press::Warn: {
      // write() is async-signal-safe; a warning that fails to print is not worth a retry.
      const ssize_t written = ::write(STDERR_FILENO, kTransferWarning, sizeof kTransferWarning - 1);
      (void)written;
      break;
    }
    case InterruptState::Press::Quit:
      _exit(kExitInterrupted);
  }
}

}  // namespace

InterruptState::Press InterruptState::OnPress() {
  if (m_stop.load()) return Press::Quit;
  if (m_transfer.load() && !m_warned.exchange(true)) return Press::Warn;
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
  action.sa_handler = OnSigint;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns early and sees the request
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace cli
