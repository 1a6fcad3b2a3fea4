#pragma once
// The device's side of the wire format: recognising the loader's messages in the received
// byte stream, and building the replies of the running firmware and of the bootloader.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;
using IdBytes = std::array<std::uint8_t, 4>;
using LabelBytes = std::array<std::uint8_t, 16>;
using CodeBytes = std::array<std::uint8_t, 2>;

inline constexpr std::size_t kIdentifyReplyLen = 24;
inline constexpr std::size_t kDeviceReplyLen = 15;
inline constexpr std::size_t kAuthFrameLen = 30;
inline constexpr std::size_t kBootRequestLen = 14;
inline constexpr std::size_t kEraseReplyLen = 16;
inline constexpr std::size_t kPackedLen = 19;
inline constexpr std::uint8_t kEraseCommand = 0x79;
inline constexpr std::uint8_t kDeclineByte = 0x4E;

// Byte sum with 8-bit wrap-around, masked to 7 bits.
std::uint8_t SevenBitSum(std::span<const std::uint8_t> bytes);

enum class MessageKind { Identify, DeviceQuery, BootRequest, AuthFrame };

// What the running firmware makes of the bytes at the start of its receive buffer.
struct Recognised {
  enum Status { Complete, NeedMore, Garbage } status = Garbage;
  MessageKind kind = MessageKind::Identify;
  std::size_t length = 0;  // bytes of the message (Complete) or of garbage to drop (Garbage)
};
Recognised RecogniseMessage(std::span<const std::uint8_t> rx);

Bytes IdentifyReply(const IdBytes& id, const LabelBytes& label);
// The signature bytes are 56 51, or another pair when `foreignSignature` is set.
Bytes DeviceReply(const IdBytes& id, const CodeBytes& code, bool foreignSignature);
// Signature, 00 00, product code, then the bootloader's greeting text, zero-filled to
// `length` bytes (at least 6; longer texts are cut).
Bytes BootBanner(const CodeBytes& code, std::size_t length);
Bytes EraseReply();
// The firmware's answer to an authentication frame: framed like it, with `payload` packed.
Bytes AuthReply(const IdBytes& id, const std::array<std::uint8_t, 16>& payload);

// Checks of the loader's framed messages; empty text when the frame is sound, else what is wrong.
std::string CheckBootRequest(std::span<const std::uint8_t> msg, const IdBytes& id);
std::string CheckAuthFrameHeader(std::span<const std::uint8_t> msg, const IdBytes& id);

// 7-bit packing in groups of seven, each led by a header holding their top bits.
std::array<std::uint8_t, kPackedLen> PackSevenBit(const std::array<std::uint8_t, 16>& in);
// The reverse; empty when a byte has bit 7 set or a header sets bits beyond its group.
std::optional<std::array<std::uint8_t, 16>> UnpackSevenBit(std::span<const std::uint8_t> packed);

// The label text up to its first zero byte.
std::string LabelText(const LabelBytes& label);
// The label of the same model running firmware `version`: the text up to and including its
// last 'v' or 'V' (or "V" when it has none) followed by the version, cut to 16 bytes.
LabelBytes LabelWithVersion(const LabelBytes& label, const std::string& version);

}  // namespace sim
