// Verifies that every product's firmware file is present, of the catalogue's version and
// readable; downloads the ones that fail and reports what is still missing or not encrypted.
//
// A file name serves one product version only: the first row naming a file owns it, and a
// later row naming the same file for another version is missing, since whatever one download
// brings can be right for one of them only. Rows of the same version share the file, and it is
// fetched at most once for them, and never over a file that one of them already accepted.

#include "catalogue/file_check.h"

#include <utility>
#include <vector>

#include "catalogue/checked_firmware.h"
#include "catalogue/download.h"
#include "catalogue/safe_file_name.h"
#include "platform/folders.h"

namespace catalogue {

namespace {

struct RowCheck {
  bool blocked = false;          // may never be read or fetched
  std::size_t owner = 0;         // the first row naming the same file
  std::vector<std::string> why;  // detail lines for a row left missing
};

struct Check {
  const std::string& folder;
  ProductTable& table;
  bool keepUntagged;
  std::vector<RowCheck> rows;
  std::string note;  // said once after the count of missing files
};

void Accept(ProductTable& table, std::size_t i, const FirmwareScan& scan) {
  table.m_prodState[i] = scan.state;
  table.m_prodDigest[i] = scan.digest;
  table.m_prodScan[i] = scan.result.Text();
}

void Refuse(ProductTable& table, std::size_t i) {
  table.m_prodState[i] = Needed;
  table.m_prodDigest[i] = {};
  table.m_prodScan[i].clear();
}

// Names that leave the folder, the loader's own names, and files owned by another version.
void ClaimFiles(Check& c, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    RowCheck& row = c.rows[i];
    const std::string& name = c.table.m_prodHexFile[i];
    row.owner = i;
    if (c.folder.empty() || !IsSafeFileName(name)) {
      row.blocked = true;
      if (!c.folder.empty())
        row.why.push_back("\"" + name + "\" cannot be a file name in the firmware folder");
      continue;
    }
    if (IsReservedFileName(name)) {
      row.blocked = true;
      row.why.push_back(name + " is the name of one of the loader's own files, never of a firmware file");
      continue;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (c.table.m_prodHexFile[j] != name || c.rows[j].blocked) continue;
      row.owner = j;
      break;
    }
    if (row.owner != i && c.table.m_prodVersion[row.owner] != c.table.m_prodVersion[i]) {
      row.blocked = true;
      row.why.push_back(name + " is already the file of " + c.table.m_prodName[row.owner] + " version " +
                        c.table.m_prodVersion[row.owner] + "; it cannot also hold " + c.table.m_prodName[i] +
                        " version " + c.table.m_prodVersion[i]);
    }
  }
}

// Scans row i's file as it is now and keeps what the scan found only when the check accepts it.
void VerifyRow(Check& c, std::size_t i) {
  const FirmwareScan scan = ScanFirmwareFile(c.folder + c.table.m_prodHexFile[i], c.table.m_prodTag[i]);
  if (AcceptsScan(scan, c.table.m_prodFileTag[i], c.keepUntagged)) {
    Accept(c.table, i, scan);
    c.rows[i].why.clear();
    return;
  }
  Refuse(c.table, i);
  c.rows[i].why.assign(1,
                       c.folder + c.table.m_prodHexFile[i] + " " + Shortfall(scan, c.table.m_prodFileTag[i]));
}

// Another row of row i's file already accepted it: fetching it again could take it from that row.
bool AcceptedByAnother(const Check& c, std::size_t i, std::size_t n) {
  const std::size_t owner = c.rows[i].owner;
  for (std::size_t j = owner; j < n; ++j)
    if (j != i && !c.rows[j].blocked && c.rows[j].owner == owner && IsUsable(c.table.m_prodState[j]))
      return true;
  return false;
}

bool FolderWritable(const std::string& folder) {
  return platform::AccessTo(folder).write;
}

// One download for row i; the body replaces the local file only when it passes row i's check.
void FetchRow(Check& c, std::size_t i, DownloadJob& job, LoaderView& view) {
  ProductTable& table = c.table;
  view.setMainStatus("Attempting to load file->" + table.m_prodHexFile[i]);
  FirmwareScan fetched;
  job.accept = [&](const std::string& tempPath) {
    fetched = ScanFirmwareFile(tempPath, table.m_prodTag[i]);
    return AcceptsScan(fetched, table.m_prodFileTag[i], c.keepUntagged);
  };
  job.refusedAs = "not a firmware file holding " + table.m_prodFileTag[i];
  const DownloadResult result = DownloadFile(job, table.m_prodHexFile[i]);
  if (result) {
    Accept(table, i, fetched);
    c.rows[i].why.clear();
    return;
  }
  std::string text = result.text;
  if (result.cause == DownloadCause::kBodyRefused)
    text = result.url + ": " + Shortfall(fetched, table.m_prodFileTag[i]);
  c.rows[i].why.push_back(text);
}

void DownloadNeededFiles(Check& c, std::size_t n, const std::string& firmUrl, LoaderView& view,
                         const std::stop_token& stop) {
  view.setMainStatus("Missing/Incorrect version Files.. Checking Online source.");
  DownloadJob job;
  job.baseUrl = firmUrl;
  job.folder = c.folder;
  job.maxBytes = kMaxFirmwareDownload;
  job.stop = stop;
  std::string timeoutProblem;
  job.timeoutSeconds = DownloadTimeout(timeoutProblem);
  if (!timeoutProblem.empty()) view.detail(timeoutProblem);

  std::vector<bool> fetchedFor(n, false);  // by owner: the file was asked for in this check
  for (std::size_t i = 0; i < n; ++i) {
    if (c.table.m_prodState[i] != Needed || c.rows[i].blocked) continue;
    const std::size_t owner = c.rows[i].owner;
    if (fetchedFor[owner]) {
      // Shares the file fetched for an earlier row of its version.
      VerifyRow(c, i);
    } else if (AcceptedByAnother(c, i, n)) {
      c.rows[i].why.push_back(c.table.m_prodHexFile[i] +
                              " is not fetched again: it is the checked file of another product of version " +
                              c.table.m_prodVersion[i]);
    } else {
      fetchedFor[owner] = true;
      FetchRow(c, i, job, view);
    }
  }
}

void Report(const Check& c, std::size_t n, int good, int plain, LoaderView& view) {
  const ProductTable& table = c.table;
  if (good == static_cast<int>(n)) {
    view.appendLog("All Files found and Correct.");
  } else {
    view.appendLog("Warning " + std::to_string(static_cast<int>(n) - good) + " Missing Files.");
    if (!c.note.empty()) view.detail(c.note);
    for (std::size_t i = 0; i < n; ++i) {
      if (table.m_prodState[i] >= PlainOk) continue;
      view.appendLog("Missing->" + table.m_prodHexFile[i] + ".");
      for (const std::string& why : c.rows[i].why) view.detail(why);
    }
  }
  if (plain != 0) {
    view.appendLog("Warning " + std::to_string(plain) + " Files are not encrypted.");
    for (std::size_t i = 0; i < n; ++i)
      if (table.m_prodState[i] == PlainOk) view.appendLog("Unenrypted->" + table.m_prodHexFile[i] + ".");
  }
}

}  // namespace

