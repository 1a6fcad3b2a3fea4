#pragma once
// The online refresh of the catalogue from the update folder on the maker's support server.

#include <optional>
#include <stop_token>
#include <string>

#include "catalogue/download.h"
#include "common/loader_view.h"

namespace catalogue {

// The update folder used when the local catalogue names none: $VORLOADER_UPDATE_URL, else the
// maker's support server.
std::string DefaultUpdateUrl();

// Downloads a fresh catalogue unless offline; logs "Checking Online..OK." or "..Failed!",
// the failure followed by a detail with the URL and the cause. Nothing is downloaded into a
// folder that cannot be written, nor without a folder ("Checking Online..Failed!" and a detail
// that says which). Stops when `stop` is requested. Returns the download, or nothing when none
// was asked for (offline, or no folder to download into).
std::optional<DownloadResult> RefreshCatalogue(const std::string& folder, bool offline, bool folderWritable,
                                               LoaderView& view, std::stop_token stop = {});
// The same, asking the system whether the folder can be written.
std::optional<DownloadResult> RefreshCatalogue(const std::string& folder, bool offline, LoaderView& view,
                                               std::stop_token stop = {});

}  // namespace catalogue
