// Choosing the product row that belongs to the device, and comparing versions.

#include "app/select_firmware.h"

#include <algorithm>

namespace app {

int FindProductRow(const catalogue::ProductTable& table, const std::string& deviceTag) {
  const std::size_t rows = std::min<std::size_t>(table.m_nProducts, catalogue::kMaxProducts);
  for (std::size_t i = 0; i < rows; ++i)
    if (catalogue::IsUsable(table.m_prodState[i]) && table.m_prodTag[i] == deviceTag)
      return static_cast<int>(i);
  return -1;
}

LoadResult SelectFirmware(const device::Identity& id, const catalogue::ProductTable& table, int& m_nProduct) {
  const int row = FindProductRow(table, device::DeviceTagOf(id));
  if (row < 0) return RESULT_NO_HEX_FILE;
  m_nProduct = row;
  const long long device = device::VersionHundredths(id.m_strDevVersion);
  const long long file = device::VersionHundredths(table.m_prodVersion[static_cast<std::size_t>(row)]);
  if (device == file) return RESULT_SAME_VERSION;
  return device > file ? RESULT_DEVICE_NEWER : RESULT_OK;
}

device::FirmwareTarget TargetOf(const catalogue::ProductTable& table, std::size_t row) {
  return {table.m_prodHexFile[row], table.m_prodCode[row], table.m_prodVersion[row], table.m_prodName[row]};
}

}  // namespace app
