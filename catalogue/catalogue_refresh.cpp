// Fetches a fresh catalogue from the update folder on the maker's support server.

#include "catalogue/catalogue_refresh.h"

#include <cstdlib>
#include <utility>

#include "catalogue/catalogue_text.h"
#include "platform/folders.h"

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

std::optional<DownloadResult> RefreshCatalogue(const std::string& folder, bool offline, LoaderView& view,
                                               std::stop_token stop) {
  const bool writable = !folder.empty() && platform::AccessTo(folder).write;
  return RefreshCatalogue(folder, offline, writable, view, std::move(stop));
}

std::optional<DownloadResult> RefreshCatalogue(const std::string& folder, bool offline, bool folderWritable,
                                               LoaderView& view, std::stop_token stop) {
  if (offline) return std::nullopt;
  if (folder.empty() || !folderWritable) {
    view.appendLog("Checking Online..Failed!");
    view.detail(folder.empty() ? std::string("there is no firmware folder to download the catalogue into")
                               : "the firmware folder " + folder +
                                     " cannot be written: the catalogue is not downloaded into it");
    return std::nullopt;
  }

  std::string url;
  const std::string block = ReadCatalogueTag(folder, "VORNET_VERSIONS", kCatalogueFile);
  if (!block.empty()) url = ExtractTag("VORNET_UPDATE_FOLDER_URL", block);
  if (url.empty()) url = DefaultUpdateUrl();

  DownloadJob job;
  job.baseUrl = url;
  job.folder = folder;
  job.stop = std::move(stop);
  job.accept = HoldsProductDatabase;
  job.refusedAs = "not a catalogue";
  job.maxBytes = kMaxCatalogueDownload;
  std::string timeoutProblem;
  job.timeoutSeconds = DownloadTimeout(timeoutProblem);
  if (!timeoutProblem.empty()) view.detail(timeoutProblem);

  DownloadResult result = DownloadFile(job, kCatalogueFile);
  view.appendLog(result ? "Checking Online..OK." : "Checking Online..Failed!");
  if (!result) view.detail(result.text);
  return result;
}

}  // namespace catalogue
