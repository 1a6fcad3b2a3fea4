// What each Ctrl-C means: outside a transfer the first stops; during erase or stream the first
// only warns; a press after a stop request quits at once.

#include "cli/interrupt.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace cli
