#pragma once
// The bytes on the wire between the loader and a device: the messages the loader sends, the
// checks of the replies it reads, the 7-bit sum and the 7-bit packing. No I/O and no clock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace device {

using TxBuffer = std::array<std::uint8_t, 1024>;
using DeviceIdBytes = std::array<std::uint8_t, 4>;
using DeviceLabelBytes = std::array<std::uint8_t, 16>;
using ChallengeBlock = std::array<std::uint8_t, 16>;
using PackedChallenge = std::array<std::uint8_t, 19>;

// Message lengths, reply lengths and the total read time-out of each reply.
inline constexpr std::size_t kIdentifyQueryLen = 5;
inline constexpr std::size_t kIdentifyReplyLen = 24;
inline constexpr int kIdentifyTimeoutMs = 50;
inline constexpr std::size_t kDeviceQueryLen = 5;
inline constexpr std::size_t kDeviceReplyLen = 15;
inline constexpr int kDeviceTimeoutMs = 50;
inline constexpr std::size_t kBootRequestLen = 14;
inline constexpr std::size_t kBannerReadLen = 75;     // requested; the banner may be shorter
inline constexpr std::size_t kBootBannerMinLen = 60;  // after a boot request
inline constexpr std::size_t kRawBannerMinLen = 11;   // sent by itself at power-on
inline constexpr int kBootTimeoutMs = 1000;
inline constexpr int kRawBannerTimeoutMs = 10000;
inline constexpr std::size_t kAuthFrameLen = 30;
inline constexpr std::size_t kAuthReplyLen = 30;
inline constexpr int kAuthTimeoutMs = 500;
inline constexpr std::size_t kEraseReplyLen = 16;
inline constexpr int kEraseTimeoutMs = 5000;
inline constexpr std::size_t kImageChunkLen = 50;

inline constexpr std::uint8_t kDeclineByte = 0x4E;   // 'N': the bootloader goes back to sleep
inline constexpr std::uint8_t kEraseCommand = 0x79;  // 'y'
inline constexpr std::uint8_t kSignature[2] = {0x56, 0x51};

// The byte sum of `bytes` with 8-bit wrap-around, masked to 7 bits.
std::uint8_t SevenBitSum(std::span<const std::uint8_t> bytes);

// Groups of seven bytes, each led by a header byte holding their top bits (bit k for the k-th
// byte), the bytes themselves masked to 7 bits: 16 bytes become 19.
PackedChallenge PackSevenBit(const ChallengeBlock& in);

// Builders: each writes its message into `m_txBuf` from offset 0 and returns its length.
std::size_t BuildIdentifyQuery(TxBuffer& m_txBuf);
std::size_t BuildDeviceQuery(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes);
std::size_t BuildBootRequest(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes);
std::size_t BuildAuthFrameBytes(TxBuffer& m_txBuf, const DeviceIdBytes& devIdBytes,
                                const ChallengeBlock& encryptedChallenge);
std::size_t BuildDeclineByte(TxBuffer& m_txBuf);
std::size_t BuildEraseCommand(TxBuffer& m_txBuf);

// Reply checks, each over the bytes actually read (the span's size is the count read).
enum class ReplyCheck { Ok, Short, BadChecksum, BadSignature };

ReplyCheck CheckIdentifyReply(std::span<const std::uint8_t> rx);
ReplyCheck CheckDeviceReply(std::span<const std::uint8_t> rx);  // sum first, then signature
ReplyCheck CheckAuthReply(std::span<const std::uint8_t> rx);
ReplyCheck CheckEraseReply(std::span<const std::uint8_t> rx);
// Signature and 00 00 in bytes 0-3 of a banner at least `minLen` long; no checksum.
ReplyCheck CheckBootBanner(std::span<const std::uint8_t> rx, std::size_t minLen);

// Fields of checked replies (the caller has checked them first).
DeviceIdBytes IdentifyReplyId(std::span<const std::uint8_t> rx);
DeviceLabelBytes IdentifyReplyLabel(std::span<const std::uint8_t> rx);
std::array<std::uint8_t, 6> DeviceReplyCode(std::span<const std::uint8_t> rx);

// The device ID: the four ID bytes read big-endian.
std::uint32_t DeviceIdValue(const DeviceIdBytes& id);

// The product code as text, "%02x%02x" (lower-case, high byte first), and the device tag
// "VOR_T" + that + "_V" that matches a device to a product row.
std::string ProductCodeText(std::uint8_t high, std::uint8_t low);
std::string DeviceTag(std::uint8_t high, std::uint8_t low);

// The label up to its first zero byte, split at its last 'v' or 'V': the name before it
// (trailing blanks kept), the version after it. Without either letter the name is empty and
// the version is the whole text.
struct DeviceLabel {
  std::string name;
  std::string version;
};
DeviceLabel DecodeDeviceLabel(const DeviceLabelBytes& label);

}  // namespace device
