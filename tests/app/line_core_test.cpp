// The core a production line and a station share: the stop levels of a front end's presses,
// how far each level reaches, the programming hook, the order of the outcomes and the two exit
// rules.

#include "app/line_core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using app::LineCore;
using app::StopLevel;

PortEntry Port(int n) {
  return PortEntry(n, "/dev/x" + std::to_string(n));
}

app::LineOutcome Outcome(int port, int code, bool stopped = false, bool cut = false) {
  return app::LineOutcome{Port(port), stopped, code, cut};
}

TEST(StopLevelFor, TheFirstPressStopsWhatIsIdleAndTheSecondEverything) {
  EXPECT_EQ(app::StopLevelFor(0), StopLevel::None);
  EXPECT_EQ(app::StopLevelFor(1), StopLevel::Idle);
  EXPECT_EQ(app::StopLevelFor(2), StopLevel::All);
  EXPECT_EQ(app::StopLevelFor(5), StopLevel::All);
}

TEST(StopReaches, OnlyAStopOfEverythingReachesASessionBeingProgrammed) {
  struct Case {
    StopLevel level;
    bool idle;
    bool programming;
  } cases[] = {
      {StopLevel::None, false, false},
      {StopLevel::Idle, true, false},
      {StopLevel::All, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::StopReaches(c.level, false), c.idle) << static_cast<int>(c.level);
    EXPECT_EQ(app::StopReaches(c.level, true), c.programming) << static_cast<int>(c.level);
  }
}

TEST(LineCore, AStopLevelNeverDrops) {
  LineCore core(LineCore::Kind::Line);
  EXPECT_EQ(core.RaiseStop(StopLevel::All), StopLevel::All);
  EXPECT_EQ(core.RaiseStop(StopLevel::Idle), StopLevel::All);
  EXPECT_EQ(core.stopLevel(), StopLevel::All);
}

TEST(LineCore, TheProgrammingHookHearsWhenTheFirstBeginsAndTheLastEnds) {
  LineCore core(LineCore::Kind::Station);
  std::vector<bool> heard;
  core.SetOnProgramming([&heard](bool any) { heard.push_back(any); });
  core.ProgrammingChanged(true);
  core.ProgrammingChanged(true);
  EXPECT_TRUE(core.anyProgramming());
  core.ProgrammingChanged(false);
  EXPECT_TRUE(core.anyProgramming());
  core.ProgrammingChanged(false);
  EXPECT_FALSE(core.anyProgramming());
  EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

// A line tells its ports in the order they were added, whatever order they ended in; a station
// tells its runs as they ended. The cut list and its note follow the same order.
TEST(LineCore, ALineTellsItsPortsInOrderAndAStationItsRunsAsTheyEnded) {
  LineCore line(LineCore::Kind::Line);
  LineCore station(LineCore::Kind::Station);
  for (LineCore* core : {&line, &station}) {
    core->Finished(Outcome(3, 0, true, true), 2);
    core->Finished(Outcome(1, 13), 0);
    core->Finished(Outcome(2, 0, true, true), 1);
  }
  EXPECT_EQ(line.Summary(),
            "summary: 3 devices: 0 programmed, 3 failed, 0 refused; not programmed: COM1 13, COM2 stopped, "
            "COM3 stopped");
  EXPECT_EQ(station.Summary(),
            "summary: 3 devices: 0 programmed, 3 failed, 0 refused; not programmed: COM3 stopped, COM1 13, "
            "COM2 stopped");
  const app::LineFinish lineEnd = line.Finish(130);
  EXPECT_EQ(lineEnd.cutNote, "stopped while COM2, COM3 were being programmed; a raw boot may be needed");
  EXPECT_EQ(lineEnd.exitStatus, 13);
  EXPECT_EQ(station.Finish(130).cutNote,
            "stopped while COM3, COM2 were being programmed; a raw boot may be needed");
  EXPECT_EQ(line.counts().failed, 3);
}

// A station runs until it is stopped: only a stop of everything, or a device cut short, is no
// clean end.
TEST(StationExitStatus, AStopThatLetEveryDeviceFinishIsACleanEnd) {
  struct Case {
    StopLevel reached;
    bool cut;
    int status;
  } cases[] = {
      {StopLevel::Idle, false, 0},
      {StopLevel::Idle, true, 130},
      {StopLevel::All, false, 130},
      {StopLevel::All, true, 130},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::StationExitStatus(c.reached, c.cut, 130), c.status);
    LineCore core(LineCore::Kind::Station);
    core.RaiseStop(c.reached);
    core.Finished(Outcome(1, 0, true, c.cut));
    EXPECT_EQ(core.ExitStatus(130), c.status) << static_cast<int>(c.reached) << " " << c.cut;
  }
}

TEST(CutSentence, TheCutNoteAsASentenceOfItsOwn) {
  EXPECT_EQ(app::CutSentence({}), "");
  EXPECT_EQ(app::CutSentence({Port(2)}),
            "Stopped while COM2 was being programmed; a raw boot may be needed.");
}

}  // namespace
