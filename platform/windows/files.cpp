// Files through the Win32 calls. Every file the loader opens is shared for reading, writing and
// deleting, so that another loader's append, a reader of the history and a replace by rename
// never fail for a mere open handle, as they would not on POSIX.
//
// The turn-taking lock is a byte-range lock on one byte far beyond the end of any real file:
// Windows byte-range locks are mandatory, so a lock over the data itself would make readers and
// appenders of other loaders fail, where the POSIX lock only makes lockers wait.

#include "platform/files.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/random.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The byte the lock is taken on: far beyond any file the loader writes, and beneath the
// largest offset the file systems accept.
constexpr DWORD kLockOffsetLow = 0xFFFFFFF0;
constexpr DWORD kLockOffsetHigh = 0x3FFFFFFF;
// A file just closed by a virus scanner or an indexer may still be held for a moment; a rename
// over it is tried again for this long before its refusal is believed.
constexpr int kRenameTries = 10;
constexpr auto kRenameRetryGap = std::chrono::milliseconds(50);
constexpr std::size_t kTemporaryUniqueLength = 6;

HANDLE Handle(const File& file) {
  return reinterpret_cast<HANDLE>(file.native());  // NOLINT(performance-no-int-to-ptr)
}

std::intptr_t Native(HANDLE h) {
  return reinterpret_cast<std::intptr_t>(h);
}

std::error_code SystemError(DWORD code) {
  return {static_cast<int>(code), std::system_category()};
}

std::error_code LastError() {
  return SystemError(::GetLastError());
}

std::error_code NotOpen() {
  return std::make_error_code(std::errc::bad_file_descriptor);
}

File Open(const std::string& path, DWORD access, DWORD disposition, std::error_code& error) {
  const std::wstring wide = win::Widen(path);
  if (wide.empty()) {
    error = std::make_error_code(path.empty() ? std::errc::no_such_file_or_directory
                                              : std::errc::invalid_argument);
    return {};
  }
  // No security attributes: the handle is not inherited by programs the loader starts.
  const HANDLE h =
      ::CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return {};
  }
  error.clear();
  return File(Native(h));
}

// The system's own name of a path (\??\C:\...), which a rename by handle takes.
std::wstring NtPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return {};
  full.resize(n);
  if (full.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + full.substr(4);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

// Renames `from` over `to` with POSIX semantics. `unsupported` when the system has no such
// rename (nothing was changed then).
std::error_code RenameOver(const std::wstring& from, const std::wstring& to, bool& unsupported) {
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);  // FileRenameInfoEx
  constexpr DWORD kReplaceIfExists = 0x1;
  constexpr DWORD kPosixSemantics = 0x2;
  unsupported = false;
  const std::wstring target = NtPath(to);
  if (target.empty()) return LastError();
  win::OwnedHandle file(::CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastError();
  const std::size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = kReplaceIfExists | kPosixSemantics;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.data(), nameBytes);
  if (::SetFileInformationByHandle(file.get(), kRenameInfoEx, info, static_cast<DWORD>(buffer.size())))
    return {};
  const DWORD code = ::GetLastError();
  unsupported =
      code == ERROR_INVALID_PARAMETER || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION;
  return SystemError(code);
}

// The read-only attribute stands for a mode without the owner's write permission; Windows has
// no other part of the POSIX modes.
bool ReadOnlyMode(std::filesystem::perms mode) {
  return (mode & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

std::string UniqueName() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::array<std::uint8_t, kTemporaryUniqueLength> bytes{};
  if (!FillRandom(bytes)) {
    // The name only has to be free in its folder; CREATE_NEW finds out whether it is.
    const auto seed = static_cast<std::uint64_t>(::GetTickCount64()) ^ ::GetCurrentProcessId() ^
                      (static_cast<std::uint64_t>(::GetCurrentThreadId()) << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(seed >> (i * 8));
  }
  std::string name;
  for (std::uint8_t b : bytes) name.push_back(kLetters[b % (sizeof kLetters - 1)]);
  return name;
}

}  // namespace

File::~File() {
  if (isOpen()) ::CloseHandle(Handle(*this));
}

File::File(File&& other) noexcept : m_native(std::exchange(other.m_native, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (isOpen()) ::CloseHandle(Handle(*this));
    m_native = std::exchange(other.m_native, -1);
  }
  return *this;
}

bool File::isOpen() const {
  // Both values that Win32 calls return for "no handle".
  return m_native != -1 && m_native != 0;
}

std::error_code File::Close() {
  if (!isOpen()) return NotOpen();
  const BOOL closed = ::CloseHandle(Handle(*this));
  const DWORD code = ::GetLastError();
  m_native = -1;
  return closed ? std::error_code() : SystemError(code);
}

File OpenForReading(const std::string& path, std::error_code& error) {
  return Open(path, GENERIC_READ, OPEN_EXISTING, error);
}

File OpenForAppending(const std::string& path, std::error_code& error) {
  // Appending rights without the right to write data elsewhere: the system puts every write
  // at the file's end at the moment of the write. Reading the data is allowed for the lock,
  // which Windows grants only to a handle that may read or write.
  return Open(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OPEN_ALWAYS,
              error);
}

File OpenOrMake(const std::string& path, std::error_code& error) {
  return Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, error);
}

