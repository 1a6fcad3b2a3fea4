#include <gtest/gtest.h>

#include "device/frame_codec.h"
#include "tests/device/step_fixture.h"

namespace device {
namespace {

using IdentifyTest = StepTest;

TEST_F(IdentifyTest, MainPathFillsTheIdentity) {
  dev.script().label = "Servo V3.1";
  dev.script().idBytes = {0x80, 0x00, 0x2C, 0xC0};
  OpenAt();
  EXPECT_EQ(IdentifyDevice(link, id, true), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.Events("timeout"), (std::vector<std::string>{"timeout 50"}));
  EXPECT_EQ(line.Events("write"), (std::vector<std::string>{"write BF 00 00 00 00"}));
  EXPECT_EQ(line.Events("read"), (std::vector<std::string>{"read 24/24"}));
  EXPECT_EQ(id.m_devIdBytes, (DeviceIdBytes{0x80, 0x00, 0x2C, 0xC0}));
  EXPECT_EQ(id.m_nDevId, 0x80002CC0u);
  EXPECT_EQ(id.m_devText[0], 'S');
  EXPECT_EQ(id.m_strDevName, "Servo ");
  EXPECT_EQ(id.m_strDevVersion, "3.1");
  EXPECT_EQ(DeviceLine(id), "Device: Servo     ID: 2147495104    Version: V3.1");
}

TEST_F(IdentifyTest, FailuresCloseThePortOnlyWhenAsked) {
  struct Case {
    const char* name;
    void (*fault)(testing_support::DeviceScript&, testing_support::ScriptedLine&);
    bool closeOnFailure;
    LoadResult want;
    bool openAfter;
  } cases[] = {
      {"short, close", [](auto& s, auto&) { s.identifyLen = 23; }, true, RESULT_BAD_READ, false},
      {"short, keep", [](auto& s, auto&) { s.identifyLen = 23; }, false, RESULT_BAD_READ, true},
      {"silent, keep", [](auto& s, auto&) { s.rates = {}; }, false, RESULT_BAD_READ, true},
      {"sum, close", [](auto& s, auto&) { s.identifyBadSum = true; }, true, RESULT_BAD_CHECKSUM, false},
      {"sum, keep", [](auto& s, auto&) { s.identifyBadSum = true; }, false, RESULT_BAD_CHECKSUM, true},
      {"short write, keep", [](auto&, auto& l) { l.writeResults = {4}; }, false, RESULT_BAD_WRITE, false},
      {"write error, close", [](auto&, auto& l) { l.writeResults = {-1}; }, true, RESULT_BAD_WRITE, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshLine f;
    c.fault(f.dev.script(), f.line);
    f.id.m_strDevName = "old";
    ASSERT_TRUE(f.Open());
    EXPECT_EQ(IdentifyDevice(f.link, f.id, c.closeOnFailure), c.want);
    EXPECT_EQ(f.link.m_bCommOpen(), c.openAfter);
    EXPECT_EQ(f.line.open, c.openAfter);
    EXPECT_EQ(f.id.m_strDevName, "old");
  }
}

TEST_F(IdentifyTest, ClosedPortSendsNothing) {
  EXPECT_EQ(IdentifyDevice(link, id, true), RESULT_BAD_WRITE);
  EXPECT_EQ(QueryDevice(link, id), RESULT_BAD_WRITE);
  EXPECT_TRUE(line.writes.empty());
}

using QueryTest = StepTest;

TEST_F(QueryTest, MainPathReadsTheProductCode) {
  dev.script().productCode = {0x0A, 0x1B};
  Identified();
  EXPECT_EQ(QueryDevice(link, id), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.Events("write").back(), "write E0 00 00 2C C0");
  EXPECT_EQ(line.Events("read").back(), "read 15/15");
  EXPECT_EQ(line.Events("timeout").back(), "timeout 50");
  EXPECT_EQ(id.m_devCode, (std::array<std::uint8_t, 6>{0x56, 0x51, 0x12, 0x34, 0x0A, 0x1B}));
}

TEST_F(QueryTest, EveryFailureClosesThePort) {
  struct Case {
    const char* name;
    void (*fault)(testing_support::DeviceScript&, testing_support::ScriptedLine&);
    LoadResult want;
  } cases[] = {
      {"short", [](auto& s, auto&) { s.deviceLen = 14; }, RESULT_BAD_READ},
      {"sum", [](auto& s, auto&) { s.deviceBadSum = true; }, RESULT_BAD_CHECKSUM},
      {"signature",
       [](auto& s, auto&) {
         s.signature = {0x56, 0x52};
       },
       RESULT_FOREIGN_DEVICE},
      {"short write",
       [](auto&, auto& l) {
         l.writeResults = {5, 2};
       },
       RESULT_BAD_WRITE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshLine f;
    c.fault(f.dev.script(), f.line);
    ASSERT_TRUE(f.Open());
    ASSERT_EQ(IdentifyDevice(f.link, f.id, true), RESULT_OK);
    EXPECT_EQ(QueryDevice(f.link, f.id), c.want);
    EXPECT_FALSE(f.link.m_bCommOpen());
    EXPECT_FALSE(f.line.open);
  }
}

TEST_F(QueryTest, ForeignDeviceStillLeavesItsCode) {
  dev.script().signature = {0x12, 0x34};
  Identified();
  EXPECT_EQ(QueryDevice(link, id), RESULT_FOREIGN_DEVICE);
  EXPECT_EQ(id.m_devCode, (std::array<std::uint8_t, 6>{0x12, 0x34, 0x12, 0x34, 0x0A, 0x1B}));
}

}  // namespace
}  // namespace device
