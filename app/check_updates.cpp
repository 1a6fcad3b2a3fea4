// "Check for Updates": the catalogue steps of the start-up sequence, again.

#include "app/loader.h"
#include "catalogue/catalogue.h"

namespace app {

void Loader::CheckForUpdates() {
  const auto cancelled = [this] { return m_view.stopRequested(); };
  catalogue::RefreshCatalogue(m_strFirmFolderA, m_options.m_bOffline, m_view, cancelled);
  if (Stopped()) return;
  if (catalogue::BuildProductTable(m_strFirmFolderA, m_products, m_strFirmUrl, m_view) == 0) {
    m_view.setMainStatus("Cannot Locate Product Database.");
    return;
  }
  catalogue::CheckFirmwareFiles(m_strFirmFolderA, m_products, m_strFirmUrl, m_options.m_bOffline,
                                m_options.m_bKeepUntagged, m_view, cancelled);
}

}  // namespace app
