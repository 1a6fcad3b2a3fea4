#include <gtest/gtest.h>

#include "tests/device/step_fixture.h"

namespace device {
namespace {

using BootRequestTest = StepTest;

constexpr const char* kProductCode = "0a1b";

TEST_F(BootRequestTest, MatchingBannerLeavesTheBootloaderWaiting) {
  Identified();
  EXPECT_EQ(RequestBoot(link, id, kProductCode), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.Events("write").back(), "write F0 00 3F 61 00 00 2C C0 00 15 5A 54 34 73");
  EXPECT_EQ(line.Events("timeout").back(), "timeout 1000");
  EXPECT_EQ(line.Events("read").back(), "read 75/75");
  EXPECT_EQ(dev.mode(), testing_support::ScriptedDevice::Mode::Bootloader);
}

TEST_F(BootRequestTest, BannerLengthsAroundTheMinimum) {
  struct Case {
    std::size_t bannerLen;
    LoadResult want;
    bool openAfter;
  } cases[] = {{75, RESULT_OK, true},
               {60, RESULT_OK, true},
               {59, RESULT_BAD_READ, false},
               {0, RESULT_BAD_READ, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bannerLen);
    FreshLine f;
    f.dev.script().bannerLen = c.bannerLen;
    ASSERT_TRUE(f.Open());
    EXPECT_EQ(RequestBoot(f.link, f.id, kProductCode), c.want);
    EXPECT_EQ(f.link.m_bCommOpen(), c.openAfter);
    EXPECT_EQ(f.line.open, c.openAfter);
    EXPECT_TRUE(f.line.Events("write 4E").empty());
  }
}

TEST_F(BootRequestTest, WrongBannerIsDeclinedAndThePortStaysOpen) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 4> head;
    std::array<std::uint8_t, 2> code;
    std::string productCode;
  } cases[] = {
      {"other product", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1c}, "0a1b"},
      {"upper-case catalogue code", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1b}, "0A1B"},
      {"wrong signature", {0x56, 0x50, 0x00, 0x00}, {0x0a, 0x1b}, "0a1b"},
      {"no zero bytes", {0x56, 0x51, 0x00, 0x01}, {0x0a, 0x1b}, "0a1b"},
      {"no product chosen", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1b}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshLine f;
    f.dev.script().bannerHead = c.head;
    f.dev.script().bannerCode = c.code;
    ASSERT_TRUE(f.Open());
    EXPECT_EQ(RequestBoot(f.link, f.id, c.productCode), RESULT_BAD_DEVICE_CODE);
    EXPECT_EQ(f.line.Events("write").back(), "write 4E");
    EXPECT_TRUE(f.link.m_bCommOpen());
    EXPECT_TRUE(f.line.open);
  }
}

TEST_F(BootRequestTest, ShortWriteClosesThePort) {
  OpenAt();
  line.writeResults = {13};
  EXPECT_EQ(RequestBoot(link, id, kProductCode), RESULT_BAD_WRITE);
  ExpectOpen(false);
  EXPECT_TRUE(line.Events("read").empty());
}

TEST_F(BootRequestTest, AStopBeforeTheRequestWritesNothing) {
  Identified();
  std::stop_source stop;
  stop.request_stop();
  link.m_stop = stop.get_token();
  const std::size_t before = WritesSoFar();
  EXPECT_EQ(RequestBoot(link, id, kProductCode), RESULT_STOPPED);
  EXPECT_EQ(WritesSoFar(), before);
  ExpectOpen(true);
}

}  // namespace
}  // namespace device
