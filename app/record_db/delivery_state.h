#pragma once
// How far the record file has been delivered to the record database, kept beside it
// ("history.jsonl.delivered"): the file's identity, the byte offset delivered up to, and the
// SHA-256 of the last line before that offset. Re-delivering a record makes no second row, so
// whenever the state does not match the file (the file shrank, was replaced or rewritten, the
// state file is cut off or unreadable) delivery starts again from the beginning: nothing is
// lost, nothing is stored twice.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"

namespace app {

struct DeliveryState {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t offset = 0;    // every complete line before this byte is delivered
  std::string lastLineSha256;  // of the bytes of the last line before `offset`, lower-case hex

  bool operator==(const DeliveryState&) const = default;
};

std::string DeliveryStatePath(const std::string& recordFile);

// The state in the file at `path`; nullopt when it is missing or not a whole state.
std::optional<DeliveryState> LoadDeliveryState(const std::string& path);

// Writes the state to a temporary file, flushes it to disk and renames it over `path`, so a
// reader sees the old state or the new one, never a part. Returns why it failed; empty when
// it did not.
std::string SaveDeliveryState(const std::string& path, const DeliveryState& state);

// The SHA-256 (hex) of the last line before `offset` in the open file `file` (from the byte
// after the line end before it, reading back at most a record line's length, to `offset`);
// empty when it cannot be read.
std::string LastLineSum(const platform::File& file, std::uint64_t offset);

// The state of the open record file `file` delivered up to `offset`.
DeliveryState StateAt(const platform::File& file, const platform::FileInfo& info, std::uint64_t offset);

// Where delivery of the open record file `file` (of which the system said `info`) resumes: the
// state's offset when the state belongs to this file and still matches it, else 0.
std::uint64_t ResumeOffset(const std::optional<DeliveryState>& state, const platform::File& file,
                           const platform::FileInfo& info);

}  // namespace app
