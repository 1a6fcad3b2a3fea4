#include "sim/pty_port.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyPort::~PtyPort() {
  Unlink();
  for (int fd : {m_watch, m_slave, m_master})
    if (fd >= 0) close(fd);
}

bool PtyPort::Create(std::string& error) {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_master < 0) {
    error = Errno("posix_openpt");
    return false;
  }
  if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
    error = Errno("grantpt/unlockpt");
    return false;
  }
  char name[128];
  if (ptsname_r(m_master, name, sizeof name) != 0) {
    error = Errno("ptsname");
    return false;
  }
  m_slavePath = name;
  m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_slave < 0) {
    error = Errno("open slave");
    return false;
  }
  termios t{};
  if (tcgetattr(m_slave, &t) != 0) {
    error = Errno("tcgetattr");
    return false;
  }
  // Raw, so bytes waiting for the loader are neither echoed nor changed, whatever the loader
  // restores when it closes.
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  if (tcsetattr(m_slave, TCSANOW, &t) != 0) {
    error = Errno("tcsetattr");
    return false;
  }
  int on = 1;
  if (ioctl(m_master, TIOCPKT, &on) != 0) {
    error = Errno("TIOCPKT");
    return false;
  }
  m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_watch < 0 || inotify_add_watch(m_watch, name, IN_OPEN | IN_CLOSE) < 0) {
    error = Errno("inotify");
    return false;
  }
  return true;
}

bool PtyPort::Link(const std::string& linkPath, std::string& error) {
  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a link";
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(m_slavePath.c_str(), linkPath.c_str()) != 0) {
    error = Errno(("symlink " + linkPath).c_str());
    return false;
  }
  m_linkPath = linkPath;
  return true;
}

void PtyPort::Unlink() {
  if (m_linkPath.empty()) return;
  char target[PATH_MAX];
  ssize_t n = readlink(m_linkPath.c_str(), target, sizeof target - 1);
  if (n > 0) {
    target[n] = '\0';
    if (m_slavePath == target) unlink(m_linkPath.c_str());
  }
  m_linkPath.clear();
}

void PtyPort::HangUp() {
  Unlink();
  // The master last: while the simulator's own slave is open the master outlives it.
  for (int* fd : {&m_slave, &m_master}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

int PtyPort::Rate() const {
  return ReadLineRate(m_master);
}

std::vector<int> PtyPort::ReadOpenCloseEvents() {
  std::vector<int> events;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    ssize_t n = read(m_watch, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event ev;
      std::memcpy(&ev, buf + off, sizeof ev);
      if ((ev.mask & IN_OPEN) != 0) events.push_back(+1);
      if ((ev.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0) events.push_back(-1);
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev.len);
    }
  }
  return events;
}

PtyPort::ReadResult PtyPort::Read(std::uint8_t* out, std::size_t max) {
  ReadResult r;
  // Packet mode: each read starts with a status byte, 0 before data.
  m_packet.resize(max + 1);
  ssize_t n = read(m_master, m_packet.data(), m_packet.size());
  if (n < 0) {
    r.data = (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    return r;
  }
  if (n == 0) return r;
  if (m_packet[0] == TIOCPKT_DATA) {
    std::memcpy(out, m_packet.data() + 1, static_cast<std::size_t>(n - 1));
    r.data = n - 1;
  } else {
    r.flushed = (m_packet[0] & TIOCPKT_FLUSHREAD) != 0;
  }
  return r;
}

std::size_t PtyPort::Pending() const {
  int n = 0;
  if (ioctl(m_master, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<std::size_t>(n);
}

std::size_t PtyPort::Write(const std::uint8_t* bytes, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = write(m_master, bytes + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  return done;
}

}  // namespace sim
