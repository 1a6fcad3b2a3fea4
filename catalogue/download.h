#pragma once
// Fetches one file from the web into a local folder on a short-lived worker thread.

#include <functional>
#include <string>

namespace catalogue {

struct DownloadJob {
  std::string baseUrl;  // without a trailing "/"
  std::string folder;   // ends with a separator
  // Polled while the download runs, from the download's worker thread; true aborts it (the
  // existing file stays as it was).
  std::function<bool()> cancelled = [] { return false; };
  // Optional check of the whole body, given the path of the downloaded file, before it
  // replaces the old file; false refuses it.
  std::function<bool(const std::string& tempPath)> accept;
};

// base URL + "/" + name into folder + name. The file is replaced only when the whole body
// arrived with success (and `accept` agreed); otherwise the old file stays byte for byte.
bool DownloadFile(const DownloadJob& job, const std::string& name);

}  // namespace catalogue
