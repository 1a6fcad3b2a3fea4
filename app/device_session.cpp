#include "app/device_session.h"

#include <utility>

#include "app/record/file_record_sink.h"
#include "app/select_firmware.h"
#include "catalogue/checked_firmware.h"

namespace app {

DeviceSession::DeviceSession(const FirmwareSet& firmware, LoaderView& view, platform::PortOpener& opener)
    : m_firmware(firmware), m_view(view), m_link(opener), m_products(firmware.products()) {
  m_link.m_stop = m_stopSource.get_token();
}

DeviceSession::DeviceSession(const FirmwareSet& firmware, LoaderView& view, platform::PortOpener& opener,
                             const PortEntry& ownPort)
    : DeviceSession(firmware, view, opener) {
  m_cbPorts.entries = {ownPort};
  m_cbPorts.selected = 0;
  m_searchOthers = false;
}

DeviceFacts FactsOf(const device::Identity& identity) {
  return DeviceFacts{identity.m_nDevId, identity.m_strDevName, identity.m_strDevVersion};
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
  if (m_site) {
    m_facts.operatorName = m_site->operatorName;
    m_facts.workOrder = m_site->workOrder;
    m_facts.profileName = m_site->profileName;
    m_facts.profileSha256 = m_site->profileSha256;
  }
  // The run is on the selected port until the device answers on another.
  if (m_cbPorts.selected >= 0 && static_cast<std::size_t>(m_cbPorts.selected) < m_cbPorts.entries.size())
    m_facts.port = m_cbPorts.entries[static_cast<std::size_t>(m_cbPorts.selected)];
  m_resultDetail.clear();
  m_products = m_firmware.products();
  m_nProduct = -1;
  m_runSink = m_recordSink ? m_recordSink : FileRecordSink::ByRules(m_recordFile);
  // Before any device is touched: a record that cannot be kept is told now, not at the end.
  if (const std::string note = m_runSink->Check(); !note.empty()) m_view.detail(note);
}

void DeviceSession::SaveRecord(LoadResult code) {
  // Every run on a port is an attempt on a unit, whatever became of it.
  if (!m_facts.port || !m_runSink) return;
  const std::string note = m_runSink->Write(RecordOfRun(m_facts, code));
  if (!note.empty()) m_view.detail(note);
}

SessionEvents& DeviceSession::Events() {
  // Its calls do nothing, so one serves every session on every thread.
  static SessionEvents nobody;
  return m_events != nullptr ? *m_events : nobody;
}

device::FlashSteps DeviceSession::TellingSteps() {
  device::FlashSteps steps;
  steps.programming = [this](bool active) {
    if (active)
      Events().programmingBegan();
    else
      Events().programmingEnded();
  };
  return steps;
}

void DeviceSession::NoteChosenFile() {
  if (m_nProduct < 0 || static_cast<std::size_t>(m_nProduct) >= catalogue::kMaxProducts) return;
  m_facts.firmwarePath =
      m_firmware.folder() + m_products->m_prodHexFile[static_cast<std::size_t>(m_nProduct)];
}

namespace {

// Runs `ask` and adds the time it took to `waited`.
template <typename Ask>
auto Timed(std::chrono::milliseconds& waited, Ask ask) {
  const auto start = std::chrono::steady_clock::now();
  struct AddOnReturn {
    std::chrono::milliseconds& waited;
    std::chrono::steady_clock::time_point start;
    ~AddOnReturn() {
      waited +=
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
  } add{waited, start};
  return ask();
}

}  // namespace

bool DeviceSession::AskYesNo(const std::string& question) {
  return Timed(m_facts.waited, [&] { return m_view.askYesNo(question); });
}

bool DeviceSession::Confirm(const std::string& question, const std::string& about) {
  return Timed(m_facts.waited, [&] { return m_view.confirm(question, about); });
}

void DeviceSession::Tell(const std::string& text) {
  Timed(m_facts.waited, [&] { m_view.tell(text); });
}

LoadResult DeviceSession::LoadCheckedImage() {
  if (m_nProduct < 0 || static_cast<std::size_t>(m_nProduct) >= catalogue::kMaxProducts)
    return RESULT_HEX_OPEN_FAILED;
  const auto row = static_cast<std::size_t>(m_nProduct);
  m_image.Close();
  NoteChosenFile();
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
