// The serial transport over the Win32 communications calls. The port is opened for synchronous
// I/O, and every read waits in slices of at most kStopLatencyMs (the total read time-out set to
// the slice, with no interval limit), so a stop request ends a wait promptly and a read still
// returns as soon as the bytes it asks for have come.
//
// A device that goes away (a USB adapter pulled) leaves a handle on which the calls fail: a
// read slice then returns early or fails, and ClearCommError refuses to report. From then on
// the port is known gone and every call fails at once.

#include "platform/serial_port.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/windows/port_identity.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {
namespace {

constexpr int kPortCount = 32;
constexpr DWORD kSliceMs = static_cast<DWORD>(kStopLatencyMs);
constexpr auto kDrainPoll = std::chrono::milliseconds(5);

using Clock = std::chrono::steady_clock;

std::wstring DeviceName(int number) {
  return L"\\\\.\\COM" + std::to_wstring(number);
}

OpenError OpenErrorOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      return OpenError::NotFound;
    // A serial driver admits one handle at a time: another program's handle is refused as
    // access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return OpenError::Busy;
    default:
      return OpenError::Other;
  }
}

class ComPort final : public SerialPort {
 public:
  explicit ComPort(win::OwnedHandle handle) : m_handle(std::move(handle)) {}
  ~ComPort() override { Close(); }
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  bool Configure(int rate) override {
    if (!Usable() || rate <= 0) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(m_handle.get(), &dcb)) return Failed();
    // The fixed line settings; every other field keeps what the driver reported.
    dcb.BaudRate = static_cast<DWORD>(rate);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(m_handle.get(), &dcb)) return Failed();
    m_rate = rate;
    // Only the read time-out is ever waited on; the transmit event is asked for, never waited.
    ::SetCommMask(m_handle.get(), EV_TXEMPTY);
    m_timeoutsKnown = false;
    return SetTimeouts(kSliceMs, WriteBudgetMs(1));
  }

  void SetReadTimeout(int ms) override { m_timeoutMs = std::max(ms, 0); }

  void DiscardInput() override {
    if (!Usable()) return;
    ::PurgeComm(m_handle.get(), PURGE_RXCLEAR);
    ClearErrors();
  }

  long Write(const std::uint8_t* data, std::size_t n) override {
    if (!Usable() || (data == nullptr && n != 0)) return -1;
    if (n == 0) return 0;
    const DWORD want = n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
    if (!SetTimeouts(m_readSliceMs, WriteBudgetMs(want))) return -1;
    DWORD written = 0;
    // The write time-out ends a write the line does not take: the call then succeeds with a
    // short count.
    if (!::WriteFile(m_handle.get(), data, want, &written, nullptr)) {
      // A refused write on a port that still answers took what it says; a device gone took
      // nothing that will reach it.
      Failed();
      if (m_gone) return -1;
      ::PurgeComm(m_handle.get(), PURGE_TXCLEAR);
      return static_cast<long>(written);
    }
    // What did not go out is not sent later.
    if (written < want) ::PurgeComm(m_handle.get(), PURGE_TXCLEAR);
    ClearErrors();
    return static_cast<long>(written);
  }

  long Read(std::uint8_t* out, std::size_t n, const std::stop_token& stop) override {
    if (!Usable() || (out == nullptr && n != 0)) return -1;
    if (n == 0) return 0;
    const DWORD want = n > MAXDWORD ? MAXDWORD : static_cast<DWORD>(n);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    DWORD got = 0;
    for (;;) {
      // A stopped or expired read still takes what has already arrived, without waiting.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      const DWORD slice =
          stop.stop_requested() || left <= 0 ? 0 : std::min<DWORD>(kSliceMs, static_cast<DWORD>(left));
      if (!SetTimeouts(slice, m_writeBudgetMs)) return got > 0 ? static_cast<long>(got) : -1;
      DWORD r = 0;
      const BOOL ok = ::ReadFile(m_handle.get(), out + got, want - got, &r, nullptr);
      got += std::min(r, want - got);
      if (!ok) {
        // With no abort on error, a failed read is a device gone; what came before it is
        // still handed over, as a short count.
        m_gone = true;
        return got > 0 ? static_cast<long>(got) : -1;
      }
      if (got >= want) break;
      // Fewer bytes than asked for: the slice ran out, or the device went away.
      if (!ClearErrors()) return got > 0 ? static_cast<long>(got) : -1;
      if (slice == 0 || stop.stop_requested() || Clock::now() >= deadline) break;
    }
    return static_cast<long>(got);
  }

  bool Drain(const std::stop_token& stop, const std::function<void()>& whileWaiting) override {
    if (!Usable()) return false;
    // The driver's output queue: the bytes handed over that the line has not yet carried.
    // Polled rather than waited for with FlushFileBuffers, so that a stop is honoured.
    long queued = OutputQueued();
    if (queued < 0) return !m_gone;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(WriteBudgetMs(static_cast<std::size_t>(queued)));
    while (queued > 0) {
      if (whileWaiting) whileWaiting();
      if (Clock::now() >= deadline || stop.stop_requested()) return false;
      std::this_thread::sleep_for(kDrainPoll);
      queued = OutputQueued();
      if (queued < 0) return !m_gone;
    }
    return true;
  }

  long OutputQueued() override {
    if (!m_handle.valid() || m_gone) return -1;
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(m_handle.get(), &errors, &status)) {
      m_gone = true;
      return -1;
    }
    return static_cast<long>(status.cbOutQue);
  }

  void Close() override { m_handle.Reset(); }

 private:
  // Open, and its device still there. Once gone, a port stays gone: the device comes back, if
  // at all, as a port to be opened anew.
  bool Usable() {
    if (!m_handle.valid() || m_gone) return false;
    return ClearErrors();
  }

  // Clears the port's error state (errors are ignored: only byte counts and replies decide).
  // False, with the port marked gone, when the port no longer answers.
  bool ClearErrors() {
    COMSTAT status{};
    DWORD errors = 0;
    if (::ClearCommError(m_handle.get(), &errors, &status)) return true;
    m_gone = true;
    return false;
  }

  // A call on the port failed: gone when the port no longer answers, else a mere refusal.
  bool Failed() {
    ClearErrors();
    return false;
  }

  // The read time-out of one slice (0: return at once with what has come) and the write
  // time-out, set only when they change.
  bool SetTimeouts(DWORD readSliceMs, DWORD writeBudgetMs) {
    if (m_timeoutsKnown && readSliceMs == m_readSliceMs && writeBudgetMs == m_writeBudgetMs) return true;
    COMMTIMEOUTS t{};
    if (!::GetCommTimeouts(m_handle.get(), &t)) return Failed();
    // No interval limit: a read returns when all its bytes have come or its slice is over.
    // A slice of 0 is the documented "return at once" setting.
    t.ReadIntervalTimeout = readSliceMs == 0 ? MAXDWORD : 0;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = readSliceMs;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = writeBudgetMs;
    if (!::SetCommTimeouts(m_handle.get(), &t)) return Failed();
    m_readSliceMs = readSliceMs;
    m_writeBudgetMs = writeBudgetMs;
    m_timeoutsKnown = true;
    return true;
  }

  // Generous time for n bytes to leave at the configured rate: 1 s + four times the line
  // time, at most 60 s.
  DWORD WriteBudgetMs(std::size_t n) const {
    const long long lineMs = static_cast<long long>(n) * 10 * 1000 / std::max(m_rate, 300);
    return static_cast<DWORD>(std::min<long long>(1000 + 4 * lineMs, 60'000));
  }

  win::OwnedHandle m_handle;
  int m_timeoutMs = 0;
  int m_rate = 57600;
  bool m_gone = false;
  bool m_timeoutsKnown = false;
  DWORD m_readSliceMs = kSliceMs;
  DWORD m_writeBudgetMs = 1000;
};

class SystemPortOpener final : public PortOpener {
 public:
  std::unique_ptr<SerialPort> Open(int number, OpenError& error) override {
    if (number < 1 || number > kPortCount) {
      error = OpenError::NotFound;
      return nullptr;
    }
    // Exclusive (no sharing), synchronous, and nothing written: opening raises no line that
    // was not raised before, and waits for no carrier.
    win::OwnedHandle handle(::CreateFileW(DeviceName(number).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle.valid()) {
      error = OpenErrorOf(::GetLastError());
      return nullptr;
    }
    // A name that opens but is no working serial port (a device gone but still named, a
    // driver that refuses the calls) is no port to list.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle.get(), &dcb)) {
      error = OpenError::NotFound;
      return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<ComPort>(std::move(handle));
  }

  std::string PathOf(int number) const override { return ComPortPath(number); }

  PortEntry Describe(int number) const override {
    PortEntry entry(number, PathOf(number));
    win::FillPortIdentity(entry);
    return entry;
  }
};

}  // namespace

std::string ComPortPath(int number) {
  // The device name the system gives the port. Folders of links are a Linux idea: under Wine
  // the prefix's own COM links lead to the ports.
  if (number < 1 || number > kPortCount) return {};
  return R"(\\.\COM)" + std::to_string(number);
}

std::unique_ptr<PortOpener> MakeSystemPortOpener() {
  return std::make_unique<SystemPortOpener>();
}

// The Win32 calls need nothing made beforehand.
struct SerialRuntime::State {};

SerialRuntime::SerialRuntime(int& /*argc*/, char** /*argv*/) {}
SerialRuntime::~SerialRuntime() = default;

}  // namespace platform
