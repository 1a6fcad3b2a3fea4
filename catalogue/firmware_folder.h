#pragma once
// Where the firmware files and the catalogue live on this machine.

#include <string>

namespace catalogue {

struct FolderResult {
  bool ok = false;
  std::string path;     // ends with a separator when ok
  std::string problem;  // when not ok: one line naming the folder and the reason
  // When ok: false for a folder that can be read but not written; it is then used as it is and
  // nothing is downloaded into it.
  bool writable = false;
  // When ok: one line for the log's detail when the folder is not the one first asked for, or
  // cannot be written; "" otherwise.
  std::string detail;
};

// With $VORLOADER_PROGRAMDATA set (and not empty), its "VORnet/" folder and no other: created
// when missing, with the missing folders above it (a detail names the program data folder when
// it did not exist), and no folder at all when it cannot be had or read.
// Otherwise the machine-wide /var/lib/VORnet/ when it can be had and written, else the per-user
// data folder ($XDG_DATA_HOME, else ~/.local/share) + "VORnet/", created private to the user.
FolderResult InitFirmwareFolder();
// The same with another machine-wide program data folder than /var/lib.
FolderResult InitFirmwareFolder(const std::string& machineProgramData);

}  // namespace catalogue
