#include "app/station/station.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

#include "app/device_session.h"
#include "app/forwarding_view.h"
#include "app/station/device_poll.h"
#include "platform/node_watch.h"

namespace app {

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 32;
// A device that stays silent this many polls in a row has left.
constexpr int kSilentPollsGone = 2;
// How often the node watcher looks at every port's path when their folders cannot be watched.
constexpr std::chrono::milliseconds kWatchEvery{100};
// How long a watched port's path goes unlooked at while its folder reports no change.
constexpr std::chrono::milliseconds kSafetyLook{2000};
// How often a port whose node is absent (and watched) is opened all the same.
constexpr std::chrono::seconds kAbsentPollEvery{30};
// A device that fell silent while it stayed plugged in (its port's node the same) and answers
// again with its ID within this time has restarted slowly: it is the device run last.
constexpr std::chrono::seconds kSameDeviceWithin{10};

std::string TrimmedRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// The event that brings a port back to `result`, the state its device's run left it in.
PortEvent ResultEventOf(PortState result) {
  switch (result) {
    case PortState::Programmed:
      return PortEvent::Programmed;
    case PortState::UpToDate:
      return PortEvent::Refused;
    case PortState::NotApproved:
      return PortEvent::NotApproved;
    default:
      return PortEvent::Failed;
  }
}

StationDevice DeviceOf(const device::Identity& id) {
  StationDevice d;
  d.id = id.m_nDevId;
  d.name = TrimmedRight(id.m_strDevName);
  d.versionBefore = id.m_strDevVersion;
  return d;
}

}  // namespace

std::string StationStateLine(std::optional<PortState> before, PortState now) {
  const bool hadDevice = before && HoldsAResult(*before);
  if (before == now) return {};
  switch (now) {
    case PortState::Waiting:
      return hadDevice ? "device left; waiting for a device" : "waiting for a device";
    case PortState::PortGone:
      return hadDevice ? "device left; waiting for the port to appear" : "waiting for the port to appear";
    case PortState::Programmed:
    case PortState::Failed:
    case PortState::UpToDate:
    case PortState::NotApproved:
      // Only a device that fell silent and answers again goes straight back to its result.
      return before == PortState::Waiting ? "the same device answers again; waiting for it to leave"
                                          : std::string();
    default:
      return {};
  }
}

std::string StationResultLine(const StationOutcome& outcome) {
  const LineOutcome& o = outcome.run;
  const StationDevice& d = outcome.device;
  std::string line = "ID " + std::to_string(d.id) + " (" + d.name + ") V" + d.versionBefore + " -> ";
  const LoadResultInfo* info = o.stopped ? nullptr : FindLoadResult(o.code);
  switch (o.outcome()) {
    case RunOutcome::Programmed:
      line += "V" + d.versionAfter;
      break;
    case RunOutcome::Refused:
      line += "V" + d.versionBefore;  // left alone
      break;
    case RunOutcome::Failed:
    case RunOutcome::Stopped:
      line += "?";  // what the flash now holds is not known
      break;
  }
  std::string text = o.stopped         ? std::string("stopped")
                     : info != nullptr ? std::string(info->logMessage)
                                       : "";
  text.erase(0, text.find_first_not_of(' '));
  if (!o.stopped && o.code == RESULT_NOT_APPROVED && !outcome.detail.empty())
    text += " " + outcome.detail + ".";
  return line + ": " + text;
}

// One port: its session and the view it reports through, its thread and its status.
struct Station::Port {
  PortEntry entry;
  std::unique_ptr<PortView> observing;
  std::unique_ptr<PortEvents> events;
  std::unique_ptr<DeviceSession> session;
  std::optional<SessionRunEnd> lastEnd;  // of the last run, once it ended (the port's thread)
  std::stop_source loop;                 // ends the port's polls and waits
  StationPortStatus status;
  bool inRun = false;
  bool programming = false;
  // The stop met this run programming, or the run began programming after its stop: if its
  // erase went out, the device was cut short.
  bool stopMetProgramming = false;
  PortNode node;                  // what its path names, as the node watcher saw it last
  std::uint64_t nodeChanges = 0;  // how often that changed
  std::thread thread;
};

