#pragma once
// A production station: the production line's stop levels and summary over ports that each
// run one device after another. Every port loops on its own thread, unattended. It waits for a device
// (a quiet identify poll about once a second), runs Connect on it when one answers, and then
// waits for it to leave before it waits for the next. A device that stays plugged is run once,
// even when it falls silent for a while (a slow restart): the same ID answering again on the
// same port within about ten seconds, its node unchanged, is the same device. A device with
// another ID answering on the port is a new device. A port another program holds is tried
// once per poll.
//
// How it is guarded:
//   - The station's mutex guards its port list, every port's status and the outcomes with
//     their devices. The stop level, the programming count and the outcomes as a line counts
//     them are the line core's (see LineCore, its own mutex, taken after the station's). The
//     change into and out of programming and every stop decision are made under the station's
//     mutex, so a stop never misses a port that is just starting to program.
//   - Each port's thread owns its session, its poll and its link; no other thread touches them
//     but to ask for a stop (stop_sources, safe from any thread).
//   - Hold and Resume keep every port from beginning a device run (m_held, under the mutex):
//     a port that finds a device waits for Resume before it touches the firmware set, and
//     Hold returns only once no port is in a run, so the firmware set can be refreshed
//     between devices.
//   - The observer is called from the ports' threads (and from RequestStop's caller), without
//     the station's mutex; it must be thread-safe itself. The programming hook is called with
//     the core's mutex held and must only store.
//   - A view given to AddPort is called from its port's thread only.
//   - The node watcher reads the ports' paths (fixed once added) without the mutex, and writes
//     what they name, and its count of changes, under it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/firmware_set.h"
#include "app/line_core.h"
#include "app/port_state.h"
#include "app/record/record_sink.h"
#include "app/session_events.h"
#include "app/site_control.h"
#include "app/station/port_node.h"
#include "common/loader_view.h"
#include "device/wire_trace.h"
#include "platform/serial_port.h"

namespace app {

// The device a port saw last.
struct StationDevice {
  std::uint32_t id = 0;
  std::string name;           // as the device names itself, trailing blanks dropped
  std::string versionBefore;  // as found
  std::string versionAfter;   // after a good programming; else empty
  std::string versionTarget;  // the catalogue's version for it, once known
};

struct StationPortStatus {
  PortEntry port;
  // Where the port stands; it moves only as the station's port machine allows
  // (NextStationState).
  PortState state = PortState::Waiting;
  StationDevice device;     // from Checking on: the current or last device
  int runs = 0;             // the port's device runs so far; the last one's result follows
  int result = 0;           // the last device's result code (Programmed, Failed, UpToDate...)
  bool stopped = false;     // the last device's run was stopped, so it has no result code
  StreamProgress progress;  // while Programming
  int programmed = 0;       // the port's devices so far, by outcome
  int failed = 0;
  int refused = 0;
};

// One device run: what it ended with, as a production line counts it, and its device.
struct StationOutcome {
  LineOutcome run;
  StationDevice device;
  std::string detail;  // why it ended so, when its result says less (the session's result detail)
};

// What a terminal says when a port's state changes from `before` (none: the port's first
// state) to `now`: "waiting for a device", "waiting for the port to appear", "device left;
// waiting for a device"... Empty for the changes a port's own lines tell already (a device
// checked, programmed, its result) and for none at all.
std::string StationStateLine(std::optional<PortState> before, PortState now);

// "ID 11456 (VORnet Amp) V1.20 -> V1.30: -Device Programed OK.": a run's result at a glance. An
// image the profile does not approve is named with its SHA-256 and the profile after the result.
std::string StationResultLine(const StationOutcome& outcome);

class Station {
 public:
  using Observer = std::function<void(const StationPortStatus&)>;

  Station(const FirmwareSet& firmware, platform::PortOpener& opener);
  ~Station();  // stops everything and waits
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Settings, before Start.
  // Where every port's sessions write their records (shared by all of them; see RecordSink);
  // without one, the record file the rules choose when each run begins.
  void SetRecordSink(std::shared_ptr<RecordSink> sink) { m_recordSink = std::move(sink); }
  // Every port's session runs under this (operator, work order, profile, approved images).
  void SetSiteControl(std::shared_ptr<const SiteControl> site) { m_site = std::move(site); }
  // Every port's session traces its wire traffic with this (the terminal's -v).
  void SetWireTrace(device::WireTrace trace) { m_trace = trace; }
  // Told of every change of a port's status (each progress step included), with the new status;
  // also of a port's first state, once its first poll has found what it waits for.
  void SetObserver(Observer observer) { m_observer = std::move(observer); }
  // Told whenever some port starts or the last one stops being erased or programmed.
  void SetOnProgramming(std::function<void(bool)> hook) { m_core.SetOnProgramming(std::move(hook)); }
  // Told of every finished device run.
  void SetOnOutcome(std::function<void(const StationOutcome&)> hook) { m_onOutcome = std::move(hook); }
  // How often an idle port is polled (about once a second).
  void SetPollInterval(std::chrono::milliseconds every) { m_pollEvery = every; }

