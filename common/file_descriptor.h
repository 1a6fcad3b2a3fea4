#pragma once
// An open POSIX file descriptor owned by one object: closed when the object goes, or earlier
// by Close(), which reports the error a close can carry (a delayed write error).

#include <unistd.h>

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  int Close() {
    const int r = ::close(m_fd);
    m_fd = -1;
    return r;
  }

 private:
  int m_fd;
};
