#include "cli/command/station_command.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/site_control.h"
#include "app/station/station.h"
#include "cli/command/multi_port_frame.h"
#include "cli/command/port_argument.h"
#include "cli/command/station_result_line.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_text.h"

namespace cli {

namespace {

// Each port's state, a line of its own when it changes ("COM1: waiting for a device"): the
// states the station window's panels show.
class StateLines {
 public:
  StateLines(SharedOutput& shared, std::FILE* err) : m_shared(shared), m_err(err) {}

  // From the ports' threads.
  void Tell(const app::StationPortStatus& status) {
    std::lock_guard lock(m_mutex);
    const auto last = m_last.find(status.port.number);
    std::optional<app::PortState> before;
    if (last != m_last.end()) before = last->second;
    if (before == status.state) return;  // a progress step
    m_last[status.port.number] = status.state;
    const std::string line = app::StationStateLine(before, status.state);
    if (!line.empty()) m_shared.WriteLine(m_err, status.port.comName() + ": " + line);
  }

 private:
  SharedOutput& m_shared;
  std::FILE* m_err;
  std::mutex m_mutex;
  std::map<int, app::PortState> m_last;
};

}  // namespace

std::string StationSetUpLine(const CommandLine& line) {
  if (!line.site) return {};
  const app::SiteControl& site = *line.site;
  std::vector<std::string> parts;
  if (!site.profileName.empty()) parts.push_back("profile \"" + site.profileName + "\"");
  if (!site.operatorName.empty()) parts.push_back("operator " + site.operatorName);
  if (!site.workOrder.empty()) parts.push_back("work order " + site.workOrder);
  if (parts.empty()) return {};
  std::string text = "station: ";
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : ", ") + parts[i];
  return text;
}

bool SkippedPort(const PortEntry& port, const std::vector<PortArgument>& skipped) {
  return std::ranges::any_of(skipped, [&port](const PortArgument& s) {
    return s.number != 0 ? s.number == port.number : ListedPortOfPath(s.path, {port}) == port.number;
  });
}

int RunStation(const CommandLine& line, const TerminalSetup& base, TerminalView& mainView,
               platform::PortOpener& opener, const app::FirmwareSet& firmware,
               const std::vector<PortEntry>& ports, InterruptState& interrupts, RunRecords& records) {
  // Whoever looks at the station sees under which profile, by whom and for what it runs.
  if (const std::string setUp = StationSetUpLine(line); !setUp.empty()) mainView.Note(setUp);
  MultiPortFrame frame(base, interrupts);
  SharedOutput& shared = frame.shared();

  StateLines states(shared, base.err);  // told by the station's ports until it is gone
  app::Station station(firmware, opener);
  station.SetRecordSink(records.sink());
  station.SetSiteControl(line.site);
  station.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  station.SetOnProgramming(frame.ProgrammingHook());
  if (!base.quiet)
    station.SetObserver([&states](const app::StationPortStatus& status) { states.Tell(status); });
  // One line per device, whole, that a person reads at a glance.
  station.SetOnOutcome([&shared, &base](const app::StationOutcome& o) {
    shared.WriteLine(base.out, TerminalStationResultLine(o));
  });
  for (const PortEntry& port : ports) station.AddPort(port, frame.ViewFor(port));
  if (line.allPorts)
    station.JoinNewPorts([&line](const PortEntry& port) { return !SkippedPort(port, line.skipPorts); },
                         [&frame](const PortEntry& port) -> LoaderView& { return frame.ViewFor(port); });
  // The first stop signal arms nothing new and lets the devices being programmed finish; the
  // second cuts them.
  frame.RunRelayingStops([&station](app::StopLevel level) { station.RequestStop(level); },
                         [&] {
                           // A station runs for a shift: what the record database says is told
                           // when it is said.
                           records.TellAsTheyCome([&shared, &base](const std::string& note) {
                             shared.WriteLine(base.err, "note: " + PrintableText(note));
                           });
                           station.Start();
                           station.Wait();
                           records.TellAsTheyCome(nullptr);
                         });
  frame.EndBoard();
  return MultiPortFrame::Finish(mainView, station.Finish(interrupts.exitStatus()));
}

}  // namespace cli