// The port's view as its session sees it: everything goes on to the front end's view; the
// station shows the image stream's progress in the port's status too.
class Station::PortView final : public ForwardingView {
 public:
  PortView(Station& station, Port& port, LoaderView& next)
      : ForwardingView(next), m_station(station), m_port(port) {}

  void progress(const StreamProgress& p) override {
    m_next.progress(p);
    m_station.Progress(m_port, p);
  }

 private:
  Station& m_station;
  Port& m_port;
};

// What the port's session tells of itself, from the port's thread.
class Station::PortEvents final : public SessionEvents {
 public:
  PortEvents(Station& station, Port& port) : m_station(station), m_port(port) {}

  void programmingBegan() override { m_station.SetProgramming(m_port, true); }
  void programmingEnded() override { m_station.SetProgramming(m_port, false); }
  void firmwareChosen(int /*row*/, const std::string& version) override {
    m_station.FirmwareChosen(m_port, version);
  }
  void runFinished(const SessionRunEnd& end) override;

 private:
  Station& m_station;
  Port& m_port;
};

Station::Station(const FirmwareSet& firmware, platform::PortOpener& opener)
    : m_firmware(firmware), m_opener(opener) {}

Station::~Station() {
  RequestStop(StopLevel::All);
  Wait();
}

bool Station::HasPort(int number) const {
  std::lock_guard lock(m_mutex);
  for (const auto& p : m_ports)
    if (p->entry.number == number) return true;
  return false;
}

bool Station::AddPort(const PortEntry& entry, LoaderView& view) {
  auto port = std::make_unique<Port>();
  port->entry = entry;
  port->status.port = entry;
  port->node = NodeAt(entry.path);
  port->observing = std::make_unique<PortView>(*this, *port, view);
  port->events = std::make_unique<PortEvents>(*this, *port);
  // A session of a station keeps to its own port: another port's device is another session's.
  port->session = std::make_unique<DeviceSession>(m_firmware, *port->observing, m_opener, entry);
  port->session->SetEvents(port->events.get());
  if (m_recordSink) port->session->SetRecordSink(m_recordSink);
  port->session->SetSiteControl(m_site);
  port->session->SetWireTrace(m_trace);
  std::lock_guard lock(m_mutex);
  for (const auto& p : m_ports)
    if (p->entry.number == entry.number) return false;
  m_ports.push_back(std::move(port));
  if (m_started && m_core.stopLevel() == StopLevel::None) StartPort(*m_ports.back());
  return true;
}

void Station::StartPort(Port& port) {
  port.thread = std::thread([this, &port] { RunPort(port); });
}

void Station::Start() {
  std::lock_guard lock(m_mutex);
  if (m_started) return;
  m_started = true;
  for (auto& p : m_ports) StartPort(*p);
  if (m_wanted) m_watcher = std::jthread([this](const std::stop_token& stop) { WatchPorts(stop); });
  m_nodeWatcher = std::jthread([this](const std::stop_token& stop) { WatchNodes(stop); });
}

