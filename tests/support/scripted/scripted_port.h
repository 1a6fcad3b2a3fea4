#pragma once
// An in-memory serial transport for tests. Each port number has a ScriptedLine: the bytes
// waiting to be read, a responder that answers every write (a scripted device), scripted
// faults, and a record of everything the loader did on it. Reads never wait: a read returns
// what is there, which the loader sees as a read that ran into its time-out.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace testing_support {

struct ScriptedLine {
  // What the loader did, in order: "open", "configure 57600", "timeout 50", "discard",
  // "write BF 00 00 00 00" (taken bytes in hex), "read 24/24" (got/asked), "drain", "close".
  std::vector<std::string> events;
  std::vector<std::vector<std::uint8_t>> writes;  // the bytes the port took, one entry per write

  // The other end: called with the bytes of each write the port took and the current rate;
  // what it returns goes on the line to be read.
  std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t> written, int rate)> respond;
  std::deque<std::uint8_t> input;     // waiting on the line; dropped by DiscardInput
  std::deque<std::uint8_t> arriving;  // arrives during the next read (after any discard)

  // Faults.
  std::deque<long> writeResults;  // the next writes take this many bytes (negative: error)
  bool configureFails = false;
  bool readError = false;   // every read fails
  bool drainFails = false;  // the written bytes never leave the port

  // State.
  bool open = false;
  int rate = 0;
  int timeoutMs = 0;

  // The events that start with `prefix`.
  std::vector<std::string> Events(const std::string& prefix) const;
  int OpenCount() const;
};

// A test double for one thread: unlike the program's opener, it is not shared between threads.
class ScriptedOpener : public platform::PortOpener {
 public:
  // The line of port `number`, created (as a port that opens) on first use.
  ScriptedLine& Line(int number);
  // Port `number` refuses to open with `why`; Remove makes it vanish.
  void Refuse(int number, platform::OpenError why);
  void Remove(int number);
  // The next `opens` opens of port `number` find it busy, as while another program holds it
  // for a moment; after them it opens as usual.
  void BusyFor(int number, int opens);

  std::vector<int> attempts;  // every Open call's port number, in order

  std::unique_ptr<platform::SerialPort> Open(int number, platform::OpenError& error) override;
  std::string PathOf(int number) const override { return "scripted/COM" + std::to_string(number); }

 private:
  std::map<int, std::shared_ptr<ScriptedLine>> m_lines;
  std::map<int, platform::OpenError> m_refused;
  std::map<int, int> m_busyOpens;
};

std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace testing_support
