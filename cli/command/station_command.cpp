#include "cli/command/station_command.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "app/site_control.h"
#include "app/station/station.h"
#include "cli/command/port_argument.h"
#include "cli/command/production_line.h"
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
               const std::vector<PortEntry>& ports, InterruptState& interrupts) {
  interrupts.setSeveral(true);
  // Whoever looks at the station sees under which profile, by whom and for what it runs.
  if (const std::string setUp = StationSetUpLine(line); !setUp.empty()) mainView.Note(setUp);
  SharedOutput shared(base.err, base.errIsTerminal && !base.quiet, base.columns);
  PortViews views(base, shared);

  app::Station station(firmware, opener);
  station.SetRecordFile(line.recordFile);
  station.SetSiteControl(line.site);
  station.SetWireTrace(line.verbose ? device::WireTrace::On : device::WireTrace::Off);
  station.SetOnProgramming([&interrupts](bool any) { interrupts.setTransferActive(any); });
  // One line per device, whole, that a person reads at a glance.
  station.SetOnOutcome([&shared, &base](const app::StationOutcome& o) {
    shared.WriteLine(base.out, app::PortName(o.run.port) + ": " + PrintableText(app::StationResultLine(o)));
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
      station.RequestStop(LevelOfPresses(presses));
    });
    station.Start();
    station.Wait();
  }
  views.EndProgress();
  shared.Finish();

  mainView.Note(station.Summary());
  const std::string cut = CutNote(station.CutWhileProgramming());
  if (!cut.empty()) mainView.Note(cut);
  return interrupts.presses() >= 2 ? interrupts.exitStatus() : 0;
}

}  // namespace cli