  // A port and the view its sessions report to (it must outlive the station). From any thread;
  // once the station runs, the port starts at once. False when the port is already there.
  bool AddPort(const PortEntry& entry, LoaderView& view);
  bool HasPort(int number) const;

  // Ports that appear later join: about every second, each port 1..32 not in the station,
  // for which `wanted` says yes, is tried; one that opens is added with the view `viewFor`
  // gives. `wanted` and `viewFor` are called from the watcher's thread.
  void JoinNewPorts(std::function<bool(const PortEntry&)> wanted,
                    std::function<LoaderView&(const PortEntry&)> viewFor);

  void Start();
  // From any thread: Idle arms nothing new (the ports not programming end now, those
  // programming once their image is in), All cuts everything. A request never lowers the level.
  void RequestStop(StopLevel level);
  // Waits until every port has ended (after a stop request).
  void Wait();
  // From any thread but a port's: no port begins a device run from now until Resume, and
  // this returns once the runs under way (if any) have ended. A stop still ends every port.
  void Hold();
  void Resume();

  StopLevel stopLevel() const;
  bool anyProgramming() const;
  std::vector<StationPortStatus> Snapshot() const;
  // Every device run so far, in the order they ended.
  std::vector<StationOutcome> Outcomes() const;
  // The production line's summary of every device run so far.
  std::string Summary() const { return m_core.Summary(); }
  // The ports stopped while their device was being erased or programmed.
  std::vector<PortEntry> CutWhileProgramming() const { return m_core.Cut(); }
  // The summary, the ports cut and the exit status (StationExitStatus), once it has ended.
  LineFinish Finish(int stoppedStatus) const { return m_core.Finish(stoppedStatus); }

 private:
  struct Port;
  class PortView;
  class PortEvents;

  void RunPort(Port& port);
  // Begins a device run if nothing stops it; false when the port is to end.
  bool BeginRun(Port& port, const StationDevice& device);
  // Ends the run with the session's result; false when the port is to end.
  bool EndRun(Port& port);
  // The last run did not reach the device the poll found (it left, or did not answer again).
  static bool MissedDevice(const Port& port);
  // Moves the port's state by `event` as the port machine says (call with m_mutex held); false
  // when the machine refuses the event, which leaves the state as it was.
  static bool Move(Port& port, PortEvent event);
  // Moves the port's state by `event` and tells it when it changed, or `always`.
  void Apply(Port& port, PortEvent event, bool always = false);
  PortState StateOf(const Port& port) const;
  void SetProgramming(Port& port, bool active);
  void FirmwareChosen(Port& port, const std::string& version);
  void Progress(Port& port, const StreamProgress& p);
  void Notify(const StationPortStatus& status);
  enum class Wake { Elapsed, NodeChanged, Stopped };
  std::uint64_t NodeChanges(const Port& port) const;
  PortNode NodeOf(const Port& port) const;  // what the node watcher saw last
  // The port's node is absent as the watcher saw it, and its folder is watched for it.
  bool NodesWatchedAbsent(const Port& port) const;
  // Sleeps `d`, or less when the port's path has named another node since the node watcher's
  // count of changes was `since` (a device pulled out or plugged in), or the loop is stopped.
  Wake SleepWatching(Port& port, std::chrono::milliseconds d, std::uint64_t since);
  // Looks at every port's path about ten times a second and wakes the ports whose node changed:
  // one thread for the station, so that an idle port costs only its poll.
  void WatchNodes(const std::stop_token& stop);
  void StartPort(Port& port);  // call with m_mutex held
  void WatchPorts(const std::stop_token& stop);

  const FirmwareSet& m_firmware;
  platform::PortOpener& m_opener;
  std::shared_ptr<RecordSink> m_recordSink;
  std::shared_ptr<const SiteControl> m_site;
  device::WireTrace m_trace = device::WireTrace::Off;
  Observer m_observer;
  std::function<void(const StationOutcome&)> m_onOutcome;
  std::chrono::milliseconds m_pollEvery{1000};

  mutable std::mutex m_mutex;
  std::condition_variable_any m_wake;
  bool m_nodesWatched = false;                // the ports' node folders are watched (under m_mutex)
  std::deque<std::unique_ptr<Port>> m_ports;  // stable addresses
  std::vector<StationOutcome> m_outcomes;
  LineCore m_core{LineCore::Kind::Station};
  bool m_started = false;
  bool m_held = false;  // between Hold and Resume

  std::function<bool(const PortEntry&)> m_wanted;
  std::function<LoaderView&(const PortEntry&)> m_viewFor;
  std::jthread m_watcher;
  std::jthread m_nodeWatcher;
};

}  // namespace app
