#include "app/port_state.h"

#include <array>

namespace app {

namespace {

using S = PortState;
using E = PortEvent;

constexpr auto kTransitions = std::to_array<PortTransition>({
    // Before the first poll.
    {S::Ready, E::Silent, S::Waiting},
    {S::Ready, E::PortMissing, S::PortGone},
    {S::Ready, E::DeviceFound, S::Checking},
    {S::Ready, E::Stop, S::Ended},
    // Waiting for a device, or for its port to appear (or to be let go by another program).
    {S::Waiting, E::Silent, S::Waiting},
    {S::Waiting, E::PortMissing, S::PortGone},
    {S::Waiting, E::DeviceFound, S::Checking},
    {S::Waiting, E::Stop, S::Ended},
    {S::PortGone, E::Silent, S::Waiting},
    {S::PortGone, E::PortMissing, S::PortGone},
    {S::PortGone, E::DeviceFound, S::Checking},
    {S::PortGone, E::Stop, S::Ended},
    // The device run last, after it fell silent with its port's node unchanged (a slow
    // restart), answers again: the port goes straight back to its result, no second run.
    {S::Waiting, E::Programmed, S::Programmed},
    {S::Waiting, E::Refused, S::UpToDate},
    {S::Waiting, E::NotApproved, S::NotApproved},
    {S::Waiting, E::Failed, S::Failed},
    {S::PortGone, E::Programmed, S::Programmed},
    {S::PortGone, E::Refused, S::UpToDate},
    {S::PortGone, E::NotApproved, S::NotApproved},
    {S::PortGone, E::Failed, S::Failed},
    // A device run: it programs, ends without programming, or never reached the device.
    {S::Checking, E::ProgrammingBegan, S::Programming},
    {S::Checking, E::Missed, S::Waiting},
    {S::Checking, E::Programmed, S::Programmed},
    {S::Checking, E::Refused, S::UpToDate},
    {S::Checking, E::NotApproved, S::NotApproved},
    {S::Checking, E::Failed, S::Failed},
    {S::Checking, E::Stop, S::Ended},
    // Once the erase began the run ends programmed, or failed (a stop ends it failed too).
    {S::Programming, E::Programmed, S::Programmed},
    {S::Programming, E::Failed, S::Failed},
    {S::Programming, E::Stop, S::Ended},
    // After a run, waiting for its device to leave: it leaves (silent, or its port goes), or
    // another device answers in its place.
    {S::Programmed, E::Silent, S::Waiting},
    {S::Programmed, E::PortMissing, S::PortGone},
    {S::Programmed, E::DeviceFound, S::Checking},
    {S::Programmed, E::Stop, S::Ended},
    {S::Failed, E::Silent, S::Waiting},
    {S::Failed, E::PortMissing, S::PortGone},
    {S::Failed, E::DeviceFound, S::Checking},
    {S::Failed, E::Stop, S::Ended},
    {S::UpToDate, E::Silent, S::Waiting},
    {S::UpToDate, E::PortMissing, S::PortGone},
    {S::UpToDate, E::DeviceFound, S::Checking},
    {S::UpToDate, E::Stop, S::Ended},
    {S::NotApproved, E::Silent, S::Waiting},
    {S::NotApproved, E::PortMissing, S::PortGone},
    {S::NotApproved, E::DeviceFound, S::Checking},
    {S::NotApproved, E::Stop, S::Ended},
    // Nothing moves an Ended port.
});

}  // namespace

std::string_view PortStateName(PortState state) {
  switch (state) {
    case S::Ready:
      return "Ready";
    case S::Waiting:
      return "Waiting";
    case S::PortGone:
      return "PortGone";
    case S::Checking:
      return "Checking";
    case S::Programming:
      return "Programming";
    case S::Programmed:
      return "Programmed";
    case S::Failed:
      return "Failed";
    case S::UpToDate:
      return "UpToDate";
    case S::NotApproved:
      return "NotApproved";
    case S::Ended:
      return "Ended";
  }
  return "?";
}

std::string_view PortEventName(PortEvent event) {
  switch (event) {
    case E::Silent:
      return "Silent";
    case E::PortMissing:
      return "PortMissing";
    case E::DeviceFound:
      return "DeviceFound";
    case E::ProgrammingBegan:
      return "ProgrammingBegan";
    case E::Missed:
      return "Missed";
    case E::Programmed:
      return "Programmed";
    case E::Refused:
      return "Refused";
    case E::NotApproved:
      return "NotApproved";
    case E::Failed:
      return "Failed";
    case E::Stop:
      return "Stop";
  }
  return "?";
}

bool HoldsAResult(PortState state) {
  return state == S::Programmed || state == S::Failed || state == S::UpToDate || state == S::NotApproved;
}

std::span<const PortTransition> StationTransitions() {
  return kTransitions;
}

std::optional<PortState> NextStationState(PortState from, PortEvent event) {
  for (const PortTransition& t : kTransitions)
    if (t.from == from && t.event == event) return t.to;
  return std::nullopt;
}

}  // namespace app
