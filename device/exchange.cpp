// The link's traced writes and reads, the exchange and the link's waits.

#include "device/exchange.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace device {

void PreparePort(Link& link, int timeoutMs) {
  // The port's error state needs no clearing here: errors are reported per call and only
  // byte counts and reply contents decide.
  if (!link.m_hComm) return;
  link.m_hComm->SetReadTimeout(timeoutMs);
  link.m_hComm->DiscardInput();
}

std::size_t WriteTx(Link& link, std::size_t n) {
  n = std::min(n, link.m_txBuf.size());
  if (!link.m_hComm) return 0;
  const long taken = link.m_hComm->Write(link.m_txBuf.data(), n);
  const std::size_t took = taken > 0 ? static_cast<std::size_t>(taken) : 0;
  link.TraceBytes("tx", std::span<const std::uint8_t>(link.m_txBuf.data(), took));
  if (took < n) link.TraceEvent("write took " + std::to_string(took) + " of " + std::to_string(n));
  return took;
}

long ReadReply(Link& link, std::size_t n) {
  n = std::min(n, link.m_rxBuf.size());
  if (!link.m_hComm) return 0;
  const long got = link.m_hComm->Read(link.m_rxBuf.data(), n, link.m_stop);
  const std::size_t count = got > 0 ? std::min(static_cast<std::size_t>(got), n) : 0;
  link.TraceBytes("rx", std::span<const std::uint8_t>(link.m_rxBuf.data(), count));
  if (got < 0) link.TraceEvent("read error");
  return static_cast<long>(count);
}

ExchangeOutcome Exchange(Link& link, std::size_t msgLen, std::size_t replyLen, int timeoutMs) {
  PreparePort(link, timeoutMs);
  if (WriteTx(link, msgLen) < msgLen) {
    link.Close();
    return {};
  }
  const long got = ReadReply(link, replyLen);
  return {true, std::span<const std::uint8_t>(link.m_rxBuf.data(), static_cast<std::size_t>(got))};
}

void SleepMs(Link& link, int ms) {
  if (link.m_sleep) {
    link.m_sleep(ms);
    return;
  }
  using namespace std::chrono;
  const auto until = steady_clock::now() + milliseconds(ms);
  while (!link.StopRequested()) {
    const auto left = duration_cast<milliseconds>(until - steady_clock::now());
    if (left.count() <= 0) return;
    std::this_thread::sleep_for(std::min(left, milliseconds(50)));
  }
}

}  // namespace device
