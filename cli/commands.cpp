#include "cli/commands.h"

#include <string>

#include "app/loader.h"
#include "catalogue/firmware_folder.h"
#include "cli/port_argument.h"
#include "cli/port_table.h"
#include "device/steps.h"

namespace cli {

namespace {

app::Options OptionsOf(const CommandLine& line) {
  app::Options options;
  options.m_nOptions = line.options;
  options.ApplyBits();
  return options;
}

int ListPorts(TerminalView& view, device::PortOpener& opener) {
  device::PortList ports;
  device::EnumerateComPorts(opener, ports, view);
  if (view.stopRequested()) return kExitInterrupted;
  view.appendLog(std::to_string(ports.entries.size()) + " Com Ports Found.");
  for (const PortEntry& entry : ports.entries) view.appendLog("COM" + std::to_string(entry.number));
  // What is known of each port goes beside the lines scripts read, not among them.
  if (!view.quiet())
    for (const std::string& row : PortTableLines(ports.entries)) view.detail(row);
  return 0;
}

int CheckFiles(const CommandLine& line, TerminalView& view, device::PortOpener& opener) {
  const catalogue::FolderResult folder = catalogue::InitFirmwareFolder();
  // Only the start-up sequence logs a folder problem; without it this is the only word of it.
  if (!folder.problem.empty()) view.Note("vorloader-cli: " + folder.problem);
  app::Loader loader(view, opener, OptionsOf(line), folder.path, folder.problem);
  loader.CheckForUpdates();
  if (view.stopRequested()) return kExitInterrupted;

  const catalogue::ProductTable& table = loader.products();
  if (table.m_nProducts == 0) return kExitNoWorkflow;
  for (std::uint32_t i = 0; i < table.m_nProducts && i < catalogue::kMaxProducts; ++i)
    if (!catalogue::IsUsable(table.m_prodState[i])) return kExitMissingFiles;
  return 0;
}

// The index of port `number` in the list, or -1.
int IndexOfPort(const device::PortList& ports, int number) {
  for (std::size_t i = 0; i < ports.entries.size(); ++i)
    if (ports.entries[i].number == number) return static_cast<int>(i);
  return -1;
}

int RunDeviceWorkflow(const CommandLine& line, TerminalView& view, device::PortOpener& opener) {
  const catalogue::FolderResult folder = catalogue::InitFirmwareFolder();
  app::Loader loader(view, opener, OptionsOf(line), folder.path, folder.problem);

  // The start-up sequence as the window runs it. --port picks its entry as soon as the ports
  // are listed, so a port that is not there is refused before anything is downloaded; the
  // device workflow is started below.
  bool portListed = true;
  loader.RunStartupSequence(false, [&] {
    if (line.port == 0 && line.portPath.empty()) return true;
    const int number = line.port != 0 ? line.port : ListedPortOfPath(line.portPath, loader.ports().entries);
    const int index = IndexOfPort(loader.ports(), number);
    portListed = index >= 0;
    if (portListed) loader.SelectPort(index);
    return portListed;
  });
  if (view.stopRequested()) return kExitInterrupted;
  if (!portListed) {
    if (!line.portPath.empty())
      view.Note(UnlistedPathMessage(line.portPath, loader.ports().entries));
    else
      view.Note("vorloader-cli: --port COM" + std::to_string(line.port) +
                " is not among the ports listed (see vorloader-cli ports)");
    return kExitUsage;
  }
  // As at the end of the start-up sequence: no device workflow without a port or without a
  // product database.
  if (!loader.portsFound() || loader.products().m_nProducts == 0) return kExitNoWorkflow;

  if (line.command == Command::RawBoot)
    loader.OnRawBoot();
  else
    loader.OnConnect();
  if (view.stopRequested()) return kExitInterrupted;

  const int result = loader.lastResult();
  return FindLoadResult(result) != nullptr ? result : kExitNoWorkflow;
}

}  // namespace

int RunCommand(const CommandLine& line, TerminalView& view, device::PortOpener& opener) {
  switch (line.command) {
    case Command::Ports:
      return ListPorts(view, opener);
    case Command::Check:
      return CheckFiles(line, view, opener);
    case Command::Connect:
    case Command::RawBoot:
      return RunDeviceWorkflow(line, view, opener);
  }
  return kExitUsage;
}

}  // namespace cli
