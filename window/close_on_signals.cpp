#include "window/close_on_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <utility>

namespace window {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};

// The write end of the pipe, for the handler; -1 while no instance is installed.
std::atomic<int> g_writeEnd{-1};
struct sigaction g_previous[std::size(kSignals)];

extern "C" void OnCloseSignal(int signo) {
  const int savedErrno = errno;
  const int fd = g_writeEnd.load();
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signo);
    // A full pipe already holds enough requests to close the window.
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

CloseOnSignals::CloseOnSignals(std::function<void()> closeRequest, QObject* parent)
    : QObject(parent), m_closeRequest(std::move(closeRequest)) {
  if (g_writeEnd.load() >= 0) return;  // another instance has them
  if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_writeEnd.store(m_pipe[1]);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(kSignals[i], &action, &g_previous[i]);
  }
  m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] { Drain(); });
  m_installed = true;
}

CloseOnSignals::~CloseOnSignals() {
  if (m_installed) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_writeEnd.store(-1);
  }
  delete m_notifier;
  for (int fd : m_pipe)
    if (fd >= 0) ::close(fd);
}

void CloseOnSignals::Drain() {
  unsigned char bytes[16];
  ssize_t n = 0;
  while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      if (m_first == 0) m_first = bytes[i];
      ++m_seen;
      // Later, from the event loop: closing may open a question box with a loop of its own,
      // and the next signal must be read while it is open.
      QTimer::singleShot(0, this, [this] {
        if (m_closeRequest) m_closeRequest();
      });
    }
  }
}

}  // namespace window
