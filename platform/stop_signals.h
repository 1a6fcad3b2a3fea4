#pragma once
// Console control: the signals that ask the loader to stop (Ctrl-C, a terminal closing, a
// service manager or session ending it) and what a program does about them. On POSIX these are
// SIGINT, SIGHUP and SIGTERM; on Windows the console's control events, mapped to the same
// numbers (Ctrl-C and Ctrl-Break: kInterrupt; the console window closing: kHangUp; logoff and
// shutdown: kTerminate).

#include <functional>
#include <memory>
#include <string_view>

namespace platform {

// The numbers by which the loader knows the stop signals on every system: a program ended by
// one exits with 128 + its number, as a shell reports it.
inline constexpr int kHangUpSignal = 1;
inline constexpr int kInterruptSignal = 2;
inline constexpr int kTerminateSignal = 15;

// Called for every stop signal with its number. It runs in signal context: it may only touch
// lock-free atomics and call the ...FromHandler functions below.
using StopSignalHandler = void (*)(int number);

// Installs `handler` for all three stop signals, for the rest of the process. While one call of
// it runs, further stop signals wait for it to return (they are never lost or counted at once).
// A blocking wait of the process that a signal interrupts returns early (it is not restarted),
// so that it can see the stop request.
void InstallStopSignalHandler(StopSignalHandler handler);

// From a stop-signal handler: writes `text` to standard error, once, as far as it goes
// (nothing is retried; a failure is ignored).
void WriteToStandardErrorFromHandler(std::string_view text);

// From a stop-signal handler (or anywhere): ends the process with exit status `status`
// `seconds` from now, without running destructors or flushing streams, unless it ends first.
// A second call replaces the first.
void EndProcessAfterFromHandler(unsigned seconds, int status);

// A reader that goes away (a pipe into `head`) makes writes fail with an error instead of
// ending the program. Nothing to do where the system never ends a program for it.
void IgnoreBrokenPipe();

// Hands kTerminateSignal and kHangUpSignal (not Ctrl-C) to an ordinary thread: `onSignal` runs
// on a thread of the watch's own, once per signal, in order, with the signal's number. One
// watch at a time in a process: a second one is not installed(). When the watch goes, the
// signals get back the handling they had before it, and no call of `onSignal` runs after the
// destructor has returned.
class CloseSignalWatch {
 public:
  explicit CloseSignalWatch(std::function<void(int number)> onSignal);
  ~CloseSignalWatch();
  CloseSignalWatch(const CloseSignalWatch&) = delete;
  CloseSignalWatch& operator=(const CloseSignalWatch&) = delete;

  bool installed() const { return m_state != nullptr; }

  struct State;

 private:
  std::unique_ptr<State> m_state;
};

}  // namespace platform
