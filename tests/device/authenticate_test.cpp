#include "device/authenticate.h"

#include <gtest/gtest.h>

#include "device/frame_codec.h"
#include "tests/device/step_fixture.h"

namespace device {
namespace {

const image::UtcTime kWhen{2014, 3, 3, 5, 14, 7, 9, 250};

using AuthenticateTest = StepTest;

TEST_F(AuthenticateTest, FrameCarriesTheEncryptedChallengePacked) {
  Identified();
  ASSERT_EQ(BuildAuthFrame(link, id, kWhen), 30u);
  const std::vector<std::uint8_t> frame(link.m_txBuf.begin(), link.m_txBuf.begin() + 30);

  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 10),
            (std::vector<std::uint8_t>{0xF0, 0x00, 0x2F, 0x61, 0x00, 0x00, 0x2C, 0xC0, 0x00, 0x4C}));
  const PackedChallenge packed = PackSevenBit(id.m_authBlock);
  EXPECT_TRUE(std::equal(packed.begin(), packed.end(), frame.begin() + 10));
  for (std::size_t i = 10; i < 29; ++i) EXPECT_LT(frame[i], 0x80) << i;
  EXPECT_EQ(frame[29], SevenBitSum(std::span<const std::uint8_t>(frame).first(29)));
  // What travels is the encrypted block, not the plain time stamp.
  const auto challenge = image::MakeAuthChallenge(0, kWhen);
  ASSERT_TRUE(challenge.has_value());
  EXPECT_EQ(id.m_authBlock, challenge->encrypted);
  EXPECT_NE(id.m_authBlock, challenge->plain);

  // The same millisecond gives the same frame; another one a different frame.
  ASSERT_EQ(BuildAuthFrame(link, id, kWhen), 30u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), link.m_txBuf.begin()));
  image::UtcTime later = kWhen;
  later.milliseconds = 251;
  ASSERT_EQ(BuildAuthFrame(link, id, later), 30u);
  EXPECT_FALSE(std::equal(frame.begin(), frame.end(), link.m_txBuf.begin()));
}

TEST_F(AuthenticateTest, WholeReplyWithCorrectSumIsAccepted) {
  Identified();
  EXPECT_EQ(AuthenticateDevice(link, id), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.writes.back().size(), 30u);
  EXPECT_EQ(line.Events("timeout").back(), "timeout 500");
  EXPECT_EQ(line.Events("read").back(), "read 30/30");
}

TEST_F(AuthenticateTest, EveryFailureClosesThePort) {
  struct Case {
    const char* name;
    void (*fault)(testing_support::DeviceScript&, testing_support::ScriptedLine&);
    LoadResult want;
  } cases[] = {
      {"29 bytes", [](auto& s, auto&) { s.authLen = 29; }, RESULT_BAD_READ},
      {"no answer", [](auto& s, auto&) { s.authLen = 0; }, RESULT_BAD_READ},
      {"sum", [](auto& s, auto&) { s.authBadSum = true; }, RESULT_BAD_CHECKSUM},
      {"short write",
       [](auto&, auto& l) {
         l.writeResults = {5, 29};
       },
       RESULT_BAD_WRITE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshLine f;
    c.fault(f.dev.script(), f.line);
    ASSERT_TRUE(f.Open());
    ASSERT_EQ(IdentifyDevice(f.link, f.id, true), RESULT_OK);
    EXPECT_EQ(AuthenticateDevice(f.link, f.id, kWhen), c.want);
    EXPECT_FALSE(f.link.m_bCommOpen());
    EXPECT_FALSE(f.line.open);
  }
}

// A cipher that fails leaves no challenge to send: the step ends with its own failure, says
// why, and the device hears nothing (neither a stale block nor a zeroed one).
TEST_F(AuthenticateTest, AChallengeThatCannotBeMadeIsNeverSent) {
  const image::ChallengeEncrypter failing = [](const std::uint8_t*, std::uint8_t* block) {
    block[0] = 0;
    return false;
  };
  Identified();
  ASSERT_EQ(BuildAuthFrame(link, id, kWhen), 30u);
  const auto sentBlock = id.m_authBlock;
  const std::size_t writesBefore = WritesSoFar();
  const std::size_t eventsBefore = line.events.size();

  EXPECT_EQ(BuildAuthFrame(link, id, kWhen, failing), std::nullopt);
  EXPECT_EQ(id.m_authBlock, sentBlock);

  std::string why;
  EXPECT_EQ(AuthenticateDevice(link, id, kWhen, &why, failing), RESULT_AUTH_FAILED);
  EXPECT_EQ(why, kChallengeFailedDetail);
  EXPECT_NE(why.find("nothing was sent"), std::string::npos) << why;
  EXPECT_EQ(WritesSoFar(), writesBefore);
  // The port saw nothing but its closing: no write, no discard, no read.
  EXPECT_EQ(std::vector<std::string>(line.events.begin() + static_cast<std::ptrdiff_t>(eventsBefore),
                                     line.events.end()),
            std::vector<std::string>{"close"});
  ExpectOpen(false);

  // Without a place for the cause the result is the same.
  FreshLine f;
  ASSERT_TRUE(f.Open());
  ASSERT_EQ(IdentifyDevice(f.link, f.id, true), RESULT_OK);
  const std::size_t freshWrites = f.line.writes.size();
  EXPECT_EQ(AuthenticateDevice(f.link, f.id, kWhen, nullptr, failing), RESULT_AUTH_FAILED);
  EXPECT_EQ(f.line.writes.size(), freshWrites);
  EXPECT_FALSE(f.line.open);
}

TEST_F(AuthenticateTest, WithoutAPortItIsABadWrite) {
  EXPECT_EQ(AuthenticateDevice(link, id, kWhen), RESULT_BAD_WRITE);
  EXPECT_TRUE(line.writes.empty());
}

}  // namespace
}  // namespace device
