#include "cli/command/port_argument.h"

#include <filesystem>
#include <system_error>

#include "platform/port_checks.h"

namespace cli {

namespace {

std::string Resolved(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  return ec ? std::string() : resolved.string();
}

}  // namespace

int ListedPortOfPath(const std::string& path, const std::vector<PortEntry>& listed) {
  const std::string wanted = Resolved(path);
  if (wanted.empty()) return 0;
  for (const PortEntry& entry : listed)
    if (Resolved(entry.path) == wanted) return entry.number;
  for (const PortEntry& entry : listed)
    if (platform::SameCharDevice(path, entry.path)) return entry.number;
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
