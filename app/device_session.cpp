#include "app/device_session.h"

#include <utility>

#include "app/select_firmware.h"
#include "catalogue/checked_firmware.h"

namespace app {

DeviceSession::DeviceSession(const FirmwareSet& firmware, LoaderView& view, device::PortOpener& opener)
    : m_firmware(firmware), m_view(view), m_link(opener), m_products(firmware.products()) {
  m_link.m_stop = m_stopSource.get_token();
}

DeviceSession::DeviceSession(const FirmwareSet& firmware, LoaderView& view, device::PortOpener& opener,
                             const PortEntry& ownPort)
    : DeviceSession(firmware, view, opener) {
  m_cbPorts.entries = {ownPort};
  m_cbPorts.selected = 0;
  m_searchOthers = false;
}

int DeviceSession::SelectedPortNumber() const {
  const auto& entries = m_cbPorts.entries;
  if (m_cbPorts.selected < 0 || static_cast<std::size_t>(m_cbPorts.selected) >= entries.size()) return 0;
  return entries[static_cast<std::size_t>(m_cbPorts.selected)].number;
}

void DeviceSession::BeginRun(std::string_view workflow) {
  m_facts = RunFacts{};
  m_facts.workflow = workflow;
  m_facts.started = std::chrono::steady_clock::now();
  m_facts.runId = NewRunId();
  m_facts.station = StationName();
  m_resultDetail.clear();
  m_products = m_firmware.products();
  m_nProduct = -1;
}

void DeviceSession::SaveRecord(LoadResult code) {
  // Only a run that reached a device is a run of a unit; a stop is no result of the device.
  if (!m_facts.port || code == RESULT_STOPPED) return;
  const std::string note = SaveRunRecord(RecordOfRun(m_facts, code), m_recordFile);
  if (!note.empty()) m_view.detail(note);
}

LoadResult DeviceSession::LoadCheckedImage() {
  if (m_nProduct < 0 || static_cast<std::size_t>(m_nProduct) >= catalogue::kMaxProducts)
    return RESULT_HEX_OPEN_FAILED;
  const auto row = static_cast<std::size_t>(m_nProduct);
  m_image.Close();
  m_facts.firmwarePath = m_firmware.folder() + m_products->m_prodHexFile[row];
  // Exactly the bytes the file check accepted for this product, or nothing is erased or sent.
  std::string why;
  if (!catalogue::LoadCheckedFirmware(m_firmware.folder(), *m_products, row, m_image, why)) {
    m_resultDetail = why;
    return RESULT_HEX_OPEN_FAILED;
  }
  m_facts.sha256 = catalogue::CheckedSha256Hex(*m_products, row);
  return RESULT_OK;
}

}  // namespace app