int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       bool offline, bool keepUntagged, LoaderView& view, std::stop_token stop) {
  FileCheckSettings settings;
  settings.offline = offline;
  settings.keepUntagged = keepUntagged;
  settings.folderWritable = !folder.empty() && FolderWritable(folder);
  settings.stop = std::move(stop);
  return CheckFirmwareFiles(folder, table, m_strFirmUrl, settings, view);
}

int CheckFirmwareFiles(const std::string& folder, ProductTable& table, const std::string& m_strFirmUrl,
                       const FileCheckSettings& settings, LoaderView& view) {
  // A count past the table's size is never trusted as an index.
  const std::size_t n = table.m_nProducts < kMaxProducts ? table.m_nProducts : kMaxProducts;
  Check c{folder, table, settings.keepUntagged, std::vector<RowCheck>(n), {}};
  ClaimFiles(c, n);

  bool anyFetchable = false;
  for (std::size_t i = 0; i < n; ++i) {
    Refuse(table, i);
    if (!c.rows[i].blocked) VerifyRow(c, i);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (table.m_prodState[i] == Needed && !c.rows[i].blocked && !AcceptedByAnother(c, i, n))
      anyFetchable = true;

  if (anyFetchable && !settings.offline) {
    if (settings.folderWritable) {
      DownloadNeededFiles(c, n, m_strFirmUrl, view, settings.stop);
    } else {
      c.note = "the firmware folder " + folder + " cannot be written: no firmware file is downloaded into it";
    }
  }

  int good = 0;
  int plain = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (IsUsable(table.m_prodState[i])) ++good;
    if (table.m_prodState[i] == PlainOk) ++plain;
  }
  Report(c, n, good, plain, view);
  view.setMainStatus("");
  return good;
}

}  // namespace catalogue
