#include "device/port_problems.h"

#include <string>
#include <vector>

#include "common/port_entry.h"

namespace device {

namespace {

std::string PortLabel(int number, const std::string& path) {
  return ComName(number) + " (" + path + ")";
}

}  // namespace

PortProblem ClassifyPort(const platform::PortFacts& facts, platform::OpenError error) {
  if (!facts.present) return PortProblem::None;
  if (facts.brokenLink) return PortProblem::BrokenLink;
  if (!facts.charDevice) return PortProblem::NotSerial;
  if (!facts.mayOpen) return PortProblem::NoPermission;
  if (facts.terminalKnown && !facts.terminal) return PortProblem::NotSerial;
  if (error == platform::OpenError::Busy || facts.lockPid) return PortProblem::InUse;
  return PortProblem::None;
}

std::string PermissionFix() {
  return "add yourself to the group that owns the serial ports (dialout on Debian): "
         "sudo usermod -aG dialout $USER, then log in again";
}

std::string DescribeDeniedPorts(const std::vector<DeniedPort>& ports) {
  if (ports.empty()) return {};
  std::string line;
  for (const DeniedPort& p : ports) {
    if (!line.empty()) line += ", ";
    line += PortLabel(p.number, p.path);
  }
  line += ports.size() == 1 ? " is not listed: no permission to open it; "
                            : " are not listed: no permission to open them; ";
  return line + PermissionFix();
}

std::string DescribePortProblem(int number, const std::string& path, PortProblem problem,
                                const platform::PortFacts& facts) {
  const std::string head = PortLabel(number, path) + " is not listed: ";
  switch (problem) {
    case PortProblem::None:
      return {};
    case PortProblem::NoPermission:
      return DescribeDeniedPorts({{number, path}});
    case PortProblem::InUse:
      return head + DescribeHolder(facts);
    case PortProblem::NotSerial:
      return head + "not a serial device" +
             (facts.regularFile  ? " (a regular file)"
              : facts.charDevice ? " (not a terminal)"
                                 : "");
    case PortProblem::BrokenLink:
      return head + "the link leads to nothing" + (facts.target.empty() ? "" : " (" + facts.target + ")");
  }
  return {};
}

std::string DescribeHolder(const platform::PortFacts& facts) {
  if (!facts.lockPid) return "in use by another program";
  return "in use by process " + std::to_string(*facts.lockPid) +
         (facts.lockProcess.empty() ? std::string() : " (" + facts.lockProcess + ")");
}

}  // namespace device
