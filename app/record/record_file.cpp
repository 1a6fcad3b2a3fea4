#include "app/record/record_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "app/record/file_record_sink.h"
#include "app/record/record_line_parser.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace app {

namespace {

std::string Reason(const std::error_code& error) {
  return error.message();
}

// The record file opened for appending, its folders made; or why it cannot be.
AppendResult OpenForAppend(const std::string& path, platform::File& file) {
  if (path.empty()) return {"no record file named"};
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (std::string fault = platform::MakePrivateFolders(path.substr(0, slash)); !fault.empty())
      return {fault};
  }
  // A FIFO without a reader fails at once instead of holding the loader.
  std::error_code error;
  file = platform::OpenForAppending(path, error);
  if (!file.isOpen()) return {"cannot open " + path + ": " + Reason(error)};
  return {};
}

// Whether the regular file open as `file` (at `path`) holds something after its last line end:
// a line torn by a full disk, a crash or another writer, which the next record must not be
// glued to. A file that cannot be read back, or is not a regular file, is taken as ending whole.
bool EndsInTornLine(const std::string& path, const platform::File& file) {
  std::error_code error;
  const platform::FileInfo written = platform::InfoOf(file, error);
  if (error || !written.regular || written.size == 0) return false;
  // The file is open for writing only: the last byte is read through an open of its own, of
  // the same file.
  const platform::File reader = platform::OpenForReading(path, error);
  if (!reader.isOpen()) return false;
  const platform::FileInfo read = platform::InfoOf(reader, error);
  if (error || read.identity != written.identity || read.size == 0) return false;
  char last = '\n';
  return platform::ReadSomeAt(reader, read.size - 1, &last, 1, error) == 1 && last != '\n';
}

// Loaders of this version take turns at the file for the look at its end and the write that
// follows: a line another loader is writing this moment is not taken for a torn one. A holder
// that never lets go (a hung network file system) delays a record by at most two seconds; it is
// then written without its turn.
class AppendTurn {
 public:
  explicit AppendTurn(const platform::File& file) : m_file(file) {
    std::error_code error;
    m_held = platform::LockFile(m_file, std::chrono::milliseconds(2),
                                std::chrono::steady_clock::now() + std::chrono::seconds(2), {},
                                error) == platform::LockOutcome::kTaken;
  }
  ~AppendTurn() { Release(); }
  AppendTurn(const AppendTurn&) = delete;
  AppendTurn& operator=(const AppendTurn&) = delete;

  void Release() {
    if (m_held) platform::UnlockFile(m_file);
    m_held = false;
  }

 private:
  const platform::File& m_file;
  bool m_held = false;
};

}  // namespace

Environment ProcessEnvironment() {
  return platform::ProcessEnvironment();
}

std::optional<std::string> RecordFilePath(const Environment& env, const std::string& commandLineFile) {
  if (!commandLineFile.empty()) return commandLineFile;
  if (const std::optional<std::string> named = env("VORLOADER_HISTORY")) {
    if (named->empty()) return std::nullopt;
    return *named;
  }
  if (const std::optional<std::string> state = platform::UserStateFolder(env))
    return *state + "/vorloader/history.jsonl";
  return std::nullopt;
}

AppendResult OpenRecordFile(const std::string& path) {
  try {
    platform::File file;
    AppendResult opened = OpenForAppend(path, file);
    if (!opened.ok()) return opened;
    if (const std::error_code closed = file.Close()) return {"cannot open " + path + ": " + Reason(closed)};
    return {};
  } catch (const std::exception& e) {
    return {std::string("cannot open the record file: ") + e.what()};
  }
}

