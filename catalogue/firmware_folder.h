#pragma once
// Where the firmware files and the catalogue live on this machine.

#include <string>

namespace catalogue {

struct FolderResult {
  bool ok = false;
  std::string path;     // ends with a separator when ok
  std::string problem;  // when not ok: one line naming the folder and the reason
};

// The machine-wide program data folder ($VORLOADER_PROGRAMDATA, else /var/lib) + "VORnet/",
// creating only that last level; when that cannot be had or written, the per-user data folder
// ($XDG_DATA_HOME, else ~/.local/share) + "VORnet/".
FolderResult InitFirmwareFolder();

// The process-wide firmware folder path, set once at start-up (empty when none).
extern std::string g_strFirmFolder;

}  // namespace catalogue
