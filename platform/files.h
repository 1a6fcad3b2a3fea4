#pragma once
// Files as the loader uses them: owned open files, reading at an offset, appending in one
// write, turn-taking between processes on a lock, flushing to disk, putting a file in place
// atomically, and private temporary files beside a target. Paths are UTF-8 text. Every call
// that can fail reports the system's error as a std::error_code (std::system_category; its
// message() is the system's own wording); none throws.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// An open file owned by one object: closed when the object goes, or earlier by Close(), which
// reports the error a close can carry (a delayed write error). Move-only. A default-made or
// failed File is not open; every call on it fails with std::errc::bad_file_descriptor.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool isOpen() const;
  std::error_code Close();

  // The system's own handle, for the platform layer's implementation only.
  explicit File(std::intptr_t native) : m_native(native) {}
  std::intptr_t native() const { return m_native; }

 private:
  std::intptr_t m_native = -1;
};

// Opens an existing file for reading. Never waits for a writer (a named pipe without one opens
// at once). Not inherited by programs the loader starts. On failure the File is not open and
// `error` says why (std::errc::no_such_file_or_directory when the file is missing).
File OpenForReading(const std::string& path, std::error_code& error);

// Opens the file for appending, making it (empty, mode 0644 less the umask; on a system without
// such modes: readable by others) when it is missing. Every write lands at the file's end at
// the moment of the write, even when other processes append too. Never waits for a reader (a
// named pipe without one fails at once).
File OpenForAppending(const std::string& path, std::error_code& error);

// Opens the file for reading and writing, making it (empty, as OpenForAppending does) when it
// is missing: a lock file for LockFile().
File OpenOrMake(const std::string& path, std::error_code& error);

// Which file an open file is: equal for two opens of one file, different for a file that has
// replaced it under the same name. The numbers are the system's and only ever compared.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct FileInfo {
  FileIdentity identity;
  std::uint64_t size = 0;  // bytes; 0 for what is not a regular file
  bool regular = false;    // a plain file on disk (not a folder, pipe, device or socket)
};

// What the system knows of the open file now; on failure `error` says why and the result is
// all zero.
FileInfo InfoOf(const File& file, std::error_code& error);

// Reads up to `size` bytes at byte `at` into `data` without moving the file position (a file
// shared with other readers and writers), again when a signal interrupts: the count read
// (fewer at the end of the file, 0 there), or -1 with `error` set.
std::int64_t ReadSomeAt(const File& file, std::uint64_t at, char* data, std::size_t size,
                        std::error_code& error);

// Reads exactly `size` bytes at byte `at`; false at the end of the file or on an error.
bool ReadAt(const File& file, std::uint64_t at, char* data, std::size_t size);

// Writes `bytes` with one write call, never split by this layer, again when a signal
// interrupts before anything is written: the count written (it may be short on a full disk),
// or -1 with `error` set. On a file opened for appending, lines of processes appending at once
// written this way never interleave.
std::int64_t WriteOnce(const File& file, std::string_view bytes, std::error_code& error);

// Writes all of `bytes`, in as many writes as it takes: an empty error, or why not (a write
// that takes nothing is std::errc::no_space_on_device).
std::error_code WriteAll(const File& file, std::string_view bytes);

// Flushes what was written to the file to the disk itself, so it survives a power cut. A file
// that cannot be flushed because it is not on a disk (a pipe, a terminal) gives
// std::errc::invalid_argument.
std::error_code FlushToDisk(const File& file);

// How taking a lock ended.
enum class LockOutcome { kTaken, kTimedOut, kStopped, kFailed };

// Takes the lock of the open file for turn-taking between processes (and between open files
// of one process): only takers of the same file's lock wait for each other, readers and
// writers do not. Tries at once, then again every `retry` until the lock is had, `giveUp` has
// passed (kTimedOut) or `stop` is requested (kStopped, seen within one `retry`). kFailed with
// `error` when the system refuses the lock for any other reason. The lock is let go by
// UnlockFile() or when the File is closed, and by the system when the process ends.
LockOutcome LockFile(const File& file, std::chrono::milliseconds retry,
                     std::chrono::steady_clock::time_point giveUp, const std::stop_token& stop,
                     std::error_code& error);
void UnlockFile(const File& file);

// Renames the finished file `temp` over `path` (replacing it in one step: a reader sees the old
// file or the new one, never a part), then flushes the folder so that the rename itself reaches
// the disk. An empty error, or why the rename failed (`temp` then stays where it was; a failed
// flush of the folder is not reported).
std::error_code PutInPlace(const std::string& temp, const std::string& path);

// Writes `contents` to a temporary file beside `path` (named after it and this process),
// flushes it to disk and puts it in place as PutInPlace does. The new file has `mode` (less the
// umask; where the system has no such modes, readable by others unless `mode` says otherwise).
// An empty error, or why the step that failed did (the temporary file is then gone and the
// file at `path` untouched).
std::error_code ReplaceFile(const std::string& path, std::string_view contents,
                            std::filesystem::perms mode = std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write |
                                                          std::filesystem::perms::group_read |
                                                          std::filesystem::perms::others_read);

// A new file that no other process can have opened: made with a fresh unique name that starts
// with `prefix` (a path: folder and the start of a name), open for writing, readable and
// writable by its owner only until the caller says otherwise with SetFileMode().
struct TemporaryFile {
  File file;
  std::string path;  // empty when none could be made
};
TemporaryFile MakeTemporaryFile(const std::string& prefix, std::error_code& error);

// Gives the open file the permissions `mode` (less nothing: the umask does not apply). Where
// the system has no such modes, only the owner's write bit counts (read-only when it is off).
std::error_code SetFileMode(const File& file, std::filesystem::perms mode);

// Removes the file at `path`; an empty error when it is gone (or was never there).
std::error_code RemoveFile(const std::string& path);

}  // namespace platform