FileInfo InfoOf(const File& file, std::error_code& error) {
  if (!file.isOpen()) {
    error = NotOpen();
    return {};
  }
  const DWORD type = ::GetFileType(Handle(file));
  if (type != FILE_TYPE_DISK) {
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
      error = LastError();
      return {};
    }
    // A pipe or a console has no identity the system keeps; its handle tells one from another.
    error.clear();
    FileInfo info;
    info.identity = {0, static_cast<std::uint64_t>(file.native())};
    return info;
  }
  BY_HANDLE_FILE_INFORMATION st{};
  if (!::GetFileInformationByHandle(Handle(file), &st)) {
    error = LastError();
    return {};
  }
  error.clear();
  FileInfo info;
  info.identity = {st.dwVolumeSerialNumber,
                   (static_cast<std::uint64_t>(st.nFileIndexHigh) << 32) | st.nFileIndexLow};
  info.regular = (st.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  info.size = info.regular ? (static_cast<std::uint64_t>(st.nFileSizeHigh) << 32) | st.nFileSizeLow : 0;
  return info;
}

std::int64_t ReadSomeAt(const File& file, std::uint64_t at, char* data, std::size_t size,
                        std::error_code& error) {
  if (!file.isOpen()) {
    error = NotOpen();
    return -1;
  }
  // The offset goes with the call; the handle's own position is of no use to the loader, which
  // reads shared files only this way.
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFU);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  const DWORD want = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!::ReadFile(Handle(file), data, want, &got, &where)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_HANDLE_EOF) {
      error.clear();
      return 0;
    }
    error = SystemError(code);
    return -1;
  }
  error.clear();
  return static_cast<std::int64_t>(got);
}

