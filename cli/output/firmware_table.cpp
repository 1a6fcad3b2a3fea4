#include "cli/output/firmware_table.h"

#include <algorithm>

#include "catalogue/checked_firmware.h"
#include "cli/output/terminal_text.h"
#include "common/aligned_table.h"

namespace cli {

std::vector<std::string> FirmwareTableLines(const catalogue::ProductTable& table) {
  const std::size_t rows = std::min<std::size_t>(table.m_nProducts, catalogue::kMaxProducts);
  if (rows == 0) return {};
  std::vector<std::vector<std::string>> cells{{"FILE", "PRODUCT", "VERSION", "SHA-256"}};
  for (std::size_t i = 0; i < rows; ++i) {
    const std::string sha =
        catalogue::IsUsable(table.m_prodState[i]) ? catalogue::CheckedSha256Hex(table, i) : "";
    cells.push_back({PrintableText(table.m_prodHexFile[i]), PrintableText(table.m_prodName[i]),
                     PrintableText(table.m_prodVersion[i]), sha.empty() ? "-" : sha});
  }
  return AlignedTableLines(cells);
}

}  // namespace cli
