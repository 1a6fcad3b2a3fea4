#pragma once
// The transport under the serial link. Only device::Link touches it; protocol code never
// opens a path. A QSerialPort implementation serves the program, a scripted one the tests.
//
// Threads: one PortOpener is shared by every session of a front end, each session on its own
// thread, so Open, PathOf and Describe may be called from several threads at once, and every
// implementation must allow that (guarding any state it keeps). A SerialPort that Open hands
// out belongs to one link and is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/port_entry.h"

namespace device {

enum class OpenError { None, NotFound, PermissionDenied, Busy, Settings, Other };

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Applies the fixed line settings at `rate`: 8N1, no flow control, DTR and RTS raised
  // where the port has modem lines. False when the port refuses the settings.
  virtual bool Configure(int rate) = 0;
  // Total read time-out: a read returns as soon as the requested count has arrived, or when
  // this many milliseconds have passed.
  virtual void SetReadTimeout(int ms) = 0;
  // Drops every received byte not yet read.
  virtual void DiscardInput() = 0;
  // Writes synchronously; returns how many bytes the port took (negative on error).
  virtual long Write(const std::uint8_t* data, std::size_t n) = 0;
  // Reads up to n bytes by the time-out; a short count means the time-out passed, a negative
  // value an error. `abort` is polled while waiting; when it returns true the read ends early.
  // A device that goes away (the port hangs up) ends the read at once: with the bytes that
  // came before, as a short count, or else as an error. A wait costs no CPU while it waits.
  // Once the port has hung up, every further call fails at once.
  virtual long Read(std::uint8_t* out, std::size_t n, const std::function<bool()>& abort) = 0;
  // Waits until every byte written has left the port (not merely the program), or a
  // generous time for the queued bytes at the line rate has passed; false then, or when
  // `abort` ended the wait.
  virtual bool Drain(const std::function<bool()>& abort) {
    (void)abort;
    return true;
  }
  // The bytes written that the port still holds, not yet carried by the line; negative when
  // the port cannot tell.
  virtual long OutputQueued() { return -1; }
  virtual void Close() = 0;
};

class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // Opens port `number` (1..32) for exclusive reading and writing, writing nothing to it;
  // nullptr on failure with the reason in `error` (Busy: another program holds it). From any
  // thread.
  virtual std::unique_ptr<SerialPort> Open(int number, OpenError& error) = 0;
  // The device path port `number` maps to. From any thread.
  virtual std::string PathOf(int number) const = 0;
  // What the system knows of port `number`: its path and, for a USB adapter, its vendor and
  // product ID, maker, product name and serial number. An opener that knows nothing more
  // gives the path alone. From any thread.
  virtual PortEntry Describe(int number) const { return {number, PathOf(number)}; }
};

// Port n is $VORLOADER_COM_DIR/COMn when that is set; otherwise COM1-8 = /dev/ttyS0-7,
// COM9-24 = /dev/ttyUSB0-15, COM25-32 = /dev/ttyACM0-7.
std::string ComPortPath(int number);

// The program's opener, over QSerialPort.
std::unique_ptr<PortOpener> MakeSystemPortOpener();

}  // namespace device
