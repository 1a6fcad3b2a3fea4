// A run killed during a download leaves its temporary file behind; the next start clears it.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>

#include "catalogue/catalogue.h"
#include "catalogue/download.h"

namespace catalogue {

int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds idleFor) {
  const std::time_t now = std::time(nullptr);
  if (folder.empty()) return 0;
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  struct Closer {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  std::unique_ptr<DIR, Closer> dir(::opendir(prefix.c_str()));
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (!IsTemporaryFileName(name)) continue;
    // Never follows a link, and leaves alone anything that is not a plain file.
    struct stat st {};
    if (::lstat((prefix + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - st.st_mtime < idleFor.count()) continue;
    if (::unlink((prefix + name).c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace catalogue
