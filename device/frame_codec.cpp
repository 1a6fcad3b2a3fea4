#include "device/frame_codec.h"

#include <algorithm>

namespace device {
namespace {

constexpr std::uint8_t kBootId[4] = {0xF0, 0x00, 0x3F, 0x61};
constexpr std::uint8_t kAuthId[4] = {0xF0, 0x00, 0x2F, 0x61};
constexpr std::uint8_t kBootCommand = 0x15;
constexpr std::uint8_t kAuthCommand = 0x4C;                   // 'L'
constexpr std::uint8_t kBootPayload[3] = {0x5A, 0x54, 0x34};  // "ZT4"
constexpr std::size_t kPackGroup = 7;

// Identifier, device ID, 0x00 and the command: the first ten bytes of every framed message.
std::size_t WriteFrameHead(TxBuffer& buf, const std::uint8_t (&ident)[4], const DeviceIdBytes& id,
                           std::uint8_t command) {
  std::copy(std::begin(ident), std::end(ident), buf.begin());
  std::copy(id.begin(), id.end(), buf.begin() + 4);
  buf[8] = 0x00;
  buf[9] = command;
  return 10;
}

// Places the 7-bit sum of everything before `len` at `len`; returns the full length.
std::size_t SealFrame(TxBuffer& buf, std::size_t len) {
  buf[len] = SevenBitSum(std::span<const std::uint8_t>(buf.data(), len));
  return len + 1;
}

bool SumMatches(std::span<const std::uint8_t> reply) {
  return reply.back() == SevenBitSum(reply.first(reply.size() - 1));
}

ReplyCheck CheckSummed(std::span<const std::uint8_t> rx, std::size_t len) {
  if (rx.size() < len) return ReplyCheck::Short;
  return SumMatches(rx.first(len)) ? ReplyCheck::Ok : ReplyCheck::BadChecksum;
}

char HexDigit(unsigned v) {
  return "0123456789abcdef"[v & 0x0F];
}

}  // namespace

std::uint8_t SevenBitSum(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
  return static_cast<std::uint8_t>(sum & 0x7F);
}

PackedChallenge PackSevenBit(const ChallengeBlock& in) {
  PackedChallenge out{};
  std::size_t o = 0;
  for (std::size_t start = 0; start < in.size(); start += kPackGroup) {
    const std::size_t n = std::min(kPackGroup, in.size() - start);
    const std::size_t header = o++;
    std::uint8_t bits = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint8_t b = in[start + k];
      bits = static_cast<std::uint8_t>(bits | ((b >> 7) << k));
      out[o++] = static_cast<std::uint8_t>(b & 0x7F);
    }
    out[header] = bits;
  }
  return out;
}

std::size_t BuildIdentifyQuery(TxBuffer& m_txBuf) {
  m_txBuf[0] = 0xBF;
  std::fill_n(m_txBuf.begin() + 1, 4, std::uint8_t{0});
  return kIdentifyQueryLen;
}

std::size_t BuildDeviceQuery(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes) {
  m_txBuf[0] = 0xE0;
  std::copy(devIdBytes.begin(), devIdBytes.end(), m_txBuf.begin() + 1);
  return kDeviceQueryLen;
}

std::size_t BuildBootRequest(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes) {
  std::size_t len = WriteFrameHead(m_txBuf, kBootId, devIdBytes, kBootCommand);
  for (std::uint8_t b : kBootPayload) m_txBuf[len++] = b;
  return SealFrame(m_txBuf, len);
}

std::size_t BuildAuthFrameBytes(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes,
                                const ChallengeBlock& encryptedChallenge) {
  std::size_t len = WriteFrameHead(m_txBuf, kAuthId, devIdBytes, kAuthCommand);
  for (std::uint8_t b : PackSevenBit(encryptedChallenge)) m_txBuf[len++] = b;
  return SealFrame(m_txBuf, len);
}

std::size_t BuildDeclineByte(TxBuffer& m_txBuf) {
  m_txBuf[0] = kDeclineByte;
  return 1;
}

std::size_t BuildEraseCommand(TxBuffer& m_txBuf) {
  m_txBuf[0] = kEraseCommand;
  return 1;
}

ReplyCheck CheckIdentifyReply(std::span<const std::uint8_t> rx) {
  return CheckSummed(rx, kIdentifyReplyLen);
}

ReplyCheck CheckDeviceReply(std::span<const std::uint8_t> rx) {
  const ReplyCheck sum = CheckSummed(rx, kDeviceReplyLen);
  if (sum != ReplyCheck::Ok) return sum;
  return rx[8] == kSignature[0] && rx[9] == kSignature[1] ? ReplyCheck::Ok : ReplyCheck::BadSignature;
}

ReplyCheck CheckAuthReply(std::span<const std::uint8_t> rx) {
  return CheckSummed(rx, kAuthReplyLen);
}

ReplyCheck CheckEraseReply(std::span<const std::uint8_t> rx) {
  return rx.size() < kEraseReplyLen ? ReplyCheck::Short : ReplyCheck::Ok;
}

ReplyCheck CheckBootBanner(std::span<const std::uint8_t> rx, std::size_t minLen) {
  // The product code at bytes 4-5 is part of every banner, whatever minimum the caller asks.
  if (rx.size() < std::max<std::size_t>(minLen, 6)) return ReplyCheck::Short;
  const bool ok = rx[0] == kSignature[0] && rx[1] == kSignature[1] && rx[2] == 0x00 && rx[3] == 0x00;
  return ok ? ReplyCheck::Ok : ReplyCheck::BadSignature;
}

DeviceIdBytes IdentifyReplyId(std::span<const std::uint8_t> rx) {
  DeviceIdBytes id{};
  std::copy_n(rx.subspan(3, 4).begin(), 4, id.begin());
  return id;
}

DeviceLabelBytes IdentifyReplyLabel(std::span<const std::uint8_t> rx) {
  DeviceLabelBytes label{};
  std::copy_n(rx.subspan(7, 16).begin(), 16, label.begin());
  return label;
}

std::array<std::uint8_t, 6> DeviceReplyCode(std::span<const std::uint8_t> rx) {
  std::array<std::uint8_t, 6> code{};
  std::copy_n(rx.subspan(8, 6).begin(), 6, code.begin());
  return code;
}

std::uint32_t DeviceIdValue(const DeviceIdBytes& id) {
  return (std::uint32_t{id[0]} << 24) | (std::uint32_t{id[1]} << 16) | (std::uint32_t{id[2]} << 8) | id[3];
}

std::string ProductCodeText(std::uint8_t high, std::uint8_t low) {
  return {HexDigit(high >> 4u), HexDigit(high), HexDigit(low >> 4u), HexDigit(low)};
}

std::string DeviceTag(std::uint8_t high, std::uint8_t low) {
  return "VOR_T" + ProductCodeText(high, low) + "_V";
}

DeviceLabel DecodeDeviceLabel(const DeviceLabelBytes& label) {
  const std::string text(label.begin(), std::find(label.begin(), label.end(), std::uint8_t{0}));
  const std::size_t v = text.find_last_of("vV");
  if (v == std::string::npos) return {std::string(), text};
  return {text.substr(0, v), text.substr(v + 1)};
}

}  // namespace device
