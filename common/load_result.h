#pragma once
// The loader's vocabulary of outcomes: every device step returns one of these by value,
// and the end of each device workflow turns it into status texts, buttons and a log line.

#include <array>
#include <cstddef>
#include <string_view>

enum LoadResult : int {
  RESULT_OK = 0,
  RESULT_PORT_OPEN_FAILED = 1,
  RESULT_NO_SINGLE_DEVICE = 2,
  RESULT_BAD_WRITE = 3,
  RESULT_BAD_READ = 4,
  RESULT_BAD_CHECKSUM = 5,
  RESULT_FOREIGN_DEVICE = 6,
  RESULT_AUTH_FAILED = 7,
  RESULT_NO_HEX_FILE = 8,
  RESULT_SAME_VERSION = 9,
  RESULT_DEVICE_NEWER = 10,
  RESULT_HEX_OPEN_FAILED = 11,
  RESULT_BAD_DEVICE_CODE = 12,
  RESULT_ERASE_FAILED = 13,
  RESULT_PROGRAM_FAILED = 14,
  RESULT_USER_CANCELLED = 15,
  // The station profile does not approve the image chosen for the device. 16 is the terminal
  // front end's "no workflow ran", so this code is the first after it.
  RESULT_NOT_APPROVED = 17,
  // Not a result of the device but the front end's stop request (window closing, Ctrl-C): the
  // workflow ends at once with the port closed and no result line. Outside the table.
  RESULT_STOPPED = -1,
};

struct LoadResultInfo {
  LoadResult code;
  std::string_view name;
  std::string_view logMessage;  // appended verbatim to the information log
  bool offerRawBoot;            // Raw Boot is enabled after the workflow
  bool refusal;                 // ".." instead of "..Failed.." (the device was left alone on purpose)
};

inline constexpr std::array<LoadResultInfo, 17> kLoadResults{{
    {RESULT_OK, "RESULT_OK", "   -Device Programed OK.", false, false},
    {RESULT_PORT_OPEN_FAILED, "RESULT_PORT_OPEN_FAILED", "E01-Failed to Open Com Port.", false, false},
    {RESULT_NO_SINGLE_DEVICE, "RESULT_NO_SINGLE_DEVICE", "E02-Cannot Connect to a Single Device.", true,
     false},
    {RESULT_BAD_WRITE, "RESULT_BAD_WRITE", "E03-Comm Error - Bad Write.", true, false},
    {RESULT_BAD_READ, "RESULT_BAD_READ", "E04-Comm Error - Bad Read.", true, false},
    {RESULT_BAD_CHECKSUM, "RESULT_BAD_CHECKSUM", "E05-Comm Error - Bad Checksum.", true, false},
    {RESULT_FOREIGN_DEVICE, "RESULT_FOREIGN_DEVICE", "E06-Not a VOR Device.", true, false},
    {RESULT_AUTH_FAILED, "RESULT_AUTH_FAILED", "E07-Device failed authentication.", true, false},
    {RESULT_NO_HEX_FILE, "RESULT_NO_HEX_FILE", "E08-No Hex file for Device.", false, false},
    {RESULT_SAME_VERSION, "RESULT_SAME_VERSION", "E09-Device has latest Version.", false, true},
    {RESULT_DEVICE_NEWER, "RESULT_DEVICE_NEWER", "E10-Device has a Later Version.", false, true},
    {RESULT_HEX_OPEN_FAILED, "RESULT_HEX_OPEN_FAILED", "E11-Failed to Open Correct Hex File.", false, false},
    {RESULT_BAD_DEVICE_CODE, "RESULT_BAD_DEVICE_CODE", "E12-Device Failed to return correct Device code.",
     true, false},
    {RESULT_ERASE_FAILED, "RESULT_ERASE_FAILED", "E13-Device Failed to Erase Flash.", true, false},
    {RESULT_PROGRAM_FAILED, "RESULT_PROGRAM_FAILED", "E14-Device Failed to Program correctly.", true, false},
    {RESULT_USER_CANCELLED, "RESULT_USER_CANCELLED", "E15-Load Cancelled by User.", false, true},
    {RESULT_NOT_APPROVED, "RESULT_NOT_APPROVED", "E17-Image not approved by the profile.", false, true},
}};

// Each code has one row.
constexpr bool EveryCodeOnce() {
  for (std::size_t i = 0; i < kLoadResults.size(); ++i)
    for (std::size_t j = i + 1; j < kLoadResults.size(); ++j)
      if (kLoadResults[i].code == kLoadResults[j].code) return false;
  return true;
}
static_assert(EveryCodeOnce(), "a result code has two rows");

// The table row of a code, or nullptr for a code outside the table.
constexpr const LoadResultInfo* FindLoadResult(int code) {
  for (const LoadResultInfo& info : kLoadResults)
    if (info.code == code) return &info;
  return nullptr;
}

// How a run ended, as everything that counts runs sees it: the line's summary, the station's
// panels and counts, the end of a workflow and the yield reports.
enum class RunOutcome {
  Programmed,  // the device holds the new image
  Refused,     // the loader chose not to program: the device was left alone on purpose
  Failed,      // programming was attempted or wanted and did not succeed
  Stopped,     // a stop request ended the run, so the device gave no result
};

// The one classification of a result code: RESULT_STOPPED is Stopped, RESULT_OK Programmed,
// a row marked as a refusal Refused, and every other code, in the table or not (a later
// loader's code read from a record), Failed.
constexpr RunOutcome OutcomeOfResult(int code) {
  if (code == RESULT_STOPPED) return RunOutcome::Stopped;
  if (code == RESULT_OK) return RunOutcome::Programmed;
  const LoadResultInfo* info = FindLoadResult(code);
  return info != nullptr && info->refusal ? RunOutcome::Refused : RunOutcome::Failed;
}

// "programmed", "refused", "failed", "stopped".
constexpr std::string_view OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Programmed:
      return "programmed";
    case RunOutcome::Refused:
      return "refused";
    case RunOutcome::Failed:
      return "failed";
    case RunOutcome::Stopped:
      return "stopped";
  }
  return "failed";
}
