// What each Ctrl-C means: outside a transfer the first stops; during erase or stream the first
// only warns; a press after a stop request ends the program, once, within a bounded time.

#include "cli/signals/interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <utility>
#include <vector>

namespace cli {
namespace {

using Press = InterruptState::Press;

TEST(Interrupt, OutsideATransferTheFirstPressStops) {
  InterruptState s;
  EXPECT_FALSE(s.stopRequested());
  EXPECT_EQ(s.OnPress(), Press::Stop);
  EXPECT_TRUE(s.stopRequested());
  EXPECT_FALSE(s.stoppedInTransfer());
  EXPECT_EQ(s.OnPress(), Press::Quit);
}

TEST(Interrupt, DuringATransferTheFirstPressOnlyWarns) {
  InterruptState s;
  s.setTransferActive(true);
  EXPECT_EQ(s.OnPress(), Press::Warn);
  EXPECT_FALSE(s.stopRequested());
  EXPECT_EQ(s.OnPress(), Press::Stop);
  EXPECT_TRUE(s.stopRequested());
  EXPECT_TRUE(s.stoppedInTransfer());
  EXPECT_EQ(s.OnPress(), Press::Quit);
}

TEST(Interrupt, TheWarningIsGivenOncePerRun) {
  InterruptState s;
  s.setTransferActive(true);
  EXPECT_EQ(s.OnPress(), Press::Warn);
  s.setTransferActive(false);
  s.setTransferActive(true);  // the stream after the erase
  EXPECT_EQ(s.OnPress(), Press::Stop);
  EXPECT_TRUE(s.stoppedInTransfer());
}

// SIGTERM and SIGHUP mean what Ctrl-C means; the exit status names the signal that stopped.
TEST(Interrupt, TheStoppingSignalGivesTheExitStatus) {
  InterruptState plain;
  EXPECT_EQ(plain.exitStatus(), 130);
  for (const auto& [signal, status] :
       std::vector<std::pair<int, int>>{{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
    InterruptState s;
    EXPECT_EQ(s.OnPress(signal), Press::Stop);
    EXPECT_EQ(s.exitStatus(), status) << signal;
    EXPECT_EQ(s.OnPress(SIGINT), Press::Quit);
    EXPECT_EQ(s.exitStatus(), status) << "a later signal does not change what stopped";
  }
  // A warning is no stop: the signal that stops after it counts.
  InterruptState s;
  s.setTransferActive(true);
  EXPECT_EQ(s.OnPress(SIGTERM), Press::Warn);
  EXPECT_EQ(s.OnPress(SIGHUP), Press::Stop);
  EXPECT_EQ(s.exitStatus(), 129);
}

// The press that ends the program is told once: later presses neither end it sooner (which
// would cost the records of the runs being stopped) nor change its exit status.
TEST(Interrupt, PressesAfterTheQuitChangeNothing) {
  InterruptState one;
  EXPECT_EQ(one.OnPress(SIGTERM), Press::Stop);
  EXPECT_EQ(one.OnPress(SIGINT), Press::Quit);
  for (int signal : {SIGINT, SIGHUP, SIGINT}) EXPECT_EQ(one.OnPress(signal), Press::Quitting);
  EXPECT_EQ(one.exitStatus(), 143);

  InterruptState several;
  several.setSeveral(true);
  several.setTransferActive(true);
  EXPECT_EQ(several.OnPress(SIGINT), Press::Warn);
  EXPECT_EQ(several.OnPress(SIGINT), Press::Stop);
  EXPECT_EQ(several.OnPress(SIGTERM), Press::Quit);
  EXPECT_EQ(several.OnPress(SIGINT), Press::Quitting);
  EXPECT_EQ(several.presses(), 3);
  EXPECT_EQ(several.exitStatus(), 130);
}

}  // namespace
}  // namespace cli
