#include "device/authenticate.h"

#include "device/exchange.h"
#include "device/frame_codec.h"

namespace device {

std::optional<std::size_t> BuildAuthFrame(Link& link, Identity& id, const image::UtcTime& now,
                                          image::ChallengeEncrypter encrypt) {
  if (!image::MakeAuthChallenge(0, id.m_authBlock.data(), now, encrypt)) return std::nullopt;
  return BuildAuthFrameBytes(link.m_txBuf, id.m_devIdBytes, id.m_authBlock);
}

LoadResult AuthenticateDevice(Link& link, Identity& id, const image::UtcTime& now, std::string* why,
                              image::ChallengeEncrypter encrypt) {
  const std::optional<std::size_t> len = BuildAuthFrame(link, id, now, encrypt);
  if (!len) {
    // A stale or zeroed block must never reach the device as if it were a challenge.
    link.Close();
    if (why != nullptr) *why = kChallengeFailedDetail;
    return RESULT_AUTH_FAILED;
  }
  const ExchangeOutcome out = Exchange(link, *len, kAuthReplyLen, kAuthTimeoutMs);
  if (!out.wroteAll) return RESULT_BAD_WRITE;
  // The reply's content is not examined: a whole reply with a correct sum is accepted.
  const ReplyCheck check = CheckAuthReply(out.reply);
  if (check == ReplyCheck::Ok) return RESULT_OK;
  link.Close();
  return check == ReplyCheck::Short ? RESULT_BAD_READ : RESULT_BAD_CHECKSUM;
}

LoadResult AuthenticateDevice(Link& link, Identity& id, std::string* why) {
  return AuthenticateDevice(link, id, image::CurrentUtcTime(), why);
}

}  // namespace device
