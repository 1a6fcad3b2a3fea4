#pragma once
// Looking for a device on one port without running a workflow: the station's cheap, quiet
// poll. It identifies only (no query, no authentication), leaves no record and says nothing to
// any view. The port stays open from one poll to the next (opening a port costs more than the
// poll itself) until Release(), which a workflow on the port needs first, or until it fails
// (a port that hung up is opened again by the next poll, or found gone). A port another
// program holds is tried once per poll: the next poll is the time to look again.

#include <memory>
#include <stop_token>

#include "device/link.h"
#include "platform/serial_port.h"

namespace app {

struct PollAnswer {
  enum class Kind {
    Answered,  // a device answered identify
    Silent,    // the port opened, nothing answered
    NoPort,    // the port could not be opened (not there, gone, refused)
    Busy,      // another program holds the port
    Stopped,   // the stop request ended the poll
  };
  Kind kind = Kind::Silent;
  int rate = 0;               // the rate it answered at
  device::Identity identity;  // who answered
};

class DevicePoll {
 public:
  DevicePoll(platform::PortOpener& opener, int port, std::stop_token stop);

  // Identify at the three device rates on one opening of the port: first at the rate a device
  // last answered at on this port (the next device is most likely of its kind), then the
  // others in the rate search's order.
  PollAnswer Search();
  // Identify at `rate` alone (a device already found, still there?).
  PollAnswer At(int rate);
  // Closes the port, for a workflow to open.
  void Release() { m_link.Close(); }
  // The port as it stands, open at the rate the last answer came at (null when none is open),
  // for the session that runs the device found: it need not open the port again.
  std::unique_ptr<platform::SerialPort> TakePort();

 private:
  PollAnswer Identify(const int* rates, std::size_t count);

  device::Link m_link;
  int m_port;
  int m_lastRate = 0;  // the rate a device last answered at here; 0 before any did
};

}  // namespace app
