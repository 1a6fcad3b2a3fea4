#pragma once
// The device's end of the serial line: the master side of a pseudo-terminal whose slave the
// loader opens through the link DIR/COMn.
//
// How the simulator notices the loader:
// - opens and closes of the slave: an inotify watch on the slave device node (the loader
//   opens it by path, through the link); the simulator's own slave descriptor is opened
//   before the watch and kept open, so the pty never hangs up between the loader's sessions;
// - the line rate: the slave's termios, read through the master (TCGETS2 on a pty master
//   reports the slave's settings), at the moment bytes are read;
// - discards of the loader's input: packet mode on the master reports every flush of the
//   slave's read queue.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class PtyPort {
 public:
  PtyPort() = default;
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // Creates the pty (raw, 9600 baud until the loader sets its rate) and the watch.
  bool Create(std::string& error);
  // Makes `linkPath` a symbolic link to the slave, replacing an older link there.
  bool Link(const std::string& linkPath, std::string& error);
  // Removes the link if it still points to this pty.
  void Unlink();
  // Closes both ends of the pty and removes the link: the loader's open port hangs up, as
  // when a device's adapter is pulled. The pty is gone for good.
  void HangUp();

  int MasterFd() const { return m_master; }
  int WatchFd() const { return m_watch; }
  const std::string& SlavePath() const { return m_slavePath; }

  // The output rate the loader set on the slave, or 0 when it cannot be read.
  int Rate() const;

  // Net open count changes since the last call, in order: +1 per open, -1 per close.
  std::vector<int> ReadOpenCloseEvents();

  // What one read of the master gave.
  struct ReadResult {
    long data = 0;         // data bytes placed in the buffer (0 when none, -1 on error)
    bool flushed = false;  // the loader discarded its input
  };
  // Reads at most `max` data bytes (non-blocking).
  ReadResult Read(std::uint8_t* out, std::size_t max);
  // Bytes waiting to be read on the master.
  std::size_t Pending() const;
  // Writes all of `bytes` unless the slave's input is full; returns the count written.
  std::size_t Write(const std::uint8_t* bytes, std::size_t n);

 private:
  int m_master = -1;
  int m_slave = -1;
  int m_watch = -1;
  std::string m_slavePath;
  std::string m_linkPath;
  std::vector<std::uint8_t> m_packet;
};

// TCGETS2 on `fd`: the output speed as a number, or 0.
int ReadLineRate(int fd);

}  // namespace sim
