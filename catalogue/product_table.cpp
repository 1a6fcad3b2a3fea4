// Builds the product table from the local catalogue.

#include "catalogue/product_table.h"

#include <filesystem>

#include "catalogue/catalogue_text.h"

namespace catalogue {

namespace {

// Field k of `list` split at ":", counted from 0; "" past the last field.
std::string ListField(const std::string& list, std::size_t k) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t colon = list.find(':', start);
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
  const std::size_t end = list.find(':', start);
  return list.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string BlanksForUnderscores(std::string name) {
  for (char& c : name)
    if (c == '_') c = ' ';
  return name;
}

}  // namespace

std::uint32_t BuildProductTable(const std::string& folder, ProductTable& table, std::string& m_strFirmUrl,
                                LoaderView& view) {
  view.setMainStatus("Checking Product Database.");
  table.m_nProducts = 0;

  const std::string block = ReadCatalogueTag(folder, "VORNET_FIRM_VERSIONS", kCatalogueFile);
  if (block.empty()) return 0;
  const std::string list = ExtractTag("VORNET_PRODUCT_CODES", block);
  m_strFirmUrl = ExtractTag("VORNET_FIRM_URL", block);
  if (list.empty()) return 0;

  // Exactly 32 positions of the list are looked at, skipped ones included.
  for (std::size_t k = 0; k < kMaxProducts; ++k) {
    const std::string item = ListField(list, k);
    if (item.empty()) continue;
    const std::size_t m = item.find('=');
    if (m == std::string::npos || m == 0) continue;

    const std::size_t row = table.m_nProducts;
    const std::string name = item.substr(0, m);
    table.m_prodName[row] = BlanksForUnderscores(name);
    table.m_prodCode[row] = item.substr(m + 1);
    table.m_prodVersion[row] = ExtractTag("VOR_" + name + "_V", block);
    table.m_prodTag[row] = "VOR_T" + table.m_prodCode[row] + "_V";
    table.m_prodFileTag[row] = table.m_prodTag[row] + table.m_prodVersion[row];
    table.m_prodHexFile[row] = ExtractTag("VOR_" + name + "_HEX", block);
    table.m_prodState[row] = Needed;
    table.m_prodDigest[row] = {};
    table.m_prodScan[row].clear();
    ++table.m_nProducts;
  }

  view.appendLog(std::to_string(table.m_nProducts) + " Product definitions Found.");
  return table.m_nProducts;
}

std::string NoProductDatabaseNote(const std::string& folder, const std::optional<DownloadResult>& refresh) {
  if (folder.empty()) return {};
  const std::string unfetched =
      refresh && !refresh->ok() ? ", and none could be fetched from " + refresh->url : std::string();
  std::error_code ec;
  if (std::filesystem::exists(folder + kCatalogueFile, ec))
    return "the catalogue " + folder + kCatalogueFile + " holds no product list that can be read" + unfetched;
  return "the firmware folder " + folder + " holds no catalogue" + unfetched +
         ": it needs the catalogue file " + kCatalogueFile + " and the firmware files that file names";
}

}  // namespace catalogue
