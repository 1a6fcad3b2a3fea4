#pragma once
// What a production line and a station share: how far a stop reaches, how many ports are
// being erased or programmed, the outcomes of the finished runs with their counts and the
// ports cut short, the summary line, the exit status and the note after a cut. Both hold one
// LineCore, so the two apply one policy.
//
// How it is guarded: the core's mutex guards all it holds; every member may be called from
// any thread. The programming hook is called with that mutex held (so that the changes it
// hears keep their order) and must only store; the core calls nothing else outside itself.

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/load_result.h"
#include "common/port_entry.h"

namespace app {

// How much a stop request stops.
enum class StopLevel {
  None,
  Idle,  // the sessions not erasing or programming; those that are finish their image
  All,   // every session, even one being programmed (it may then need a raw boot)
};

// The level of a front end's stop presses so far: none stops nothing, the first stops what is
// not being programmed, the second and later everything.
StopLevel StopLevelFor(int presses);

// Whether a stop of `level` reaches a session that is (or is not) being erased or programmed.
bool StopReaches(StopLevel level, bool programming);

// What one run on one port ended with.
struct LineOutcome {
  PortEntry port;
  bool stopped = false;  // by a stop request, so without a result
  int code = 0;          // the result code when not stopped
  bool cut = false;      // stopped while its device was being erased or programmed

  RunOutcome outcome() const { return stopped ? RunOutcome::Stopped : OutcomeOfResult(code); }
};

// The counts of finished runs.
struct LineCounts {
  int devices = 0;
  int programmed = 0;
  int failed = 0;   // a failure, or a stop
  int refused = 0;  // the device left alone on purpose

  void Add(const LineOutcome& outcome);
};

// The summary of a production line run: "summary: N devices: P programmed, F failed,
// R refused", then the ports and codes of those not programmed ("; not programmed: COM2 5,
// COM3 stopped").
std::string SummaryLine(const std::vector<LineOutcome>& outcomes);

// The exit status: 0 when every session ended with 0, else the code of the first outcome (in
// the order given) that did not; a stopped session counts as `stoppedStatus`.
int LineExitStatus(const std::vector<LineOutcome>& outcomes, int stoppedStatus);

// The exit status of a station, which runs until it is stopped: a stop of every device, or a
// device cut short, is no clean end (`stoppedStatus`); a stop that let every device finish is.
int StationExitStatus(StopLevel reached, bool anyCut, int stoppedStatus);

// Whether a run that ended `stopped` cut its device short: the stop met it programming (or it
// began programming after the stop) and its erase command had gone to the device. A stop seen
// before the erase declines the device, whose firmware stays whole.
bool RunWasCut(bool stopped, bool stopMetProgramming, bool eraseWritten);

// "stopped while COM2, COM3 were being programmed; a raw boot may be needed": the note after a
// stop that cut these ports in their erase or image stream. Empty when none was.
std::string CutNote(const std::vector<PortEntry>& cut);
// The same note as a sentence of its own ("Stopped while COM2 was ... may be needed.").
std::string CutSentence(const std::vector<PortEntry>& cut);

// What a line or a station ended with.
struct LineFinish {
  std::string summary;
  std::vector<PortEntry> cut;  // the ports stopped while their device was being programmed
  std::string cutNote;         // CutNote(cut)
  int exitStatus = 0;
};

class LineCore {
 public:
  // In what order the outcomes are told and which exit rule applies: a line's ports run once
  // each and are told in the order they were added (LineExitStatus); a station's runs are told
  // in the order they ended (StationExitStatus).
  enum class Kind { Line, Station };

  explicit LineCore(Kind kind) : m_kind(kind) {}
  LineCore(const LineCore&) = delete;
  LineCore& operator=(const LineCore&) = delete;

  // Told whenever some port starts or the last one stops being erased or programmed. Set
  // before any port runs.
  void SetOnProgramming(std::function<void(bool anyProgramming)> hook) { m_onProgramming = std::move(hook); }

  // Raises the stop level to `level` (a request never lowers it); returns the level now.
  StopLevel RaiseStop(StopLevel level);
  StopLevel stopLevel() const;

  // One port began (`active`) or ended being erased or programmed.
  void ProgrammingChanged(bool active);
  bool anyProgramming() const;

  // A run ended. `order` places it among a line's outcomes (its port's place in the line); a
  // station ignores it.
  void Finished(const LineOutcome& outcome, std::size_t order = 0);

  std::vector<LineOutcome> Outcomes() const;
  LineCounts counts() const;
  std::vector<PortEntry> Cut() const;
  std::string Summary() const { return SummaryLine(Outcomes()); }
  int ExitStatus(int stoppedStatus) const;
  // The summary, the ports cut and the exit status, once every port has ended.
  LineFinish Finish(int stoppedStatus) const;

 private:
  struct Ended {
    std::size_t order;
    LineOutcome outcome;
  };

  const Kind m_kind;
  std::function<void(bool)> m_onProgramming;
  mutable std::mutex m_mutex;
  StopLevel m_level = StopLevel::None;
  int m_programming = 0;
  std::vector<Ended> m_ended;  // in the order they ended
  LineCounts m_counts;
};

}  // namespace app
