#include "cli/command/commands.h"

#include <string>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/port_listing.h"
#include "catalogue/firmware_folder.h"
#include "cli/command/history_command.h"
#include "cli/command/port_argument.h"
#include "cli/command/production_line.h"
#include "cli/output/port_table.h"
#include "cli/signals/stop_relay.h"

namespace cli {

namespace {

// The firmware set decodes the bits into its flags.
app::Options OptionsOf(const CommandLine& line) {
  app::Options options;
  options.m_nOptions = line.options;
  return options;
}

int ListPorts(TerminalView& view, device::PortOpener& opener) {
  const device::PortList ports = app::ListPorts(opener, view);
  if (view.stopRequested()) return kExitInterrupted;
  for (const PortEntry& entry : ports.entries) view.appendLog("COM" + std::to_string(entry.number));
  // What is known of each port goes beside the lines scripts read, not among them.
  if (!view.quiet())
    for (const std::string& row : PortTableLines(ports.entries)) view.detail(row);
  return 0;
}

int CheckFiles(const CommandLine& line, TerminalView& view) {
  const catalogue::FolderResult folder = app::OpenFirmwareFolder();
  // Only the start-up sequence logs a folder problem; without it this is the only word of it.
  if (!folder.problem.empty()) view.Note("vorloader-cli: " + folder.problem);
  if (!folder.detail.empty()) view.detail(folder.detail);
  app::FirmwareSet firmware(OptionsOf(line), folder);
  std::stop_source stop;
  const StopRelay relay(view.interrupts(), stop);
  const app::CatalogueReport report = firmware.RunCatalogueSteps(view, stop.get_token());
  if (view.stopRequested()) return kExitInterrupted;
  if (report.products == 0) return kExitNoWorkflow;
  return report.usable < static_cast<int>(report.products) ? kExitMissingFiles : 0;
}

// The index in `listed` of the port `given` names; -1 after telling that it is not listed.
int IndexOfNamedPort(const PortArgument& given, const device::PortList& listed, TerminalView& view) {
  const int number = given.number != 0 ? given.number : ListedPortOfPath(given.path, listed.entries);
  const int index = app::IndexOfPort(listed, number);
  if (index >= 0) return index;
  if (!given.path.empty())
    view.Note(UnlistedPathMessage(given.path, listed.entries));
  else
    view.Note("vorloader-cli: --port COM" + std::to_string(given.number) +
              " is not among the ports listed (see vorloader-cli ports)");
  return -1;
}

// The ports named for several sessions, in the order given (every listed port for
// --all-ports); empty after a usage error, which it has told.
std::vector<PortEntry> PortsForSessions(const CommandLine& line, const device::PortList& listed,
                                        TerminalView& view) {
  if (line.allPorts) return listed.entries;
  std::vector<PortEntry> chosen;
  for (const PortArgument& given : line.ports) {
    const int index = IndexOfNamedPort(given, listed, view);
    if (index < 0) return {};
    const PortEntry& entry = listed.entries[static_cast<std::size_t>(index)];
    for (const PortEntry& taken : chosen) {
      if (taken.number == entry.number) {
        // Two sessions on one port would reach one device twice.
        view.Note("vorloader-cli: --port names COM" + std::to_string(entry.number) + " twice");
        return {};
      }
    }
    chosen.push_back(entry);
  }
  return chosen;
}

int RunDeviceWorkflow(const CommandLine& line, TerminalView& view, device::PortOpener& opener) {
  app::FirmwareSet firmware(OptionsOf(line), app::OpenFirmwareFolder());
  app::DeviceSession session(firmware, view, opener);
  session.SetRecordFile(line.recordFile);
  const StopRelay relay(view.interrupts(), session.stopSource());

  // The start-up sequence as the window runs it. --port picks its entry as soon as the ports
  // are listed, so a port that is not there is refused before anything is downloaded; the
  // device workflow is started below.
  device::PortList ports = app::ListPorts(opener, view);
  if (view.stopRequested()) return kExitInterrupted;
  std::vector<PortEntry> several;
  if (SeveralPorts(line)) {
    several = PortsForSessions(line, ports, view);
    if (several.empty() && !line.allPorts) return kExitUsage;
  } else if (!line.ports.empty()) {
    const int index = IndexOfNamedPort(line.ports.front(), ports, view);
    if (index < 0) return kExitUsage;
    ports.selected = index;
  }
  session.SetPorts(std::move(ports));
  if (!firmware.folderProblem().empty()) view.appendLog(firmware.folderProblem());
  if (!firmware.folderDetail().empty()) view.detail(firmware.folderDetail());
  if (view.stopRequested()) return kExitInterrupted;

  const app::CatalogueReport report = firmware.RunCatalogueSteps(view, session.stopToken());
  if (view.stopRequested()) return kExitInterrupted;
  // As at the end of the start-up sequence: no device workflow without a port or without a
  // product database.
  if (!session.portsFound() || report.products == 0) return kExitNoWorkflow;

  if (SeveralPorts(line)) {
    if (several.empty()) return kExitNoWorkflow;
    InterruptState fallback;
    InterruptState& interrupts = view.setup().interrupts != nullptr ? *view.setup().interrupts : fallback;
    return RunProductionLine(line, view.setup(), view, opener, firmware, several, interrupts);
  }
  if (line.command == Command::RawBoot)
    session.OnRawBoot();
  else
    session.OnConnect();
  if (view.stopRequested()) return kExitInterrupted;

  const std::optional<LoadResult> result = session.lastResult();
  return result && FindLoadResult(*result) != nullptr ? *result : kExitNoWorkflow;
}

}  // namespace

int RunCommand(const CommandLine& line, TerminalView& view, device::PortOpener& opener) {
  switch (line.command) {
    case Command::Ports:
      return ListPorts(view, opener);
    case Command::Check:
      return CheckFiles(line, view);
    case Command::Connect:
    case Command::RawBoot:
      return RunDeviceWorkflow(line, view, opener);
    case Command::History:
      return ShowHistory(line, app::ProcessEnvironment(), view);
  }
  return kExitUsage;
}

}  // namespace cli
