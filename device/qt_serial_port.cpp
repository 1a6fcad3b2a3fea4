// The program's serial transport over QSerialPort, used from a workflow thread that has no
// event loop: only the blocking waitFor* calls move bytes, in slices short enough that a
// stop request ends a wait promptly.

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
#include <filesystem>
#include <memory>
#include <system_error>

#include "device/serial_port.h"

namespace device {
namespace {

constexpr int kSliceMs = 50;

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
    if (!m_port->isOpen() || !m_port->setBaudRate(rate) || !ApplyLineSettings(*m_port)) return false;
    m_rate = rate;
    // A pseudo-terminal has no modem lines and refuses these; that is no reason to fail.
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
    m_port->clearError();
    return true;
  }

  void SetReadTimeout(int ms) override { m_timeoutMs = std::max(ms, 0); }

  void DiscardInput() override {
    if (!m_port->isOpen()) return;
    // Bytes the driver already holds come into Qt's buffer only during a wait; fetch them
    // first so that the clear drops them too.
    m_port->waitForReadyRead(0);
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
  }

  long Write(const std::uint8_t* data, std::size_t n) override {
    if (!m_port->isOpen()) return -1;
    if (n == 0) return 0;
    const qint64 queued = m_port->write(reinterpret_cast<const char*>(data), static_cast<qint64>(n));
    if (queued < 0) return -1;
    QDeadlineTimer deadline(WriteBudgetMs(n));
    while (m_port->bytesToWrite() > 0 && !deadline.hasExpired()) {
      const int slice =
          static_cast<int>(std::min<qint64>(kSliceMs, std::max<qint64>(deadline.remainingTime(), 1)));
      if (!m_port->waitForBytesWritten(slice) && m_port->error() != QSerialPort::NoError &&
          m_port->error() != QSerialPort::TimeoutError) {
        break;  // the port is gone or broken
      }
    }
    const qint64 left = m_port->bytesToWrite();
    if (left > 0) m_port->clear(QSerialPort::Output);  // what did not go out is not sent later
    m_port->clearError();
    return static_cast<long>(queued - left);
  }

  long Read(std::uint8_t* out, std::size_t n, const std::function<bool()>& abort) override {
    if (!m_port->isOpen()) return -1;
    char* dst = reinterpret_cast<char*>(out);
    qint64 got = 0;
    const auto want = static_cast<qint64>(n);
    QDeadlineTimer deadline(m_timeoutMs);
    for (;;) {
      const qint64 r = m_port->read(dst + got, want - got);
      if (r > 0) got += r;
      if (got >= want || deadline.hasExpired() || (abort && abort())) break;
      const int slice =
          static_cast<int>(std::min<qint64>(kSliceMs, std::max<qint64>(deadline.remainingTime(), 1)));
      if (!m_port->waitForReadyRead(slice) && m_port->error() == QSerialPort::ResourceError) {
        got += std::max<qint64>(m_port->read(dst + got, want - got), 0);
        m_port->clearError();
        return got > 0 ? static_cast<long>(got) : -1;  // the device went away
      }
    }
    m_port->clearError();
    return static_cast<long>(got);
  }

  bool Drain(const std::function<bool()>& abort) override {
    if (!m_port->isOpen()) return false;
    // The driver's output queue: the bytes the program handed over that the line has not yet
    // carried. Poll it rather than block in tcdrain, so a stop request is honoured.
    int queued = 0;
    if (::ioctl(static_cast<int>(m_port->handle()), TIOCOUTQ, &queued) != 0) return true;  // not knowable
    QDeadlineTimer deadline(WriteBudgetMs(static_cast<std::size_t>(std::max(queued, 0))));
    while (queued > 0) {
      if (deadline.hasExpired() || (abort && abort())) return false;
      QThread::msleep(5);
      if (::ioctl(static_cast<int>(m_port->handle()), TIOCOUTQ, &queued) != 0) return true;
    }
    return true;
  }

  void Close() override {
    if (m_port->isOpen()) m_port->close();
  }

 private:
  // Generous time for n bytes to leave at the configured rate: a healthy line finishes well
  // inside it, a stalled one is given up on.
  int WriteBudgetMs(std::size_t n) const {
    const long long lineMs = static_cast<long long>(n) * 10 * 1000 / std::max(m_rate, 300);
    return static_cast<int>(std::min<long long>(1000 + 4 * lineMs, 60'000));
  }

  std::unique_ptr<QSerialPort> m_port;
  int m_timeoutMs = 0;
  int m_rate = 57600;
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

}  // namespace device
