#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace platform {

namespace {

int Fd(const File& file) {
  return static_cast<int>(file.native());
}

std::error_code LastError() {
  return {errno, std::system_category()};
}

std::error_code NotOpen() {
  return std::make_error_code(std::errc::bad_file_descriptor);
}

File Open(const std::string& path, int flags, std::error_code& error) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  error = fd < 0 ? LastError() : std::error_code();
  return File(fd);
}

mode_t ModeOf(std::filesystem::perms mode) {
  return static_cast<mode_t>(mode & std::filesystem::perms::mask);
}

}  // namespace

File::~File() {
  if (m_native >= 0) ::close(Fd(*this));
}

File::File(File&& other) noexcept : m_native(std::exchange(other.m_native, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (m_native >= 0) ::close(Fd(*this));
    m_native = std::exchange(other.m_native, -1);
  }
  return *this;
}

bool File::isOpen() const {
  return m_native >= 0;
}

std::error_code File::Close() {
  if (m_native < 0) return NotOpen();
  const int r = ::close(Fd(*this));
  m_native = -1;
  return r != 0 ? LastError() : std::error_code();
}

File OpenForReading(const std::string& path, std::error_code& error) {
  return Open(path, O_RDONLY | O_NONBLOCK, error);
}

File OpenForAppending(const std::string& path, std::error_code& error) {
  return Open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, error);
}

File OpenOrMake(const std::string& path, std::error_code& error) {
  return Open(path, O_RDWR | O_CREAT, error);
}

FileInfo InfoOf(const File& file, std::error_code& error) {
  struct stat st {};
  if (!file.isOpen()) {
    error = NotOpen();
    return {};
  }
  if (::fstat(Fd(file), &st) != 0) {
    error = LastError();
    return {};
  }
  error.clear();
  FileInfo info;
  info.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  info.regular = S_ISREG(st.st_mode);
  info.size = info.regular && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  return info;
}

std::int64_t ReadSomeAt(const File& file, std::uint64_t at, char* data, std::size_t size,
                        std::error_code& error) {
  for (;;) {
    const ssize_t n = ::pread(Fd(file), data, size, static_cast<off_t>(at));
    if (n >= 0) {
      error.clear();
      return n;
    }
    if (errno != EINTR) {
      error = LastError();
      return -1;
    }
  }
}

bool ReadAt(const File& file, std::uint64_t at, char* data, std::size_t size) {
  std::size_t done = 0;
  std::error_code error;
  while (done < size) {
    const std::int64_t n = ReadSomeAt(file, at + done, data + done, size - done, error);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t WriteOnce(const File& file, std::string_view bytes, std::error_code& error) {
  for (;;) {
    const ssize_t n = ::write(Fd(file), bytes.data(), bytes.size());
    if (n >= 0) {
      error.clear();
      return n;
    }
    if (errno != EINTR) {
      error = LastError();
      return -1;
    }
  }
}

std::error_code WriteAll(const File& file, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(Fd(file), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) return std::make_error_code(std::errc::no_space_on_device);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code FlushToDisk(const File& file) {
  return ::fsync(Fd(file)) != 0 ? LastError() : std::error_code();
}

LockOutcome LockFile(const File& file, std::chrono::milliseconds retry,
                     std::chrono::steady_clock::time_point giveUp, const std::stop_token& stop,
                     std::error_code& error) {
  error.clear();
  while (::flock(Fd(file), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = LastError();
      return LockOutcome::kFailed;
    }
    if (stop.stop_requested()) return LockOutcome::kStopped;
    if (std::chrono::steady_clock::now() >= giveUp) return LockOutcome::kTimedOut;
    std::this_thread::sleep_for(retry);
  }
  return LockOutcome::kTaken;
}

void UnlockFile(const File& file) {
  ::flock(Fd(file), LOCK_UN);
}

std::error_code PutInPlace(const std::string& temp, const std::string& path) {
  if (::rename(temp.c_str(), path.c_str()) != 0) return LastError();
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

std::error_code ReplaceFile(const std::string& path, std::string_view contents, std::filesystem::perms mode) {
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  std::error_code error;
  File out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, ModeOf(mode)));
  if (!out.isOpen()) return LastError();
  error = WriteAll(out, contents);
  if (!error) error = FlushToDisk(out);
  if (const std::error_code closed = out.Close(); closed && !error) error = closed;
  if (!error) error = PutInPlace(temp, path);
  if (error) ::unlink(temp.c_str());
  return error;
}

TemporaryFile MakeTemporaryFile(const std::string& prefix, std::error_code& error) {
  TemporaryFile made;
  std::string path = prefix + "XXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) {
    error = LastError();
    return made;
  }
  error.clear();
  made.file = File(fd);
  made.path = std::move(path);
  return made;
}

std::error_code SetFileMode(const File& file, std::filesystem::perms mode) {
  return ::fchmod(Fd(file), ModeOf(mode)) != 0 ? LastError() : std::error_code();
}

std::error_code RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return LastError();
  return {};
}

}  // namespace platform
