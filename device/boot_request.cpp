// Sending the device into its bootloader and checking that the bootloader is the product's.

#include "device/boot_request.h"

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

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
  WriteTx(link, BuildDeclineByte(link.m_txBuf));
}

}  // namespace device
