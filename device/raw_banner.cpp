// The bootloader's banner at power-on: raw boot listens for it instead of asking.

#include "device/raw_banner.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

LoadResult WaitForRawBanner(Link& link, int timeoutMs, LoaderView& view, std::string& deviceTag) {
  using Clock = std::chrono::steady_clock;
  constexpr int kSliceMs = 1000;
  if (!link.m_hComm) return RESULT_NO_SINGLE_DEVICE;
  PreparePort(link, kSliceMs);

  // The banner is read in one-second slices, so the wait can count down; like one read with
  // the whole time-out it ends early only once the full request has arrived.
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const int totalSeconds = (timeoutMs + kSliceMs - 1) / kSliceMs;
  std::size_t got = 0;
  bool lineLost = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0 || got >= kBannerReadLen || link.StopRequested()) break;
    view.countdown(static_cast<int>((left + kSliceMs - 1) / kSliceMs), totalSeconds);
    link.m_hComm->SetReadTimeout(static_cast<int>(std::min<long long>(left, kSliceMs)));
    const long n = link.m_hComm->Read(link.m_rxBuf.data() + got, kBannerReadLen - got, link.m_stop);
    if (n < 0) {
      lineLost = true;  // the adapter is gone: no banner can come any more
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  view.countdown(0, totalSeconds);
  link.TraceBytes("rx", std::span<const std::uint8_t>(link.m_rxBuf.data(), got));
  if (lineLost) link.TraceEvent("read error");
  if (link.StopRequested()) return RESULT_STOPPED;

  const std::span<const std::uint8_t> banner(link.m_rxBuf.data(), got);
  const ReplyCheck check = CheckBootBanner(banner, kRawBannerMinLen);
  if (check == ReplyCheck::Short) return RESULT_NO_SINGLE_DEVICE;
  if (check != ReplyCheck::Ok) return RESULT_FOREIGN_DEVICE;
  deviceTag = DeviceTag(banner[4], banner[5]);
  return RESULT_OK;
}

}  // namespace device
