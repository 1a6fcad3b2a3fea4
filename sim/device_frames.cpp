#include "sim/device_frames.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr std::uint8_t kSignature[2] = {0x56, 0x51};
constexpr std::uint8_t kBootHeader[4] = {0xF0, 0x00, 0x3F, 0x61};
constexpr std::uint8_t kAuthHeader[4] = {0xF0, 0x00, 0x2F, 0x61};
constexpr std::uint8_t kBootTail[5] = {0x00, 0x15, 0x5A, 0x54, 0x34};
constexpr std::uint8_t kAuthCommand[2] = {0x00, 0x4C};
constexpr char kGreeting[] = "VORnet bootloader ready";

bool StartsWith(std::span<const std::uint8_t> rx, const std::uint8_t* prefix, std::size_t n) {
  return std::equal(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(std::min(n, rx.size())), prefix);
}

void Seal(Bytes& frame) {
  frame.back() = SevenBitSum(std::span(frame).first(frame.size() - 1));
}

}  // namespace

std::uint8_t SevenBitSum(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
  return static_cast<std::uint8_t>(sum & 0x7F);
}

Recognised RecogniseMessage(std::span<const std::uint8_t> rx) {
  Recognised r;
  if (rx.empty()) {
    r.status = Recognised::NeedMore;
    return r;
  }
  auto fixed = [&](MessageKind kind, std::size_t len) {
    r.kind = kind;
    r.length = len;
    r.status = rx.size() >= len ? Recognised::Complete : Recognised::NeedMore;
  };
  switch (rx[0]) {
    case 0xBF:
      fixed(MessageKind::Identify, 5);
      // The identify query is BF and four zero bytes: anything else there is noise.
      for (std::size_t i = 1; i < std::min<std::size_t>(rx.size(), 5); ++i) {
        if (rx[i] != 0) {
          r = Recognised{Recognised::Garbage, MessageKind::Identify, 1};
          break;
        }
      }
      return r;
    case 0xE0:
      fixed(MessageKind::DeviceQuery, 5);
      return r;
    case 0xF0:
      // A header still arriving matches on the bytes there so far.
      if (StartsWith(rx, kBootHeader, 4)) {
        fixed(MessageKind::BootRequest, kBootRequestLen);
      } else if (StartsWith(rx, kAuthHeader, 4)) {
        fixed(MessageKind::AuthFrame, kAuthFrameLen);
      } else {
        r.status = Recognised::Garbage;
        r.length = 1;
      }
      return r;
    default:
      r.status = Recognised::Garbage;
      r.length = 1;
      return r;
  }
}

Bytes IdentifyReply(const IdBytes& id, const LabelBytes& label) {
  Bytes b(kIdentifyReplyLen, 0);
  b[0] = 0x56;  // bytes 0-2 carry the firmware's reply marker; the loader only sums them
  b[1] = 0x51;
  b[2] = 0x01;
  std::copy(id.begin(), id.end(), b.begin() + 3);
  std::copy(label.begin(), label.end(), b.begin() + 7);
  Seal(b);
  return b;
}

Bytes DeviceReply(const IdBytes& id, const CodeBytes& code, bool foreignSignature) {
  Bytes b(kDeviceReplyLen, 0);
  b[0] = 0xE0;
  std::copy(id.begin(), id.end(), b.begin() + 1);
  b[8] = kSignature[0];
  b[9] = foreignSignature ? 0x52 : kSignature[1];
  b[10] = 0x01;  // hardware revision: nothing on the loader's side reads it
  b[11] = 0x00;
  b[12] = code[0];
  b[13] = code[1];
  Seal(b);
  return b;
}

Bytes BootBanner(const CodeBytes& code, std::size_t length) {
  Bytes b(std::max<std::size_t>(length, 6), 0);
  b[0] = kSignature[0];
  b[1] = kSignature[1];
  b[4] = code[0];
  b[5] = code[1];
  for (std::size_t i = 0; i + 6 < b.size() && i < sizeof kGreeting - 1; ++i)
    b[6 + i] = static_cast<std::uint8_t>(kGreeting[i]);
  return b;
}

