#include "platform/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <thread>
#include <utility>

namespace platform {

static_assert(kHangUpSignal == SIGHUP && kInterruptSignal == SIGINT && kTerminateSignal == SIGTERM);

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCloseSignals[] = {SIGTERM, SIGHUP};

// Only lock-free atomics may be touched from a signal handler.
static_assert(std::atomic<int>::is_always_lock_free);

// The status the alarm ends the process with.
std::atomic<int> g_endStatus{0};

extern "C" void OnEndDeadline(int /*number*/) {
  _exit(g_endStatus.load());
}

// The write end of the watch's pipe, for the handler; -1 while no watch is installed.
std::atomic<int> g_closeWriteEnd{-1};

extern "C" void OnCloseSignal(int number) {
  const int savedErrno = errno;
  const int fd = g_closeWriteEnd.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(number);
    // A full pipe already holds enough requests to close the program.
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

void InstallStopSignalHandler(StopSignalHandler handler) {
  struct sigaction action {};
  action.sa_handler = handler;
  // One handler at a time: a second signal waits until the first has been counted.
  sigemptyset(&action.sa_mask);
  for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns early and sees the request
  for (int number : kStopSignals) ::sigaction(number, &action, nullptr);
  struct sigaction deadline {};
  deadline.sa_handler = OnEndDeadline;
  sigemptyset(&deadline.sa_mask);
  ::sigaction(SIGALRM, &deadline, nullptr);
}

void WriteToStandardErrorFromHandler(std::string_view text) {
  // write() is async-signal-safe; a text that fails to print is not worth a retry.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
}

void EndProcessAfterFromHandler(unsigned seconds, int status) {
  g_endStatus.store(status);
  struct sigaction deadline {};
  ::sigaction(SIGALRM, nullptr, &deadline);
  if (deadline.sa_handler != OnEndDeadline) {
    deadline = {};
    deadline.sa_handler = OnEndDeadline;
    sigemptyset(&deadline.sa_mask);
    ::sigaction(SIGALRM, &deadline, nullptr);
  }
  ::alarm(seconds);
}

void IgnoreBrokenPipe() {
  ::signal(SIGPIPE, SIG_IGN);
}

// The pipe the handler writes the signal's number into, the thread that reads it there, and
// the handling the signals had before.
struct CloseSignalWatch::State {
  int pipe[2] = {-1, -1};
  int wake[2] = {-1, -1};  // written once by the destructor: the thread ends
  struct sigaction previous[std::size(kCloseSignals)]{};
  std::function<void(int)> onSignal;
  std::thread reader;

  ~State() {
    for (int fd : pipe)
      if (fd >= 0) ::close(fd);
    for (int fd : wake)
      if (fd >= 0) ::close(fd);
  }

  void Read() const {
    for (;;) {
      pollfd fds[2] = {{pipe[0], POLLIN, 0}, {wake[0], POLLIN, 0}};
      const int n = ::poll(fds, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || fds[1].revents != 0) return;
      unsigned char bytes[16];
      ssize_t got = 0;
      while ((got = ::read(pipe[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < got; ++i) onSignal(bytes[i]);
    }
  }
};

CloseSignalWatch::CloseSignalWatch(std::function<void(int number)> onSignal) {
  if (g_closeWriteEnd.load() >= 0) return;  // another watch has them
  auto state = std::make_unique<State>();
  state->onSignal = std::move(onSignal);
  if (::pipe2(state->pipe, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(state->wake, O_CLOEXEC) != 0) return;
  // The thread takes no signals: they go to the program's own threads, as before the watch.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  state->reader = std::thread([s = state.get()] { s->Read(); });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  g_closeWriteEnd.store(state->pipe[1]);
  for (std::size_t i = 0; i < std::size(kCloseSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(kCloseSignals[i], &action, &state->previous[i]);
  }
  m_state = std::move(state);
}

CloseSignalWatch::~CloseSignalWatch() {
  if (!m_state) return;
  for (std::size_t i = 0; i < std::size(kCloseSignals); ++i)
    ::sigaction(kCloseSignals[i], &m_state->previous[i], nullptr);
  g_closeWriteEnd.store(-1);
  const unsigned char end = 0;
  [[maybe_unused]] const ssize_t n = ::write(m_state->wake[1], &end, 1);
  m_state->reader.join();
}

}  // namespace platform
