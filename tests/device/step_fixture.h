#pragma once
// A link on scripted port 3 with a scripted device on it, and a recording view.

#include <gtest/gtest.h>

#include "device/link.h"
#include "device/steps.h"
#include "tests/support/recording_view.h"
#include "tests/support/scripted/scripted_device.h"
#include "tests/support/scripted/scripted_port.h"

namespace device {

class StepTest : public ::testing::Test {
 protected:
  static constexpr int kPort = 3;

  testing_support::ScriptedOpener opener;
  testing_support::ScriptedLine& line = opener.Line(kPort);
  testing_support::ScriptedDevice dev;
  Link link{opener};
  Identity id;
  testing_support::RecordingView view;

  void SetUp() override { dev.Attach(line); }

  void OpenAt(int rate = 57600) { ASSERT_EQ(OpenComPort(link, kPort, rate), RESULT_OK); }

  // Port open at 57600 and the device identified, as after a successful rate search.
  void Identified() {
    OpenAt();
    ASSERT_EQ(IdentifyDevice(link, id, true), RESULT_OK);
  }

  // The port is open on both sides, or closed on both.
  void ExpectOpen(bool open) {
    EXPECT_EQ(link.m_bCommOpen(), open);
    EXPECT_EQ(line.open, open);
    EXPECT_EQ(link.m_hComm != nullptr, open);
  }

  std::size_t WritesSoFar() const { return line.writes.size(); }
};

// A port of its own with a scripted device on it, for table cases that each need a fresh line.
struct FreshLine {
  testing_support::ScriptedOpener opener;
  testing_support::ScriptedLine& line = opener.Line(1);
  testing_support::ScriptedDevice dev;
  Link link{opener};
  Identity id;

  // Puts the device on the line (its script as the case left it) and opens the port at 57600.
  bool Open() {
    dev.Attach(line);
    return OpenComPort(link, 1, 57600) == RESULT_OK;
  }
};

}  // namespace device
