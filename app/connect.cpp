// Connect: find the device, identify and authenticate it, compare versions, ask, program.

#include <string>

#include "app/device_session.h"
#include "app/select_firmware.h"
#include "app/step_runner.h"
#include "catalogue/checked_firmware.h"

namespace app {

void DeviceSession::OnConnect() {
  m_view.enableConnect(false);
  m_view.enableRawBoot(false);
  m_view.setMainStatus("Searching for Device.");
  m_view.setDeviceStatus("");
  BeginRun(kWorkflowConnect);

  const LoadResult code = StepRunner(stopToken())
                              .Then([this] { return FindDevice(); })
                              .Then([this] { return CheckDevice(); })
                              .Then([this] { return Authenticate(); })
                              .Then([this] { return ChooseFirmware(); })
                              .Then([this] { return ConfirmLoad(); })
                              .Then([this] { return LoadCheckedImage(); })
                              .Then([this] { return Program(); })
                              .result();
  FinishWorkflow(code);
}

LoadResult DeviceSession::FindDevice() {
  const LoadResult code = SearchPorts();
  if (code == RESULT_OK) {
    m_facts.port = m_cbPorts.entries[static_cast<std::size_t>(m_cbPorts.selected)];
    m_facts.before = FactsOf(m_identity);
  }
  return code;
}

bool DeviceSession::FoundOnHandedPort() {
  if (!m_handedPort) return false;
  const int port = SelectedPortNumber();
  m_view.setPortStatus("Connected Com " + std::to_string(port) + " at Baud " + std::to_string(m_handedRate));
  m_link.Close();
  m_link.m_hComm = std::move(m_handedPort);
  m_link.m_portName = ComName(port);
  m_link.m_rate = m_handedRate;
  m_link.TraceEvent("open at " + std::to_string(m_handedRate) + " (as the poll left it)");
  return device::IdentifyDevice(m_link, m_identity, true) == RESULT_OK;
}

LoadResult DeviceSession::SearchPorts() {
  if (FoundOnHandedPort()) return RESULT_OK;
  LoadResult code = device::FindDeviceBaud(m_link, m_identity, SelectedPortNumber(), m_view);
  if (code == RESULT_OK || code == RESULT_STOPPED || !m_searchOthers) return code;
  // The device may sit on another listed port: try the others in list order.
  for (std::size_t i = 0; i < m_cbPorts.entries.size(); ++i) {
    if (static_cast<int>(i) == m_cbPorts.selected) continue;
    code = device::FindDeviceBaud(m_link, m_identity, m_cbPorts.entries[i].number, m_view);
    if (code == RESULT_STOPPED) return code;
    if (code == RESULT_OK) {
      m_cbPorts.selected = static_cast<int>(i);
      m_view.showPorts(m_cbPorts.entries, m_cbPorts.selected);
      return code;
    }
  }
  return code;
}

LoadResult DeviceSession::CheckDevice() {
  m_view.setMainStatus("Checking Device.");
  const LoadResult code = device::QueryDevice(m_link, m_identity);
  if (code == RESULT_OK) m_view.setDeviceStatus(device::DeviceLine(m_identity));
  return code;
}

LoadResult DeviceSession::Authenticate() {
  m_view.setMainStatus("Authenticating Device.");
  return device::AuthenticateDevice(m_link, m_identity, &m_resultDetail);
}

LoadResult DeviceSession::ChooseFirmware() {
  m_view.setMainStatus("Checking correct Hex file.");
  LoadResult code = SelectFirmware(m_identity, *m_products, m_nProduct);
  NoteChosenFile();
  if (m_nProduct >= 0 && static_cast<std::size_t>(m_nProduct) < catalogue::kMaxProducts)
    Events().firmwareChosen(m_nProduct, m_products->m_prodVersion[static_cast<std::size_t>(m_nProduct)]);
  if (m_site && m_nProduct >= 0) {
    // Before anything is asked: an image the profile does not approve is never offered.
    const auto row = static_cast<std::size_t>(m_nProduct);
    m_resultDetail = NotApprovedReason(*m_site, *m_products, row);
    if (!m_resultDetail.empty()) {
      m_facts.sha256 = catalogue::CheckedSha256Hex(*m_products, row);
      m_view.setMainStatus("Connected.");
      return RESULT_NOT_APPROVED;
    }
  }
  m_view.setMainStatus("Connected.");
  const Options& options = m_firmware.options();
  if (code == RESULT_SAME_VERSION && options.allowReload()) {
    if (AskYesNo("Identical Versions.\n Reload?")) code = RESULT_OK;
  } else if (code == RESULT_DEVICE_NEWER && options.allowOlder()) {
    if (AskYesNo("Device has later Version.\n Load OLD? (Not Recomended!)")) code = RESULT_OK;
  }
  return code;
}

LoadResult DeviceSession::ConfirmLoad() {
  const auto row = static_cast<std::size_t>(m_nProduct);
  const int port = SelectedPortNumber();
  std::string path;
  for (const PortEntry& entry : m_cbPorts.entries)
    if (entry.number == port) path = entry.path;
  const std::string about =
      "Device: " + m_identity.m_strDevName + " (ID " + std::to_string(m_identity.m_nDevId) +
      ")\nVersion now: V" + m_identity.m_strDevVersion + "\nVersion to load: V" +
      m_products->m_prodVersion[row] + "\nPort: " + ComName(port) +
      (path.empty() ? std::string() : " (" + path + ")") + "\nFile: " + m_products->m_prodHexFile[row];
  return Confirm("Load Hex Now?", about) ? RESULT_OK : RESULT_USER_CANCELLED;
}

LoadResult DeviceSession::Program() {
  device::FlashSteps steps = TellingSteps();
  const LoadResult code =
      device::ProgramDevice(m_link, m_identity, TargetOf(*m_products, static_cast<std::size_t>(m_nProduct)),
                            m_image, m_view, &steps);
  m_image.Close();
  m_facts.eraseBegan = steps.eraseBegan;
  m_facts.programmed = steps.streamBegan;
  // The new firmware has answered with its own identity: show it beside "Program Loaded.".
  if (code == RESULT_OK) {
    m_facts.after = FactsOf(m_identity);
    m_view.setDeviceStatus(device::DeviceLine(m_identity));
  }
  return code;
}

}  // namespace app
