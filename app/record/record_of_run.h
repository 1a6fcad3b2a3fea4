#pragma once
// Turns what a device workflow knows when it ends into its RunRecord. The device session keeps
// a RunFacts as its workflow goes (the port, its identity before and after, the file chosen,
// how far programming went, the time spent waiting for answers) and, after the result line,
// gives the record of every run on a port to its record sink (app::DeviceSession::SaveRecord).

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/record/record_file.h"
#include "app/record/run_record.h"
#include "common/loader_view.h"
#include "device/link.h"

namespace app {

struct RunFacts {
  std::string_view workflow = kWorkflowConnect;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::optional<PortEntry> port;            // the port searched, then the one the device answered on
  std::optional<device::Identity> before;   // as identified, before anything was changed
  std::optional<device::Identity> after;    // as read back after programming (or the restart)
  std::optional<std::string> firmwarePath;  // folder + name of the file chosen for the device
  bool eraseBegan = false;                  // the erase command went to the device
  bool programmed = false;                  // the erase was answered and the file began to go out
  std::chrono::milliseconds waited{0};      // spent waiting for the answers to questions
  std::optional<std::string> sha256;        // of the file's bytes as checked and sent
  std::string runId;                        // NewRunId() when the run began
  std::string station;                      // StationName() when the run began
  std::string operatorName;                 // who ran it; empty when nobody said
  std::string workOrder;                    // what for; empty when nobody said
  std::string profileName;                  // the station profile's name; empty without one
  std::string profileSha256;                // of the station profile's file
};

// A random version 4 UUID in its lower-case text form, new for every run.
std::string NewRunId();
// This machine's host name; "unknown" when the system gives none.
std::string StationName();

using SystemClock = std::function<std::chrono::system_clock::time_point()>;

// The record of a run that ended with result `code` (RESULT_STOPPED: kStoppedCode and
// kStoppedResult): the device's ID and name from `before`, or from `after` when the device
// only named itself after its restart (null without either), the version before and after,
// the file's name when one was chosen and its SHA-256 when it was programmed (the digest of
// the bytes the file check accepted, which are the bytes sent), whether the erase began, the
// code's log text, the time since `started` less the time spent waiting for answers (which
// is kept on its own), `now()` as the time and this loader's version.
RunRecord RecordOfRun(
    const RunFacts& facts, int code, const SystemClock& now = [] { return std::chrono::system_clock::now(); },
    std::chrono::steady_clock::time_point ended = std::chrono::steady_clock::now());

}  // namespace app
