#include "cli/command/station_command.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/site_control.h"
#include "app/station/station.h"
#include "cli/command/port_argument.h"
#include "cli/command/production_line.h"
#include "cli/command/station_result_line.h"
#include "cli/output/board_view.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_text.h"
#include "cli/signals/stop_relay.h"

namespace cli {

namespace {

// The ports' views, made as ports join (from the station's watcher thread); guarded by their mutex.
class PortViews {
 public:
  PortViews(const TerminalSetup& base, SharedOutput& shared) : m_base(base), m_shared(shared) {}

  TerminalView& For(const PortEntry& port) {
    TerminalSetup setup = PortViewSetup(m_base, port, m_shared);
    std::lock_guard lock(m_mutex);
    m_views.push_back(std::make_unique<BoardView>(std::move(setup)));
    return *m_views.back();
  }

  void EndProgress() {
    std::lock_guard lock(m_mutex);
    for (auto& v : m_views) v->EndProgress();
  }

 private:
  const TerminalSetup& m_base;
  SharedOutput& m_shared;
  std::mutex m_mutex;
  std::deque<std::unique_ptr<TerminalView>> m_views;
};

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
               device::PortOpener& opener, const app::FirmwareSet& firmware,
               const std::vector<PortEntry>& ports, InterruptState& interrupts, RunRecords& records) {
  interrupts.setSeveral(true);
  // Whoever looks at the station sees under which profile, by whom and for what it runs.
  if (const std::string setUp = StationSetUpLine(line); !setUp.empty()) mainView.Note(setUp);
  SharedOutput shared(base.err, base.errIsTerminal && !base.quiet, base.columns);
  PortViews views(base, shared);

  StateLines states(shared, base.err);  // told by the station's ports until it is gone
  app::Station station(firmware, opener);
  station.SetRecordSink(records.sink());
  station.SetSiteControl(line.site);
  station.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  station.SetOnProgramming([&interrupts](bool any) { interrupts.setTransferActive(any); });
  if (!base.quiet)
    station.SetObserver([&states](const app::StationPortStatus& status) { states.Tell(status); });
  // One line per device, whole, that a person reads at a glance.
  station.SetOnOutcome([&shared, &base](const app::StationOutcome& o) {
    shared.WriteLine(base.out, TerminalStationResultLine(o));
  });
  for (const PortEntry& port : ports) station.AddPort(port, views.For(port));
  if (line.allPorts)
    station.JoinNewPorts([&line](const PortEntry& port) { return !SkippedPort(port, line.skipPorts); },
                         [&views](const PortEntry& port) -> LoaderView& { return views.For(port); });
  {
    // The first stop signal arms nothing new and lets the devices being programmed finish; the
    // second cuts them.
    const StopRelay relay(&interrupts, [&](int presses) {
      KeepFirstPressWarning(shared, interrupts, presses);
      station.RequestStop(app::StopLevelFor(presses));
    });
    // A station runs for a shift: what the record database says is told when it is said.
    records.TellAsTheyCome([&shared, &base](const std::string& note) {
      shared.WriteLine(base.err, "note: " + PrintableText(note));
    });
    station.Start();
    station.Wait();
    records.TellAsTheyCome(nullptr);
  }
  views.EndProgress();
  shared.Finish();

  const app::LineFinish finish = station.Finish(interrupts.exitStatus());
  mainView.Note(finish.summary);
  if (const std::string cut = CutNote(finish.cut); !cut.empty()) mainView.Note(cut);
  return finish.exitStatus;
}

}  // namespace cli
