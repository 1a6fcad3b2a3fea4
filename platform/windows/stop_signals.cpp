// The console's control events as the loader's stop signals. Windows calls a console control
// handler on a thread of its own for each event, not in signal context; the handler's limits
// (lock-free atomics only) still hold, so the same handlers serve both systems.
//
// Closing the console window, logging off and shutting down end the process as soon as the
// control handler returns (or a few seconds later, whatever it does). The handler therefore
// stays in the call after handing such an event on, so the program has that time to stop its
// runs and write their records; the process ends when the program returns from main.

#include "platform/stop_signals.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/windows/windows_api.h"

namespace platform {

namespace {

std::atomic<StopSignalHandler> g_handler{nullptr};
// One handler call at a time: a second event waits until the first has been counted.
std::mutex g_handlerTurn;

// The status and the timer that end the process without running destructors.
std::atomic<int> g_endStatus{0};
std::mutex g_endTimerGuard;
HANDLE g_endTimer = nullptr;  // guarded by g_endTimerGuard

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return kInterruptSignal;
    case CTRL_CLOSE_EVENT:
      return kHangUpSignal;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      return kTerminateSignal;
    default:
      return 0;
  }
}

// Events after which the system ends the process once the handler returns.
bool EndsProcess(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

// Keeps the system from ending the process while the program stops: the program's own end
// (or the system's time limit for a closing console) ends this wait with the process.
[[noreturn]] void HoldUntilProcessEnds() {
  for (;;) ::Sleep(INFINITE);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  const int number = SignalOf(event);
  const StopSignalHandler handler = g_handler.load();
  if (number == 0 || handler == nullptr) return FALSE;
  {
    const std::lock_guard<std::mutex> turn(g_handlerTurn);
    handler(number);
  }
  if (EndsProcess(event)) HoldUntilProcessEnds();
  return TRUE;
}

VOID CALLBACK OnEndDeadline(PVOID /*context*/, BOOLEAN /*fired*/) {
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(g_endStatus.load()));
}

// The close watch's state while one is installed; guarded by g_watchGuard.
std::mutex g_watchGuard;
CloseSignalWatch::State* g_watch = nullptr;

}  // namespace

void InstallStopSignalHandler(StopSignalHandler handler) {
  g_handler.store(handler);
  // A console started without Ctrl-C (as a child of a program that ignores it) takes it again.
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WriteToStandardErrorFromHandler(std::string_view text) {
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD written = 0;
  // A text that fails to print is not worth a retry.
  ::WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void EndProcessAfterFromHandler(unsigned seconds, int status) {
  g_endStatus.store(status);
  const std::lock_guard<std::mutex> guard(g_endTimerGuard);
  if (g_endTimer != nullptr) {
    // Without waiting for a callback under way: it would end the process anyway.
    ::DeleteTimerQueueTimer(nullptr, g_endTimer, nullptr);
    g_endTimer = nullptr;
  }
  const DWORD due = seconds > MAXDWORD / 1000 ? MAXDWORD - 1 : static_cast<DWORD>(seconds) * 1000;
  if (!::CreateTimerQueueTimer(&g_endTimer, nullptr, OnEndDeadline, nullptr, due, 0, WT_EXECUTEONLYONCE))
    g_endTimer = nullptr;
}

void IgnoreBrokenPipe() {
  // Windows ends no program for writing to a pipe whose reader went: the write fails.
}

// The queue of events the console handler hands over, and the thread that takes them.
struct CloseSignalWatch::State {
  std::function<void(int)> onSignal;
  std::mutex guard;
  std::condition_variable wake;
  std::deque<int> pending;  // guarded by `guard`
  bool ending = false;      // guarded by `guard`
  std::thread reader;

  void Take() {
    std::unique_lock<std::mutex> lock(guard);
    for (;;) {
      wake.wait(lock, [this] { return ending || !pending.empty(); });
      if (ending) return;
      const int number = pending.front();
      pending.pop_front();
      lock.unlock();
      onSignal(number);
      lock.lock();
    }
  }
};

namespace {

BOOL WINAPI OnCloseControl(DWORD event) {
  // Ctrl-C and Ctrl-Break are not the watch's: they go on to the handlers before it.
  if (!EndsProcess(event)) return FALSE;
  {
    const std::lock_guard<std::mutex> watchGuard(g_watchGuard);
    if (g_watch == nullptr) return FALSE;
    const std::lock_guard<std::mutex> lock(g_watch->guard);
    g_watch->pending.push_back(SignalOf(event));
    g_watch->wake.notify_one();
  }
  HoldUntilProcessEnds();
}

}  // namespace

CloseSignalWatch::CloseSignalWatch(std::function<void(int number)> onSignal) {
  const std::lock_guard<std::mutex> watchGuard(g_watchGuard);
  if (g_watch != nullptr) return;  // another watch has them
  auto state = std::make_unique<State>();
  state->onSignal = std::move(onSignal);
  try {
    state->reader = std::thread([s = state.get()] { s->Take(); });
  } catch (const std::system_error&) {
    return;
  }
  if (!::SetConsoleCtrlHandler(OnCloseControl, TRUE)) {
    {
      const std::lock_guard<std::mutex> lock(state->guard);
      state->ending = true;
    }
    state->wake.notify_one();
    state->reader.join();
    return;
  }
  g_watch = state.get();
  m_state = std::move(state);
}

CloseSignalWatch::~CloseSignalWatch() {
  if (!m_state) return;
  ::SetConsoleCtrlHandler(OnCloseControl, FALSE);
  {
    const std::lock_guard<std::mutex> watchGuard(g_watchGuard);
    g_watch = nullptr;
  }
  {
    const std::lock_guard<std::mutex> lock(m_state->guard);
    m_state->ending = true;
  }
  m_state->wake.notify_one();
  m_state->reader.join();
}

}  // namespace platform
