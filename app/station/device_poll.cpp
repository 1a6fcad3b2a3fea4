#include "app/station/device_poll.h"

#include <utility>

#include "device/steps.h"

namespace app {

DevicePoll::DevicePoll(device::PortOpener& opener, int port, std::stop_token stop)
    : m_link(opener), m_port(port) {
  m_link.m_stop = std::move(stop);
}

PollAnswer DevicePoll::Search() {
  return Identify(device::kDeviceRates, std::size(device::kDeviceRates));
}

PollAnswer DevicePoll::At(int rate) {
  return Identify(&rate, 1);
}

PollAnswer DevicePoll::Identify(const int* rates, std::size_t count) {
  PollAnswer answer;
  // One opening for every rate: the line is set again in between, as cheap as a poll can be.
  if (device::OpenComPort(m_link, m_port, rates[0]) != RESULT_OK) {
    answer.kind = PollAnswer::Kind::NoPort;
    return answer;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (m_link.StopRequested()) break;
    if (i > 0 && !m_link.m_hComm->Configure(rates[i])) break;
    if (device::IdentifyDevice(m_link, answer.identity, false) == RESULT_OK) {
      answer.kind = PollAnswer::Kind::Answered;
      answer.rate = rates[i];
      break;
    }
    // A port that hung up under the poll has gone with its device.
    if (!m_link.m_bCommOpen) break;
  }
  m_link.Close();
  if (m_link.StopRequested()) answer.kind = PollAnswer::Kind::Stopped;
  return answer;
}

}  // namespace app
