#include "device/frame_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace device {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sent(const TxBuffer& buf, std::size_t len) {
  return Bytes(buf.begin(), buf.begin() + static_cast<long>(len));
}

// A reply of `len` bytes from `fill`, its last byte the 7-bit sum of the others.
Bytes Sealed(std::size_t len, std::uint8_t fill = 0x41) {
  Bytes r(len, fill);
  r.back() = SevenBitSum(std::span<const std::uint8_t>(r).first(len - 1));
  return r;
}

TEST(SevenBitSum, AddsWithWrapThenMasks) {
  struct Case {
    Bytes bytes;
    std::uint8_t sum;
  } cases[] = {
      {{}, 0x00},
      {{0xFF, 0x02}, 0x01},  // 8-bit wrap before the mask
      {{0x80, 0x80}, 0x00},  // a multiple of 128
      {{0x40, 0x40}, 0x00},
      {{0x7F}, 0x7F},
      {{0xF0, 0x00, 0x3F, 0x61, 0x00, 0x01, 0x02, 0x03, 0x00, 0x15, 0x5A, 0x54, 0x34}, 0x0D},  // 0x28D
  };
  for (const Case& c : cases) EXPECT_EQ(SevenBitSum(c.bytes), c.sum) << ::testing::PrintToString(c.bytes);
}

TEST(PackSevenBit, MovesTopBitsIntoGroupHeaders) {
  struct Case {
    ChallengeBlock in;
    PackedChallenge out;
  } cases[] = {
      {{0x80, 0x01, 0xFF, 0x7F, 0x00, 0x40, 0xC3, 0x10, 0x9A, 0x00, 0x00, 0x00, 0x00, 0xFE, 0x81, 0x02},
       {0x45, 0x00, 0x01, 0x7F, 0x7F, 0x00, 0x40, 0x43, 0x42, 0x10, 0x1A, 0x00, 0x00, 0x00, 0x00, 0x7E, 0x01,
        0x01, 0x02}},
      {{}, {}},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       {0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x03,
        0x7F, 0x7F}},
  };
  for (const Case& c : cases) EXPECT_EQ(PackSevenBit(c.in), c.out) << ::testing::PrintToString(c.in);
}

