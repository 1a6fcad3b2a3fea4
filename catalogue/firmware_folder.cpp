// Where the firmware files and the catalogue live. The machine-wide program data folder is
// shared by every user; an ordinary user, who may not write there, gets a folder of their own.

#include "catalogue/firmware_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace catalogue {

std::string g_strFirmFolder;

namespace {

constexpr const char* kFolderName = "VORnet";
constexpr const char* kDefaultProgramData = "/var/lib";

struct Attempt {
  std::string path;    // the firmware folder tried, ending with "/"; "" when none could be named
  std::string reason;  // "" when the folder is usable
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

// Finds or creates the last level only; the folder must end up a directory we may write in.
std::string UseFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return ErrnoText(errno);
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return ErrnoText(errno);
    if (::stat(path.c_str(), &st) != 0) return ErrnoText(errno);
  }
  if (!S_ISDIR(st.st_mode)) return "exists but is not a folder";
  if (::access(path.c_str(), W_OK | X_OK) != 0) return ErrnoText(errno);
  return {};
}

Attempt MachineWide() {
  std::string base = FromEnv("VORLOADER_PROGRAMDATA");
  if (base.empty()) base = kDefaultProgramData;
  Attempt a{FirmwarePathBelow(base), {}};
  a.reason = UseFolder(a.path);
  return a;
}

// The per-user data folder may not exist yet on a fresh account: it and its parents are
// created private to the user, as such folders are; then the last level as usual.
std::string CreateParents(const std::string& base) {
  for (std::size_t slash = base.find('/', 1);; slash = base.find('/', slash + 1)) {
    const std::string level = base.substr(0, slash);
    if (!level.empty() && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return ErrnoText(errno);
    if (slash == std::string::npos) break;
  }
  return {};
}

Attempt PerUser() {
  std::string base = FromEnv("XDG_DATA_HOME");
  if (base.empty() || base.front() != '/') {  // a relative value is to be ignored
    const std::string home = FromEnv("HOME");
    if (home.empty()) return {"", "no home folder is known"};
    base = home + "/.local/share";
  }
  Attempt a{FirmwarePathBelow(base), {}};
  a.reason = CreateParents(base);
  if (a.reason.empty()) a.reason = UseFolder(a.path);
  return a;
}

std::string Describe(const Attempt& a) {
  return (a.path.empty() ? std::string("a per-user folder") : a.path) + " (" + a.reason + ")";
}

}  // namespace

FolderResult InitFirmwareFolder() {
  FolderResult result;
  const Attempt machine = MachineWide();
  Attempt chosen = machine;
  if (!machine.reason.empty()) chosen = PerUser();

  if (chosen.reason.empty()) {
    result.ok = true;
    result.path = chosen.path;
  } else {
    result.problem = "No firmware folder: cannot use " + Describe(machine) + " nor " + Describe(chosen) + ".";
  }
  g_strFirmFolder = result.path;
  return result;
}

}  // namespace catalogue
