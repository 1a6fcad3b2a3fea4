// The catalogue steps: refresh, product table, file check. "Check for Updates" is these alone;
// the start-up sequence runs them before Connect.

#include "app/loader.h"
#include "catalogue/catalogue.h"

namespace app {

bool Loader::RunCatalogueSteps() {
  const auto cancelled = [this] { return m_view.stopRequested(); };
  catalogue::RefreshCatalogue(m_strFirmFolderA, m_options.m_bOffline, m_view, cancelled);
  if (Stopped()) return false;
  if (catalogue::BuildProductTable(m_strFirmFolderA, m_products, m_strFirmUrl, m_view) == 0) {
    m_view.setMainStatus("Cannot Locate Product Database.");
    return false;
  }
  catalogue::CheckFirmwareFiles(m_strFirmFolderA, m_products, m_strFirmUrl, m_options.m_bOffline,
                                m_options.m_bKeepUntagged, m_view, cancelled);
  return !Stopped();
}

void Loader::CheckForUpdates() { RunCatalogueSteps(); }

}  // namespace app
