#pragma once
// Turns what a device workflow knows when it ends into its RunRecord. The workflow keeps a
// RunFacts as it goes and, at its end (after the result is logged), writes the record:
//
//   app::RunFacts facts;                      // at the start of Connect / raw boot
//   facts.workflow = app::kWorkflowConnect;
//   facts.started = std::chrono::steady_clock::now();
//   facts.port = m_cbPorts.entries[i];        // once the device answered on entry i
//   facts.before = m_identity;                // once identified
//   facts.firmwarePath = m_strFirmFolderA + m_products.m_prodHexFile[m_nProduct];  // once selected
//   facts.programmed = true;                  // once the image is being sent
//   facts.after = m_identity;                 // when the device came back with the new firmware
//   ...
//   if (facts.port) {                         // only runs that reached a device leave a record
//     const std::string note = app::SaveRunRecord(app::RecordOfRun(facts, code), line.recordFile);
//     if (!note.empty()) m_view.detail(note);  // a note, never a failed run
//   }

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
  std::optional<PortEntry> port;            // the port the device was reached on
  std::optional<device::Identity> before;   // as identified, before anything was changed
  std::optional<device::Identity> after;    // as read back after programming
  std::optional<std::string> firmwarePath;  // folder + name of the file chosen for the device
  bool programmed = false;                  // the file was decoded and sent to the device
  std::optional<std::string> sha256;        // of the file's bytes as checked and sent
};

using SystemClock = std::function<std::chrono::system_clock::time_point()>;

// The record of a run that ended with result `code`: the device's ID, name and version from
// `before` (null without it), the version after from `after`, the file's name when one was
// chosen and its SHA-256 when it was programmed (the digest of the bytes the file check
// accepted, which are the bytes sent), the code's log text, the time since `started`, `now()` as the time and
// this loader's version.
RunRecord RecordOfRun(
    const RunFacts& facts, int code, const SystemClock& now = [] { return std::chrono::system_clock::now(); },
    std::chrono::steady_clock::time_point ended = std::chrono::steady_clock::now());

}  // namespace app
