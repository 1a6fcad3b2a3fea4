#pragma once
// Ctrl-C in the terminal front end. The first press asks the running workflow to stop at its
// next step (it then closes the port itself). While the device is being erased or programmed
// the first press only warns, since stopping then may leave the device needing a raw boot;
// the second stops. A further press after a stop was asked for ends the program at once.

#include <atomic>

namespace cli {

class InterruptState {
 public:
  enum class Press { Stop, Warn, Quit };

  // Records one press and says what it means. Safe to call from a signal handler.
  Press OnPress();
  bool stopRequested() const { return m_stop.load(); }
  // The stop came while the device was being erased or programmed.
  bool stoppedInTransfer() const { return m_stopInTransfer.load(); }
  void setTransferActive(bool active) { m_transfer.store(active); }

 private:
  // Only lock-free atomics may be touched from a signal handler.
  static_assert(std::atomic<bool>::is_always_lock_free);
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_transfer{false};
  std::atomic<bool> m_warned{false};
  std::atomic<bool> m_stopInTransfer{false};
};

// The process's state, driven by SIGINT once InstallInterruptHandler() has run.
InterruptState& ProcessInterrupts();
void InstallInterruptHandler();

}  // namespace cli
