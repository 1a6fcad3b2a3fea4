// Who is on the other end: the identify query and the device query.

#include "device/identify.h"

#include <string>

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

LoadResult IdentifyDevice(Link& link, Identity& id, bool closeOnFailure) {
  if (!link.m_bCommOpen()) return RESULT_BAD_WRITE;
  const std::size_t len = BuildIdentifyQuery(link.m_txBuf);
  const ExchangeOutcome out = Exchange(link, len, kIdentifyReplyLen, kIdentifyTimeoutMs);
  if (!out.wroteAll) return RESULT_BAD_WRITE;

  const ReplyCheck check = CheckIdentifyReply(out.reply);
  if (check != ReplyCheck::Ok) {
    // Without close-on-failure the port stays open so that the query can be repeated.
    if (closeOnFailure) link.Close();
    return check == ReplyCheck::Short ? RESULT_BAD_READ : RESULT_BAD_CHECKSUM;
  }
  id.m_devIdBytes = IdentifyReplyId(out.reply);
  id.m_devText = IdentifyReplyLabel(out.reply);
  DeviceLabel label = DecodeDeviceLabel(id.m_devText);
  id.m_strDevName = std::move(label.name);
  id.m_strDevVersion = std::move(label.version);
  id.m_nDevId = DeviceIdValue(id.m_devIdBytes);
  return RESULT_OK;
}

LoadResult QueryDevice(Link& link, Identity& id) {
  if (!link.m_bCommOpen()) return RESULT_BAD_WRITE;
  const std::size_t len = BuildDeviceQuery(link.m_txBuf, id.m_devIdBytes);
  const ExchangeOutcome out = Exchange(link, len, kDeviceReplyLen, kDeviceTimeoutMs);
  if (!out.wroteAll) return RESULT_BAD_WRITE;

  const ReplyCheck check = CheckDeviceReply(out.reply);
  if (check == ReplyCheck::Ok || check == ReplyCheck::BadSignature) id.m_devCode = DeviceReplyCode(out.reply);
  if (check == ReplyCheck::Ok) return RESULT_OK;
  link.Close();
  switch (check) {
    case ReplyCheck::Short:
      return RESULT_BAD_READ;
    case ReplyCheck::BadChecksum:
      return RESULT_BAD_CHECKSUM;
    default:
      return RESULT_FOREIGN_DEVICE;
  }
}

std::string DeviceLine(const Identity& id) {
  // The ID is shown as the unsigned number it is; IDs from 0x80000000 up are not negative.
  return "Device: " + id.m_strDevName + "    ID: " + std::to_string(id.m_nDevId) + "    Version: V" +
         id.m_strDevVersion;
}

}  // namespace device