void Station::WatchNodes(const std::stop_token& stop) {
  std::vector<Port*> ports;
  std::vector<PortNode> nodes;
  // The folders holding the ports' nodes are watched, so the paths are looked at only when one
  // of them changed (or after a while, should a change have slipped by); where they cannot be,
  // the paths are looked at on a short timer.
  std::unique_ptr<platform::NodeWatch> watch;
  std::size_t watched = 0;
  auto retryAt = std::chrono::steady_clock::time_point::min();
  bool relink = false;  // a node changed: a link may point into another folder now
  while (!stop.stop_requested()) {
    {
      std::lock_guard lock(m_mutex);
      ports.clear();
      for (auto& p : m_ports) ports.push_back(p.get());
    }
    // The watch is set up before the look, so a node that changes in between wakes the next wait.
    const auto now = std::chrono::steady_clock::now();
    if (!watch || ports.size() != watched || relink || (!watch->watching() && now >= retryAt)) {
      std::vector<std::string> paths;
      paths.reserve(ports.size());
      for (const Port* p : ports) paths.push_back(p->entry.path);
      watch = std::make_unique<platform::NodeWatch>(paths);
      watched = ports.size();
      retryAt = now + kSafetyLook;
    }
    // A port's path never changes once added: it is read without the lock.
    nodes.clear();
    for (const Port* p : ports) nodes.push_back(NodeAt(p->entry.path));
    {
      std::unique_lock lock(m_mutex);
      bool changed = false;
      for (std::size_t i = 0; i < ports.size(); ++i) {
        if (nodes[i] == ports[i]->node) continue;
        ports[i]->node = std::move(nodes[i]);
        ++ports[i]->nodeChanges;
        changed = true;
      }
      relink = changed;
      m_nodesWatched = watch->watching();
      if (changed) m_wake.notify_all();
      if (!watch->watching()) {
        m_wake.wait_for(lock, stop, kWatchEvery, [] { return false; });
        continue;
      }
    }
    // A port added meanwhile is watched from the next round: the wait is cut short for it.
    const auto until = std::chrono::steady_clock::now() + kSafetyLook;
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < until) {
      if (watch->WaitForChange(kWatchEvery * 5, stop)) break;
      std::lock_guard lock(m_mutex);
      if (m_ports.size() != watched) break;
    }
  }
}

void Station::JoinNewPorts(std::function<bool(const PortEntry&)> wanted,
                           std::function<LoaderView&(const PortEntry&)> viewFor) {
  std::lock_guard lock(m_mutex);
  m_wanted = std::move(wanted);
  m_viewFor = std::move(viewFor);
}

void Station::WatchPorts(const std::stop_token& stop) {
  std::set<int> leftOut;
  while (!stop.stop_requested()) {
    for (int n = kFirstPort; n <= kLastPort && !stop.stop_requested(); ++n) {
      if (leftOut.contains(n) || HasPort(n)) continue;
      // A path that is not there is no port yet; the system is asked more only for one that is.
      std::error_code ec;
      if (!std::filesystem::exists(m_opener.PathOf(n), ec)) continue;
      const PortEntry entry = m_opener.Describe(n);
      if (!m_wanted(entry)) {
        leftOut.insert(n);
        continue;
      }
      platform::OpenError error = platform::OpenError::None;
      std::unique_ptr<platform::SerialPort> probe = m_opener.Open(n, error);
      if (!probe) continue;
      probe->Close();
      probe.reset();
      AddPort(entry, m_viewFor(entry));
    }
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, stop, m_pollEvery, [] { return false; });
  }
}

void Station::RequestStop(StopLevel level) {
  {
    std::lock_guard lock(m_mutex);
    if (level <= m_core.stopLevel()) return;
    level = m_core.RaiseStop(level);
    m_watcher.request_stop();
    m_nodeWatcher.request_stop();
    for (auto& p : m_ports) {
      if (!StopReaches(level, p->programming)) continue;  // it ends once its image is in
      if (p->programming) p->stopMetProgramming = true;
      p->loop.request_stop();
      p->session->RequestStop();
    }
  }
  m_wake.notify_all();
}

void Station::Wait() {
  if (m_watcher.joinable()) m_watcher.join();
  if (m_nodeWatcher.joinable()) m_nodeWatcher.join();
  for (;;) {
    std::thread t;
    {
      std::lock_guard lock(m_mutex);
      for (auto& p : m_ports)
        if (p->thread.joinable()) {
          t = std::move(p->thread);
          break;
        }
    }
    if (!t.joinable()) return;
    t.join();
  }
}

