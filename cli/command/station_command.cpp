#include "cli/command/station_command.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "app/station/station.h"
#include "cli/command/port_argument.h"
#include "cli/command/production_line.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_text.h"

namespace cli {

namespace {

// How often the stop signals are looked at while the station runs.
constexpr auto kLookEvery = std::chrono::milliseconds(20);

std::string NameOf(const PortEntry& port) {
  return "COM" + std::to_string(port.number);
}

// The ports' views, made as ports join (from the station's watcher thread); guarded by their mutex.
class PortViews {
 public:
  PortViews(const TerminalSetup& base, SharedOutput& shared) : m_base(base), m_shared(shared) {}

  TerminalView& For(const PortEntry& port) {
    TerminalSetup setup = m_base;
    setup.prefix = NameOf(port) + ": ";
    setup.shared = &m_shared;
    // Boxes are answered by --yes; the board draws the live lines.
    setup.errIsTerminal = false;
    setup.inIsTerminal = false;
    setup.interrupts = nullptr;
    // The station tells the stop signals when any port is programming.
    setup.onTransfer = [](bool) {};
    std::lock_guard lock(m_mutex);
    m_views.push_back(std::make_unique<TerminalView>(setup));
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

bool SkippedPort(const PortEntry& port, const std::vector<PortArgument>& skipped) {
  for (const PortArgument& s : skipped) {
    if (s.number != 0 ? s.number == port.number : ListedPortOfPath(s.path, {port}) == port.number) return true;
  }
  return false;
}

int RunStation(const CommandLine& line, const TerminalSetup& base, TerminalView& mainView,
               device::PortOpener& opener, const app::FirmwareSet& firmware, const std::vector<PortEntry>& ports,
               InterruptState& interrupts) {
  interrupts.setSeveral(true);
  SharedOutput shared(base.err, base.errIsTerminal && !base.quiet, base.columns);
  PortViews views(base, shared);

  app::Station station(firmware, opener);
  station.SetRecordFile(line.recordFile);
  station.SetOnProgramming([&interrupts](bool any) { interrupts.setTransferActive(any); });
  // One line per device, whole, that a person reads at a glance.
  station.SetOnOutcome([&shared, &base](const app::StationOutcome& o) {
    shared.WriteLine(base.out, NameOf(o.port) + ": " + PrintableText(app::StationResultLine(o)));
  });
  for (const PortEntry& port : ports) station.AddPort(port, views.For(port));
  if (line.allPorts)
    station.JoinNewPorts([&line](const PortEntry& port) { return !SkippedPort(port, line.skipPorts); },
                         [&views](const PortEntry& port) -> LoaderView& { return views.For(port); });
  station.Start();

  std::atomic<bool> ended{false};
  std::thread waiter;
  int handled = 0;
  while (!ended.load()) {
    const int presses = interrupts.presses();
    if (presses > handled) {
      handled = presses;
      // The first arms nothing new and lets the devices being programmed finish; the second
      // cuts them.
      station.RequestStop(presses >= 2 ? app::StationStop::All : app::StationStop::Idle);
      if (!waiter.joinable())
        waiter = std::thread([&station, &ended] {
          station.Wait();
          ended = true;
        });
    }
    std::this_thread::sleep_for(kLookEvery);
  }
  waiter.join();
  views.EndProgress();

  std::vector<LineOutcome> outcomes;
  for (const app::StationOutcome& o : station.Outcomes()) {
    LineOutcome lo;
    lo.port = o.port;
    lo.stopped = o.stopped;
    lo.code = o.code;
    outcomes.push_back(lo);
  }
  mainView.Note(SummaryLine(outcomes));
  std::string cutPorts;
  for (const PortEntry& port : station.CutWhileProgramming()) cutPorts += (cutPorts.empty() ? "" : ", ") + NameOf(port);
  if (!cutPorts.empty())
    mainView.Note("vorloader-cli: stopped while " + cutPorts + " " +
                  (cutPorts.find(',') == std::string::npos ? "was" : "were") +
                  " being programmed; a raw boot may be needed");
  return handled >= 2 ? interrupts.exitStatus() : 0;
}

}  // namespace cli
