// What the file system, the lock directories and /proc say of a port's device path.

#include "platform/port_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/posix/serial_lock_files.h"

namespace platform {

namespace {

// Where Qt, UUCP tools and lockdev keep serial lock files (/var/lock is mostly a link to
// /run/lock; a file found twice names the same process).
const std::vector<std::string>& LockDirectories() {
  static const std::vector<std::string> dirs = {"/run/lock", "/var/lock", "/var/lock/lockdev", "/tmp",
                                                "/var/tmp"};
  return dirs;
}

// A lock file is a few bytes; more than this is no lock file.
constexpr std::size_t kMaxLockFile = 128;

// PIDs are positive and below the kernel's hard limit of 2^22.
constexpr long kMaxPid = 4194304;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Qt's name for a port: the path without "/dev/", every '/' made '_'.
std::string QtLockName(std::string path) {
  if (path.rfind("/dev/", 0) == 0) path.erase(0, 5);
  for (char& c : path)
    if (c == '/') c = '_';
  return "LCK.." + path;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  return ec ? std::string() : resolved.string();
}

std::string ReadSmallFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes(limit + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool ProcessRuns(long pid) {
  struct stat st {};
  return ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0;
}

// The process's command name, printable bytes only.
std::string ProcessName(long pid) {
  std::string name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm", 64);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
  for (char& c : name)
    if (std::isprint(static_cast<unsigned char>(c)) == 0) c = '?';
  return name;
}

}  // namespace

namespace posix {

std::optional<long> ParseLockFile(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > kMaxLockFile) return std::nullopt;
  std::size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t')) ++i;
  long pid = 0;
  std::size_t digits = 0;
  for (; i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i])) != 0; ++i, ++digits) {
    if (digits == 10) break;
    pid = pid * 10 + (bytes[i] - '0');
  }
  const bool textEnds = i == bytes.size() || bytes[i] == '\n' || bytes[i] == '\r' || bytes[i] == ' ';
  if (digits > 0 && digits <= 10 && textEnds)
    return pid > 0 && pid < kMaxPid ? std::optional<long>(pid) : std::nullopt;
  // The binary form: the PID as an int of the machine, nothing else.
  if (bytes.size() == sizeof(std::int32_t)) {
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    if (value > 0 && value < kMaxPid) return value;
  }
  return std::nullopt;
}

std::vector<std::string> LockFileCandidates(const std::string& path,
                                            const std::vector<std::string>& lockDirs) {
  std::vector<std::string> names = {QtLockName(path)};
  const std::string resolved = Canonical(path);
  if (!resolved.empty() && resolved != path) names.push_back(QtLockName(resolved));
  if (!resolved.empty()) names.push_back("LCK.." + BaseName(resolved));
  std::vector<std::string> files;
  for (const std::string& dir : lockDirs)
    for (const std::string& name : names) {
      std::string file = dir + "/";
      file += name;
      if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    }
  return files;
}

}  // namespace posix

PortFacts ProbePort(const std::string& path) {
  PortFacts facts;
  struct stat link {};
  if (path.empty() || ::lstat(path.c_str(), &link) != 0) return facts;
  facts.present = true;
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) {
    if (S_ISLNK(link.st_mode)) {
      facts.brokenLink = true;
      std::error_code ec;
      facts.target = std::filesystem::read_symlink(path, ec).string();
    }
    return facts;
  }
  facts.charDevice = S_ISCHR(target.st_mode);
  facts.regularFile = S_ISREG(target.st_mode);
  if (!facts.charDevice) return facts;
  facts.mayOpen = ::access(path.c_str(), R_OK | W_OK) == 0;
  if (!facts.mayOpen) return facts;
  // Opened without becoming the controlling terminal and without waiting for a carrier.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    facts.terminalKnown = true;
    facts.terminal = ::isatty(fd) != 0;
    ::close(fd);
  }
  for (const std::string& file : posix::LockFileCandidates(path, LockDirectories())) {
    const std::optional<long> pid = posix::ParseLockFile(ReadSmallFile(file, kMaxLockFile));
    if (pid && ProcessRuns(*pid)) {
      facts.lockPid = pid;
      facts.lockProcess = ProcessName(*pid);
      break;
    }
  }
  return facts;
}

// Device nodes made elsewhere (a container's /dev) share no path with the system's, only the
// device number.
bool SameCharDevice(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

}  // namespace platform
