// Raw boot: reprogram a device that answers only in its bootloader. The user power-cycles it
// and the loader catches the banner the bootloader sends by itself.

#include <cstdio>
#include <string>

#include "app/loader.h"
#include "image/firmware_decoder.h"
#include "image/mem_image.h"

namespace app {

namespace {

constexpr int kRawBootRate = 57600;
constexpr int kBannerTimeoutMs = 10000;
constexpr std::size_t kBannerRequest = 75;
constexpr long kBannerMinimum = 11;

std::string BannerDeviceTag(const std::uint8_t* banner) {
  char tag[16];
  std::snprintf(tag, sizeof tag, "VOR_T%02x%02x_V", banner[4], banner[5]);
  return tag;
}

}  // namespace

void Loader::OnRawBoot() {
  m_view.enableRawBoot(false);
  m_view.enableConnect(false);
  int result = RunRawBoot();
  if (result < 0) return;  // stopped by the front end; the port is closed
  FinishWorkflow(result);
}

int Loader::RunRawBoot() {
  image::MemImage image;
  if (device::OpenComPort(m_link, SelectedPortNumber(), kRawBootRate) != 0) return RESULT_PORT_OPEN_FAILED;

  m_view.setMainStatus("Raw Boot Mode");
  m_view.tell("Switch Device off.   \r\n\r\nPress Ok Then Switch Device On.");
  if (Stopped()) return -1;

  device::PreparePort(m_link, kBannerTimeoutMs);
  const long got = device::ReadReply(m_link, kBannerRequest);
  if (Stopped()) return -1;
  const std::uint8_t* banner = m_link.m_rxBuf.data();
  if (got < kBannerMinimum) return RESULT_NO_SINGLE_DEVICE;
  if (banner[0] != 0x56 || banner[1] != 0x51 || banner[2] != 0x00 || banner[3] != 0x00)
    return RESULT_FOREIGN_DEVICE;

  const std::string tag = BannerDeviceTag(banner);
  m_nProduct = -1;
  for (std::uint32_t i = 0; i < m_products.m_nProducts && i < catalogue::kMaxProducts; ++i) {
    if (catalogue::IsUsable(m_products.m_prodState[i]) && m_products.m_prodTag[i] == tag) {
      m_nProduct = static_cast<int>(i);
      break;
    }
  }
  if (m_nProduct < 0) return RESULT_NO_HEX_FILE;
  const auto row = static_cast<std::size_t>(m_nProduct);

  if (image::DecodeFirmwareFile(m_strFirmFolderA + m_products.m_prodHexFile[row], image) < 0)
    return RESULT_HEX_OPEN_FAILED;

  m_view.transferActive(true);
  if (!device::EraseFlash(m_link, m_view)) {
    m_view.transferActive(false);
    return RESULT_ERASE_FAILED;
  }
  m_view.setDeviceStatus("Updating " + m_products.m_prodName[row] + " to Version: V" +
                         m_products.m_prodVersion[row]);
  m_view.setMainStatus("Sending Hex file 0% done");
  const int streamed = device::SendImage(m_link, image, m_view);
  m_view.transferActive(false);
  m_view.setDeviceStatus("..");
  image.Close();
  if (Stopped()) return -1;
  if (streamed != RESULT_OK) return RESULT_PROGRAM_FAILED;

  m_view.tell("Programing Complete.\r\n\r\nSwitch Device off and On.\r\n\r\nPress Ok when ready.");
  if (Stopped()) return -1;
  if (device::IdentifyDevice(m_link, m_identity, true) != RESULT_OK) return RESULT_PROGRAM_FAILED;
  if (device::QueryDevice(m_link, m_identity) != RESULT_OK) return RESULT_PROGRAM_FAILED;
  // A bootloader that rejected the image restarts the old firmware: that is no success.
  if (device::VersionHundredths(m_identity.m_strDevVersion) !=
      device::VersionHundredths(m_products.m_prodVersion[row]))
    return RESULT_PROGRAM_FAILED;
  m_view.setDeviceStatus(device::DeviceLine(m_identity));
  return RESULT_OK;
}

}  // namespace app
