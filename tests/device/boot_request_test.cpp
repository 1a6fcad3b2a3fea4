#include <gtest/gtest.h>

#include "tests/device/step_fixture.h"

namespace device {
namespace {

class BootRequestTest : public StepTest {
 protected:
  catalogue::ProductTable table;
  void SetUp() override {
    StepTest::SetUp();
    table.m_prodCode[1] = "0a1b";
    table.m_nProducts = 2;
  }
};

TEST_F(BootRequestTest, MatchingBannerLeavesTheBootloaderWaiting) {
  Identified();
  EXPECT_EQ(RequestBoot(link, id, table, 1), RESULT_OK);
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
    testing_support::ScriptedOpener op;
    testing_support::ScriptedLine& l = op.Line(1);
    testing_support::ScriptedDevice d;
    d.script().bannerLen = c.bannerLen;
    d.Attach(l);
    Link lk{op};
    Identity ident;
    ASSERT_EQ(OpenComPort(lk, 1, 57600), 0);
    EXPECT_EQ(RequestBoot(lk, ident, table, 1), c.want);
    EXPECT_EQ(lk.m_bCommOpen, c.openAfter);
    EXPECT_EQ(l.open, c.openAfter);
    EXPECT_TRUE(l.Events("write 4E").empty());
  }
}

TEST_F(BootRequestTest, WrongBannerIsDeclinedAndThePortStaysOpen) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, 4> head;
    std::array<std::uint8_t, 2> code;
    std::string tableCode;
    int product;
  } cases[] = {
      {"other product", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1c}, "0a1b", 1},
      {"upper-case catalogue code", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1b}, "0A1B", 1},
      {"wrong signature", {0x56, 0x50, 0x00, 0x00}, {0x0a, 0x1b}, "0a1b", 1},
      {"no zero bytes", {0x56, 0x51, 0x00, 0x01}, {0x0a, 0x1b}, "0a1b", 1},
      {"no row chosen", {0x56, 0x51, 0x00, 0x00}, {0x0a, 0x1b}, "0a1b", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::ScriptedOpener op;
    testing_support::ScriptedLine& l = op.Line(1);
    testing_support::ScriptedDevice d;
    d.script().bannerHead = c.head;
    d.script().bannerCode = c.code;
    d.Attach(l);
    table.m_prodCode[1] = c.tableCode;
    Link lk{op};
    Identity ident;
    ASSERT_EQ(OpenComPort(lk, 1, 57600), 0);
    EXPECT_EQ(RequestBoot(lk, ident, table, c.product), RESULT_BAD_DEVICE_CODE);
    EXPECT_EQ(l.Events("write").back(), "write 4E");
    EXPECT_TRUE(lk.m_bCommOpen);
    EXPECT_TRUE(l.open);
  }
}

TEST_F(BootRequestTest, ShortWriteClosesThePort) {
  OpenAt();
  line.writeResults = {13};
  EXPECT_EQ(RequestBoot(link, id, table, 1), RESULT_BAD_WRITE);
  ExpectOpen(false);
  EXPECT_TRUE(line.Events("read").empty());
}

}  // namespace
}  // namespace device
