// Sending the device into its bootloader and checking that the bootloader is the product's.

#include "device/boot_request.h"

#include <chrono>
#include <thread>

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

namespace {
// How long the line is left alone after the decline byte has left the port.
constexpr int kDeclineSettleMs = 100;
}  // namespace

LoadResult RequestBoot(Link& link, const Identity& id, const std::string& productCode) {
  if (link.StopRequested()) return RESULT_STOPPED;  // nothing was asked of the device yet
  const std::size_t len = BuildBootRequest(link.m_txBuf, id.m_devIdBytes);
  const ExchangeOutcome out = Exchange(link, len, kBannerReadLen, kBootTimeoutMs);
  if (!out.wroteAll) return RESULT_BAD_WRITE;
  // A stop ends the banner's read early, and a banner shorter than the read is accepted: were
  // it judged now, the erase would follow a stop. The device may well be in its bootloader.
  if (link.StopRequested()) {
    DeclineBoot(link);
    return RESULT_STOPPED;
  }

  const ReplyCheck check = CheckBootBanner(out.reply, kBootBannerMinLen);
  if (check == ReplyCheck::Short) {
    link.Close();
    return RESULT_BAD_READ;
  }
  if (check == ReplyCheck::Ok && !productCode.empty() &&
      ProductCodeText(out.reply[4], out.reply[5]) == productCode) {
    return RESULT_OK;  // the bootloader now waits for the erase command
  }
  // The port stays open for the workflow's end.
  DeclineBoot(link);
  return RESULT_BAD_DEVICE_CODE;
}

void DeclineBoot(Link& link) {
  if (WriteTx(link, BuildDeclineByte(link.m_txBuf)) == 0) return;
  // The port is often closed right after (a stop, the workflow's end), and closing it resets
  // the line's settings at once: the byte must have left, and the device have read it at the
  // rate it listens at, first. The wait is not cut short by a stop, which is what often sent it.
  if (link.m_hComm) link.m_hComm->Drain(std::stop_token());
  if (link.m_sleep)
    link.m_sleep(kDeclineSettleMs);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(kDeclineSettleMs));
}

}  // namespace device
