#pragma once
// A production line: several devices programmed at once, one device session per port, each on
// its own thread, all reading the one firmware set prepared before. Each session searches its
// own port only, so two sessions never reach the same device.
//
// How it is guarded:
//   - The line's port list is guarded by the line's mutex; ports may be added while others run
//     (Start launches the ports not started yet). The stop level, the programming count and
//     the outcomes are the line core's (see LineCore), guarded by its own mutex.
//   - Each LinePort guards its state, history, outcomes and stop flags with its own mutex; the
//     change into and out of programming and a stop decision are made under that mutex, so a
//     stop never misses a port that is just starting to program.
//   - RequestStop may be called from any thread (a relay of the process's stop signals, a
//     window's button); it only asks sessions to stop (a stop_source), it never waits.
//   - The views given to AddPort are called from their port's thread only, as a session calls
//     its view; the onProgramming hook is called with the core's mutex held and must only store.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/device_session.h"
#include "app/firmware_set.h"
#include "app/line_core.h"
#include "app/port_state.h"
#include "app/session_events.h"
#include "common/load_result.h"
#include "common/loader_view.h"
#include "platform/serial_port.h"

namespace app {

class ProductionLine;

// One port of the line: its session, the view it reports to, its state and its outcomes. It
// learns what its session does from the session's events.
class LinePort final : private SessionEvents {
 public:
  const PortEntry& port() const { return m_port; }
  // Ready, then Checking while its session runs (Programming while its device is being erased
  // or programmed), then Ended.
  PortState state() const;
  // Every state the port has been in, in order, starting with Ready.
  std::vector<PortState> history() const;
  // The outcomes of its finished runs, in order.
  std::vector<LineOutcome> outcomes() const;
  // The session, for settings made before Start (record file, link timing in tests); not to be
  // touched while it runs.
  DeviceSession& session() { return *m_session; }

  LinePort(ProductionLine& line, const FirmwareSet& firmware, platform::PortOpener& opener,
           const PortEntry& port, LoaderView& view);
  LinePort(const LinePort&) = delete;
  LinePort& operator=(const LinePort&) = delete;
  ~LinePort() override;

 private:
  friend class ProductionLine;

  // The session's events, from the port's thread.
  void programmingBegan() override { SetProgramming(true); }
  void programmingEnded() override { SetProgramming(false); }
  void runFinished(const SessionRunEnd& end) override { m_lastEnd = end; }

  void SetProgramming(bool active);
  void SetState(PortState state);  // call with m_mutex held
  // Asks the session to stop if `level` reaches it; true when it was asked now.
  bool Stop(StopLevel level);
  // Runs the session's Connect and records its outcome (the port's thread).
  void RunOnce();

  ProductionLine& m_line;
  std::size_t m_index = 0;  // its place in the line
  PortEntry m_port;
  std::unique_ptr<DeviceSession> m_session;
  std::optional<SessionRunEnd> m_lastEnd;  // of its run, once ended (the port's thread)
  mutable std::mutex m_mutex;
  PortState m_state = PortState::Ready;
  std::vector<PortState> m_history{PortState::Ready};
  std::vector<LineOutcome> m_outcomes;
  bool m_stopAsked = false;  // this run's session was asked to stop
  bool m_cut = false;        // ... while programming, or programming began after it
  std::thread m_thread;
};

class ProductionLine {
 public:
  ProductionLine(const FirmwareSet& firmware, platform::PortOpener& opener);
  ~ProductionLine();  // waits for the ports still running
  ProductionLine(const ProductionLine&) = delete;
  ProductionLine& operator=(const ProductionLine&) = delete;

  // A port and the view its session reports to (which must outlive the line). Its session
  // searches this port alone. Any thread; a port added after Start waits for the next Start.
  LinePort& AddPort(const PortEntry& port, LoaderView& view);
  // Told, with the core's mutex held, whenever some port starts or the last one stops being
  // erased or programmed (a signal relay warns before stopping then). Set before Start.
  void SetOnProgramming(std::function<void(bool anyProgramming)> hook) {
    m_core.SetOnProgramming(std::move(hook));
  }

  // Starts Connect on every port not started yet, each on its own thread.
  void Start();
  // Waits until every started port has ended.
  void Wait();
  // Start, then Wait.
  void Run();

  // From any thread: stops what `level` names now, and what a higher level names later. A
  // request never lowers the level.
  void RequestStop(StopLevel level);
  StopLevel stopLevel() const;
  bool anyProgramming() const;

  // The outcomes of every port's runs, in the order the ports were added.
  std::vector<LineOutcome> Outcomes() const { return m_core.Outcomes(); }
  LineCounts counts() const { return m_core.counts(); }
  std::string Summary() const { return m_core.Summary(); }
  int ExitStatus(int stoppedStatus) const { return m_core.ExitStatus(stoppedStatus); }
  // The ports stopped while their device was being erased or programmed.
  std::vector<PortEntry> CutWhileProgramming() const { return m_core.Cut(); }
  // The summary, the ports cut and the exit status, once the line has ended.
  LineFinish Finish(int stoppedStatus) const { return m_core.Finish(stoppedStatus); }
  std::vector<LinePort*> ports() const;

 private:
  friend class LinePort;
  const FirmwareSet& m_firmware;
  platform::PortOpener& m_opener;
  LineCore m_core{LineCore::Kind::Line};  // stop level, programming count, outcomes
  mutable std::mutex m_mutex;
  std::deque<std::unique_ptr<LinePort>> m_ports;  // stable addresses
  std::size_t m_started = 0;                      // m_ports[0, m_started) have threads
};

}  // namespace app
