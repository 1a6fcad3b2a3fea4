// The link's port: open at a rate, close, and the link's trace lines.

#include "device/link.h"

#include <string>

#include "common/port_entry.h"
#include "device/port_open.h"

namespace device {

void Link::Close() {
  if (m_hComm) {
    m_hComm->Close();
    m_hComm.reset();
    TraceEvent("close");
  }
}

void Link::TraceBytes(std::string_view direction, std::span<const std::uint8_t> bytes) const {
  if (m_trace == WireTrace::On) WriteTraceBytes(m_portName, direction, bytes);
}

void Link::TraceEvent(std::string_view text) const {
  if (m_trace == WireTrace::On) WriteTraceEvent(m_portName, text);
}

LoadResult OpenComPort(Link& link, int port, int rate) {
  platform::OpenError why = platform::OpenError::None;
  return OpenComPort(link, port, rate, kBusyWaitMs, why);
}

LoadResult OpenComPort(Link& link, int port, int rate, int busyWaitMs, platform::OpenError& why) {
  // One port handle at a time: a handle still held from before is let go first, so it can
  // neither leak nor keep the port busy against this open.
  link.Close();
  link.m_portName = ComName(port);
  why = platform::OpenError::None;
  if (port < 1 || port > 32) {
    why = platform::OpenError::NotFound;
    return RESULT_PORT_OPEN_FAILED;
  }
  link.m_hComm = OpenWaitingWhileBusy(*link.m_opener, port, why, busyWaitMs, link.m_stop);
  if (!link.m_hComm) {
    link.TraceEvent(why == platform::OpenError::Busy ? "open failed: busy" : "open failed");
    return RESULT_PORT_OPEN_FAILED;
  }
  if (!link.m_hComm->Configure(rate)) {
    link.Close();
    why = platform::OpenError::Settings;
    link.TraceEvent("configure at " + std::to_string(rate) + " failed");
    return RESULT_PORT_OPEN_FAILED;
  }
  link.m_rate = rate;
  link.TraceEvent("open at " + std::to_string(rate));
  return RESULT_OK;
}

}  // namespace device
