#pragma once
// The check of the firmware file set: every product's file present, of the catalogue's version
// and readable; the failing ones downloaded.

#include <stop_token>
#include <string>

#include "catalogue/product_table.h"
#include "common/loader_view.h"

namespace catalogue {

struct FileCheckSettings {
  bool offline = false;
  bool keepUntagged = false;  // option bit 8: a readable image without a version tag is kept
  // False when the firmware folder can be read but not written: nothing is downloaded.
  bool folderWritable = true;
  std::stop_token stop;  // a requested stop ends the downloads
};

// Verifies every row's file, downloads the failing ones unless offline or the folder cannot be
// written, reports; returns the number of rows whose file is usable. A usable row records the
// SHA-256 and the scan of the bytes it was accepted for (see LoadCheckedFirmware).
int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       const FileCheckSettings& settings, LoaderView& view);

// The same, asking the system whether the folder can be written.
int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       bool offline, bool keepUntagged, LoaderView& view, std::stop_token stop = {});

}  // namespace catalogue
