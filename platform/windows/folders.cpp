// Folders on Windows: the known folders for machine-wide program data and the user's local
// application data, and whether this process may use a folder, as the system's access checks
// decide (its access lists, not any mode bits).

#include "platform/folders.h"

#include "platform/windows/windows_api.h"
// windows.h first: the shell's header needs its types.
#include <shlobj.h>

#include <array>
#include <filesystem>

#include "platform/random.h"
#include "platform/windows/wide_text.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// The known folders' IDs, as the shell defines them.
constexpr GUID kProgramData = {0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
constexpr GUID kLocalAppData = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

// The known folder's path, made when it is missing; empty when the shell has none.
std::string KnownFolder(const GUID& id) {
  wchar_t* path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path);
  std::string folder;
  if (SUCCEEDED(result) && path != nullptr) folder = win::Narrow(path);
  ::CoTaskMemFree(path);
  return folder;
}

bool IsAbsolute(const std::string& path) {
  return !path.empty() && fs::path(win::Widen(path)).is_absolute();
}

std::string WithoutTrailingSeparator(std::string path) {
  // "C:\" keeps its separator: without it, it would name the drive's current folder.
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// An absolute folder from the variable `name`, else the known folder.
std::optional<std::string> NamedOrKnown(const Environment& env, const char* name, const GUID& known) {
  const std::optional<std::string> named = env(name);
  if (named && IsAbsolute(*named)) return WithoutTrailingSeparator(*named);
  std::string folder = KnownFolder(known);
  if (folder.empty()) return std::nullopt;
  return WithoutTrailingSeparator(std::move(folder));
}

std::error_code LastError() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::string Utf8(const fs::path& path) {
  return win::Narrow(path.native());
}

}  // namespace

Environment ProcessEnvironment() {
  // The wide environment: the C runtime's narrow copy is in the ANSI code page, not UTF-8.
  return [](const char* name) -> std::optional<std::string> {
    const std::wstring wideName = win::Widen(name);
    if (wideName.empty()) return std::nullopt;
    ::SetLastError(ERROR_SUCCESS);
    DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
      // Set and empty, or not set at all.
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    std::wstring value(size, L'\0');
    size = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(size);
    return win::Narrow(value);
  };
}

std::string MakePrivateFolders(const std::string& folder) {
  // New folders inherit the protection of the folder they are made in: below the user's own
  // profile, that is private to the user.
  const fs::path target(win::Widen(folder));
  if (target.empty()) return "cannot make folder " + folder + ": no folder named";
  std::error_code ec;
  fs::path made;
  for (const fs::path& part : target) {
    made /= part;
    if (part.empty() || made == made.root_path() || made == made.root_name()) continue;
    if (!fs::create_directory(made, ec) && ec)
      return "cannot make folder " + Utf8(made) + ": " + ec.message();
  }
  if (!fs::is_directory(target, ec))
    return "cannot use folder " + folder + ": " +
           (ec ? ec.message() : std::make_error_code(std::errc::not_a_directory).message());
  return {};
}

FolderAccess AccessTo(const std::string& folder) {
  FolderAccess access;
  const std::wstring wide = win::Widen(folder);
  if (wide.empty()) {
    access.readError = access.writeError = std::make_error_code(std::errc::no_such_file_or_directory);
    return access;
  }
  std::wstring base = wide;
  if (base.back() != L'\\' && base.back() != L'/') base += L'\\';

  // Reading: the folder's files can be listed.
  WIN32_FIND_DATAW found{};
  const HANDLE listing = ::FindFirstFileW((base + L"*").c_str(), &found);
  if (listing == INVALID_HANDLE_VALUE) {
    access.readError = LastError();
  } else {
    ::FindClose(listing);
    access.read = true;
  }

  // Writing: only making a file there tells, since access lists may allow making files but not
  // changing others' files. The trial file is gone again when its handle closes.
  std::array<std::uint8_t, 8> unique{};
  if (!FillRandom(unique)) unique[0] = static_cast<std::uint8_t>(::GetCurrentProcessId());
  std::wstring trial = base + L".vorloader-access-";
  for (std::uint8_t b : unique) trial += static_cast<wchar_t>(L'a' + b % 26);
  const HANDLE file =
      ::CreateFileW(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    access.writeError = LastError();
  } else {
    ::CloseHandle(file);
    access.write = true;
  }
  return access;
}

std::optional<std::string> UserStateFolder(const Environment& env) {
  return NamedOrKnown(env, "LOCALAPPDATA", kLocalAppData);
}

std::optional<std::string> UserDataFolder(const Environment& env) {
  return NamedOrKnown(env, "LOCALAPPDATA", kLocalAppData);
}

std::string MachineDataFolder() {
  if (std::string folder = KnownFolder(kProgramData); !folder.empty())
    return WithoutTrailingSeparator(std::move(folder));
  // Without the shell's answer, the folder every Windows since Vista has.
  const std::optional<std::string> named = ProcessEnvironment()("ProgramData");
  if (named && IsAbsolute(*named)) return WithoutTrailingSeparator(*named);
  return "C:\\ProgramData";
}

}  // namespace platform
