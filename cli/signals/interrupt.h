#pragma once
// Ctrl-C in the terminal front end, and SIGTERM and SIGHUP alike (a service manager stopping
// the program, a closed terminal). The first signal asks the running workflow to stop at its
// next step (it then closes the port itself). While the device is being erased or programmed
// the first only warns, since stopping then may leave the device needing a raw boot; the
// second stops. A further signal after a stop was asked for ends the program at once. The
// exit status is 128 + the number of the signal that stopped the program.

#include <atomic>
#include <csignal>

namespace cli {

class InterruptState {
 public:
  enum class Press { Stop, Warn, Quit };

  // Records one press (a signal, SIGINT unless named) and says what it means. Safe to call
  // from a signal handler.
  Press OnPress(int number = SIGINT);
  // 128 + the signal that asked for the stop (130 for SIGINT).
  int exitStatus() const { return 128 + m_signal.load(); }
  bool stopRequested() const { return m_stop.load(); }
  // The stop came while the device was being erased or programmed.
  bool stoppedInTransfer() const { return m_stopInTransfer.load(); }
  void setTransferActive(bool active) { m_transfer.store(active); }

  // Several sessions at once: the first signal stops the sessions that are not erasing or
  // streaming (warning when some are), the second stops all, a third ends the program.
  // Whoever runs the sessions reads presses() and stops them.
  void setSeveral(bool several) { m_several.store(several); }
  bool several() const { return m_several.load(); }
  int presses() const { return m_presses.load(); }

 private:
  // Only lock-free atomics may be touched from a signal handler.
  static_assert(std::atomic<bool>::is_always_lock_free);
  static_assert(std::atomic<int>::is_always_lock_free);
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_transfer{false};
  std::atomic<bool> m_warned{false};
  std::atomic<bool> m_stopInTransfer{false};
  std::atomic<int> m_signal{SIGINT};
  std::atomic<bool> m_several{false};
  std::atomic<int> m_presses{0};
};

// The process's state, driven by SIGINT, SIGTERM and SIGHUP once InstallInterruptHandler()
// has run.
InterruptState& ProcessInterrupts();
void InstallInterruptHandler();

}  // namespace cli
