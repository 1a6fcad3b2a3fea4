// Where the firmware files and the catalogue live. The machine-wide program data folder is
// shared by every user; an ordinary user, who may not write there, gets a folder of their own.
// A folder named by the environment is taken at its word: it is never swapped for another.

#include "catalogue/firmware_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/folders.h"

namespace catalogue {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolderName = "VORnet";

// What a folder made by the loader may not give: everyone's write for a shared folder, and
// everything to anyone else for a folder private to the user. The umask takes away the rest.
constexpr fs::perms kNotShared = fs::perms::group_write | fs::perms::others_write;
constexpr fs::perms kNotPrivate = fs::perms::group_all | fs::perms::others_all;

// How far a folder could be had.
enum class Access { kNone, kReadOnly, kReadWrite };

struct Attempt {
  std::string path;  // the firmware folder tried, ending with "/"; "" when none could be named
  Access access = Access::kNone;
  std::string reason;  // why it cannot be had, or cannot be written
};

std::string FromEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// `base` made absolute, so that a later change of working directory cannot move it, without
// a trailing separator (but "/" itself).
std::string AbsoluteBase(const std::string& base) {
  std::error_code ec;
  const fs::path abs = fs::absolute(base, ec);
  std::string path = ec ? base : abs.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// base + "/VORnet/".
std::string FirmwarePathBelow(const std::string& base) {
  std::string path = AbsoluteBase(base);
  if (path != "/") path += "/";
  return path + kFolderName + "/";
}

// Makes the folder `path` (ending with "/") if it is missing, and with `parents` every missing
// level above it too; each level made loses the permissions in `drop`. A level that exists is
// left as it is.
std::error_code MakeFolder(const std::string& path, bool parents, fs::perms drop) {
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  const auto make = [&](const fs::path& level) {
    if (fs::create_directory(level, ec)) fs::permissions(level, drop, fs::perm_options::remove, ec);
  };
  if (!parents) {
    make(folder);
    return ec;
  }
  // From the root on, which is there: a drive's name alone ("C:") is no folder to make or ask
  // about on Windows.
  fs::path level = folder.root_path();
  for (const fs::path& part : folder.relative_path()) {
    level /= part;
    make(level);
    if (ec) return ec;
  }
  return {};
}

// Finds or creates the folder (with its missing parents when asked), and tells how far it can
// be used.
void UseFolder(Attempt& a, bool makeParents, fs::perms drop) {
  std::error_code ec;
  fs::file_status st = fs::status(a.path, ec);
  if (st.type() == fs::file_type::not_found) {
    if (const std::error_code made = MakeFolder(a.path, makeParents, drop)) {
      a.reason = "cannot be created: " + made.message();
      return;
    }
    st = fs::status(a.path, ec);
  }
  if (ec) {
    a.reason = ec.message();
    return;
  }
  if (!fs::is_directory(st)) {
    a.reason = "exists but is not a folder";
    return;
  }
  // Whether this process may read or write there: only the system can say, the permission bits
  // alone cannot.
  const platform::FolderAccess access = platform::AccessTo(a.path);
  if (!access.read) {
    a.reason = "cannot be read: " + access.readError.message();
    return;
  }
  if (!access.write) {
    a.access = Access::kReadOnly;
    a.reason = "cannot be written (" + access.writeError.message() + ")";
    return;
  }
  a.access = Access::kReadWrite;
}

Attempt Below(const std::string& base, bool makeParents, fs::perms drop) {
  Attempt a;
  a.path = FirmwarePathBelow(base);
  UseFolder(a, makeParents, drop);
  return a;
}

// The per-user data folder may not exist yet on a fresh account: it and its parents are
// created private to the user, as such folders are; then the last level, private too.
Attempt PerUser() {
  const std::optional<std::string> base = platform::UserDataFolder(platform::ProcessEnvironment());
  if (!base) return {"", Access::kNone, "no home folder is known"};
  return Below(*base, true, kNotPrivate);
}

std::string Describe(const Attempt& a) {
  return (a.path.empty() ? std::string("a per-user folder") : a.path) + " (" + a.reason + ")";
}

FolderResult Use(const Attempt& a) {
  FolderResult result;
  result.ok = true;
  result.path = a.path;
  result.writable = a.access == Access::kReadWrite;
  if (!result.writable)
    result.detail = "the firmware folder " + a.path + " " + a.reason +
                    ": its files are used as they are, nothing is downloaded into it";
  return result;
}

}  // namespace

FolderResult InitFirmwareFolder() {
  return InitFirmwareFolder(platform::MachineDataFolder());
}

FolderResult InitFirmwareFolder(const std::string& machineProgramData) {
  const std::string programData = FromEnv("VORLOADER_PROGRAMDATA");
  if (!programData.empty()) {
    // A folder the setting names is made with its missing parents, as a fresh machine needs.
    std::error_code ec;
    const bool existed = fs::exists(AbsoluteBase(programData), ec) || ec;
    const Attempt named = Below(programData, true, kNotShared);
    if (named.access == Access::kNone) {
      FolderResult result;
      result.problem = "No firmware folder: cannot use " + Describe(named) + ".";
      return result;
    }
    FolderResult result = Use(named);
    if (!existed && result.detail.empty())
      result.detail = "VORLOADER_PROGRAMDATA names " + AbsoluteBase(programData) +
                      ", which did not exist: it was made, with the firmware folder " + named.path + " in it";
    return result;
  }

  const Attempt machine = Below(machineProgramData, false, kNotShared);
  if (machine.access == Access::kReadWrite) return Use(machine);
  const Attempt user = PerUser();
  if (user.access == Access::kReadWrite) {
    FolderResult result = Use(user);
    result.detail =
        "the firmware folder " + Describe(machine) + " cannot be used; using " + user.path + " instead";
    return result;
  }
  // Read-only firmware files shared by the machine still serve a user who has no folder.
  if (machine.access == Access::kReadOnly) {
    FolderResult result = Use(machine);
    result.detail += "; no per-user folder either: " + Describe(user);
    return result;
  }
  FolderResult result;
  result.problem = "No firmware folder: cannot use " + Describe(machine) + " nor " + Describe(user) + ".";
  return result;
}

}  // namespace catalogue
