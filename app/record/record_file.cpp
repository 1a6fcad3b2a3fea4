#include "app/record/record_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/record/file_record_sink.h"
#include "app/record/record_line_parser.h"
#include "common/file_descriptor.h"

namespace app {

namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

// Makes every missing folder of `folder`, each with mode 0700.
std::string MakeFolders(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path made;
  for (const fs::path& part : fs::path(folder)) {
    made /= part;
    if (part.empty() || made == made.root_path()) continue;
    if (fs::create_directory(made, ec)) {
      fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace, ec);
      if (ec) return "cannot make folder " + made.string() + ": " + ec.message();
    } else if (ec) {
      return "cannot make folder " + made.string() + ": " + ec.message();
    }
  }
  if (!fs::is_directory(folder, ec))
    return "cannot use folder " + folder + ": " + (ec ? ec.message() : Reason(ENOTDIR));
  return {};
}

// The record file opened for appending, its folders made; or why it cannot be.
AppendResult OpenForAppend(const std::string& path, int& fd) {
  if (path.empty()) return {"no record file named"};
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (std::string fault = MakeFolders(path.substr(0, slash)); !fault.empty()) return {fault};
  }
  // O_NONBLOCK: a FIFO without a reader fails at once instead of holding the loader.
  fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return {"cannot open " + path + ": " + Reason(errno)};
  return {};
}

// Whether the regular file open on `fd` (at `path`) holds something after its last line end: a
// line torn by a full disk, a crash or another writer, which the next record must not be glued
// to. A file that cannot be read back, or is not a regular file, is taken as ending whole.
bool EndsInTornLine(const std::string& path, int fd) {
  struct stat written {};
  if (::fstat(fd, &written) != 0 || !S_ISREG(written.st_mode) || written.st_size == 0) return false;
  // The descriptor only writes: the last byte is read through one of its own, of the same file.
  FileDescriptor reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat read {};
  if (reader.get() < 0 || ::fstat(reader.get(), &read) != 0 || read.st_dev != written.st_dev ||
      read.st_ino != written.st_ino || read.st_size == 0)
    return false;
  char last = '\n';
  ssize_t n = 0;
  do {
    n = ::pread(reader.get(), &last, 1, read.st_size - 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 && last != '\n';
}

// Loaders of this version take turns at the file for the look at its end and the write that
// follows: a line another loader is writing this moment is not taken for a torn one. A holder
// that never lets go (a hung network file system) delays a record by at most two seconds; it is
// then written without its turn.
class AppendTurn {
 public:
  explicit AppendTurn(int fd) : m_fd(fd) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= giveUp) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_held = true;
  }
  ~AppendTurn() { Release(); }
  AppendTurn(const AppendTurn&) = delete;
  AppendTurn& operator=(const AppendTurn&) = delete;

  void Release() {
    if (m_held) ::flock(m_fd, LOCK_UN);
    m_held = false;
  }

 private:
  int m_fd;
  bool m_held = false;
};

}  // namespace

Environment ProcessEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

std::optional<std::string> RecordFilePath(const Environment& env, const std::string& commandLineFile) {
  if (!commandLineFile.empty()) return commandLineFile;
  if (const std::optional<std::string> named = env("VORLOADER_HISTORY")) {
    if (named->empty()) return std::nullopt;
    return *named;
  }
  // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
  const std::optional<std::string> state = env("XDG_STATE_HOME");
  if (state && !state->empty() && state->front() == '/') return *state + "/vorloader/history.jsonl";
  const std::optional<std::string> home = env("HOME");
  if (home && !home->empty()) return *home + "/.local/state/vorloader/history.jsonl";
  return std::nullopt;
}

AppendResult OpenRecordFile(const std::string& path) {
  try {
    int raw = -1;
    AppendResult opened = OpenForAppend(path, raw);
    FileDescriptor fd(raw);
    if (!opened.ok()) return opened;
    if (fd.Close() != 0) return {"cannot open " + path + ": " + Reason(errno)};
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
    int raw = -1;
    AppendResult opened = OpenForAppend(path, raw);
    FileDescriptor fd(raw);
    if (!opened.ok()) return opened;
    // A torn last line gets its line end first, in the same write: the record stays a line of
    // its own. Another loader's whole line landing in between leaves only an empty line.
    AppendTurn turn(fd.get());
    const std::string whole = (EndsInTornLine(path, fd.get()) ? "\n" : "") + line + '\n';
    const ssize_t written = ::write(fd.get(), whole.data(), whole.size());
    turn.Release();
    if (written < 0) return {"cannot write to " + path + ": " + Reason(errno)};
    // A second write could land after another loader's line; the torn line stays torn.
    if (static_cast<std::size_t>(written) != whole.size())
      return {"cannot write to " + path + ": only " + std::to_string(written) + " of " +
              std::to_string(whole.size()) + " bytes written"};
    if (::fsync(fd.get()) != 0 && errno != EINVAL)
      return {"cannot flush " + path + " to disk: " + Reason(errno)};
    if (fd.Close() != 0) return {"cannot write to " + path + ": " + Reason(errno)};
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
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
      if (errno == ENOENT)
        out.noFile = true;
      else
        out.error = "cannot open " + path + ": " + Reason(errno);
      return out;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      out.error = "cannot read " + path + ": " + Reason(errno);
      return out;
    }
    if (!S_ISREG(st.st_mode)) {
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

    auto end = static_cast<std::size_t>(st.st_size);
    while (end > 0 && out.records.size() < count) {
      const std::size_t start = end > kChunk ? end - kChunk : 0;
      const std::size_t size = end - start;
      std::size_t got = 0;
      while (got < size) {
        const ssize_t n = ::pread(fd.get(), chunk.data() + got, size - got, static_cast<off_t>(start + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          out.error = "cannot read " + path + ": " + Reason(errno);
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
