// Choosing the product row that belongs to the device, and comparing versions.

#include <algorithm>

#include "device/frame_codec.h"
#include "device/steps.h"

namespace device {

LoadResult SelectFirmware(const Identity& id, const catalogue::ProductTable& table, int& m_nProduct) {
  const std::string tag = DeviceTag(id.m_devCode[4], id.m_devCode[5]);
  const std::size_t rows = std::min<std::size_t>(table.m_nProducts, catalogue::kMaxProducts);
  for (std::size_t i = 0; i < rows; ++i) {
    if (!catalogue::IsUsable(table.m_prodState[i]) || table.m_prodTag[i] != tag) continue;
    m_nProduct = static_cast<int>(i);
    const long long device = VersionHundredths(id.m_strDevVersion);
    const long long file = VersionHundredths(table.m_prodVersion[i]);
    if (device == file) return RESULT_SAME_VERSION;
    return device > file ? RESULT_DEVICE_NEWER : RESULT_OK;
  }
  return RESULT_NO_HEX_FILE;
}

}  // namespace device
