#pragma once
// The serial transport: ports 1..32, opened by number, moving bytes by blocking calls. Only
// device::Link drives a port; protocol code never opens a path. The system's opener serves
// the program, a scripted one the tests.
//
// Threads: one PortOpener is shared by every session of a front end, each session on its own
// thread, so Open, PathOf and Describe may be called from several threads at once, and every
// implementation must allow that (guarding any state it keeps). A SerialPort that Open hands
// out belongs to one link and is used by one thread at a time; a stop may be requested from
// any thread through the stop_source behind the token a call was given.
//
// Waiting: every wait blocks in the system (no spinning): a port that waits costs no CPU.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "common/port_entry.h"

namespace platform {

// Why a port did not open. NotFound: no device at the port's path (or no path for the
// number). PermissionDenied: the user may not open it. Busy: another program holds it.
// Settings: it opened but refused the line settings (given by callers, not by Open).
enum class OpenError { None, NotFound, PermissionDenied, Busy, Settings, Other };

// How soon a stop request ends a wait in Read or Drain: the wait notices it within this many
// milliseconds (it may notice it sooner).
inline constexpr int kStopLatencyMs = 50;

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Applies the fixed line settings at `rate` (bits per second): 8 data bits, no parity, one
  // stop bit, no flow control, DTR and RTS raised where the port has modem lines (a port
  // without them is no failure). False when the port refuses the settings or has hung up.
  virtual bool Configure(int rate) = 0;

  // The total time-out of each later Read, in milliseconds (negative counts as 0).
  virtual void SetReadTimeout(int ms) = 0;

  // Drops every received byte not yet read, including bytes the system already holds for
  // the port. Does nothing on a port that has hung up.
  virtual void DiscardInput() = 0;

  // Writes n bytes and waits until the system has taken them all, or until a generous time
  // for n bytes at the configured rate has passed (1 s + four times the line time, at most
  // 60 s). Returns how many bytes were taken; what was not taken by then is dropped, never
  // sent later. Negative on an error or once the port has hung up (n == 0 included); 0 for
  // n == 0 on a port that is still there.
  virtual long Write(const std::uint8_t* data, std::size_t n) = 0;

  // Reads up to n bytes, waiting at most the read time-out in all. Returns as soon as n bytes
  // have arrived; a smaller count (0 included) means the time-out passed or `stop` was
  // requested (the read notices a stop within kStopLatencyMs). Negative on an error.
  // Hang-up: a device that goes away (a USB adapter pulled, the other end of a pty closed)
  // ends the read at once, handing over the bytes that came before it as a short count, or
  // else failing (negative). Once the port has hung up, every further call fails at once
  // (Read and Write negative, Configure and Drain false, OutputQueued negative).
  virtual long Read(std::uint8_t* out, std::size_t n, const std::stop_token& stop) = 0;

  // Waits until every byte written has left the port on the line (not merely the program),
  // so that the far end may be expected to have it. True then, or when the port cannot tell
  // what it still holds (nothing to wait for). False when a generous time for the queued
  // bytes at the line rate (as for Write) has passed, when `stop` was requested (noticed
  // within kStopLatencyMs), or when the port hung up meanwhile. `whileWaiting`, when given,
  // is called on the waiting thread now and then while bytes remain (at least every 50 ms),
  // so a caller can tell progress; it may call OutputQueued, nothing else of the port.
  virtual bool Drain(const std::stop_token& stop, const std::function<void()>& whileWaiting = {}) {
    (void)stop;
    (void)whileWaiting;
    return true;
  }

  // The bytes written that the port still holds, not yet carried by the line; negative when
  // the port cannot tell or has hung up.
  virtual long OutputQueued() { return -1; }

  // Closes the port; harmless when it is closed already. The destructor closes it too.
  virtual void Close() = 0;
};

class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // Opens port `number` (1..32) for exclusive reading and writing, writing nothing to it and
  // not waiting for a carrier; nullptr on failure with the reason in `error` (None on
  // success). Busy means another program (or another opener in this one) holds the port. Does
  // not wait for a busy port. From any thread.
  virtual std::unique_ptr<SerialPort> Open(int number, OpenError& error) = 0;
  // The device path port `number` maps to (ComPortPath for the system's opener); empty for a
  // number outside 1..32. From any thread.
  virtual std::string PathOf(int number) const = 0;
  // What the system knows of port `number`: its path and, for a USB adapter, its vendor and
  // product ID, maker, product name and serial number. An opener that knows nothing more
  // gives the path alone. Never opens the port. From any thread.
  virtual PortEntry Describe(int number) const { return {number, PathOf(number)}; }
};

// The device path of port `number` (1..32); empty outside that range. Port n is
// $VORLOADER_COM_DIR/COMn when that variable is set and not empty (a folder of links made
// for tests and the simulator). Otherwise the system's own name: on Linux COM1-8 =
// /dev/ttyS0-7, COM9-24 = /dev/ttyUSB0-15, COM25-32 = /dev/ttyACM0-7; on Windows \\.\COMn.
std::string ComPortPath(int number);

// The program's opener over the system's serial ports. Open, PathOf and Describe may be
// called from any thread, also from threads the program started itself.
std::unique_ptr<PortOpener> MakeSystemPortOpener();

// Whatever the system's serial transport needs to exist for the life of the program, made
// once at the start of main, on the main thread, before any port is opened, and kept until
// every port is closed. A program with a window toolkit application object of its own needs
// none. On a system whose transport needs nothing it does nothing.
class SerialRuntime {
 public:
  SerialRuntime(int& argc, char** argv);
  ~SerialRuntime();
  SerialRuntime(const SerialRuntime&) = delete;
  SerialRuntime& operator=(const SerialRuntime&) = delete;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace platform