void Station::Hold() {
  std::unique_lock lock(m_mutex);
  m_held = true;
  m_wake.wait(lock, [this] { return std::ranges::none_of(m_ports, [](const auto& p) { return p->inRun; }); });
}

void Station::Resume() {
  {
    std::lock_guard lock(m_mutex);
    m_held = false;
  }
  m_wake.notify_all();
}

StopLevel Station::stopLevel() const {
  return m_core.stopLevel();
}

bool Station::anyProgramming() const {
  return m_core.anyProgramming();
}

std::vector<StationPortStatus> Station::Snapshot() const {
  std::lock_guard lock(m_mutex);
  std::vector<StationPortStatus> all;
  for (const auto& p : m_ports) all.push_back(p->status);
  return all;
}

std::vector<StationOutcome> Station::Outcomes() const {
  std::lock_guard lock(m_mutex);
  return m_outcomes;
}

void Station::Notify(const StationPortStatus& status) {
  if (m_observer) m_observer(status);
}

bool Station::Move(Port& port, PortEvent event) {
  const std::optional<PortState> next = NextStationState(port.status.state, event);
  if (!next) return false;
  port.status.state = *next;
  return true;
}

void Station::Apply(Port& port, PortEvent event, bool always) {
  StationPortStatus copy;
  {
    std::lock_guard lock(m_mutex);
    const PortState before = port.status.state;
    const bool moved = Move(port, event);
    if (!always && (!moved || port.status.state == before)) return;
    copy = port.status;
  }
  Notify(copy);
}

void Station::PortEvents::runFinished(const SessionRunEnd& end) {
  m_port.lastEnd = end;
}

void Station::FirmwareChosen(Port& port, const std::string& version) {
  std::lock_guard lock(m_mutex);
  port.status.device.versionTarget = version;
}

void Station::SetProgramming(Port& port, bool active) {
  StationPortStatus copy;
  {
    std::lock_guard lock(m_mutex);
    if (port.programming == active) return;
    port.programming = active;
    m_core.ProgrammingChanged(active);
    if (active) {
      // A stop asked before now may still be met by the erase (the device declines it only
      // when the stop is seen before the erase command goes out).
      if (port.session->stopToken().stop_requested()) port.stopMetProgramming = true;
      Move(port, PortEvent::ProgrammingBegan);
      port.status.progress = {};
    }
    copy = port.status;
  }
  if (active) Notify(copy);
}

void Station::Progress(Port& port, const StreamProgress& p) {
  StationPortStatus copy;
  {
    std::lock_guard lock(m_mutex);
    port.status.progress = p;
    copy = port.status;
  }
  Notify(copy);
}

PortState Station::StateOf(const Port& port) const {
  std::lock_guard lock(m_mutex);
  return port.status.state;
}

bool Station::NodesWatchedAbsent(const Port& port) const {
  std::lock_guard lock(m_mutex);
  return m_nodesWatched && !port.node.present;
}

PortNode Station::NodeOf(const Port& port) const {
  std::lock_guard lock(m_mutex);
  return port.node;
}

std::uint64_t Station::NodeChanges(const Port& port) const {
  std::lock_guard lock(m_mutex);
  return port.nodeChanges;
}

Station::Wake Station::SleepWatching(Port& port, std::chrono::milliseconds d, std::uint64_t since) {
  std::unique_lock lock(m_mutex);
  const std::stop_token stop = port.loop.get_token();
  const bool changed = m_wake.wait_for(lock, stop, d, [&] { return port.nodeChanges != since; });
  if (stop.stop_requested()) return Wake::Stopped;
  return changed ? Wake::NodeChanged : Wake::Elapsed;
}

bool Station::BeginRun(Port& port, const StationDevice& device) {
  StationPortStatus copy;
  {
    std::unique_lock lock(m_mutex);
    // A device found while the ports are held waits for Resume (or for a stop).
    m_wake.wait(lock, port.loop.get_token(),
                [this] { return !m_held || m_core.stopLevel() != StopLevel::None; });
    // Nothing new is armed once a stop was asked for.
    if (m_core.stopLevel() != StopLevel::None) return false;
    port.inRun = true;
    port.stopMetProgramming = false;
    Move(port, PortEvent::DeviceFound);
    port.status.device = device;
    port.status.progress = {};
    copy = port.status;
  }
  Notify(copy);
  return true;
}

