// The program's serial transport over QSerialPort, used from a workflow thread that has no
// event loop: only the blocking waitFor* calls move bytes. Waits for input block in poll on
// the port's descriptor, in slices short enough that a stop request ends a wait promptly.
//
// A device that goes away (a USB adapter pulled, the other end of a pty closed) leaves its
// tty hung up: poll then reports it readable at once, forever, while a read yields nothing.
// QSerialPort's error code for that is not dependable (a hung-up pty shows up as a read
// error carrying a stale system message), so the hang-up is taken from poll's own report,
// and from then on the port is known gone: every call fails at once instead of waiting out
// its time-out in a loop that never blocks.

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QThread>
#include <QtSerialPort/QSerialPort>
#include <QtSerialPort/QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/serial_port.h"

namespace platform {
namespace {

constexpr int kSliceMs = kStopLatencyMs;
constexpr int kDrainPollMs = 5;

enum class LineState { Quiet, Input, Gone };

// Waits up to ms milliseconds for input on the descriptor, blocked. A hang-up or an error
// on the descriptor ends the wait at once; poll reports those even when not asked for them.
LineState WaitOnLine(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  int r = 0;
  do {
    r = ::poll(&p, 1, ms);
  } while (r < 0 && errno == EINTR);
  if (r < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return LineState::Gone;
  return r == 0 ? LineState::Quiet : LineState::Input;
}

bool LineGone(int fd) {
  return WaitOnLine(fd, 0, 0) == LineState::Gone;
}

// The fixed line settings: 8 data bits, no parity, one stop bit, no flow control.
bool ApplyLineSettings(QSerialPort& port) {
  return port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity) &&
         port.setStopBits(QSerialPort::OneStop) && port.setFlowControl(QSerialPort::NoFlowControl);
}

// QSerialPort registers socket notifiers when it opens and writes, and a thread without an
// event dispatcher makes Qt complain about each one. The notifiers are never served here
// (only the waitFor* calls move bytes), but a dispatcher keeps the thread quiet; Qt creates
// one for the current thread when an event loop object is made while the application exists.
void EnsureEventDispatcher() {
  if (QThread::currentThread()->eventDispatcher() != nullptr || QCoreApplication::instance() == nullptr)
    return;
  QEventLoop ensureDispatcher;
}

OpenError ToOpenError(QSerialPort::SerialPortError error, const std::string& path) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      return OpenError::NotFound;
    case QSerialPort::OpenError:
      return OpenError::Busy;
    case QSerialPort::PermissionError:
      // The same error stands for a lock held by another program: if we may open the
      // device node at all, somebody else has the port.
      return ::access(path.c_str(), R_OK | W_OK) == 0 ? OpenError::Busy : OpenError::PermissionDenied;
    default:
      return OpenError::Other;
  }
}

// The path with every link resolved; empty when it leads nowhere.
std::string Resolved(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  return ec ? std::string() : resolved.string();
}

std::string Latin1(const QString& text) {
  return text.toLatin1().toStdString();
}

// What the system's port list says of the device at `path` (after links): the list names
// each port by its device node, the path a COMn link leads to.
void FillIdentity(PortEntry& entry) {
  const std::string resolved = Resolved(entry.path);
  if (resolved.empty()) return;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    if (Resolved(info.systemLocation().toStdString()) != resolved) continue;
    if (info.hasVendorIdentifier()) entry.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier()) entry.productId = info.productIdentifier();
    entry.manufacturer = Latin1(info.manufacturer());
    entry.product = Latin1(info.description());
    entry.serialNumber = Latin1(info.serialNumber());
    return;
  }
}

class QtSerialPort final : public SerialPort {
 public:
  explicit QtSerialPort(std::unique_ptr<QSerialPort> port) : m_port(std::move(port)) {}
  ~QtSerialPort() override { Close(); }

  bool Configure(int rate) override {
    if (!Usable() || !m_port->setBaudRate(rate) || !ApplyLineSettings(*m_port)) return false;
    m_rate = rate;
    // A pseudo-terminal has no modem lines and refuses these; that is no reason to fail.
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
    m_port->clearError();
    return true;
  }

  void SetReadTimeout(int ms) override { m_timeoutMs = std::max(ms, 0); }

  void DiscardInput() override {
    if (!Usable()) return;
    // Bytes the driver already holds come into Qt's buffer only during a wait; fetch them
    // first so that the clear drops them too.
    m_port->waitForReadyRead(0);
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
  }

