#include <gtest/gtest.h>

#include "tests/device/step_fixture.h"

namespace device {
namespace {

using testing_support::RecordingView;
using testing_support::ScriptedOpener;

TEST(EnumerateComPorts, ListsThePortsThatOpenInOrderAndClosesThem) {
  ScriptedOpener opener;
  opener.Line(12);
  opener.Line(3);
  opener.Line(5);
  opener.Refuse(5, OpenError::Busy);
  opener.Line(33);  // beyond the numbered range: never tried
  RecordingView view;
  PortList list;
  list.entries.push_back({9, "stale"});

  EXPECT_TRUE(EnumerateComPorts(opener, list, view));

  ASSERT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(list.entries[0].number, 3);
  EXPECT_EQ(list.entries[0].path, "scripted/COM3");
  EXPECT_EQ(list.entries[1].number, 12);
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(opener.attempts.size(), 32u);
  EXPECT_EQ(opener.attempts.back(), 32);
  EXPECT_FALSE(opener.Line(3).open);
  EXPECT_FALSE(opener.Line(12).open);
  EXPECT_EQ(opener.Line(33).OpenCount(), 0);
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"main: Searching Valid Com Ports.", "ports: COM3,COM12 [0]"}));
}

TEST(EnumerateComPorts, NoPortLeavesAnEmptyUnselectedList) {
  ScriptedOpener opener;
  RecordingView view;
  PortList list;
  EXPECT_FALSE(EnumerateComPorts(opener, list, view));
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.selected, -1);
}

using OpenComPortTest = StepTest;

TEST_F(OpenComPortTest, OpensAtTheRateOrReportsWhy) {
  EXPECT_EQ(OpenComPort(link, kPort, 115200), RESULT_OK);
  ExpectOpen(true);
  EXPECT_EQ(line.rate, 115200);

  // Opening again lets go of the handle it holds first, so the port is not busy against itself.
  EXPECT_EQ(OpenComPort(link, kPort, 38400), RESULT_OK);
  EXPECT_EQ(line.Events("close").size(), 1u);
  EXPECT_EQ(line.rate, 38400);

  line.configureFails = true;
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  ExpectOpen(false);

  opener.Refuse(kPort, OpenError::PermissionDenied);
  EXPECT_EQ(OpenComPort(link, kPort, 57600), RESULT_PORT_OPEN_FAILED);
  ExpectOpen(false);
}

TEST_F(OpenComPortTest, PortNumbersOutsideOneToThirtyTwoNeverReachTheOpener) {
  for (int port : {0, -1, 33}) {
    EXPECT_EQ(OpenComPort(link, port, 57600), RESULT_PORT_OPEN_FAILED);
  }
  EXPECT_TRUE(opener.attempts.empty());
}

using FindDeviceBaudTest = StepTest;

TEST_F(FindDeviceBaudTest, PassesThroughTheRatesUntilTheDeviceAnswers) {
  dev.script().rates = {38400};
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_OK);
  EXPECT_EQ(view.Calls("port: "), (std::vector<std::string>{"port: Connected Com 3 at Baud 57600",
                                                            "port: Connected Com 3 at Baud 115200",
                                                            "port: Connected Com 3 at Baud 38400"}));
  ExpectOpen(true);
  EXPECT_EQ(line.rate, 38400);
  EXPECT_EQ(line.OpenCount(), 3);
  EXPECT_EQ(id.m_nDevId, 11456u);
}

TEST_F(FindDeviceBaudTest, AnswerAtTheFirstRateTriesNoOther) {
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_OK);
  EXPECT_EQ(view.Calls("port: ").size(), 1u);
  EXPECT_EQ(line.OpenCount(), 1);
  ExpectOpen(true);
}

TEST_F(FindDeviceBaudTest, PortThatCannotOpenReturnsCodeOneWithoutOtherRates) {
  opener.Remove(kPort);
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_PORT_OPEN_FAILED);
  EXPECT_EQ(opener.attempts, (std::vector<int>{kPort}));
  EXPECT_EQ(view.portStatus, "Connected Com 3 at Baud 57600");
  ExpectOpen(false);
}

TEST_F(FindDeviceBaudTest, BadChecksumAtEveryRateReturnsCodeTwoWithThePortClosed) {
  dev.script().rates = {57600, 115200, 38400};
  dev.script().identifyBadSum = true;
  EXPECT_EQ(FindDeviceBaud(link, id, kPort, view), RESULT_NO_SINGLE_DEVICE);
  EXPECT_EQ(line.OpenCount(), 3);
  EXPECT_EQ(view.portStatus, "Connected Com 3 at Baud 38400");
  ExpectOpen(false);
}

}  // namespace
}  // namespace device
