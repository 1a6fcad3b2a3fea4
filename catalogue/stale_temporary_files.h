#pragma once
// The temporary download files a killed run left in the firmware folder.

#include <chrono>
#include <string>

namespace catalogue {

// Removes the temporary download files a killed run left in `folder` (names of the loader's
// own temporary pattern only, regular files only, untouched for at least `idleFor`, so that a
// download another loader is running into the same folder keeps its file); returns how many
// were removed.
int RemoveStaleTemporaryFiles(const std::string& folder,
                              std::chrono::seconds idleFor = std::chrono::seconds(0));

}  // namespace catalogue