bool Station::MissedDevice(const Port& port) {
  return port.lastEnd &&
         (port.lastEnd->result == RESULT_NO_SINGLE_DEVICE || port.lastEnd->result == RESULT_PORT_OPEN_FAILED);
}

bool Station::EndRun(Port& port) {
  const std::optional<SessionRunEnd>& end = port.lastEnd;
  if (MissedDevice(port)) {
    // The device answered the poll but not the session: it was not reached, so this is no run
    // of it; the next poll tries again.
    bool goOn = false;
    {
      std::lock_guard lock(m_mutex);
      port.inRun = false;
      Move(port, PortEvent::Missed);
      goOn = m_core.stopLevel() == StopLevel::None;
    }
    m_wake.notify_all();  // a Hold waits for the runs to end
    return goOn;
  }
  StationOutcome whole;
  LineOutcome& outcome = whole.run;
  StationPortStatus copy;
  bool goOn = false;
  {
    std::lock_guard lock(m_mutex);
    port.inRun = false;
    outcome.port = port.entry;
    outcome.stopped = !end || end->result == RESULT_STOPPED;
    outcome.code = outcome.stopped ? 0 : end->result;
    outcome.cut = RunWasCut(outcome.stopped, port.stopMetProgramming, end && end->eraseWritten);
    if (!outcome.stopped && outcome.code == RESULT_OK) port.status.device.versionAfter = end->device.version;
    whole.device = port.status.device;
    if (!outcome.stopped) whole.detail = end->detail;
    ++port.status.runs;
    port.status.result = outcome.code;
    port.status.stopped = outcome.stopped;
    switch (outcome.outcome()) {
      case RunOutcome::Programmed:
        ++port.status.programmed;
        Move(port, PortEvent::Programmed);
        break;
      case RunOutcome::Refused:
        ++port.status.refused;
        Move(port, outcome.code == RESULT_NOT_APPROVED ? PortEvent::NotApproved : PortEvent::Refused);
        break;
      case RunOutcome::Failed:
      case RunOutcome::Stopped:  // counted as the line counts it: not programmed
        ++port.status.failed;
        Move(port, PortEvent::Failed);
        break;
    }
    m_outcomes.push_back(whole);
    m_core.Finished(outcome);
    copy = port.status;
    goOn = m_core.stopLevel() == StopLevel::None;
  }
  m_wake.notify_all();  // a Hold waits for the runs to end
  if (m_onOutcome) m_onOutcome(whole);
  Notify(copy);
  return goOn;
}

