#pragma once
// Where a port of a production line or a station stands, and the station's per-port state
// machine: which event moves a port from which state to which. A station's port follows the
// table and nothing else; an event the table does not name for the port's state is refused,
// and the port stays where it is.

#include <optional>
#include <span>
#include <string_view>

namespace app {

enum class PortState {
  Ready,        // added, not started (a line's port before Start)
  Waiting,      // for a device
  PortGone,     // the port is not there (yet), or another program holds it; looked for again
  Checking,     // a session runs: searching, checking, asking
  Programming,  // its device is being erased or programmed
  Programmed,   // the last device was programmed; a station waits for it to leave
  Failed,       // the last device failed, or its run was stopped
  UpToDate,     // the last device was left alone on purpose (same or later version)
  NotApproved,  // the last device was left alone: the profile does not approve its image
  Ended,        // the line's session ended, or the station stopped on this port
};

// "Waiting", "PortGone"... for messages and test names.
std::string_view PortStateName(PortState state);

// Whether the port's last device run has ended and its device is still thought to be there.
bool HoldsAResult(PortState state);

// What happens on a station's port.
enum class PortEvent {
  Silent,            // a poll found the port but no device (or the device left)
  PortMissing,       // a poll found no port, or one another program holds
  DeviceFound,       // a device answered: its run begins
  ProgrammingBegan,  // the run began to erase the device
  Missed,            // the run did not reach the device the poll found: no run of it
  Programmed,        // a run ended programmed, or that device answers again after a restart
  Refused,           // ... left alone on purpose
  NotApproved,       // ... left alone: the profile does not approve its image
  Failed,            // ... failed or stopped
  Stop,              // the station stopped on this port
};

std::string_view PortEventName(PortEvent event);

struct PortTransition {
  PortState from;
  PortEvent event;
  PortState to;
};

// Every transition a station's port may make.
std::span<const PortTransition> StationTransitions();

// The state `event` moves a station's port in `from` to; none when the table refuses it.
std::optional<PortState> NextStationState(PortState from, PortEvent event);

}  // namespace app
