#pragma once
// Ctrl-C in the terminal front end, and SIGTERM and SIGHUP alike (a service manager stopping
// the program, a closed terminal). The first signal asks the running workflow to stop at its
// next step (it then closes the port itself). While the device is being erased or programmed
// the first only warns, since stopping then may leave the device needing a raw boot; the
// second stops. A further signal after a stop was asked for ends the program, but not before
// the runs that were stopped have written their records: the program goes on ending as it
// would and is ended at the latest kQuitGraceSeconds later. The exit status is 128 + the
// number of the signal that stopped the program.

#include <atomic>

#include "platform/stop_signals.h"

namespace cli {

// How long a signal that ends the program leaves the stopped runs to write their records.
inline constexpr unsigned kQuitGraceSeconds = 3;

class InterruptState {
 public:
  // Quit: end the program within kQuitGraceSeconds; Quitting: that was asked for already (the
  // time it left is not shortened, so quick presses cannot cost a record).
  enum class Press { Stop, Warn, Quit, Quitting };

  // Records one press (a signal, Ctrl-C unless named) and says what it means. Safe to call
  // from a signal handler.
  Press OnPress(int number = platform::kInterruptSignal);
  // 128 + the signal that asked for the stop (130 for SIGINT).
  int exitStatus() const { return 128 + m_signal.load(); }
  bool stopRequested() const { return m_stop.load(); }
  // The stop came while the device was being erased or programmed.
  bool stoppedInTransfer() const { return m_stopInTransfer.load(); }
  void setTransferActive(bool active) { m_transfer.store(active); }

  // Several sessions at once: the first signal stops the sessions that are not erasing or
  // streaming (warning when some are), the second stops all, a third ends the program (as
  // above, once the records of the devices cut are written).
  // Whoever runs the sessions reads presses() and stops them, and shows the warning (the
  // handler cannot write around the live board of the sessions).
  void setSeveral(bool several) { m_several.store(several); }
  bool several() const { return m_several.load(); }
  int presses() const { return m_presses.load(); }
  // The first signal came while some device was being erased or programmed. Set before
  // presses() counts that signal.
  bool warned() const { return m_warned.load(); }

 private:
  // What a press means before any asked to end the program.
  Press Count(int number);

  // Only lock-free atomics may be touched from a signal handler.
  static_assert(std::atomic<bool>::is_always_lock_free);
  static_assert(std::atomic<int>::is_always_lock_free);
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_transfer{false};
  std::atomic<bool> m_warned{false};
  std::atomic<bool> m_stopInTransfer{false};
  std::atomic<int> m_signal{platform::kInterruptSignal};
  std::atomic<bool> m_several{false};
  std::atomic<int> m_presses{0};
  std::atomic<bool> m_quit{false};
};

// The warning of a first signal while devices of several sessions are being programmed.
inline constexpr const char* kSeveralWarningLines[] = {
    "The devices being programmed finish their image: stopping them now may leave them needing a raw boot.",
    "The others stop. Press Ctrl-C again to stop them all."};

// The process's state, driven by SIGINT, SIGTERM and SIGHUP once InstallInterruptHandler()
// has run.
InterruptState& ProcessInterrupts();
void InstallInterruptHandler();

}  // namespace cli