  long Write(const std::uint8_t* data, std::size_t n) override {
    if (!Usable()) return -1;
    if (n == 0) return 0;
    const qint64 queued = m_port->write(reinterpret_cast<const char*>(data), static_cast<qint64>(n));
    if (queued < 0) return -1;
    QDeadlineTimer deadline(WriteBudgetMs(n));
    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired()) {
      const int slice =
          static_cast<int>(std::min<qint64>(kSliceMs, std::max<qint64>(deadline.remainingTime(), 1)));
      if (!m_port->waitForBytesWritten(slice) && m_port->error() != QSerialPort::NoError &&
          m_port->error() != QSerialPort::TimeoutError) {
        if (LineGone(Fd())) m_gone = true;
        break;  // the port is gone or broken
      }
    }
    const qint64 left = m_port->bytesToWrite();
    if (left > 0) m_port->clear(QSerialPort::Output);  // what did not go out is not sent later
    m_port->clearError();
    return m_gone ? -1 : static_cast<long>(queued - left);
  }

  long Read(std::uint8_t* out, std::size_t n, const std::stop_token& stop) override {
    if (!Usable()) return -1;
    char* dst = reinterpret_cast<char*>(out);
    qint64 got = 0;
    const auto want = static_cast<qint64>(n);
    QDeadlineTimer deadline(m_timeoutMs);
    for (;;) {
      const qint64 r = m_port->read(dst + got, want - got);
      if (r > 0) got += r;
      if (got >= want || deadline.hasExpired() || stop.stop_requested()) break;
      const int slice =
          static_cast<int>(std::min<qint64>(kSliceMs, std::max<qint64>(deadline.remainingTime(), 1)));
      const LineState line = WaitOnLine(Fd(), POLLIN, slice);
      if (line == LineState::Input) {
        // Hand the driver's bytes to Qt's buffer. A line that reports input but gives none
        // has reached its end: it would report the same at once again, for ever.
        const qint64 before = m_port->bytesAvailable();
        m_port->waitForReadyRead(0);
        if (m_port->bytesAvailable() > before) continue;
      }
      if (line != LineState::Quiet) {
        m_gone = true;
        got += std::max<qint64>(m_port->read(dst + got, want - got), 0);
        m_port->clearError();
        // What came before the device went is still handed over, as a short count; the
        // next call fails.
        return got > 0 ? static_cast<long>(got) : -1;
      }
    }
    m_port->clearError();
    return static_cast<long>(got);
  }

  bool Drain(const std::stop_token& stop, const std::function<void()>& whileWaiting) override {
    if (!Usable()) return false;
    // The driver's output queue: the bytes the program handed over that the line has not yet
    // carried. Poll it rather than block in tcdrain, so a stop request is honoured.
    int queued = 0;
    if (!OutputQueued(queued)) return !m_gone;  // not knowable, unless the device is gone
    QDeadlineTimer deadline(WriteBudgetMs(static_cast<std::size_t>(std::max(queued, 0))));
    while (queued > 0) {
      if (whileWaiting) whileWaiting();
      if (deadline.hasExpired() || stop.stop_requested()) return false;
      // Asked for no event, poll still wakes at once for a hang-up.
      if (WaitOnLine(Fd(), 0, kDrainPollMs) == LineState::Gone) {
        m_gone = true;
        return false;
      }
      if (!OutputQueued(queued)) return !m_gone;
    }
    return true;
  }

  long OutputQueued() override {
    // What Qt still holds counts too: Write leaves nothing there unless it gave up.
    int queued = 0;
    if (!Usable() || !OutputQueued(queued)) return -1;
    return static_cast<long>(std::max(queued, 0)) + static_cast<long>(m_port->bytesToWrite());
  }

  void Close() override {
    if (m_port->isOpen()) m_port->close();
  }

 private:
  int Fd() const { return static_cast<int>(m_port->handle()); }

  // Open, and its device still there. Once gone, a port stays gone: a hung-up tty never
  // comes back to life, the device reappears (if at all) as a new port to be opened anew.
  bool Usable() {
    if (!m_port->isOpen() || m_gone) return false;
    if (LineGone(Fd())) m_gone = true;
    return !m_gone;
  }

  // The driver's output queue in `queued`; false when it cannot be read, with the port
  // marked gone when that is because the tty has hung up.
  bool OutputQueued(int& queued) {
    if (::ioctl(Fd(), TIOCOUTQ, &queued) == 0) return true;
    if (errno == EIO || errno == ENXIO || errno == ENODEV) m_gone = true;
    return false;
  }

  // Generous time for n bytes to leave at the configured rate: a healthy line finishes well
  // inside it, a stalled one is given up on.
  int WriteBudgetMs(std::size_t n) const {
    const long long lineMs = static_cast<long long>(n) * 10 * 1000 / std::max(m_rate, 300);
    return static_cast<int>(std::min<long long>(1000 + 4 * lineMs, 60'000));
  }

  std::unique_ptr<QSerialPort> m_port;
  int m_timeoutMs = 0;
  int m_rate = 57600;
  bool m_gone = false;  // the device went away: every further call fails at once
};

class SystemPortOpener final : public PortOpener {
 public:
  std::unique_ptr<SerialPort> Open(int number, OpenError& error) override {
    const std::string path = PathOf(number);
    if (path.empty()) {
      error = OpenError::NotFound;
      return nullptr;
    }
    EnsureEventDispatcher();
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromLocal8Bit(path.c_str()));
    ApplyLineSettings(*port);
    if (!port->open(QIODevice::ReadWrite)) {
      error = ToOpenError(port->error(), path);
      return nullptr;
    }
    port->clearError();  // e.g. a pty that refused exclusive mode: the lock file still holds
    error = OpenError::None;
    return std::make_unique<QtSerialPort>(std::move(port));
  }

  std::string PathOf(int number) const override { return ComPortPath(number); }

  PortEntry Describe(int number) const override {
    PortEntry entry(number, PathOf(number));
    FillIdentity(entry);
    return entry;
  }
};

}  // namespace

std::unique_ptr<PortOpener> MakeSystemPortOpener() {
  return std::make_unique<SystemPortOpener>();
}

// The ports are driven by blocking waits on threads without an event loop, which Qt supports
// only once an application object exists: it makes the main thread one Qt knows. No event
// loop runs. A program with its own application object (the window) already has one.
struct SerialRuntime::State {
  std::unique_ptr<QCoreApplication> application;
};

SerialRuntime::SerialRuntime(int& argc, char** argv) : m_state(std::make_unique<State>()) {
  if (QCoreApplication::instance() == nullptr)
    m_state->application = std::make_unique<QCoreApplication>(argc, argv);
}

SerialRuntime::~SerialRuntime() = default;

}  // namespace platform
