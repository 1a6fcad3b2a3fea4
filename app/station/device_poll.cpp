#include "app/station/device_poll.h"

#include <utility>
#include <vector>

#include "device/steps.h"

namespace app {

DevicePoll::DevicePoll(platform::PortOpener& opener, int port, std::stop_token stop)
    : m_link(opener), m_port(port) {
  m_link.m_stop = std::move(stop);
}

std::unique_ptr<platform::SerialPort> DevicePoll::TakePort() {
  m_link.m_portName.clear();
  return std::move(m_link.m_hComm);
}

PollAnswer DevicePoll::Search() {
  std::vector<int> rates;
  if (m_lastRate != 0) rates.push_back(m_lastRate);
  for (const int rate : device::kDeviceRates)
    if (rate != m_lastRate) rates.push_back(rate);
  return Identify(rates.data(), rates.size());
}

PollAnswer DevicePoll::At(int rate) {
  return Identify(&rate, 1);
}

PollAnswer DevicePoll::Identify(const int* rates, std::size_t count) {
  PollAnswer answer;
  // The port open from the last poll is set to the first rate; one that is not open (first
  // poll, or it failed) is opened.
  const bool reused = m_link.m_bCommOpen() && m_link.m_hComm->Configure(rates[0]);
  platform::OpenError why = platform::OpenError::None;
  if (!reused && device::OpenComPort(m_link, m_port, rates[0], 0, why) != RESULT_OK) {
    answer.kind = why == platform::OpenError::Busy ? PollAnswer::Kind::Busy : PollAnswer::Kind::NoPort;
    return answer;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (m_link.StopRequested()) break;
    if (i > 0 && !m_link.m_hComm->Configure(rates[i])) {
      m_link.Close();
      break;
    }
    if (device::IdentifyDevice(m_link, answer.identity, false) == RESULT_OK) {
      answer.kind = PollAnswer::Kind::Answered;
      answer.rate = rates[i];
      m_lastRate = rates[i];
      break;
    }
    // A port that hung up under the poll failed the write and was closed: its device is gone.
    if (!m_link.m_bCommOpen()) break;
  }
  if (m_link.StopRequested()) {
    m_link.Close();
    answer.kind = PollAnswer::Kind::Stopped;
  }
  return answer;
}

}  // namespace app
