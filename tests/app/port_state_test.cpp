// The station's per-port state machine, walked whole: every transition the table allows is
// taken, every other event is refused, and the rules the station depends on hold.

#include "app/port_state.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using app::PortEvent;
using app::PortState;

const std::vector<PortState> kStates{PortState::Ready,    PortState::Waiting,     PortState::PortGone,
                                     PortState::Checking, PortState::Programming, PortState::Programmed,
                                     PortState::Failed,   PortState::UpToDate,    PortState::NotApproved,
                                     PortState::Ended};
const std::vector<PortEvent> kEvents{
    PortEvent::Silent, PortEvent::PortMissing, PortEvent::DeviceFound, PortEvent::ProgrammingBegan,
    PortEvent::Missed, PortEvent::Programmed,  PortEvent::Refused,     PortEvent::NotApproved,
    PortEvent::Failed, PortEvent::Stop};

std::string Name(PortState from, PortEvent event) {
  return std::string(app::PortStateName(from)) + " x " + std::string(app::PortEventName(event));
}

TEST(StationPortMachine, EveryStateAndEventIsTakenAsTheTableSays) {
  std::set<std::pair<PortState, PortEvent>> allowed;
  for (const app::PortTransition& t : app::StationTransitions()) {
    EXPECT_TRUE(allowed.insert({t.from, t.event}).second) << "twice: " << Name(t.from, t.event);
    EXPECT_EQ(app::NextStationState(t.from, t.event), t.to) << Name(t.from, t.event);
  }
  for (PortState from : kStates) {
    for (PortEvent event : kEvents) {
      if (!allowed.contains({from, event})) {
        EXPECT_EQ(app::NextStationState(from, event), std::nullopt) << "refused: " << Name(from, event);
      }
    }
  }
}

// The rules the station's loop depends on, each a row of the table or its absence.
TEST(StationPortMachine, TheRulesThePortsLiveBy) {
  // A stop ends a port wherever it stands, and nothing moves it again.
  for (PortState from : kStates) {
    if (from == PortState::Ended) continue;
    EXPECT_EQ(app::NextStationState(from, PortEvent::Stop), PortState::Ended) << app::PortStateName(from);
  }
  for (PortEvent event : kEvents)
    EXPECT_EQ(app::NextStationState(PortState::Ended, event), std::nullopt) << app::PortEventName(event);
  // Programming is only reached from a device run, and ends only as the run ends.
  for (PortState from : kStates) {
    if (from != PortState::Checking) {
      EXPECT_EQ(app::NextStationState(from, PortEvent::ProgrammingBegan), std::nullopt)
          << app::PortStateName(from);
    }
  }
  for (PortEvent event : {PortEvent::Silent, PortEvent::PortMissing, PortEvent::DeviceFound,
                          PortEvent::Missed, PortEvent::Refused, PortEvent::NotApproved})
    EXPECT_EQ(app::NextStationState(PortState::Programming, event), std::nullopt)
        << app::PortEventName(event);
  // A port with a result keeps it until its device leaves or another answers in its place.
  for (PortState result :
       {PortState::Programmed, PortState::Failed, PortState::UpToDate, PortState::NotApproved}) {
    EXPECT_TRUE(app::HoldsAResult(result));
    EXPECT_EQ(app::NextStationState(result, PortEvent::Silent), PortState::Waiting);
    EXPECT_EQ(app::NextStationState(result, PortEvent::PortMissing), PortState::PortGone);
    EXPECT_EQ(app::NextStationState(result, PortEvent::DeviceFound), PortState::Checking);
    EXPECT_EQ(app::NextStationState(result, PortEvent::Programmed), std::nullopt);
  }
  // The device that fell silent answers again: back to its result, without a run.
  EXPECT_EQ(app::NextStationState(PortState::Waiting, PortEvent::Refused), PortState::UpToDate);
  EXPECT_EQ(app::NextStationState(PortState::Checking, PortEvent::Missed), PortState::Waiting);
}

}  // namespace
