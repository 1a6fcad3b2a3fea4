// The station's quiet poll: a port's next search begins at the rate a device last answered at
// there, and the port it found a device on is handed over open at that rate.

#include "app/station/device_poll.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scripted/scripted_device.h"
#include "tests/support/scripted/scripted_port.h"

namespace {

using Strings = std::vector<std::string>;

TEST(DevicePoll, TheNextSearchBeginsAtTheRateADeviceLastAnsweredAt) {
  testing_support::ScriptedOpener opener;
  testing_support::ScriptedDevice device;
  device.script().rates = {115200};
  testing_support::ScriptedLine& line = opener.Line(1);
  device.Attach(line);
  app::DevicePoll poll(opener, 1, {});

  // The first search goes in the rate search's order.
  const app::PollAnswer first = poll.Search();
  ASSERT_EQ(first.kind, app::PollAnswer::Kind::Answered);
  EXPECT_EQ(first.rate, 115200);
  EXPECT_EQ(line.Events("configure"), (Strings{"configure 57600", "configure 115200"}));

  // The port is handed over as it stands: open, at the rate the device answered at.
  std::unique_ptr<platform::SerialPort> port = poll.TakePort();
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(line.open);
  EXPECT_EQ(line.rate, 115200);
  port.reset();

  // The next device on the port is looked for at that rate first.
  line.events.clear();
  const app::PollAnswer next = poll.Search();
  ASSERT_EQ(next.kind, app::PollAnswer::Kind::Answered);
  EXPECT_EQ(line.Events("configure"), (Strings{"configure 115200"}));
  EXPECT_EQ(line.Events("open").size(), 1u) << "the port it gave away is opened afresh";
}

}  // namespace
