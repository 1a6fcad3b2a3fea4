// Fetches a fresh catalogue from the update folder on the maker's support server.

#include <unistd.h>

#include <cstdlib>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_text.h"
#include "catalogue/download.h"

namespace catalogue {

namespace {

constexpr const char* kBuiltInUpdateUrl = "http://support.vornet.example/software/vornet";

// A downloaded catalogue is only worth keeping when the part of it that is ever read holds a
// product database; anything else (an error page, a cut-off file) would replace a good copy.
bool HoldsProductDatabase(const std::string& tempPath) {
  const auto block = FindTag("VORNET_FIRM_VERSIONS", ReadCatalogueText(tempPath));
  return block.has_value() && !block->empty();
}

}  // namespace

std::string DefaultUpdateUrl() {
  const char* env = std::getenv("VORLOADER_UPDATE_URL");
  if (env != nullptr && *env != '\0') return env;
  return kBuiltInUpdateUrl;
}

void RefreshCatalogue(const std::string& folder, bool offline, LoaderView& view,
                      const std::function<bool()>& cancelled) {
  // Without a folder the download itself is refused, as it always was.
  const bool writable = folder.empty() || ::access(folder.c_str(), W_OK | X_OK) == 0;
  RefreshCatalogue(folder, offline, writable, view, cancelled);
}

void RefreshCatalogue(const std::string& folder, bool offline, bool folderWritable, LoaderView& view,
                      const std::function<bool()>& cancelled) {
  if (offline) return;
  if (!folderWritable) {
    view.appendLog("Checking Online..Failed!");
    view.detail("the firmware folder " + folder +
                " cannot be written: the catalogue is not downloaded into it");
    return;
  }

  std::string url;
  const std::string block = ReadCatalogueTag(folder, "VORNET_VERSIONS", kCatalogueFile);
  if (!block.empty()) url = ExtractTag("VORNET_UPDATE_FOLDER_URL", block);
  if (url.empty()) url = DefaultUpdateUrl();

  DownloadJob job;
  job.baseUrl = url;
  job.folder = folder;
  if (cancelled) job.cancelled = cancelled;
  job.accept = HoldsProductDatabase;
  job.refusedAs = "not a catalogue";
  job.maxBytes = kMaxCatalogueDownload;
  std::string timeoutProblem;
  job.timeoutSeconds = DownloadTimeout(timeoutProblem);
  if (!timeoutProblem.empty()) view.detail(timeoutProblem);

  const DownloadResult result = DownloadFile(job, kCatalogueFile);
  view.appendLog(result ? "Checking Online..OK." : "Checking Online..Failed!");
  if (!result) view.detail(result.text);
}

}  // namespace catalogue
