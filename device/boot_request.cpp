// Sending the device into its bootloader and checking that the bootloader is the product's.

#include "device/boot_request.h"

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

LoadResult RequestBoot(Link& link, const Identity& id, const std::string& productCode) {
  const std::size_t len = BuildBootRequest(link.m_txBuf, id.m_devIdBytes);
  const ExchangeOutcome out = Exchange(link, len, kBannerReadLen, kBootTimeoutMs);
  if (!out.wroteAll) return RESULT_BAD_WRITE;

  const ReplyCheck check = CheckBootBanner(out.reply, kBootBannerMinLen);
  if (check == ReplyCheck::Short) {
    link.Close();
    return RESULT_BAD_READ;
  }
  if (check == ReplyCheck::Ok && !productCode.empty() &&
      ProductCodeText(out.reply[4], out.reply[5]) == productCode) {
    return RESULT_OK;  // the bootloader now waits for the erase command
  }
  // Tell the bootloader to go back to sleep; the port stays open for the workflow's end.
  WriteTx(link, BuildDeclineByte(link.m_txBuf));
  return RESULT_BAD_DEVICE_CODE;
}

}  // namespace device
