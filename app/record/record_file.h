#pragma once
// The record file: where it is, appending one record to it, and reading its last records.
// Several loaders (one per port on a production line) may append to one file at once.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/record/run_record.h"

namespace app {

// The environment as the record file's rules read it: a variable's value, or nullopt when the
// variable is not set (which is not the same as set and empty).
using Environment = std::function<std::optional<std::string>(const char* name)>;
Environment ProcessEnvironment();

// The record file, or nullopt when records are off. A non-empty `commandLineFile` (--record)
// wins; then VORLOADER_HISTORY (set and empty: off); then
// $XDG_STATE_HOME/vorloader/history.jsonl, where an unset, empty or relative XDG_STATE_HOME
// means $HOME/.local/state. Off as well when neither gives a folder.
std::optional<std::string> RecordFilePath(const Environment& env, const std::string& commandLineFile = {});

struct AppendResult {
  std::string error;  // why the record is not in the file; empty when it is
  bool ok() const { return error.empty(); }
};

// Appends `line` and a line end to the file at `path` with a single write() on a file opened
// for appending, then flushes it to disk, so that lines of loaders appending at once never
// interleave. Missing folders on the way are made (mode 0700: the default place is a
// user's private state folder); a new file gets mode 0644 (less the umask), since the
// records hold nothing secret and a line supervisor may collect them from another account.
// A file whose last line has no line end (torn by a full disk, a crash or another writer) gets
// one first, in the same write, so the record is a line of its own; loaders take turns (a lock
// on the file, waited for at most two seconds) for that look and the write.
// `line` must not hold a line break. Never throws.
AppendResult AppendRecord(const std::string& path, const std::string& line);

// Makes the folders of the file at `path` as AppendRecord does and opens the file for
// appending (making it, empty, when it is missing), writing nothing: whether a record could
// be appended now. Never throws.
AppendResult OpenRecordFile(const std::string& path);

// Appends `record` to the record file the rules above choose (FileRecordSink::ByRules). Returns the note to
// show when it could not be written ("run record not written: ..."); empty when it was, or when records are
// off.
std::string SaveRunRecord(const RunRecord& record, const std::string& commandLineFile = {},
                          const Environment& env = ProcessEnvironment());

// Lines longer than this are not records of this loader and are skipped unread.
inline constexpr std::size_t kMaxRecordLine = std::size_t{64} * 1024;

struct HistoryRead {
  bool noFile = false;             // the file does not exist yet
  std::string error;               // why the file cannot be read; empty when it was read
  std::vector<RunRecord> records;  // oldest first
  std::size_t bytesRead = 0;       // how much of the file was read to find them
  std::size_t skipped = 0;         // lines read that are not records (empty lines aside)
};

// The last `count` records of the file at `path`. The file is read backwards from its end in
// chunks, only as far as needed, so a large file costs no more memory than its longest line.
// A last line without its line end (a record being written) is left out; lines that are not
// records are skipped and counted.
HistoryRead ReadLastRecords(const std::string& path, std::size_t count);

}  // namespace app
