// Names from the catalogue are appended to the firmware folder path, so a name that could
// climb out of the folder, name a device or drive, or hide control bytes is never used; nor is
// a name the loader keeps for its own files, which a firmware file would overwrite.

#include "catalogue/safe_file_name.h"

#include <algorithm>

namespace catalogue {

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::ranges::none_of(name, [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':';
  });
}

bool IsReservedFileName(const std::string& name) {
  return name == kCatalogueFile || name.rfind(kTemporaryPrefix, 0) == 0;
}

bool IsFirmwareFileName(const std::string& name) {
  return IsSafeFileName(name) && !IsReservedFileName(name);
}

}  // namespace catalogue
