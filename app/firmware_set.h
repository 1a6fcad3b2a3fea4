#pragma once
// What every device session reads and none changes while it runs: the options, the firmware
// folder, the update URL and the product table. The catalogue steps build a new table and swap
// it in whole, so a session that holds the table it started with never sees it change.

#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/options.h"
#include "catalogue/product_table.h"
#include "common/loader_view.h"

namespace app {

// What the catalogue steps found.
struct CatalogueReport {
  bool stopped = false;
  std::uint32_t products = 0;          // rows in the product table; 0: no product database
  int usable = 0;                      // rows whose firmware file is present and correct
  std::vector<std::string> fileCheck;  // the file check's report, as it was logged
};

// The firmware folder as the start-up found it.
struct FirmwareFolder {
  std::string path;       // ends with a separator; empty when there is none
  std::string problem;    // when there is none: the one line the start-up sequence logs about it
  std::string detail;     // why it is not the one first asked for, or why nothing can be downloaded into it
  bool writable = false;  // downloads may be written into it
};

// The firmware folder of this machine, with the temporary files of a killed run cleared out.
FirmwareFolder OpenFirmwareFolder();

class FirmwareSet {
 public:
  // `folder` is the firmware folder path ending with a separator (empty when none);
  // `folderProblem`, when not empty, is the one line the start-up sequence logs about it.
  FirmwareSet(Options options, std::string folder, std::string folderProblem = {});
  // The firmware folder as the start-up found it (see OpenFirmwareFolder).
  FirmwareSet(Options options, const FirmwareFolder& folder);

  const Options& options() const { return m_options; }
  const std::string& folder() const { return m_strFirmFolderA; }
  const std::string& folderProblem() const { return m_folderProblem; }
  // Why the folder is not the one first asked for, or why nothing can be downloaded into it.
  const std::string& folderDetail() const { return m_folderDetail; }

  // The product table as it stands: a session keeps this snapshot for its whole run.
  std::shared_ptr<const catalogue::ProductTable> products() const;

  // Refresh, product table, file check, reported through `view`. A new table replaces the
  // old one only when the steps got that far; "Cannot Locate Product Database." when the
  // catalogue names no product, with a detail naming the firmware folder and what belongs in it.
  // A stop requested on `stop` ends the downloads.
  CatalogueReport RunCatalogueSteps(LoaderView& view, const std::stop_token& stop);

 private:
  Options m_options;
  std::string m_strFirmFolderA;
  std::string m_folderProblem;
  std::string m_folderDetail;
  bool m_folderWritable = true;
  std::string m_strFirmUrl;
  mutable std::mutex m_mutex;  // guards the swap of m_products
  std::shared_ptr<const catalogue::ProductTable> m_products;
};

}  // namespace app
