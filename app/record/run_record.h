#pragma once
// One device run as the record file keeps it: one JSON object on one line, appended when a
// Connect or raw boot run on a port ends (whether a device answered, or the run was stopped). A production
// line reads the file to see which device was programmed with what, and when.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kWorkflowConnect = "connect";
inline constexpr std::string_view kWorkflowRawBoot = "raw-boot";

// A run cut by a stop request (a second Ctrl-C, a signal, the window closing) has no result
// of the device: its record holds this code and text.
inline constexpr int kStoppedCode = -1;
inline constexpr std::string_view kStoppedResult = "Run stopped.";

// Texts are the loader's own bytes (device and catalogue texts are Latin-1); the line written
// to the file is UTF-8. Empty optionals are written as null.
struct RunRecord {
  std::string time;      // UTC, ISO 8601 with "Z": "2026-12-10T13:46:18Z"
  std::string workflow;  // kWorkflowConnect or kWorkflowRawBoot
  std::string port;      // "COM3"
  std::string path;      // the device path the port maps to
  std::optional<std::uint32_t> deviceId;
  std::optional<std::string> product;  // the device's model name as it names itself
  std::optional<std::string> versionBefore;
  std::optional<std::string> versionAfter;
  std::optional<std::string> file;    // firmware file name, no folder
  std::optional<std::string> sha256;  // of the firmware file as programmed, lower-case hex
  int code = 0;                       // the result code
  std::string result;                 // the result's log text exactly
  std::int64_t durationMs = 0;
  std::string loader;   // the loader's version
  std::string runId;    // a random UUID, unique per run; empty in records of older loaders
  std::string station;  // the host name of the machine that ran it; empty in older records
  // Whether the erase command had gone to the device, so its old firmware may be gone; null
  // in records of older loaders.
  std::optional<bool> eraseBegan;
  std::int64_t waitMs = 0;  // time spent waiting for the answer to a question, not in durationMs
  // Who ran the station and for which order, and the station profile it ran with (its name
  // and the SHA-256 of its file, lower-case hex); empty when not given, and in older records.
  std::string operatorName;
  std::string workOrder;
  std::string profileName;
  std::string profileSha256;

  bool operator==(const RunRecord&) const = default;
};

// The record as one line of JSON, without the line end. Every byte >= 0x80 is taken as a
// Latin-1 character and written as UTF-8; quotes, backslashes and control bytes are escaped,
// so the line never holds a line break of its own.
std::string ToJsonLine(const RunRecord& record);

// "YYYY-MM-DDThh:mm:ssZ", to the second.
std::string UtcTimeText(std::chrono::system_clock::time_point when);

// The version of this loader, as `vorloader-cli --version` shows it.
std::string LoaderVersion();

// Latin-1 bytes as UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

}  // namespace app