Bytes EraseReply() {
  static constexpr char kText[] = "ERASED OK";
  Bytes b(kEraseReplyLen, 0);
  std::memcpy(b.data(), kText, sizeof kText - 1);
  return b;
}

Bytes AuthReply(const IdBytes& id, const std::array<std::uint8_t, 16>& payload) {
  Bytes b(kAuthFrameLen, 0);
  std::copy(std::begin(kAuthHeader), std::end(kAuthHeader), b.begin());
  std::copy(id.begin(), id.end(), b.begin() + 4);
  b[8] = kAuthCommand[0];
  b[9] = kAuthCommand[1];
  auto packed = PackSevenBit(payload);
  std::copy(packed.begin(), packed.end(), b.begin() + 10);
  Seal(b);
  return b;
}

std::string CheckBootRequest(std::span<const std::uint8_t> msg, const IdBytes& id) {
  if (msg.size() != kBootRequestLen) return "length";
  if (SevenBitSum(msg.first(kBootRequestLen - 1)) != msg[kBootRequestLen - 1]) return "checksum";
  if (!std::equal(id.begin(), id.end(), msg.begin() + 4)) return "device-id";
  if (!std::equal(std::begin(kBootTail), std::end(kBootTail), msg.begin() + 8)) return "command";
  return {};
}

std::string CheckAuthFrameHeader(std::span<const std::uint8_t> msg, const IdBytes& id) {
  if (msg.size() != kAuthFrameLen) return "length";
  if (SevenBitSum(msg.first(kAuthFrameLen - 1)) != msg[kAuthFrameLen - 1]) return "checksum";
  if (!std::equal(id.begin(), id.end(), msg.begin() + 4)) return "device-id";
  if (msg[8] != kAuthCommand[0] || msg[9] != kAuthCommand[1]) return "command";
  return {};
}

std::array<std::uint8_t, kPackedLen> PackSevenBit(const std::array<std::uint8_t, 16>& in) {
  std::array<std::uint8_t, kPackedLen> out{};
  std::size_t o = 0;
  for (std::size_t g = 0; g < in.size(); g += 7) {
    const std::size_t header = o++;
    for (std::size_t k = 0; k < 7 && g + k < in.size(); ++k) {
      out[header] = static_cast<std::uint8_t>(out[header] | ((in[g + k] >> 7) << k));
      out[o++] = static_cast<std::uint8_t>(in[g + k] & 0x7F);
    }
  }
  return out;
}

std::optional<std::array<std::uint8_t, 16>> UnpackSevenBit(std::span<const std::uint8_t> packed) {
  if (packed.size() != kPackedLen) return std::nullopt;
  std::array<std::uint8_t, 16> out{};
  std::size_t i = 0;
  for (std::size_t g = 0; g < out.size(); g += 7) {
    const std::uint8_t header = packed[i++];
    const std::size_t groupLen = std::min<std::size_t>(7, out.size() - g);
    if (header >> groupLen != 0) return std::nullopt;  // bits beyond the group, or bit 7
    for (std::size_t k = 0; k < groupLen; ++k) {
      const std::uint8_t data = packed[i++];
      if ((data & 0x80) != 0) return std::nullopt;
      out[g + k] = static_cast<std::uint8_t>(data | (((header >> k) & 1) << 7));
    }
  }
  return out;
}

std::string LabelText(const LabelBytes& label) {
  return {label.begin(), std::find(label.begin(), label.end(), std::uint8_t{0})};
}

LabelBytes LabelWithVersion(const LabelBytes& label, const std::string& version) {
  std::string text = LabelText(label);
  std::size_t v = text.find_last_of("vV");
  std::string fresh = (v == std::string::npos ? std::string("V") : text.substr(0, v + 1)) + version;
  LabelBytes out{};
  std::copy_n(fresh.begin(), std::min(fresh.size(), out.size()), out.begin());
  return out;
}

}  // namespace sim