void Station::RunPort(Port& port) {
  DevicePoll poll(m_opener, port.entry.number, port.loop.get_token());
  PollAnswer found;
  bool haveDevice = false;  // a device answered and is to be run now
  // The device run last, after it fell silent while its port's node stayed the same: if it
  // answers again soon, it restarted (slowly) and is not run again.
  struct Silent {
    bool known = false;  // a device fell silent here
    std::uint32_t id = 0;
    std::chrono::steady_clock::time_point heard;  // when it answered last
    std::uint64_t nodeChanges = 0;                // the port's node changes then
    PortEvent result = PortEvent::Failed;         // what its run ended with
  };
  Silent gone;
  bool told = false;  // the port's state was told once: the first poll's is told whatever it is
  while (!port.loop.get_token().stop_requested()) {
    // 1. Waiting for a device: polled about once a second, and at once when the port's path
    // changes (an adapter with its device plugged in).
    bool sameAgain = false;  // the device that fell silent answers again
    if (!haveDevice) {
      const auto polled = std::chrono::steady_clock::now();
      const std::uint64_t since = NodeChanges(port);
      found = poll.Search();
      if (found.kind == PollAnswer::Kind::Stopped) break;
      if (found.kind != PollAnswer::Kind::Answered) {
        const bool busy = found.kind == PollAnswer::Kind::Busy;
        if (found.kind == PollAnswer::Kind::NoPort) gone = {};  // the port itself went
        Apply(port, found.kind == PollAnswer::Kind::Silent ? PortEvent::Silent : PortEvent::PortMissing,
              !told);
        told = true;
        // A port another program holds is looked at again after a whole interval: it may be
        // held for hours, and opening it over and over costs both programs.
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - polled);
        auto rest = spent < m_pollEvery ? m_pollEvery - spent : std::chrono::milliseconds(0);
        if (busy) rest = m_pollEvery;
        // A port whose node is not there is not opened in vain while its node is watched: the
        // watcher wakes the loop when the node comes.
        if (found.kind == PollAnswer::Kind::NoPort && NodesWatchedAbsent(port)) rest = kAbsentPollEvery;
        const Wake wake = SleepWatching(port, rest, since);
        if (wake == Wake::Stopped) break;
        // The poll's port, kept open, is the old node's: the new one is opened afresh.
        if (wake == Wake::NodeChanged) poll.Release();
        continue;
      }
      sameAgain = gone.known && gone.id == found.identity.m_nDevId && NodeChanges(port) == gone.nodeChanges &&
                  std::chrono::steady_clock::now() - gone.heard <= kSameDeviceWithin;
    }
    haveDevice = false;
    told = true;

    if (sameAgain) {
      // The same device, back from a restart: it was run already, and waits to leave again.
      Apply(port, gone.result);
    } else {
      // 2. A device answered: Connect on this port, which the poll hands over open at the
      // rate the device answered at.
      if (!BeginRun(port, DeviceOf(found.identity))) break;
      port.session->HandOverPort(poll.TakePort(), found.rate);
      port.lastEnd.reset();
      port.session->OnConnect();
      if (!EndRun(port)) break;
      if (MissedDevice(port)) continue;
    }
    gone = {};

    // 3. Waiting for it to leave, at the rate it answered. A port with a device is asked
    // twice as often as an idle one: the next device is found sooner after a swap, and a
    // device that left is gone after about a second; a path that changes under it (the
    // adapter pulled out, or another in its place) means it left at once.
    const std::uint32_t id = found.identity.m_nDevId;
    Silent last{true, id, std::chrono::steady_clock::now(), NodeChanges(port), ResultEventOf(StateOf(port))};
    int silent = 0;
    bool left = false;      // for certain: its port or its node went
    bool portGone = false;  // ... and the port with it
    for (;;) {
      const Wake wake = SleepWatching(port, m_pollEvery / 2, NodeChanges(port));
      if (wake == Wake::NodeChanged) {
        poll.Release();
        left = true;
        portGone = !NodeOf(port).present;
      }
      if (wake != Wake::Elapsed) break;
      const PollAnswer again = poll.At(found.rate);
      if (again.kind == PollAnswer::Kind::Stopped) break;
      if (again.kind == PollAnswer::Kind::Answered) {
        if (again.identity.m_nDevId == id) {
          silent = 0;
          last.heard = std::chrono::steady_clock::now();
          continue;
        }
        // Another device in its place, without a silent gap: a new device.
        found = again;
        haveDevice = true;
        break;
      }
      if (again.kind == PollAnswer::Kind::NoPort) {
        left = true;
        portGone = true;
        break;
      }
      if (++silent >= kSilentPollsGone) break;
    }
    // Silent on a port whose node stayed: pulled from a fixed port, or only restarting.
    if (!haveDevice && !left && last.nodeChanges == NodeChanges(port)) gone = last;
    if (!haveDevice) Apply(port, portGone ? PortEvent::PortMissing : PortEvent::Silent);
  }
  Apply(port, PortEvent::Stop);
}

}  // namespace app
