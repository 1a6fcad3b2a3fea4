// Raw boot: reprogram a device that answers only in its bootloader. The user power-cycles it
// and the loader catches the banner the bootloader sends by itself.

#include "app/device_session.h"
#include "app/select_firmware.h"
#include "app/step_runner.h"
#include "device/boot_request.h"
#include "device/frame_codec.h"

namespace app {

void DeviceSession::OnRawBoot() {
  m_view.enableRawBoot(false);
  m_view.enableConnect(false);
  BeginRun(kWorkflowRawBoot);

  // From its banner on, the bootloader waits for the erase command or the decline byte.
  bool bootloaderWaits = false;
  const LoadResult code = StepRunner(stopToken())
                              .Then([this] { return OpenForRawBoot(); })
                              .Then([this, &bootloaderWaits] {
                                const LoadResult caught = CatchBanner();
                                bootloaderWaits = caught == RESULT_OK;
                                return caught;
                              })
                              .Then([this] {
                                m_nProduct = FindProductRow(*m_products, m_deviceTag);
                                NoteChosenFile();
                                return m_nProduct < 0 ? RESULT_NO_HEX_FILE : RESULT_OK;
                              })
                              .Then([this] { return LoadCheckedImage(); })
                              .Then([this, &bootloaderWaits] {
                                bootloaderWaits = false;  // erased, or declined on a stop
                                return ProgramFromBootloader();
                              })
                              .Then([this] { return AwaitPowerCycle(); })
                              .result();
  // A device that will not be programmed (a stop, no firmware for it) is not left waiting in
  // its bootloader: it goes back to its firmware, untouched.
  if (bootloaderWaits) device::DeclineBoot(m_link);
  FinishWorkflow(code);
}

LoadResult DeviceSession::OpenForRawBoot() {
  return device::OpenComPort(m_link, SelectedPortNumber(), device::kRawBootRate);
}

LoadResult DeviceSession::CatchBanner() {
  m_view.setMainStatus("Raw Boot Mode");
  Tell("Switch Device off.   \r\n\r\nPress Ok Then Switch Device On.");
  if (m_link.StopRequested()) return RESULT_STOPPED;
  const LoadResult code = device::WaitForRawBanner(m_link, device::kRawBannerTimeoutMs, m_view, m_deviceTag);
  // Something answered on the port: from here on the run is a run of that unit.
  if ((code == RESULT_OK || code == RESULT_FOREIGN_DEVICE) && m_cbPorts.selected >= 0)
    m_facts.port = m_cbPorts.entries[static_cast<std::size_t>(m_cbPorts.selected)];
  return code;
}

LoadResult DeviceSession::ProgramFromBootloader() {
  device::FlashSteps steps = TellingSteps();
  const LoadResult code =
      device::EraseAndStream(m_link, m_image, TargetOf(*m_products, static_cast<std::size_t>(m_nProduct)),
                             device::EraseReport::Quiet, m_view, &steps);
  m_image.Close();
  m_facts.eraseBegan = steps.eraseBegan;
  m_facts.programmed = steps.streamBegan;
  return code;
}

LoadResult DeviceSession::AwaitPowerCycle() {
  Tell("Programing Complete.\r\n\r\nSwitch Device off and On.\r\n\r\nPress Ok when ready.");
  if (m_link.StopRequested()) return RESULT_STOPPED;
  // A bootloader that rejected the image restarts the old firmware: that is no success.
  m_identity = device::Identity{};
  const LoadResult code = device::WaitForRestart(
      m_link, m_identity, m_products->m_prodVersion[static_cast<std::size_t>(m_nProduct)]);
  // Whatever the device named itself as after its restart goes into the record.
  if (m_identity.m_devIdBytes != device::Identity{}.m_devIdBytes ||
      m_identity.m_devText != device::Identity{}.m_devText)
    m_facts.after = FactsOf(m_identity);
  if (code == RESULT_OK) m_view.setDeviceStatus(device::DeviceLine(m_identity));
  return code;
}

}  // namespace app
