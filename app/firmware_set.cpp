// The catalogue steps: refresh, product table, file check. "Check for Updates" is these alone;
// the start-up sequence runs them before Connect.

#include "app/firmware_set.h"

#include <optional>
#include <utility>

#include "app/forwarding_view.h"
#include "catalogue/catalogue_refresh.h"
#include "catalogue/file_check.h"
#include "catalogue/firmware_folder.h"
#include "catalogue/stale_temporary_files.h"

namespace app {

FirmwareSet::FirmwareSet(Options options, std::string folder, std::string folderProblem)
    : m_options(options),
      m_strFirmFolderA(std::move(folder)),
      m_folderProblem(std::move(folderProblem)),
      m_products(std::make_shared<const catalogue::ProductTable>()) {}

FirmwareSet::FirmwareSet(Options options, const FirmwareFolder& folder)
    : FirmwareSet(options, folder.path, folder.problem) {
  m_folderDetail = folder.detail;
  m_folderWritable = folder.writable;
}

FirmwareFolder OpenFirmwareFolder() {
  const catalogue::FolderResult found = catalogue::InitFirmwareFolder();
  // A file untouched this long belongs to no running download (a live one is written to far
  // more often than the download's low-speed limit allows), so another loader's is safe.
  constexpr std::chrono::minutes kIdleTemporaryFile{2};
  if (found.ok && found.writable) catalogue::RemoveStaleTemporaryFiles(found.path, kIdleTemporaryFile);
  FirmwareFolder folder;
  folder.path = found.ok ? found.path : std::string();
  folder.problem = found.problem;
  folder.detail = found.detail;
  folder.writable = found.ok && found.writable;
  return folder;
}

std::shared_ptr<const catalogue::ProductTable> FirmwareSet::products() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_products;
}

CatalogueReport FirmwareSet::RunCatalogueSteps(LoaderView& view, const std::stop_token& stop) {
  CatalogueReport report;
  const std::optional<catalogue::DownloadResult> refresh =
      catalogue::RefreshCatalogue(m_strFirmFolderA, m_options.offline(), m_folderWritable, view, stop);
  if (stop.stop_requested()) {
    report.stopped = true;
    return report;
  }
  auto table = std::make_shared<catalogue::ProductTable>();
  report.products = catalogue::BuildProductTable(m_strFirmFolderA, *table, m_strFirmUrl, view);
  if (report.products == 0) {
    view.setMainStatus("Cannot Locate Product Database.");
    const std::string note = catalogue::NoProductDatabaseNote(m_strFirmFolderA, refresh);
    if (!note.empty()) view.detail(note);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_products = std::move(table);
    return report;
  }
  catalogue::FileCheckSettings settings;
  settings.offline = m_options.offline();
  settings.keepUntagged = m_options.keepUntagged();
  settings.folderWritable = m_folderWritable;
  settings.stop = stop;
  // The report the file check logs, kept as it goes by (the terminal's -q prints it alone).
  class ReportKeeper final : public ForwardingView {
   public:
    ReportKeeper(LoaderView& next, std::vector<std::string>& lines) : ForwardingView(next), m_lines(lines) {}
    void appendLog(const std::string& line) override {
      m_lines.push_back(line);
      m_next.appendLog(line);
    }

   private:
    std::vector<std::string>& m_lines;
  } keeper(view, report.fileCheck);
  report.usable = catalogue::CheckFirmwareFiles(m_strFirmFolderA, *table, m_strFirmUrl, settings, keeper);
  report.stopped = stop.stop_requested();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_products = std::move(table);
  return report;
}

}  // namespace app
