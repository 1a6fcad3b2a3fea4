// Connect: find the device, identify and authenticate it, compare versions, ask, program.

#include "app/loader.h"

namespace app {

void Loader::OnConnect() {
  m_view.enableConnect(false);
  m_view.enableRawBoot(false);
  m_view.setMainStatus("Searching for Device.");
  m_view.setDeviceStatus("");

  int code = device::FindDeviceBaud(m_link, m_identity, SelectedPortNumber(), m_view);
  // The device may sit on another listed port: try the others in list order.
  if (m_cbPorts.entries.size() > 1 && code != 0) {
    const int selected = m_cbPorts.selected;
    for (std::size_t i = 0; i < m_cbPorts.entries.size(); ++i) {
      if (static_cast<int>(i) == selected) continue;
      if (Stopped()) return;
      code = device::FindDeviceBaud(m_link, m_identity, m_cbPorts.entries[i].number, m_view);
      if (code == 0) {
        m_cbPorts.selected = static_cast<int>(i);
        ShowPorts();
        break;
      }
    }
  }
  if (Stopped()) return;
  if (code != 0) return FinishWorkflow(code);

  m_view.setMainStatus("Checking Device.");
  code = device::QueryDevice(m_link, m_identity);
  if (Stopped()) return;
  if (code != 0) return FinishWorkflow(code);
  m_view.setDeviceStatus(device::DeviceLine(m_identity));

  m_view.setMainStatus("Authenticating Device.");
  code = device::AuthenticateDevice(m_link, m_identity);
  if (Stopped()) return;
  if (code != 0) return FinishWorkflow(code);

  m_view.setMainStatus("Checking correct Hex file.");
  code = device::SelectFirmware(m_identity, m_products, m_nProduct);
  m_view.setMainStatus("Connected.");

  if (code == RESULT_SAME_VERSION && m_options.m_bAllowReload) {
    if (m_view.askYesNo("Identical Versions.\n Reload?")) code = RESULT_OK;
  } else if (code == RESULT_DEVICE_NEWER && m_options.m_bAllowOlder) {
    if (m_view.askYesNo("Device has later Version.\n Load OLD? (Not Recomended!)")) code = RESULT_OK;
  }
  if (Stopped()) return;
  if (code == RESULT_OK) code = LoadAfterConfirmation(code);
  if (Stopped()) return;
  FinishWorkflow(code);
}

int Loader::LoadAfterConfirmation(int code) {
  if (!m_view.askYesNo("Load Hex Now?")) return RESULT_USER_CANCELLED;
  if (m_view.stopRequested()) return RESULT_USER_CANCELLED;
  code = device::ProgramDevice(m_link, m_identity, m_products, m_nProduct, m_strFirmFolderA, m_view);
  // The new firmware has answered with its own identity: show it beside "Program Loaded.".
  if (code == RESULT_OK) m_view.setDeviceStatus(device::DeviceLine(m_identity));
  return code;
}

}  // namespace app
