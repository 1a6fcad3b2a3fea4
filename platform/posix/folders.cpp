#include "platform/folders.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {

// An absolute folder from the variable `name`, else `below` under $HOME. A relative value is
// invalid and ignored, as the base directory rules say.
std::optional<std::string> XdgFolder(const Environment& env, const char* name, const char* below) {
  const std::optional<std::string> named = env(name);
  if (named && !named->empty() && named->front() == '/') return *named;
  const std::optional<std::string> home = env("HOME");
  if (home && !home->empty()) return *home + below;
  return std::nullopt;
}

}  // namespace

Environment ProcessEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

std::string MakePrivateFolders(const std::string& folder) {
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
    return "cannot use folder " + folder + ": " + (ec ? ec.message() : std::string(std::strerror(ENOTDIR)));
  return {};
}

FolderAccess AccessTo(const std::string& folder) {
  FolderAccess access;
  if (::access(folder.c_str(), R_OK | X_OK) != 0) {
    access.readError = {errno, std::system_category()};
  } else {
    access.read = true;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    access.writeError = {errno, std::system_category()};
  } else {
    access.write = true;
  }
  return access;
}

std::optional<std::string> UserStateFolder(const Environment& env) {
  return XdgFolder(env, "XDG_STATE_HOME", "/.local/state");
}

std::optional<std::string> UserDataFolder(const Environment& env) {
  return XdgFolder(env, "XDG_DATA_HOME", "/.local/share");
}

std::string MachineDataFolder() {
  return "/var/lib";
}

}  // namespace platform
