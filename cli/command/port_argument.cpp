#include "cli/command/port_argument.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace cli {

namespace {

std::string Resolved(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  return ec ? std::string() : resolved.string();
}

// Two names of one device node: device nodes made elsewhere (a container's /dev) share no path.
bool SameCharDevice(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

}  // namespace

int ListedPortOfPath(const std::string& path, const std::vector<PortEntry>& listed) {
  const std::string wanted = Resolved(path);
  if (wanted.empty()) return 0;
  for (const PortEntry& entry : listed)
    if (Resolved(entry.path) == wanted) return entry.number;
  for (const PortEntry& entry : listed)
    if (SameCharDevice(path, entry.path)) return entry.number;
  return 0;
}

std::string UnlistedPathMessage(const std::string& path, const std::vector<PortEntry>& listed) {
  std::string ports;
  for (const PortEntry& entry : listed) {
    if (!ports.empty()) ports += ", ";
    ports += entry.comName() + " " + entry.path;
  }
  return "vorloader-cli: --port " + path + " is not among the ports listed (" +
         (ports.empty() ? std::string("none") : ports) + ")";
}

}  // namespace cli
