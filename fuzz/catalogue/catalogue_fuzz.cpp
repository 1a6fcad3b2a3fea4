// Feeds arbitrary bytes to the catalogue reader and the product table as the local catalogue.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalogue/catalogue_text.h"
#include "catalogue/product_table.h"
#include "catalogue/safe_file_name.h"
#include "tests/support/recording_view.h"

namespace {

const std::string& Folder();

void RemoveFolder() {
  std::remove((Folder() + catalogue::kCatalogueFile).c_str());
  std::remove(Folder().c_str());
}

// One folder for the whole run; the catalogue file in it is rewritten for every input.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/vorcat-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  return folder;
}

const bool g_cleanupRegistered = (Folder(), std::atexit(RemoveFolder) == 0);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string path = Folder() + catalogue::kCatalogueFile;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  catalogue::ProductTable table;
  std::string firmUrl;
  testing_support::RecordingView view;
  const std::uint32_t n = catalogue::BuildProductTable(Folder(), table, firmUrl, view);
  if (n > catalogue::kMaxProducts || n != table.m_nProducts) std::abort();
  for (std::uint32_t i = 0; i < n; ++i) {
    if (table.m_prodState[i] != catalogue::Needed) std::abort();
    // Whatever the catalogue says, a name that passes the guard stays inside the folder.
    const std::string& file = table.m_prodHexFile[i];
    if (catalogue::IsSafeFileName(file) && (file.find('/') != std::string::npos || file == ".."))
      std::abort();
  }

  (void)catalogue::ExtractTag("VORNET_VERSIONS", input);
  (void)catalogue::ReadCatalogueTag(Folder(), "VORNET_UPDATE_FOLDER_URL", catalogue::kCatalogueFile);
  return 0;
}
