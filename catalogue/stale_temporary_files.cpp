// A run killed during a download leaves its temporary file behind; the next start clears it.

#include "catalogue/stale_temporary_files.h"

#include <filesystem>

#include "catalogue/download.h"

namespace catalogue {

int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds idleFor) {
  namespace fs = std::filesystem;
  if (folder.empty()) return 0;
  const fs::file_time_type now = fs::file_time_type::clock::now();
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    if (!IsTemporaryFileName(path.filename().string())) continue;
    // Never follows a link, and leaves alone anything that is not a plain file.
    std::error_code statError;
    if (fs::symlink_status(path, statError).type() != fs::file_type::regular) continue;
    const fs::file_time_type written = fs::last_write_time(path, statError);
    if (statError || now - written < idleFor) continue;
    if (fs::remove(path, statError)) ++removed;
  }
  return removed;
}

}  // namespace catalogue
