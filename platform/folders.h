#pragma once
// Folders: making a user's private ones, asking whether this process may use one, and the
// standard places where the loader keeps its files on this system.

#include <functional>
#include <optional>
#include <string>
#include <system_error>

namespace platform {

// The environment as the loader's rules read it: a variable's value, or nullopt when it is not
// set (which is not the same as set and empty). Tests give their own.
using Environment = std::function<std::optional<std::string>(const char* name)>;
// The process's own environment.
Environment ProcessEnvironment();

// Makes every missing folder of `folder`, each private to the user (mode 0700, or on a system
// without such modes inheriting the user's profile's protection); folders that exist are left
// as they are. Returns why it could not ("cannot make folder X: reason", "cannot use folder X:
// reason" when `folder` is there but no folder); empty when `folder` is a folder now.
std::string MakePrivateFolders(const std::string& folder);

// Whether this process may list and open files in the folder (`read`) and also make, replace
// and remove files there (`write`), as the system decides (the permission bits alone cannot
// tell). `readError`/`writeError` hold the system's reason when not.
struct FolderAccess {
  bool read = false;
  bool write = false;
  std::error_code readError;
  std::error_code writeError;
};
FolderAccess AccessTo(const std::string& folder);

// The standard places. Each is an absolute folder, written as the environment gives it, or
// nullopt when the environment names none.
// Per-user state that is kept between runs (the record file's folder): an absolute
// $XDG_STATE_HOME, else $HOME/.local/state (Windows: %LOCALAPPDATA%).
std::optional<std::string> UserStateFolder(const Environment& env);
// Per-user data (the firmware folder of a user who may not write the machine's): an absolute
// $XDG_DATA_HOME, else $HOME/.local/share (Windows: %LOCALAPPDATA%).
std::optional<std::string> UserDataFolder(const Environment& env);
// Data shared by every user of the machine: /var/lib (Windows: %ProgramData%).
std::string MachineDataFolder();

}  // namespace platform
