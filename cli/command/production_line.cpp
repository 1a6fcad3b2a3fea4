#include "cli/command/production_line.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "app/device_session.h"
#include "cli/output/quiet_output.h"
#include "cli/output/shared_output.h"
#include "cli/output/terminal_text.h"

namespace cli {

namespace {

// How often the stop signals are looked at while the sessions run.
constexpr auto kLookEvery = std::chrono::milliseconds(20);

std::string PortName(const PortEntry& port) {
  return "COM" + std::to_string(port.number);
}

// One port's session, its view and its thread's state.
struct Station {
  std::unique_ptr<TerminalView> view;
  std::unique_ptr<app::DeviceSession> session;
  std::atomic<bool> inTransfer{false};
  std::atomic<bool> done{false};
  bool stopped = false;  // asked to stop
  bool cut = false;      // stopped while programming
};

}  // namespace

std::string SummaryLine(const std::vector<LineOutcome>& outcomes) {
  int programmed = 0;
  int failed = 0;
  int refused = 0;
  std::string notProgrammed;
  for (const LineOutcome& o : outcomes) {
    const LoadResultInfo* info = o.stopped ? nullptr : FindLoadResult(o.code);
    if (!o.stopped && o.code == RESULT_OK) {
      ++programmed;
      continue;
    }
    if (info != nullptr && info->refusal)
      ++refused;
    else
      ++failed;
    notProgrammed += (notProgrammed.empty() ? "; not programmed: " : ", ") + PortName(o.port) + " " +
                     (o.stopped ? std::string("stopped") : std::to_string(o.code));
  }
  return "summary: " + std::to_string(outcomes.size()) + " devices: " + std::to_string(programmed) +
         " programmed, " + std::to_string(failed) + " failed, " + std::to_string(refused) + " refused" +
         notProgrammed;
}

int LineExitStatus(const std::vector<LineOutcome>& outcomes, int stoppedStatus) {
  for (const LineOutcome& o : outcomes) {
    if (o.stopped) return stoppedStatus;
    if (o.code != RESULT_OK) return o.code;
  }
  return 0;
}

int RunProductionLine(const CommandLine& line, const TerminalSetup& base, TerminalView& mainView,
                      device::PortOpener& opener, const app::FirmwareSet& firmware,
                      const std::vector<PortEntry>& ports, InterruptState& interrupts) {
  interrupts.setSeveral(true);
  SharedOutput shared(base.err, base.errIsTerminal && !base.quiet, base.columns);
  std::mutex transferMutex;
  int transfers = 0;

  std::vector<std::unique_ptr<Station>> stations;
  for (const PortEntry& port : ports) {
    auto station = std::make_unique<Station>();
    Station* s = station.get();
    TerminalSetup setup = base;
    setup.prefix = PortName(port) + ": ";
    setup.shared = &shared;
    // Boxes are answered by --yes or --no; the board draws the live lines.
    setup.errIsTerminal = false;
    setup.inIsTerminal = false;
    setup.interrupts = nullptr;
    setup.onTransfer = [s, &transferMutex, &transfers, &interrupts](bool active) {
      std::lock_guard<std::mutex> lock(transferMutex);
      if (s->inTransfer.exchange(active) != active) transfers += active ? 1 : -1;
      interrupts.setTransferActive(transfers > 0);
    };
    s->view = std::make_unique<TerminalView>(setup);
    s->session = std::make_unique<app::DeviceSession>(firmware, *s->view, opener);
    device::PortList own;
    own.entries = {port};
    own.selected = 0;
    // Two sessions must never reach the same device: each keeps to its own port.
    s->session->SetPorts(own, false);
    s->session->SetRecordFile(line.recordFile);
    stations.push_back(std::move(station));
  }

  std::vector<std::thread> threads;
  for (auto& station : stations) {
    Station* s = station.get();
    threads.emplace_back([s] {
      s->session->OnConnect();
      s->done = true;
    });
  }

  // The stop signals, as the sessions stand when each comes.
  int handled = 0;
  for (;;) {
    bool allDone = true;
    for (auto& s : stations) allDone = allDone && s->done.load();
    if (allDone) break;
    const int presses = interrupts.presses();
    if (presses > handled) {
      for (auto& s : stations) {
        if (s->stopped || s->done.load()) continue;
        const bool programming = s->inTransfer.load();
        // At the first signal a device being programmed finishes its image.
        if (presses == 1 && programming) continue;
        s->cut = programming;
        s->stopped = true;
        s->session->RequestStop();
      }
      handled = presses;
    }
    std::this_thread::sleep_for(kLookEvery);
  }
  for (std::thread& t : threads) t.join();

  std::vector<LineOutcome> outcomes;
  std::string cutPorts;
  for (std::size_t i = 0; i < stations.size(); ++i) {
    Station& s = *stations[i];
    s.view->EndProgress();
    const std::optional<LoadResult> result = s.session->lastResult();
    LineOutcome o;
    o.port = ports[i];
    o.stopped = !result || *result == RESULT_STOPPED;
    o.code = o.stopped ? 0 : *result;
    outcomes.push_back(o);
    if (s.cut && o.stopped) cutPorts += (cutPorts.empty() ? "" : ", ") + PortName(ports[i]);
    if (line.quiet)
      for (const std::string& kept :
           QuietResultLines(line.command, o.stopped ? kExitInterrupted : o.code, s.view->heldLog()))
        shared.WriteLine(base.out, PortName(ports[i]) + ": " + PrintableText(kept));
  }
  mainView.Note(SummaryLine(outcomes));
  if (!cutPorts.empty())
    mainView.Note("vorloader-cli: stopped while " + cutPorts + " " +
                  (cutPorts.find(',') == std::string::npos ? "was" : "were") +
                  " being programmed; a raw boot may be needed");
  return LineExitStatus(outcomes, interrupts.exitStatus());
}

}  // namespace cli
