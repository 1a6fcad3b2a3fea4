// Verifies that every product's firmware file is present, of the catalogue's version and
// readable; downloads the ones that fail and reports what is still missing or not encrypted.

#include <sys/stat.h>

#include "catalogue/catalogue.h"
#include "catalogue/download.h"
#include "image/hex_scan.h"

namespace catalogue {

namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The file of row i may only be looked at when its name stays inside the firmware folder.
bool MayUseFile(const std::string& folder, const ProductTable& table, std::size_t i) {
  return !folder.empty() && IsSafeFileName(table.m_prodHexFile[i]);
}

// Scans row i's file and keeps the status the scan set only when the file holds the
// catalogue's version (or, with keepUntagged, holds no version tag at all).
void VerifyRow(const std::string& folder, ProductTable& table, std::size_t i, bool keepUntagged) {
  const std::string result =
      image::ScanHexImage(table.m_prodTag[i], table.m_prodState[i], folder + table.m_prodHexFile[i]);
  if (result == table.m_prodFileTag[i]) return;
  if (keepUntagged && result.compare(0, 3, "ee4") == 0) return;
  table.m_prodState[i] = Needed;
}

void DownloadNeededFiles(const std::string& folder, ProductTable& table, std::size_t n,
                         const std::string& firmUrl, bool keepUntagged, LoaderView& view,
                         const std::function<bool()>& cancelled) {
  view.setMainStatus("Missing/Incorrect version Files.. Checking Online source.");
  DownloadJob job;
  job.baseUrl = firmUrl;
  job.folder = folder;
  if (cancelled) job.cancelled = cancelled;

  for (std::size_t i = 0; i < n; ++i) {
    if (table.m_prodState[i] != Needed || !MayUseFile(folder, table, i)) continue;
    view.setMainStatus("Attempting to load file->" + table.m_prodHexFile[i]);
    if (!DownloadFile(job, table.m_prodHexFile[i])) continue;
    table.m_prodState[i] = Fetched;
    VerifyRow(folder, table, i, keepUntagged);
  }
}

void Report(const ProductTable& table, std::size_t n, int good, int plain, LoaderView& view) {
  if (good == static_cast<int>(n)) {
    view.appendLog("All Files found and Correct.");
  } else {
    view.appendLog("Warning " + std::to_string(static_cast<int>(n) - good) + " Missing Files.");
    for (std::size_t i = 0; i < n; ++i)
      if (table.m_prodState[i] < PlainOk) view.appendLog("Missing->" + table.m_prodHexFile[i] + ".");
  }
  if (plain != 0) {
    view.appendLog("Warning " + std::to_string(plain) + " Files are not encrypted.");
    for (std::size_t i = 0; i < n; ++i)
      if (table.m_prodState[i] == PlainOk) view.appendLog("Unenrypted->" + table.m_prodHexFile[i] + ".");
  }
}

}  // namespace

int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       bool offline, bool keepUntagged, LoaderView& view,
                       const std::function<bool()>& cancelled) {
  // A count past the table's size is never trusted as an index.
  const std::size_t n = table.m_nProducts < kMaxProducts ? table.m_nProducts : kMaxProducts;

  bool anyNeeded = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (MayUseFile(folder, table, i) && FileExists(folder + table.m_prodHexFile[i]))
      VerifyRow(folder, table, i, keepUntagged);
    if (table.m_prodState[i] == Needed) anyNeeded = true;
  }

  if (anyNeeded && !offline)
    DownloadNeededFiles(folder, table, n, m_strFirmUrl, keepUntagged, view, cancelled);

  int good = 0, plain = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (IsUsable(table.m_prodState[i])) ++good;
    if (table.m_prodState[i] == PlainOk) ++plain;
  }
  Report(table, n, good, plain, view);
  view.setMainStatus("");
  return good;
}

}  // namespace catalogue
