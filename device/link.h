#pragma once
// The loader's side of the serial link: the one open port, its flag and the two buffers,
// and the device identity learnt over it.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "device/serial_port.h"

namespace device {

struct Link {
  explicit Link(PortOpener& opener) : m_opener(&opener) {}

  PortOpener* m_opener;
  std::unique_ptr<SerialPort> m_hComm;
  bool m_bCommOpen = false;
  std::array<std::uint8_t, 1024> m_txBuf{};
  std::array<std::uint8_t, 1024> m_rxBuf{};
  std::string m_portName;  // "COM3" while a port is open: names the link in trace lines

  // The session's stop request: every wait on the link ends early once it is made.
  std::stop_token m_stop;
  // Seam for the reboot wait's sleep; empty: a real sleep, in short slices, that ends on m_stop.
  std::function<void(int ms)> m_sleep;

  bool StopRequested() const { return m_stop.stop_requested(); }
  void Close();  // closes the port if open and clears m_bCommOpen
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

}  // namespace device
