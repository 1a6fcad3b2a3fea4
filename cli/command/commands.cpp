#include "cli/command/commands.h"

#include <filesystem>
#include <string>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/port_listing.h"
#include "app/startup.h"
#include "cli/command/history_command.h"
#include "cli/command/port_argument.h"
#include "cli/command/production_line.h"
#include "cli/command/report_command.h"
#include "cli/command/station_command.h"
#include "cli/command/sync_command.h"
#include "cli/output/firmware_table.h"
#include "cli/output/port_table.h"
#include "cli/signals/stop_relay.h"

namespace cli {

namespace {

// --x and the named options, decoded once for every session.
app::Options OptionsOf(const CommandLine& line) {
  return app::Options(line.options);
}

CommandResult ListPorts(TerminalView& view, platform::PortOpener& opener) {
  const PortList ports = app::ListPorts(opener, view);
  if (view.stopRequested()) return kExitInterrupted;
  for (const PortEntry& entry : ports.entries) view.appendLog(entry.comName());
  // What is known of each port goes beside the lines scripts read, not among them.
  if (!view.quiet())
    for (const std::string& row : PortTableLines(ports.entries)) view.detail(row);
  CommandResult result;
  result.ports = ports.entries;
  return result;
}

CommandResult CheckFiles(const CommandLine& line, TerminalView& view) {
  const app::FirmwareFolder folder = app::OpenFirmwareFolder();
  // Only the start-up sequence logs a folder problem; without it this is the only word of it.
  if (!folder.problem.empty()) view.Note("vorloader-cli: " + folder.problem);
  if (!folder.detail.empty()) view.detail(folder.detail);
  app::FirmwareSet firmware(OptionsOf(line), folder);
  std::stop_source stop;
  const StopRelay relay(view.interrupts(), stop);
  const app::CatalogueReport report = firmware.RunCatalogueSteps(view, stop.get_token());
  if (view.stopRequested()) return kExitInterrupted;
  if (report.products == 0) return kExitNoWorkflow;
  CommandResult result;
  result.status = report.usable < static_cast<int>(report.products) ? kExitMissingFiles : 0;
  result.fileCheck = report.fileCheck;
  // What a station profile approves an image by, beside the lines scripts read.
  if (!view.quiet())
    for (const std::string& row : FirmwareTableLines(*firmware.products())) view.detail(row);
  return result;
}

// What IndexOfNamedPort gives for a port that another program holds.
constexpr int kBusyPort = -2;

// The index in `listed` of the port `given` names; after telling why, kBusyPort when another
// program holds it (no usage error: it may be free later), else -1 when it is not listed.
int IndexOfNamedPort(const PortArgument& given, const PortList& listed, TerminalView& view) {
  const int number = given.number != 0 ? given.number : ListedPortOfPath(given.path, listed.entries);
  const int index = app::IndexOfPort(listed, number);
  if (index >= 0) return index;
  for (const BusyPort& busy : listed.busy) {
    if (busy.number != given.number && (given.path.empty() || busy.path != given.path)) continue;
    view.Note("vorloader-cli: --port " + (given.path.empty() ? ComName(busy.number) : given.path) +
              " is busy, " + busy.holder + "; no workflow ran");
    return kBusyPort;
  }
  if (!given.path.empty())
    view.Note(UnlistedPathMessage(given.path, listed.entries));
  else
    view.Note("vorloader-cli: --port " + ComName(given.number) +
              " is not among the ports listed (see vorloader-cli ports)");
  return -1;
}

// A station's named port that is not listed (yet): it is waited for. The entry of the port
// the argument names, or a port number 0 after telling that no port 1..32 can be that.
PortEntry UnlistedStationPort(const PortArgument& given, platform::PortOpener& opener, TerminalView& view) {
  if (given.number != 0) return opener.Describe(given.number);
  std::vector<PortEntry> every;
  for (int n = 1; n <= kMaxPortNumber; ++n) every.emplace_back(n, opener.PathOf(n));
  int number = ListedPortOfPath(given.path, every);
  // A path not there yet is one of the ports' own paths, as written.
  for (const PortEntry& entry : every)
    if (number == 0 && std::filesystem::path(entry.path).lexically_normal() ==
                           std::filesystem::path(given.path).lexically_normal())
      number = entry.number;
  if (number == 0) {
    view.Note("vorloader-cli: --port " + given.path +
              " is none of the ports COM1 to COM32 (see vorloader-cli ports)");
    return {};
  }
  return opener.Describe(number);
}

// The ports named for several sessions, in the order given (every listed port for
// --all-ports, but those --skip-port leaves out); empty after a usage error or a busy port,
// which it has told (`busy` says which). A station waits for a named port that is not listed.
std::vector<PortEntry> PortsForSessions(const CommandLine& line, const PortList& listed,
                                        platform::PortOpener& opener, TerminalView& view, bool& busy) {
  busy = false;
  std::vector<PortEntry> chosen;
  if (line.allPorts) {
    for (const PortEntry& entry : listed.entries)
      if (!SkippedPort(entry, line.skipPorts)) chosen.push_back(entry);
    return chosen;
  }
  const bool station = line.command == Command::Station;
  for (const PortArgument& given : line.ports) {
    const int number = given.number != 0 ? given.number : ListedPortOfPath(given.path, listed.entries);
    const bool listedPort = app::IndexOfPort(listed, number) >= 0;
    const int index = station && !listedPort ? -1 : IndexOfNamedPort(given, listed, view);
    busy = index == kBusyPort;
    if (busy) return {};
    const PortEntry entry = index >= 0 ? listed.entries[static_cast<std::size_t>(index)]
                            : station  ? UnlistedStationPort(given, opener, view)
                                       : PortEntry();
    if (entry.number == 0) return {};
    for (const PortEntry& taken : chosen) {
      if (taken.number == entry.number) {
        // Two sessions on one port would reach one device twice.
        view.Note("vorloader-cli: --port names " + entry.comName() + " twice");
        return {};
      }
    }
    chosen.push_back(entry);
  }
  return chosen;
}

int RunDeviceWorkflow(const CommandLine& line, TerminalView& view, platform::PortOpener& opener,
                      RunRecords& records) {
  app::FirmwareSet firmware(OptionsOf(line), app::OpenFirmwareFolder());
  std::stop_source stop;
  const StopRelay relay(view.interrupts(), stop);

  // The start-up preparation as the window runs it. --port picks its entry as soon as the
  // ports are listed, so a port that is not there is refused before anything is downloaded.
  int refused = 0;
  std::vector<PortEntry> several;
  const app::Preparation prepared =
      app::PrepareStartup(firmware, opener, view, stop.get_token(), [&](PortList& ports) {
        if (view.stopRequested()) {
          refused = kExitInterrupted;
          return false;
        }
        if (line.allPorts && ports.entries.empty())
          view.Note("vorloader-cli: --all-ports: no port is listed, so no device is programmed");
        if (SeveralPorts(line)) {
          bool busy = false;
          several = PortsForSessions(line, ports, opener, view, busy);
          // A port another program holds may be free later: no usage error, no workflow.
          if (busy)
            refused = kExitNoWorkflow;
          else if (several.empty() && !line.allPorts)
            refused = kExitUsage;
        } else if (!line.ports.empty()) {
          const int index = IndexOfNamedPort(line.ports.front(), ports, view);
          if (index == kBusyPort)
            refused = kExitNoWorkflow;
          else if (index < 0)
            refused = kExitUsage;
          ports.selected = index;
        }
        return refused == 0;
      });
  if (refused != 0) return refused;
  if (view.stopRequested()) return kExitInterrupted;
  // As at the end of the start-up sequence: no device workflow without a port (a station
  // waits for its ports) or without a product database.
  const bool station = line.command == Command::Station;
  if (!(station ? prepared.readyForStation() : prepared.ready())) return kExitNoWorkflow;

  if (SeveralPorts(line)) {
    if (several.empty() && !station) return kExitNoWorkflow;
    InterruptState fallback;
    InterruptState& interrupts = view.setup().interrupts != nullptr ? *view.setup().interrupts : fallback;
    if (station) return RunStation(line, view.setup(), view, opener, firmware, several, interrupts, records);
    return RunProductionLine(line, view, opener, firmware, several, interrupts, records.sink());
  }
  app::DeviceSession session(firmware, view, opener);
  session.SetRecordSink(records.sink());
  session.SetSiteControl(line.site);
  session.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  session.SetPorts(prepared.ports);
  const std::stop_callback forward(stop.get_token(), [&session] { session.RequestStop(); });
  if (line.command == Command::RawBoot)
    session.OnRawBoot();
  else
    session.OnConnect();
  if (view.stopRequested()) return kExitInterrupted;

  const std::optional<LoadResult> result = session.lastResult();
  return result && FindLoadResult(*result) != nullptr ? *result : kExitNoWorkflow;
}

}  // namespace

CommandResult RunCommand(const CommandLine& line, TerminalView& view, platform::PortOpener& opener,
                         RunRecords& records) {
  switch (line.command) {
    case Command::Ports:
      return ListPorts(view, opener);
    case Command::Check:
      return CheckFiles(line, view);
    case Command::Connect:
    case Command::RawBoot:
    case Command::Station:
      return RunDeviceWorkflow(line, view, opener, records);
    case Command::History: {
      CommandResult result;
      if (line.recordDb.empty())
        result = ShowHistory(line, app::ProcessEnvironment(), view);
      else
        result = ShowDatabaseHistory(line, view);
      result.table = view.heldLog();  // the table is the log; held back under -q
      return result;
    }
    case Command::Report: {
      CommandResult result;
      result.status = RunReport(line, app::ProcessEnvironment(), view);
      result.table = view.heldLog();  // the table is the log; held back under -q
      return result;
    }
    case Command::Sync: {
      CommandResult result;
      result = RunSync(line, app::ProcessEnvironment(), view);
      result.table = view.heldLog();  // the count delivered is the result
      return result;
    }
  }
  return kExitUsage;
}

}  // namespace cli