AppendResult AppendRecord(const std::string& path, const std::string& line) {
  AppendResult r;
  try {
    if (path.empty()) return {"no record file named"};
    if (line.find_first_of("\r\n") != std::string::npos) return {"a record must be one line"};
    platform::File file;
    AppendResult opened = OpenForAppend(path, file);
    if (!opened.ok()) return opened;
    // A torn last line gets its line end first, in the same write: the record stays a line of
    // its own. Another loader's whole line landing in between leaves only an empty line.
    AppendTurn turn(file);
    const std::string whole = (EndsInTornLine(path, file) ? "\n" : "") + line + '\n';
    std::error_code error;
    const std::int64_t written = platform::WriteOnce(file, whole, error);
    turn.Release();
    if (written < 0) return {"cannot write to " + path + ": " + Reason(error)};
    // A second write could land after another loader's line; the torn line stays torn.
    if (static_cast<std::size_t>(written) != whole.size())
      return {"cannot write to " + path + ": only " + std::to_string(written) + " of " +
              std::to_string(whole.size()) + " bytes written"};
    if (error = platform::FlushToDisk(file); error && error != std::errc::invalid_argument)
      return {"cannot flush " + path + " to disk: " + Reason(error)};
    if (error = file.Close(); error) return {"cannot write to " + path + ": " + Reason(error)};
  } catch (const std::exception& e) {
    r.error = std::string("cannot write the record: ") + e.what();
  }
  return r;
}

std::string SaveRunRecord(const RunRecord& record, const std::string& commandLineFile,
                          const Environment& env) {
  return FileRecordSink::ByRules(commandLineFile, env)->Write(record);
}

HistoryRead ReadLastRecords(const std::string& path, std::size_t count) {
  HistoryRead out;
  try {
    std::error_code error;
    const platform::File file = platform::OpenForReading(path, error);
    if (!file.isOpen()) {
      if (error == std::errc::no_such_file_or_directory)
        out.noFile = true;
      else
        out.error = "cannot open " + path + ": " + Reason(error);
      return out;
    }
    const platform::FileInfo info = platform::InfoOf(file, error);
    if (error) {
      out.error = "cannot read " + path + ": " + Reason(error);
      return out;
    }
    if (!info.regular) {
      out.error = "cannot read " + path + ": not a regular file";
      return out;
    }

    constexpr std::size_t kChunk = std::size_t{64} * 1024;
    std::string chunk(kChunk, '\0');
    std::string pending;  // the end of the line being read backwards, without its line end
    bool tooLong = false;
    // The piece after the file's last line end is a record still being written (or torn),
    // or nothing.
    bool lastPiece = true;
    auto take = [&](const std::string& text) {
      if (!lastPiece && (tooLong || !text.empty())) {
        std::optional<RunRecord> record;
        if (!tooLong) record = ParseRecordLine(text);
        if (record)
          out.records.push_back(std::move(*record));
        else
          ++out.skipped;
      }
      lastPiece = false;
    };

    auto end = static_cast<std::size_t>(info.size);
    while (end > 0 && out.records.size() < count) {
      const std::size_t start = end > kChunk ? end - kChunk : 0;
      const std::size_t size = end - start;
      std::size_t got = 0;
      while (got < size) {
        const std::int64_t n = platform::ReadSomeAt(file, start + got, chunk.data() + got, size - got, error);
        if (n < 0) {
          out.error = "cannot read " + path + ": " + Reason(error);
          return out;
        }
        if (n == 0) break;  // the file got shorter while being read: the rest is read as gone
        got += static_cast<std::size_t>(n);
      }
      out.bytesRead += got;
      if (got < size) break;

      std::size_t pieceEnd = size;
      for (std::size_t i = size; i-- > 0 && out.records.size() < count;) {
        if (chunk[i] != '\n') continue;
        if (!tooLong) pending.insert(0, chunk, i + 1, pieceEnd - (i + 1));
        if (pending.size() > kMaxRecordLine) tooLong = true;
        take(pending);
        pending.clear();
        tooLong = false;
        pieceEnd = i;
      }
      if (out.records.size() >= count) break;
      if (!tooLong) pending.insert(0, chunk, 0, pieceEnd);
      if (pending.size() > kMaxRecordLine) {
        tooLong = true;
        pending.clear();
      }
      end = start;
      if (end == 0) take(pending);  // the file's first line
    }
    std::reverse(out.records.begin(), out.records.end());
  } catch (const std::exception& e) {
    out.error = std::string("cannot read the records: ") + e.what();
    out.records.clear();
  }
  return out;
}

}  // namespace app
