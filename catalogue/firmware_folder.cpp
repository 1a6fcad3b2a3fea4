// Where the firmware files and the catalogue live. The machine-wide program data folder is
// shared by every user; an ordinary user, who may not write there, gets a folder of their own.
// A folder named by the environment is taken at its word: it is never swapped for another.

#include "catalogue/firmware_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace catalogue {

namespace {

constexpr const char* kFolderName = "VORnet";
constexpr const char* kDefaultProgramData = "/var/lib";

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

// base + "/VORnet/", made absolute so that a later change of working directory cannot move it.
std::string FirmwarePathBelow(const std::string& base) {
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(base, ec);
  std::string path = ec ? base : abs.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path != "/") path += "/";
  return path + kFolderName + "/";
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

// Finds or creates the last level only, and tells how far it can be used.
void UseFolder(Attempt& a, mode_t mode) {
  struct stat st {};
  if (::stat(a.path.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      a.reason = ErrnoText(errno);
      return;
    }
    if (::mkdir(a.path.c_str(), mode) != 0 && errno != EEXIST) {
      a.reason = "cannot be created: " + ErrnoText(errno);
      return;
    }
    if (::stat(a.path.c_str(), &st) != 0) {
      a.reason = ErrnoText(errno);
      return;
    }
  }
  if (!S_ISDIR(st.st_mode)) {
    a.reason = "exists but is not a folder";
    return;
  }
  if (::access(a.path.c_str(), R_OK | X_OK) != 0) {
    a.reason = "cannot be read: " + ErrnoText(errno);
    return;
  }
  if (::access(a.path.c_str(), W_OK) != 0) {
    a.access = Access::kReadOnly;
    a.reason = "cannot be written (" + ErrnoText(errno) + ")";
    return;
  }
  a.access = Access::kReadWrite;
}

Attempt Below(const std::string& base, mode_t mode) {
  Attempt a;
  a.path = FirmwarePathBelow(base);
  UseFolder(a, mode);
  return a;
}

// The per-user data folder may not exist yet on a fresh account: it and its parents are
// created private to the user, as such folders are; then the last level, private too.
Attempt PerUser() {
  std::string base = FromEnv("XDG_DATA_HOME");
  if (base.empty() || base.front() != '/') {  // a relative value is to be ignored
    const std::string home = FromEnv("HOME");
    if (home.empty()) return {"", Access::kNone, "no home folder is known"};
    base = home + "/.local/share";
  }
  for (std::size_t slash = base.find('/', 1);; slash = base.find('/', slash + 1)) {
    const std::string level = base.substr(0, slash);
    if (!level.empty() && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
      return {FirmwarePathBelow(base), Access::kNone, ErrnoText(errno)};
    if (slash == std::string::npos) break;
  }
  return Below(base, 0700);
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
  return InitFirmwareFolder(kDefaultProgramData);
}

FolderResult InitFirmwareFolder(const std::string& machineProgramData) {
  const std::string programData = FromEnv("VORLOADER_PROGRAMDATA");
  if (!programData.empty()) {
    const Attempt named = Below(programData, 0755);
    if (named.access != Access::kNone) return Use(named);
    FolderResult result;
    result.problem = "No firmware folder: cannot use " + Describe(named) + ".";
    return result;
  }

  const Attempt machine = Below(machineProgramData, 0755);
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
