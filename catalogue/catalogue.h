#pragma once
// The catalogue file "vornet_verinfo.xml", its online refresh, the product table built from
// it, and the check of the firmware file set.

#include <chrono>
#include <functional>
#include <string>

#include "catalogue/product_table.h"
#include "common/loader_view.h"

namespace catalogue {

inline constexpr const char* kCatalogueFile = "vornet_verinfo.xml";

// The update folder used when the local catalogue names none: $VORLOADER_UPDATE_URL, else the
// maker's support server.
std::string DefaultUpdateUrl();

// Value of `element` in the first 8,192 bytes of folder + file (control bytes dropped), or "".
std::string ReadCatalogueTag(const std::string& folder, const std::string& element, const std::string& file);
// Value of `element` inside `source`, or "".
std::string ExtractTag(const std::string& element, const std::string& source);

// Downloads a fresh catalogue unless offline; logs "Checking Online..OK." or "..Failed!",
// the failure followed by a detail with the URL and the cause. Asks the system whether the
// folder can be written.
void RefreshCatalogue(const std::string& folder, bool offline, LoaderView& view,
                      const std::function<bool()>& cancelled = {});
// The same for a folder known to be writable or not: nothing is downloaded into a folder that
// cannot be written ("Checking Online..Failed!" and a detail naming the folder).
void RefreshCatalogue(const std::string& folder, bool offline, bool folderWritable, LoaderView& view,
                      const std::function<bool()>& cancelled = {});

// Rebuilds the table from the local catalogue; returns m_nProducts (0: no product database).
std::uint32_t BuildProductTable(const std::string& folder, ProductTable& table, std::string& m_strFirmUrl,
                                LoaderView& view);

struct FileCheckSettings {
  bool offline = false;
  bool keepUntagged = false;  // option bit 8: a readable image without a version tag is kept
  // False when the firmware folder can be read but not written: nothing is downloaded.
  bool folderWritable = true;
  std::function<bool()> cancelled;
};

// Verifies every row's file, downloads the failing ones unless offline or the folder cannot be
// written, reports; returns the number of rows whose file is usable. A usable row records the
// SHA-256 and the scan of the bytes it was accepted for (see LoadCheckedFirmware).
int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       const FileCheckSettings& settings, LoaderView& view);

// The same, asking the system whether the folder can be written.
int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       bool offline, bool keepUntagged, LoaderView& view,
                       const std::function<bool()>& cancelled = {});

// A file name from the catalogue that may be used as a path inside the firmware folder.
bool IsSafeFileName(const std::string& name);

// A name the loader keeps for its own files in the firmware folder: the catalogue's, and every
// name beginning like its temporary download files. Compared byte for byte, as the folder's
// file system does.
bool IsReservedFileName(const std::string& name);

// A name that may be a product's firmware file: safe, and not reserved.
bool IsFirmwareFileName(const std::string& name);

// Removes the temporary download files a killed run left in `folder` (names of the loader's
// own temporary pattern only, regular files only, untouched for at least `idleFor`, so that a
// download another loader is running into the same folder keeps its file); returns how many
// were removed.
int RemoveStaleTemporaryFiles(const std::string& folder,
                              std::chrono::seconds idleFor = std::chrono::seconds(0));

}  // namespace catalogue
