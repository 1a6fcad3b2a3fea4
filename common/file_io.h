#pragma once
// The file steps that several parts repeat, in one place: reading at an offset without moving
// the file position (a file shared with other readers and writers), and putting a file in
// place atomically (a reader sees the old file or the new one, never a part, and the change
// survives a power cut).

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/file_descriptor.h"

// Reads up to `size` bytes at byte `at` into `data`, again when a signal interrupts: the count
// read (fewer at the end of the file, 0 there), or -1 with errno set.
inline ssize_t ReadSomeAt(int fd, std::uint64_t at, char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(at));
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Reads exactly `size` bytes at byte `at`; false at the end of the file or on an error.
inline bool ReadAt(int fd, std::uint64_t at, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ReadSomeAt(fd, at + done, data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Renames the finished file `temp` over `path`, then flushes the folder so that the rename
// itself reaches the disk. Returns 0, or the error number of the rename (`temp` then stays).
inline int PutInPlace(const std::string& temp, const std::string& path) {
  if (::rename(temp.c_str(), path.c_str()) != 0) return errno;
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return 0;
}

// Writes `contents` to a temporary file beside `path` (named after it and this process),
// flushes it to disk and puts it in place. Returns 0, or the error number of the step that
// failed (the temporary file is then gone).
inline int ReplaceFile(const std::string& path, std::string_view contents, mode_t mode = 0644) {
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  FileDescriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.get() < 0) return errno;
  int error = 0;
  for (std::size_t done = 0; done < contents.size() && error == 0;) {
    const ssize_t n = ::write(out.get(), contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : ENOSPC;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(out.get()) != 0) error = errno;
  if (out.Close() != 0 && error == 0) error = errno;
  if (error == 0) error = PutInPlace(temp, path);
  if (error != 0) ::unlink(temp.c_str());
  return error;
}