bool ReadAt(const File& file, std::uint64_t at, char* data, std::size_t size) {
  std::size_t done = 0;
  std::error_code error;
  while (done < size) {
    const std::int64_t n = ReadSomeAt(file, at + done, data + done, size - done, error);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t WriteOnce(const File& file, std::string_view bytes, std::error_code& error) {
  if (!file.isOpen()) {
    error = NotOpen();
    return -1;
  }
  const DWORD want = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
  DWORD written = 0;
  if (!::WriteFile(Handle(file), bytes.data(), want, &written, nullptr)) {
    error = LastError();
    return -1;
  }
  error.clear();
  return static_cast<std::int64_t>(written);
}

std::error_code WriteAll(const File& file, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::error_code error;
    const std::int64_t n = WriteOnce(file, bytes.substr(done), error);
    if (n < 0) return error;
    if (n == 0) return std::make_error_code(std::errc::no_space_on_device);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code FlushToDisk(const File& file) {
  if (!file.isOpen()) return NotOpen();
  if (::GetFileType(Handle(file)) != FILE_TYPE_DISK) return std::make_error_code(std::errc::invalid_argument);
  return ::FlushFileBuffers(Handle(file)) ? std::error_code() : LastError();
}

LockOutcome LockFile(const File& file, std::chrono::milliseconds retry,
                     std::chrono::steady_clock::time_point giveUp, const std::stop_token& stop,
                     std::error_code& error) {
  error.clear();
  if (!file.isOpen()) {
    error = NotOpen();
    return LockOutcome::kFailed;
  }
  for (;;) {
    OVERLAPPED where{};
    where.Offset = kLockOffsetLow;
    where.OffsetHigh = kLockOffsetHigh;
    if (::LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where))
      return LockOutcome::kTaken;
    const DWORD code = ::GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      error = SystemError(code);
      return LockOutcome::kFailed;
    }
    if (stop.stop_requested()) return LockOutcome::kStopped;
    if (std::chrono::steady_clock::now() >= giveUp) return LockOutcome::kTimedOut;
    std::this_thread::sleep_for(retry);
  }
}

void UnlockFile(const File& file) {
  if (!file.isOpen()) return;
  OVERLAPPED where{};
  where.Offset = kLockOffsetLow;
  where.OffsetHigh = kLockOffsetHigh;
  ::UnlockFileEx(Handle(file), 0, 1, 0, &where);
}

std::error_code PutInPlace(const std::string& temp, const std::string& path) {
  const std::wstring from = win::Widen(temp);
  const std::wstring to = win::Widen(path);
  if (from.empty() || to.empty()) return std::make_error_code(std::errc::invalid_argument);
  // First as POSIX does it: the old file goes even while others have it open, and they keep
  // reading it. Systems before Windows 10 1809 (and Wine) have no such rename: there the
  // classic one serves, which returns only once the change is on the disk, but is refused
  // while anyone has the old file open.
  bool unsupported = false;
  std::error_code error;
  for (int attempt = 0; attempt < kRenameTries; ++attempt) {
    if (!unsupported) error = RenameOver(from, to, unsupported);
    if (unsupported)
      error = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                  ? std::error_code()
                  : LastError();
    if (!error) return {};
    if (error.value() != ERROR_ACCESS_DENIED && error.value() != ERROR_SHARING_VIOLATION) break;
    std::this_thread::sleep_for(kRenameRetryGap);
  }
  return error;
}

std::error_code ReplaceFile(const std::string& path, std::string_view contents, std::filesystem::perms mode) {
  const std::string temp = path + ".tmp." + std::to_string(::GetCurrentProcessId());
  std::error_code error;
  File out = Open(temp, GENERIC_WRITE, CREATE_ALWAYS, error);
  if (!out.isOpen()) return error;
  error = WriteAll(out, contents);
  if (!error) error = FlushToDisk(out);
  // A read-only file could not be replaced the next time: the mode is given to the new file
  // only once it is in place.
  if (const std::error_code closed = out.Close(); closed && !error) error = closed;
  if (!error) error = PutInPlace(temp, path);
  if (error) {
    ::DeleteFileW(win::Widen(temp).c_str());
    return error;
  }
  if (ReadOnlyMode(mode)) ::SetFileAttributesW(win::Widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
  return {};
}

TemporaryFile MakeTemporaryFile(const std::string& prefix, std::error_code& error) {
  TemporaryFile made;
  // CREATE_NEW fails for a name that exists: a file made this way was opened by nobody else.
  // Only this handle may write it; others may read it, and it may be renamed while open.
  constexpr int kTries = 100;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    std::string path = prefix + UniqueName();
    const std::wstring wide = win::Widen(path);
    if (wide.empty()) {
      error = std::make_error_code(std::errc::invalid_argument);
      return made;
    }
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      error.clear();
      made.file = File(Native(h));
      made.path = std::move(path);
      return made;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      error = SystemError(code);
      return made;
    }
  }
  error = SystemError(ERROR_FILE_EXISTS);
  return made;
}

std::error_code SetFileMode(const File& file, std::filesystem::perms mode) {
  if (!file.isOpen()) return NotOpen();
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(Handle(file), FileBasicInfo, &basic, sizeof basic)) return LastError();
  const DWORD before = basic.FileAttributes;
  DWORD after =
      ReadOnlyMode(mode) ? (before | FILE_ATTRIBUTE_READONLY) : (before & ~DWORD{FILE_ATTRIBUTE_READONLY});
  // Zero would mean "leave the attributes as they are".
  if (after == 0) after = FILE_ATTRIBUTE_NORMAL;
  if (after == before) return {};
  basic.FileAttributes = after;
  return ::SetFileInformationByHandle(Handle(file), FileBasicInfo, &basic, sizeof basic) ? std::error_code()
                                                                                         : LastError();
}

std::error_code RemoveFile(const std::string& path) {
  const std::wstring wide = win::Widen(path);
  if (wide.empty()) return {};
  if (::DeleteFileW(wide.c_str())) return {};
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return {};
  return SystemError(code);
}

}  // namespace platform