TEST(MessageBuilders, WriteTheProtocolBytes) {
  TxBuffer buf{};
  const DeviceIdBytes id{0x00, 0x01, 0x02, 0x03};
  EXPECT_EQ(Sent(buf, BuildIdentifyQuery(buf)), (Bytes{0xBF, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Sent(buf, BuildDeviceQuery(buf, {0x12, 0x80, 0xFF, 0x00})),
            (Bytes{0xE0, 0x12, 0x80, 0xFF, 0x00}));
  EXPECT_EQ(Sent(buf, BuildBootRequest(buf, id)),
            (Bytes{0xF0, 0x00, 0x3F, 0x61, 0x00, 0x01, 0x02, 0x03, 0x00, 0x15, 0x5A, 0x54, 0x34, 0x0D}));
  EXPECT_EQ(Sent(buf, BuildDeclineByte(buf)), (Bytes{0x4E}));
  EXPECT_EQ(Sent(buf, BuildEraseCommand(buf)), (Bytes{0x79}));
}

TEST(MessageBuilders, AuthFrameCarriesPackedChallengeUnderItsSum) {
  TxBuffer buf{};
  const DeviceIdBytes id{0x9A, 0x00, 0x80, 0x01};  // device ID bytes go out unmasked
  const ChallengeBlock challenge{0x80, 0x01, 0xFF, 0x7F, 0x00, 0x40, 0xC3, 0x10,
                                 0x9A, 0x00, 0x00, 0x00, 0x00, 0xFE, 0x81, 0x02};
  ASSERT_EQ(BuildAuthFrameBytes(buf, id, challenge), 30u);
  EXPECT_EQ(Sent(buf, 10), (Bytes{0xF0, 0x00, 0x2F, 0x61, 0x9A, 0x00, 0x80, 0x01, 0x00, 0x4C}));
  const PackedChallenge packed = PackSevenBit(challenge);
  EXPECT_TRUE(std::equal(packed.begin(), packed.end(), buf.begin() + 10));
  EXPECT_EQ(buf[29], SevenBitSum(std::span<const std::uint8_t>(buf.data(), 29)));
}

TEST(ReplyChecks, JudgeLengthSumAndSignature) {
  Bytes device = Sealed(15);
  device[8] = 0x56;
  device[9] = 0x51;
  device.back() = SevenBitSum(std::span<const std::uint8_t>(device).first(14));
  Bytes foreign = device;
  foreign[9] = 0x52;
  foreign.back() = SevenBitSum(std::span<const std::uint8_t>(foreign).first(14));
  Bytes badSum = Sealed(24);
  badSum.back() ^= 0x01;
  Bytes foreignBadSum = foreign;
  foreignBadSum.back() ^= 0x01;

  struct Case {
    const char* name;
    ReplyCheck (*check)(std::span<const std::uint8_t>);
    Bytes rx;
    ReplyCheck want;
  } cases[] = {
      {"identify 24", CheckIdentifyReply, Sealed(24), ReplyCheck::Ok},
      {"identify 23", CheckIdentifyReply, Sealed(23), ReplyCheck::Short},
      {"identify none", CheckIdentifyReply, {}, ReplyCheck::Short},
      {"identify sum", CheckIdentifyReply, badSum, ReplyCheck::BadChecksum},
      {"device 15", CheckDeviceReply, device, ReplyCheck::Ok},
      {"device 14", CheckDeviceReply, Bytes(device.begin(), device.end() - 1), ReplyCheck::Short},
      {"device signature", CheckDeviceReply, foreign, ReplyCheck::BadSignature},
      {"device sum first", CheckDeviceReply, foreignBadSum, ReplyCheck::BadChecksum},
      {"auth 30", CheckAuthReply, Sealed(30, 0xEE), ReplyCheck::Ok},
      {"auth 29", CheckAuthReply, Sealed(29), ReplyCheck::Short},
      {"erase 16", CheckEraseReply, Bytes(16, 0), ReplyCheck::Ok},
      {"erase 15", CheckEraseReply, Bytes(15, 0), ReplyCheck::Short},
  };
  for (const Case& c : cases) EXPECT_EQ(c.check(c.rx), c.want) << c.name;
}

TEST(ReplyChecks, BootBannerNeedsItsMinimumAndHead) {
  auto banner = [](std::size_t len, std::uint8_t third = 0x00) {
    Bytes b(len, 0x20);
    b[0] = 0x56;
    b[1] = 0x51;
    b[2] = third;
    b[3] = 0x00;
    return b;
  };
  EXPECT_EQ(CheckBootBanner(banner(75), 60), ReplyCheck::Ok);
  EXPECT_EQ(CheckBootBanner(banner(60), 60), ReplyCheck::Ok);
  EXPECT_EQ(CheckBootBanner(banner(59), 60), ReplyCheck::Short);
  EXPECT_EQ(CheckBootBanner(banner(11), 11), ReplyCheck::Ok);
  EXPECT_EQ(CheckBootBanner(banner(10), 11), ReplyCheck::Short);
  EXPECT_EQ(CheckBootBanner(banner(75, 0x01), 60), ReplyCheck::BadSignature);
  EXPECT_EQ(CheckBootBanner(Bytes{0x56, 0x51, 0x00, 0x00}, 0), ReplyCheck::Short);  // no room for the code
}

TEST(DeviceLabel, SplitsAtTheLastV) {
  struct Case {
    std::string bytes;  // up to 16, zero-padded
    std::string name;
    std::string version;
  } cases[] = {
      {"ABC V1.20", "ABC ", "1.20"},
      {"Servo V3.1", "Servo ", "3.1"},  // the earlier lower-case v does not count
      {"amp v2.5", "amp ", "2.5"},
      {"Amp 1.0", "", "Amp 1.0"},  // no V in either case
      {"", "", ""},
      {"ABCDEFGHIJKLMNV2", "ABCDEFGHIJKLMN", "2"},  // 16 bytes, no zero
      {std::string("AB V1\0 V9", 9), "AB ", "1"},   // nothing after the first zero counts
      {"V", "", ""},
  };
  for (const Case& c : cases) {
    DeviceLabelBytes raw{};
    std::copy(c.bytes.begin(), c.bytes.end(), raw.begin());
    const DeviceLabel got = DecodeDeviceLabel(raw);
    EXPECT_EQ(got.name, c.name) << c.bytes;
    EXPECT_EQ(got.version, c.version) << c.bytes;
  }
}

TEST(DeviceIdentity, NumbersAndTags) {
  EXPECT_EQ(DeviceIdValue({0x00, 0x00, 0x2C, 0xC0}), 11456u);
  EXPECT_EQ(DeviceIdValue({0xFF, 0xFF, 0xFF, 0xFE}), 4294967294u);
  EXPECT_EQ(DeviceIdValue({0x12, 0x34, 0x56, 0x78}), 0x12345678u);
  EXPECT_EQ(ProductCodeText(0x0A, 0x1B), "0a1b");
  EXPECT_EQ(ProductCodeText(0xFF, 0x00), "ff00");
  EXPECT_EQ(DeviceTag(0x0A, 0x1B), "VOR_T0a1b_V");
}

TEST(ReplyFields, ComeFromTheirOffsets) {
  Bytes identify(24);
  for (std::size_t i = 0; i < identify.size(); ++i) identify[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(IdentifyReplyId(identify), (DeviceIdBytes{3, 4, 5, 6}));
  EXPECT_EQ(IdentifyReplyLabel(identify)[0], 7);
  EXPECT_EQ(IdentifyReplyLabel(identify)[15], 22);
  EXPECT_EQ(DeviceReplyCode(identify), (std::array<std::uint8_t, 6>{8, 9, 10, 11, 12, 13}));
}

}  // namespace
}  // namespace device
