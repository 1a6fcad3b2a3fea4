#pragma once
// The loader's side of the serial link: the one open port and the two buffers, and the device
// identity learnt over it.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "common/load_result.h"
#include "device/wire_trace.h"
#include "platform/serial_port.h"

namespace device {

// A link belongs to one session and is used by one thread at a time; only its stop token is
// shared (a stop may be requested from any thread).
struct Link {
  explicit Link(platform::PortOpener& opener, WireTrace trace = WireTrace::Off)
      : m_opener(&opener), m_trace(trace) {}

  platform::PortOpener* m_opener;
  std::unique_ptr<platform::SerialPort> m_hComm;
  std::array<std::uint8_t, 1024> m_txBuf{};
  std::array<std::uint8_t, 1024> m_rxBuf{};
  std::string m_portName;  // "COM3" while a port is open: names the link in trace lines
  int m_rate = 0;          // the line rate the port was last opened at
  // Whether every byte and event on this link goes to the wire trace (standard error); given
  // by the front end (-v, VORLOADER_TRACE), never read back from the environment.
  WireTrace m_trace;

  // The session's stop request: every wait on the link ends early once it is made.
  std::stop_token m_stop;
  // Seam for the reboot wait's sleep; empty: a real sleep, in short slices, that ends on m_stop.
  std::function<void(int ms)> m_sleep;

  // Whether a port is open: the handle is the one state, this only reads it.
  bool m_bCommOpen() const { return m_hComm != nullptr; }
  bool StopRequested() const { return m_stop.stop_requested(); }
  void Close();  // closes the port if open

  // The trace lines of this link (nothing when its trace is off).
  void TraceBytes(std::string_view direction, std::span<const std::uint8_t> bytes) const;
  void TraceEvent(std::string_view text) const;
};

struct Identity {
  std::array<std::uint8_t, 4> m_devIdBytes{};
  std::array<std::uint8_t, 16> m_devText{};
  std::array<std::uint8_t, 6> m_devCode{};
  std::array<std::uint8_t, 16> m_authBlock{};
  std::string m_strDevName;
  std::string m_strDevVersion;
  std::uint32_t m_nDevId = 0;
};

// RESULT_OK with the port open, or RESULT_PORT_OPEN_FAILED with none. A port another program
// holds for a moment (another loader's listing) is waited for, up to kBusyWaitMs
// (device/port_open.h), or until the link's stop request.
LoadResult OpenComPort(Link& link, int port, int rate);
// As above, with the time a busy port is waited for given (0: not at all) and, on failure, why
// the port did not open in `why` (OpenError::Settings when it opened but took no rate).
LoadResult OpenComPort(Link& link, int port, int rate, int busyWaitMs, platform::OpenError& why);

}  // namespace device
